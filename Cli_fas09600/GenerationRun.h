#pragma once

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
    void addCurrentRowTo(TClientDataSet &batch);
    void send(TClientDataSet &batch, const char *method);
    void refuse(const char *code);

    TfrmFaturamento &m_screen;
};
