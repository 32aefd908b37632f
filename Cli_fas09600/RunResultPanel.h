#pragma once

#include <functional>

#include <QDockWidget>

#include "Cli_fas09600/RunResult.h"
#include "pkg_fas09600_export.h"

class QTableWidget;
class QPushButton;
class TDataPacket;
struct TableHeading;

// The last generation run's result, shown at the bottom of the preview screen
// once the run has it: the entries made, per batch, with the months of their
// items, and a total line. It stays until the
// next run or the next loading of the preview by a filter, and can be exported,
// printed or saved as a PDF; an invoice of the run can be saved as its PDF.
// While it shows, the screen's window is taller by its height, so the designed
// part of the screen keeps its size.
class PKG_FAS09600_EXPORT RunResultPanel : public QDockWidget
{
    Q_OBJECT
public:
    // GetFaturaDocumento for an invoice (company code, entry number): its packet.
    using InvoiceSource = std::function<TDataPacket(const QString &companyCode, const QString &number)>;

    explicit RunResultPanel(QWidget *screen);

    void SetInvoiceSource(InvoiceSource source) { m_invoiceSource = std::move(source); }
    // The filter the run's preview was loaded for, as the printed result states it.
    void SetFilterText(const QString &text) { m_filterText = text; }

    // A run starts: the last result goes; loads of the preview during the run
    // (its answers and its reload) keep the new one.
    void BeginRun();
    void EndRun() { m_running = false; }
    // Lists what the run made (also part of it, when a later step failed);
    // shown when it holds anything.
    void Show(const GenerationResult &made);
    // The preview was loaded: outside a run, that is a new filter.
    void PreviewLoaded();
    void Clear();
    // An entry was reversed in the history: the list shows it reversed.
    void MarkReversed(const QString &companyCode, const QString &kindCode, qint64 number);

    void Imprimir();
    void SalvarPdf();
    // The selected entry, an invoice, as its PDF where the clerk chooses.
    void SalvarFatura();

    const GenerationResult &Result() const { return m_made; }
    QTableWidget *tblResultado = nullptr;
    QPushButton *btnSalvarFatura = nullptr;
    QPushButton *btnImprimir = nullptr;
    QPushButton *btnSalvarPdf = nullptr;
    QPushButton *btnExportar = nullptr;

private:
    void fill();
    QPushButton *addButton(const QString &name, const QString &text, void (RunResultPanel::*command)());
    TableHeading printHeading() const;
    // The selected row's entry when it is an invoice; null otherwise.
    const GenerationResult::Entry *selectedInvoice() const;
    void updateCommands();
    void showBeside(bool visible);

    GenerationResult m_made;
    InvoiceSource m_invoiceSource;
    QString m_filterText;
    bool m_running = false;
    int m_grownBy = 0;
    int m_movedUpBy = 0;
};
