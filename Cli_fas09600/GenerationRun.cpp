#include "GenerationRun.h"

#include <QScopeGuard>
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
    // Clean-up on every way out, in this order: the controls resume, the
    // default cursor comes back, the batches close (between runs they hold nothing).
    const auto batchesClosed = qScopeGuard([this] {
        m_screen.cdsNota->Close();
        m_screen.cdsInv->Close();
    });
    TClientDataSet *preview = m_screen.cdsFaturamento;
    if (m_screen.pgcPadrao->currentWidget() == m_screen.tshFormulario)
        m_screen.SetActivePage(m_screen.tshFolhaDados);
    Screen::SetCursor(Screen::crHourGlass);
    const auto defaultCursor = qScopeGuard([] { Screen::SetCursor(Screen::crDefault); });
    // The walk's own suspension is resumed exactly once: when the walk is over,
    // or on the way out when it did not finish. One made by someone else stays theirs.
    preview->DisableControls();
    auto controlsResumed = qScopeGuard([preview] { preview->EnableControls(); });
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
    controlsResumed.dismiss();
    preview->EnableControls();
    Screen::SetCursor(Screen::crDefault);
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
    const auto animationDown = qScopeGuard([] { Showavi::DeactiveShowAvi(); });
    const QByteArray packet = batch.GetData();
    const TRemoteValue result =
        m_screen.netFaturamento->Call(QString::fromLatin1(method), {RemoteArgument::packet(packet)});
    m_screen.cdsFaturamento->SetData(Consiste::CheckResultServ(result, true, 0));
    m_screen.cdsFaturamento->MergeChangeLog();
    m_screen.runResultPanel->AddAnswer(QString::fromLatin1(method), *m_screen.cdsFaturamento);
}
