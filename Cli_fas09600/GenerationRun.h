#pragma once

#include <QHash>
#include <QString>

class TClientDataSet;
class TfrmFaturamento;

// "Gerar Nota Fiscal / Invoice": walks the preview's ticked rows, refuses notes
// and invoices already issued and cancelled calculations, splits the pending
// rows into the domestic batch (cdsNota) and the foreign batch (cdsInv) by the
// client's addresses, sends each batch that holds anything to the application
// server (GeraNF, then GeraInvoice), loads each answer, requests the preview
// again with the stored filter and reports success.
class GenerationRun
{
public:
    explicit GenerationRun(TfrmFaturamento &screen) : m_screen(screen) {}
    void run();

private:
    // The batch the current preview row goes into, or nullptr; raises the
    // walk's refusals.
    TClientDataSet *batchFor();
    // CLINAC of the client: its addresses of type "P" in country "0055".
    double clientNationality(const QString &client);
    void addCurrentRowTo(TClientDataSet &batch);
    void send(TClientDataSet &batch, const char *method);
    void refuse(const char *code);

    TfrmFaturamento &m_screen;
    QHash<QString, double> m_nationality; // per run
    struct Fields
    {
        int tick = -1, status = -1, noteEntry = -1, invoiceEntry = -1;
    };
    Fields m_fields; // the preview's columns the walk tests
};
