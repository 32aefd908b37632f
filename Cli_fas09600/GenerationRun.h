#pragma once

#include <functional>

#include <QHash>
#include <QString>

#include "Cli_fas09600/GenerationResult.h"
#include "pkg_fas09600_export.h"

class TClientDataSet;
class TMessages;
class TNetConnection;

// "Gerar Nota Fiscal / Invoice", the part between the preview's rows and the
// application server: walks the preview's ticked rows, refuses notes and
// invoices already issued and cancelled calculations, splits the pending rows
// into the domestic batch and the foreign batch by the client's nationality,
// sends each batch that holds anything (GeraNF, then GeraInvoice) and loads
// each answer into the preview. What the server made is the run's result;
// reloading the preview and reporting success are the screen's.
class PKG_FAS09600_EXPORT GenerationRun
{
public:
    // CLINAC of a client: how many of its addresses are of type "P" in country
    // "0055"; 0 makes it foreign.
    using NationalityLookup = std::function<double(const QString &client)>;

    struct Batches
    {
        TClientDataSet &notes;    // cdsNota
        TClientDataSet &invoices; // cdsInv
    };

    // `messages` holds the refusals' texts (NF_Exist, Inv_Exist, Apur_Canc, Apur_Inf).
    GenerationRun(TClientDataSet &preview, Batches batches, NationalityLookup nationality, TNetConnection &connection,
                  const TMessages &messages);

    // The entries the server made. A refusal or a failure passes on; what was
    // made before a failure is in Generated().
    GenerationResult Run();
    const GenerationResult &Generated() const { return m_generated; }

private:
    void walk();
    // The batch the current preview row goes into, or nullptr; raises the
    // walk's refusals.
    TClientDataSet *batchFor();
    double clientNationality(const QString &client);
    void addCurrentRowTo(TClientDataSet &batch);
    void send(TClientDataSet &batch, GenerationResult::Kind kind);
    void refuse(const char *code);

    TClientDataSet &m_preview;
    Batches m_batches;
    NationalityLookup m_nationalityOf;
    TNetConnection &m_connection;
    const TMessages &m_messages;
    GenerationResult m_generated;
    QHash<QString, double> m_nationality; // per run
    struct Fields
    {
        int tick = -1, status = -1, noteEntry = -1, invoiceEntry = -1;
    };
    Fields m_fields; // the preview's columns the walk tests
};
