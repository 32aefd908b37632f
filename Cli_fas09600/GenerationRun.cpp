#include "GenerationRun.h"

#include <QTabWidget>

#include "TRecordStore.h"

#include "Consiste.h"
#include "DataPacket.h"
#include "RunResultPanel.h"
#include "Showavi.h"
#include "TADOIBQuery.h"
#include "TApplication.h"
#include "TButtonFlat.h"
#include "TClientDataSet.h"
#include "TDataSource.h"
#include "TMessages.h"
#include "TNetConnection.h"
#include "TfrmFaturamento.h"

namespace {

// Closes both batches on every way out of the run: between runs they hold nothing.
class BatchesClosed
{
public:
    explicit BatchesClosed(TfrmFaturamento &screen) : m_screen(screen) {}
    ~BatchesClosed()
    {
        m_screen.cdsNota->Close();
        m_screen.cdsInv->Close();
    }
    BatchesClosed(const BatchesClosed &) = delete;
    BatchesClosed &operator=(const BatchesClosed &) = delete;

private:
    TfrmFaturamento &m_screen;
};

// The hourglass for the walk; the default cursor once the walk is over, and on
// every way out.
class HourGlass
{
public:
    HourGlass() { Screen::SetCursor(Screen::crHourGlass); }
    ~HourGlass() { Screen::SetCursor(Screen::crDefault); }
    void restore() { Screen::SetCursor(Screen::crDefault); }
    HourGlass(const HourGlass &) = delete;
    HourGlass &operator=(const HourGlass &) = delete;
};

// Suspends the updating of the preview's controls for the walk and resumes
// exactly that suspension once: when the walk is over, or on the way out when
// the walk did not finish. A suspension made by someone else stays theirs.
class ControlsSuspension
{
public:
    explicit ControlsSuspension(TClientDataSet &dataSet) : m_dataSet(dataSet) { m_dataSet.DisableControls(); }
    ~ControlsSuspension() { resume(); }
    void resume()
    {
        if (!m_suspended)
            return;
        m_suspended = false;
        m_dataSet.EnableControls();
    }
    ControlsSuspension(const ControlsSuspension &) = delete;
    ControlsSuspension &operator=(const ControlsSuspension &) = delete;

private:
    TClientDataSet &m_dataSet;
    bool m_suspended = true;
};

QString text(TClientDataSet *dataSet, const char *field)
{
    return dataSet->FieldByName(QString::fromLatin1(field))->AsString();
}

void recreate(TClientDataSet *batch)
{
    batch->Close();
    batch->CreateDataSet();
    batch->EmptyDataSet();
}

} // namespace

void GenerationRun::refuse(const char *code)
{
    Consiste::MensErro(m_screen.msgPadrao->Msg(QString::fromLatin1(code)), true);
}

void GenerationRun::run()
{
    // Declared in the reverse order of the clean-up: the controls resume first,
    // then the cursor, then the batches close.
    BatchesClosed batchesClosed(m_screen);
    TClientDataSet *preview = m_screen.cdsFaturamento;
    if (m_screen.pgcPadrao->currentWidget() == m_screen.tshFormulario)
        m_screen.SetActivePage(m_screen.tshFolhaDados);
    HourGlass hourGlass;
    ControlsSuspension suspended(*preview);
    preview->First();
    recreate(m_screen.cdsNota);
    recreate(m_screen.cdsInv);

    m_nationality.clear();
    const TRecordStore &rows = preview->Store();
    m_fields = {rows.indexOf(QStringLiteral("IDCHECK")), rows.indexOf(QStringLiteral("IDSTAPFATFAS")),
                rows.indexOf(QStringLiteral("NRLANCTONF")), rows.indexOf(QStringLiteral("NRLANCINVOICE"))};
    while (!preview->Eof()) {
        if (TClientDataSet *batch = batchFor())
            addCurrentRowTo(*batch);
        preview->Next();
    }

    preview->First();
    suspended.resume();
    hourGlass.restore();
    if (m_screen.cdsNota->IsEmpty() && m_screen.cdsInv->IsEmpty())
        refuse("Apur_Inf");
    if (m_screen.cdsNota->RecordCount() > 0)
        send(*m_screen.cdsNota, "GeraNF");
    if (m_screen.cdsInv->RecordCount() > 0)
        send(*m_screen.cdsInv, "GeraInvoice");
    preview->MergeChangeLog();
    m_screen.dtsPadraoStateChange(m_screen.dtsPadrao);
    m_screen.sbtVerificarClick(m_screen.sbtVerificar);
    m_screen.msgPadrao->ShowMsg(QStringLiteral("Ok"), 0);
}

double GenerationRun::clientNationality(const QString &client)
{
    // One query per client and run: the answer cannot change while the run walks.
    const auto known = m_nationality.constFind(client);
    if (known != m_nationality.constEnd())
        return *known;
    TADOIBQuery *nationality = m_screen.qryNacionalidade;
    nationality->Close();
    nationality->ParamByName(QStringLiteral("P_CDCLIENTE")).SetAsString(client);
    nationality->Open();
    const double clinac = nationality->FieldByName(QStringLiteral("CLINAC"))->AsFloat();
    m_nationality.insert(client, clinac);
    return clinac;
}

TClientDataSet *GenerationRun::batchFor()
{
    TClientDataSet *preview = m_screen.cdsFaturamento;
    // The row's codes straight from the preview's rows: no text is made per row.
    const TRecordStore &rows = preview->Store();
    const int row = preview->CurrentRow();
    const auto cell = [&](int field) { return rows.text(row, field); };
    const std::string_view status = cell(m_fields.status);
    const bool ticked = cell(m_fields.tick) == "S";
    const bool noNote = cell(m_fields.noteEntry).empty();
    const bool noInvoice = cell(m_fields.invoiceEntry).empty();
    const bool pending = status == "P" || status.empty();
    // Only a row that can go into a batch needs its client's nationality; the
    // refusals below do not depend on it, so they come in the same order.
    if (ticked && noNote && noInvoice && pending) {
        const double clinac = clientNationality(text(preview, "CDCLIENTE"));
        return clinac != 0 ? m_screen.cdsNota : m_screen.cdsInv;
    }
    if (ticked && !noNote && status == "R")
        refuse("NF_Exist");
    if (ticked && !noInvoice && status == "R")
        refuse("Inv_Exist");
    if (ticked && status == "C")
        refuse("Apur_Canc");
    return nullptr;
}

void GenerationRun::addCurrentRowTo(TClientDataSet &batch)
{
    static const char *const textFields[] = {
        "CDEMPRESA",  "NMEMPRESA",   "CDFILIAL",     "NMFILIAL",      "CDCLIENTE",  "NMFANTCLIE",
        "IDAPURFATFAS", "DTMESAPURFAS", "MESAPURADO", "IDCHECK",     "IDSTAPFATFAS", "NRINVOICE",
        "NRLANCINVOICE", "NRLANCTONF", "NRNOTAFISC",  "CDGRUPONFAPUR",
    };
    static const char *const laterTextFields[] = {
        "CDPRODUTO", "NMPRODUTO", "CDOPERAPUR", "NMOPERADOR", "CDTIPOSERV",
        "IDCOMIFATFAS", "DSEMISSPRONF", "DSBOLEFATFAS", "DSFATURCLIE",
    };
    TClientDataSet *preview = m_screen.cdsFaturamento;
    const auto copyText = [&](const char *name) {
        const QString field = QString::fromLatin1(name);
        batch.FieldByName(field)->SetAsString(preview->FieldByName(field)->AsString());
    };
    batch.Insert();
    for (const char *name : textFields)
        copyText(name);
    batch.FieldByName(QStringLiteral("DTAPURFATFAS"))
        ->SetAsDateTime(preview->FieldByName(QStringLiteral("DTAPURFATFAS"))->AsDateTime());
    for (const char *name : laterTextFields)
        copyText(name);
    batch.FieldByName(QStringLiteral("VRTOTAFATFAS"))
        ->SetAsFloat(preview->FieldByName(QStringLiteral("VRTOTAFATFAS"))->AsFloat());
    batch.Post();
}

void GenerationRun::send(TClientDataSet &batch, const char *method)
{
    Showavi::ActiveShowAvi(Application().MainForm(), 1);
    try {
        const QByteArray packet = batch.GetData();
        const TRemoteValue result =
            m_screen.netFaturamento->Call(QString::fromLatin1(method), {RemoteArgument::packet(packet)});
        m_screen.cdsFaturamento->SetData(Consiste::CheckResultServ(result, true, 0));
        m_screen.cdsFaturamento->MergeChangeLog();
        m_screen.runResultPanel->AddAnswer(QString::fromLatin1(method), *m_screen.cdsFaturamento);
    } catch (...) {
        Showavi::DeactiveShowAvi();
        throw;
    }
    Showavi::DeactiveShowAvi();
}
