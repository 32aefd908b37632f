#include "Cli_fas09600/PreviewActions.h"

#include <QAbstractButton>
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>

#include "Cli_fas09600/PreviewCells.h"
#include "outside/forms/ExportDialog.h"
#include "outside/forms/TableExport.h"
#include "platform/ui/EventGuard.h"
#include "platform/ui/TDBGrid.h"

PreviewActions::PreviewActions(const Parts &parts)
    : QObject(parts.screen)
    , m_screen(parts.screen)
    , m_grid(parts.grid)
{
    QWidget *screen = parts.screen;
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
    m_grid->addAction(actCopiar);

    parts.operacao->addSeparator();
    parts.operacao->addAction(mnuExportar);
    parts.operacao->addAction(mnuRestaurarLayout);
    parts.operacao->addSeparator();
    parts.operacao->addAction(mnuHistorico);
    createGridMenu();

    connect(mnuExportar, &QAction::triggered, this, EventGuard::wrap([this](bool) { Export(); }));
    connect(mnuHistorico, &QAction::triggered, this, EventGuard::wrap([open = parts.openHistory](bool) {
                if (open)
                    open();
            }));
    connect(actCopiar, &QAction::triggered, this, EventGuard::wrap([this](bool) { CopySelectedRows(); }));
    connect(actVerificar, &QAction::triggered, this, [verify = parts.verify] {
        // The key does what the button does, when the button can be used.
        if (verify->isEnabled())
            verify->click();
    });
}

void PreviewActions::createGridMenu()
{
    ppmGrade = new QMenu(m_grid);
    ppmGrade->setObjectName(QStringLiteral("ppmGrade"));
    ppmGrade->addAction(mnuExportar);
    ppmGrade->addAction(actCopiar);
    m_grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_grid, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { ppmGrade->popup(m_grid->viewport()->mapToGlobal(pos)); });
    // From the keyboard (the menu key, Shift+F10), at the current cell.
    actMenuGrade = new QAction(m_grid);
    actMenuGrade->setShortcuts({QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)});
    actMenuGrade->setShortcutContext(Qt::WidgetShortcut);
    m_grid->addAction(actMenuGrade);
    connect(actMenuGrade, &QAction::triggered, this, [this] {
        const QRect cell = m_grid->visualRect(m_grid->currentIndex());
        ppmGrade->popup(m_grid->viewport()->mapToGlobal(cell.isValid() ? cell.center() : QPoint(0, 0)));
    });
}

void PreviewActions::Export()
{
    const TDBGrid *grid = m_grid;
    ExportDialog::Run(m_screen, true, [grid](bool onlyTicked) {
        return std::unique_ptr<ExportTable>(
            new PreviewCells(*grid, onlyTicked ? PreviewCells::Rows::Ticked : PreviewCells::Rows::All));
    });
}

void PreviewActions::CopySelectedRows()
{
    QList<int> rows;
    const QModelIndexList selected = m_grid->selectionModel()->selectedRows();
    for (const QModelIndex &index : selected)
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    if (rows.isEmpty())
        return;
    const PreviewCells cells(*m_grid, rows);
    QGuiApplication::clipboard()->setText(TableExport::TabSeparated(cells));
}
