#include "Cli_fas09600/RunResultPanel.h"

#include <algorithm>

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QMainWindow>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "documents/InvoiceFromPacket.h"
#include "outside/forms/InvoiceSaving.h"
#include "outside/forms/ExportDialog.h"
#include "outside/forms/TablePrint.h"
#include "platform/data/TDataPacket.h"
#include "platform/ui/EventGuard.h"

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
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    btnSalvarFatura = addButton(QStringLiteral("btnSalvarFatura"), QStringLiteral("Salvar fatura em PDF…"),
                                &RunResultPanel::SalvarFatura);
    btnImprimir = addButton(QStringLiteral("btnImprimir"), QStringLiteral("Imprimir…"), &RunResultPanel::Imprimir);
    btnSalvarPdf = addButton(QStringLiteral("btnSalvarPdf"), QStringLiteral("Salvar em PDF…"),
                             &RunResultPanel::SalvarPdf);
    btnExportar = new QPushButton(QStringLiteral("E&xportar…"), content);
    btnExportar->setObjectName(QStringLiteral("btnExportar"));
    for (QPushButton *button : {btnSalvarFatura, btnImprimir, btnSalvarPdf, btnExportar})
        buttons->addWidget(button);
    layout->addWidget(tblResultado);
    layout->addLayout(buttons);
    setWidget(content);
    hide();

    connect(btnExportar, &QPushButton::clicked, this, EventGuard::wrap([this](bool) {
                ExportDialog::Run(this, false, [this](bool) {
                    return std::unique_ptr<ExportTable>(std::make_unique<RunResult>(m_made));
                });
            }));
    connect(tblResultado, &QTableWidget::itemSelectionChanged, this, [this] { updateCommands(); });
    updateCommands();
    connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (!visible && m_grownBy > 0)
            showBeside(false);
    });
}

QPushButton *RunResultPanel::addButton(const QString &name, const QString &text, void (RunResultPanel::*command)())
{
    auto *button = new QPushButton(text, this);
    button->setObjectName(name);
    connect(button, &QPushButton::clicked, this, EventGuard::wrap([this, command](bool) { (this->*command)(); }));
    return button;
}

TableHeading RunResultPanel::printHeading() const
{
    TableHeading heading;
    heading.title = QStringLiteral("Resultado da geração");
    heading.filter = m_filterText;
    return heading;
}

void RunResultPanel::Imprimir()
{
    TablePrint::Print(this, RunResult(m_made), printHeading());
}

void RunResultPanel::SalvarPdf()
{
    TablePrint::SaveAsPdf(this, RunResult(m_made), printHeading(), QStringLiteral("resultado-da-geracao.pdf"));
}

const GenerationResult::Entry *RunResultPanel::selectedInvoice() const
{
    const int row = tblResultado->currentRow();
    const QList<GenerationResult::Entry> &entries = m_made.Entries();
    if (row < 0 || row >= entries.size() || !tblResultado->selectionModel()->isRowSelected(row))
        return nullptr;
    const GenerationResult::Entry &entry = entries.at(row);
    return entry.kind == GenerationResult::KindText(GenerationResult::Kind::Invoice) ? &entry : nullptr;
}

void RunResultPanel::updateCommands()
{
    btnSalvarFatura->setEnabled(m_invoiceSource && selectedInvoice());
    for (QPushButton *button : {btnImprimir, btnSalvarPdf, btnExportar})
        button->setEnabled(!m_made.IsEmpty());
}

void RunResultPanel::SalvarFatura()
{
    const GenerationResult::Entry *entry = selectedInvoice();
    if (!entry || !m_invoiceSource)
        return;
    const InvoiceDocument invoice = InvoiceFromPacket::read(m_invoiceSource(entry->companyCode, entry->number));
    InvoiceSaving::askAndSave(this, invoice);
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
    tblResultado->clearSelection();
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
    updateCommands();
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
