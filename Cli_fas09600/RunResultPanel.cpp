#include "Cli_fas09600/RunResultPanel.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "platform/ui/EventGuard.h"
#include "outside/forms/ExportDialog.h"

RunResultPanel::RunResultPanel(QWidget *screen)
    : QDockWidget(QStringLiteral("Resultado da geração"), screen)
{
    setObjectName(QStringLiteral("panResultado"));
    setFeatures(QDockWidget::DockWidgetClosable);
    auto *content = new QWidget(this);
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(4, 2, 4, 4);
    const RunResult table;
    tblResultado = new QTableWidget(0, table.columnCount(), content);
    tblResultado->setObjectName(QStringLiteral("tblResultado"));
    tblResultado->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblResultado->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblResultado->verticalHeader()->hide();
    tblResultado->verticalHeader()->setDefaultSectionSize(tblResultado->fontMetrics().height() + 4);
    for (int column = 0; column < table.columnCount(); ++column) {
        tblResultado->setHorizontalHeaderItem(column, new QTableWidgetItem(table.title(column)));
        tblResultado->setColumnWidth(column, table.widthPixels(column));
    }
    // Room for five entries and the total line; more scroll.
    const int rowHeight = tblResultado->verticalHeader()->defaultSectionSize();
    tblResultado->setFixedHeight(tblResultado->horizontalHeader()->sizeHint().height() + 6 * rowHeight + 4);
    btnExportar = new QPushButton(QStringLiteral("E&xportar…"), content);
    btnExportar->setObjectName(QStringLiteral("btnExportar"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnExportar);
    layout->addWidget(tblResultado);
    layout->addLayout(buttons);
    setWidget(content);
    hide();

    connect(btnExportar, &QPushButton::clicked, this, EventGuard::wrap([this](bool) {
                ExportDialog::Run(this, false, [this](bool) {
                    return std::unique_ptr<ExportTable>(std::make_unique<RunResult>(m_made));
                });
            }));
    connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (!visible && m_grownBy > 0)
            showBeside(false);
    });
}

void RunResultPanel::BeginRun()
{
    Clear();
    m_running = true;
}

void RunResultPanel::Show(const GenerationResult &made)
{
    m_made = made;
    fill();
    showBeside(!m_made.IsEmpty());
}

void RunResultPanel::PreviewLoaded()
{
    if (!m_running)
        Clear();
}

void RunResultPanel::Clear()
{
    m_made = {};
    fill();
    showBeside(false);
}

void RunResultPanel::MarkReversed(const QString &companyCode, const QString &kindCode, qint64 number)
{
    if (m_made.MarkReversed(companyCode, kindCode, number))
        fill();
}

void RunResultPanel::fill()
{
    const RunResult table(m_made);
    tblResultado->setRowCount(table.rowCount());
    QFont totalFont = tblResultado->font();
    totalFont.setBold(true);
    for (int row = 0; row < table.rowCount(); ++row) {
        for (int column = 0; column < table.columnCount(); ++column) {
            auto *item = new QTableWidgetItem(table.text(row, column));
            if (table.kind(column) == ExportTable::Kind::Number)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (table.isTotalLine(row))
                item->setFont(totalFont);
            tblResultado->setItem(row, column, item);
        }
    }
}

void RunResultPanel::showBeside(bool visible)
{
    auto *screen = qobject_cast<QMainWindow *>(parentWidget());
    QWidget *frame = screen ? screen->parentWidget() : nullptr;
    auto *subWindow = qobject_cast<QMdiSubWindow *>(frame);
    const bool resizable = subWindow && !subWindow->isMaximized();
    if (visible && !isVisible()) {
        const int height = sizeHint().height();
        setVisible(true);
        if (resizable) {
            m_grownBy = height;
            subWindow->resize(subWindow->width(), subWindow->height() + height);
            // Grown past the bottom of the MDI area, the window moves up as far as it can.
            const int overflow = subWindow->geometry().bottom() - subWindow->parentWidget()->height() + 1;
            m_movedUpBy = std::clamp(overflow, 0, subWindow->y());
            subWindow->move(subWindow->x(), subWindow->y() - m_movedUpBy);
        }
    } else if (!visible && isVisible()) {
        setVisible(false);
    }
    if (!visible && m_grownBy > 0) {
        if (resizable) {
            subWindow->resize(subWindow->width(), subWindow->height() - m_grownBy);
            subWindow->move(subWindow->x(), subWindow->y() + m_movedUpBy);
        }
        m_grownBy = 0;
        m_movedUpBy = 0;
    }
}
