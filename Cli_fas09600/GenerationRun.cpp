#include "Cli_fas09600/GenerationRun.h"

#include <QScopeGuard>

#include "platform/data/TRecordStore.h"

#include "outside/services/ServerRefusals.h"

#include "outside/services/Consiste.h"
#include "platform/data/DataPacket.h"
#include "outside/services/Showavi.h"
#include "outside/forms/TApplication.h"
#include "platform/data/TClientDataSet.h"
#include "outside/services/TMessages.h"
#include "outside/net/TNetConnection.h"

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

GenerationRun::GenerationRun(TClientDataSet &preview, Batches batches, NationalityLookup nationality,
                             TNetConnection &connection, const TMessages &messages)
    : m_preview(preview)
    , m_batches(batches)
    , m_nationalityOf(std::move(nationality))
    , m_connection(connection)
    , m_messages(messages)
{
}

void GenerationRun::refuse(const char *code)
{
    Consiste::MensErro(m_messages.Msg(QString::fromLatin1(code)), true);
}

GenerationResult GenerationRun::Run()
{
    // The batches close on every way out: between runs they hold nothing.
    const auto batchesClosed = qScopeGuard([this] {
        m_batches.notes.Close();
        m_batches.invoices.Close();
    });
    walk();
    if (m_batches.notes.IsEmpty() && m_batches.invoices.IsEmpty())
        refuse("Apur_Inf");
    if (m_batches.notes.RecordCount() > 0)
        send(m_batches.notes, GenerationResult::Kind::Note);
    if (m_batches.invoices.RecordCount() > 0)
        send(m_batches.invoices, GenerationResult::Kind::Invoice);
    return m_generated;
}

void GenerationRun::walk()
{
    // Clean-up on every way out, in this order: the controls resume, the
    // default cursor comes back.
    Screen::SetCursor(Screen::crHourGlass);
    const auto defaultCursor = qScopeGuard([] { Screen::SetCursor(Screen::crDefault); });
    // The walk's own suspension is resumed exactly once: when the walk is over,
    // or on the way out when it did not finish. One made by someone else stays theirs.
    m_preview.DisableControls();
    auto controlsResumed = qScopeGuard([this] { m_preview.EnableControls(); });
    m_preview.First();
    recreate(&m_batches.notes);
    recreate(&m_batches.invoices);

    m_nationality.clear();
    const TRecordStore &rows = m_preview.Store();
    m_fields = {rows.indexOf(QStringLiteral("IDCHECK")), rows.indexOf(QStringLiteral("IDSTAPFATFAS")),
                rows.indexOf(QStringLiteral("NRLANCTONF")), rows.indexOf(QStringLiteral("NRLANCINVOICE"))};
    while (!m_preview.Eof()) {
        if (TClientDataSet *batch = batchFor())
            addCurrentRowTo(*batch);
        m_preview.Next();
    }

    m_preview.First();
    controlsResumed.dismiss();
    m_preview.EnableControls();
}

double GenerationRun::clientNationality(const QString &client)
{
    // One query per client and run: the answer cannot change while the run walks.
    const auto known = m_nationality.constFind(client);
    if (known != m_nationality.constEnd())
        return *known;
    const double clinac = m_nationalityOf(client);
    m_nationality.insert(client, clinac);
    return clinac;
}

TClientDataSet *GenerationRun::batchFor()
{
    TClientDataSet *preview = &m_preview;
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
        return clinac != 0 ? &m_batches.notes : &m_batches.invoices;
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
        "CDEMPRESA",     "NMEMPRESA",    "CDFILIAL",   "NMFILIAL",      "CDCLIENTE",    "NMFANTCLIE",
        "IDAPURFATFAS",  "DTMESAPURFAS", "MESAPURADO", "IDCHECK",       "IDSTAPFATFAS", "NRINVOICE",
        "NRLANCINVOICE", "NRLANCTONF",   "NRNOTAFISC", "CDGRUPONFAPUR",
    };
    static const char *const laterTextFields[] = {
        "CDPRODUTO",    "NMPRODUTO",    "CDOPERAPUR",   "NMOPERADOR",  "CDTIPOSERV",
        "IDCOMIFATFAS", "DSEMISSPRONF", "DSBOLEFATFAS", "DSFATURCLIE",
    };
    TClientDataSet *preview = &m_preview;
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

void GenerationRun::send(TClientDataSet &batch, GenerationResult::Kind kind)
{
    Showavi::ActiveShowAvi(Application().MainForm(), 1);
    const auto animationDown = qScopeGuard([] { Showavi::DeactiveShowAvi(); });
    const QString method = kind == GenerationResult::Kind::Note ? QStringLiteral("GeraNF")
                                                                : QStringLiteral("GeraInvoice");
    const TRemoteValue result = ServerRefusals::InClerkWords(
        [&] { return m_connection.Call(method, {RemoteArgument::packet(batch.GetData())}); });
    m_preview.SetData(Consiste::CheckResultServ(result, true, 0));
    m_preview.MergeChangeLog();
    // The answer holds the items just generated, now the preview's rows.
    m_generated.AddAnswer(kind, m_preview.Store());
}
