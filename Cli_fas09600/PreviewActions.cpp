#include "Cli_fas09600/PreviewActions.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>

#include "platform/ui/EventGuard.h"
#include "Cli_fas09600/ExportDialog.h"
#include "Cli_fas09600/PreviewCells.h"
#include "outside/controls/TButtonFlat.h"
#include "platform/data/TClientDataSet.h"
#include "platform/ui/TDBGrid.h"
#include "Cli_fas09600/PreviewExport.h"
#include "Cli_fas09600/TfrmFaturamento.h"
#include "Cli_fas09600/RunResultPanel.h"
#include "Cli_fas09600/history/HistoryReversal.h"
#include "Cli_fas09600/history/TfrmHistorico.h"

PreviewActions::PreviewActions(TfrmFaturamento *screen)
    : QObject(screen)
    , m_screen(screen)
{
    mnuExportar = new QAction(QStringLiteral("Exportar…"), screen);
    mnuExportar->setObjectName(QStringLiteral("mnuExportar"));
    mnuExportar->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    mnuRestaurarLayout = new QAction(QStringLiteral("Restaurar layout original"), screen);
    mnuRestaurarLayout->setObjectName(QStringLiteral("mnuRestaurarLayout"));
    mnuHistorico = new QAction(QStringLiteral("Histórico de gerações…"), screen);
    mnuHistorico->setObjectName(QStringLiteral("mnuHistorico"));
    actCopiar = new QAction(QStringLiteral("Copiar linhas selecionadas"), screen);
    actCopiar->setObjectName(QStringLiteral("actCopiar"));
    actCopiar->setShortcut(QKeySequence::Copy);
    actVerificar = new QAction(QStringLiteral("Verificar"), screen);
    actVerificar->setObjectName(QStringLiteral("actVerificar"));
    actVerificar->setShortcut(QKeySequence(Qt::Key_F5));
    for (QAction *action : {mnuExportar, actVerificar}) {
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        screen->addAction(action);
    }
    actCopiar->setShortcutContext(Qt::WidgetShortcut);
    screen->dbgPadrao->addAction(actCopiar);

    screen->mnuOperacao->addSeparator();
    screen->mnuOperacao->addAction(mnuExportar);
    screen->mnuOperacao->addAction(mnuRestaurarLayout);
    screen->mnuOperacao->addSeparator();
    screen->mnuOperacao->addAction(mnuHistorico);

    ppmGrade = new QMenu(screen->dbgPadrao);
    ppmGrade->setObjectName(QStringLiteral("ppmGrade"));
    ppmGrade->addAction(mnuExportar);
    ppmGrade->addAction(actCopiar);
    screen->dbgPadrao->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(screen->dbgPadrao, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { ppmGrade->popup(m_screen->dbgPadrao->viewport()->mapToGlobal(pos)); });
    // From the keyboard (the menu key, Shift+F10), at the current cell.
    actMenuGrade = new QAction(screen->dbgPadrao);
    actMenuGrade->setShortcuts({QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)});
    actMenuGrade->setShortcutContext(Qt::WidgetShortcut);
    screen->dbgPadrao->addAction(actMenuGrade);
    connect(actMenuGrade, &QAction::triggered, this, [this] {
        TDBGrid *grid = m_screen->dbgPadrao;
        const QRect cell = grid->visualRect(grid->currentIndex());
        ppmGrade->popup(grid->viewport()->mapToGlobal(cell.isValid() ? cell.center() : QPoint(0, 0)));
    });

    connect(mnuExportar, &QAction::triggered, this, EventGuard::wrap([this](bool) { Export(); }));
    connect(mnuHistorico, &QAction::triggered, this, EventGuard::wrap([this](bool) {
                // The history's reversals show in the result panel of this preview.
                TfrmHistorico *history = TfrmHistorico::Abre();
                connect(history->reversal, &HistoryReversal::EntryReversed, m_screen->runResultPanel,
                        &RunResultPanel::MarkReversed, Qt::UniqueConnection);
            }));
    connect(actCopiar, &QAction::triggered, this, EventGuard::wrap([this](bool) { CopySelectedRows(); }));
    connect(actVerificar, &QAction::triggered, this, [this] {
        // The key does what the button does, when the button can be used.
        if (m_screen->sbtVerificar->isEnabled())
            m_screen->sbtVerificar->click();
    });
}

void PreviewActions::Export()
{
    const TDBGrid *grid = m_screen->dbgPadrao;
    ExportDialog::Run(m_screen, true, [grid](bool onlyTicked) {
        return std::unique_ptr<ExportTable>(
            new PreviewCells(*grid, onlyTicked ? PreviewCells::Rows::Ticked : PreviewCells::Rows::All));
    });
}

void PreviewActions::CopySelectedRows()
{
    QList<int> rows;
    const QModelIndexList selected = m_screen->dbgPadrao->selectionModel()->selectedRows();
    for (const QModelIndex &index : selected)
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    if (rows.isEmpty())
        return;
    const PreviewCells cells(*m_screen->dbgPadrao, rows);
    QGuiApplication::clipboard()->setText(PreviewExport::TabSeparated(cells));
}
