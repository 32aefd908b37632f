#pragma once

#include <cstdint>
#include <string>

#include <QDate>
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

#include "platform/sql/DatabaseUrl.h"
#include "platform/data/TRecordStore.h"
#include "server/rpc/RpcParams.h"

// The record of runs as the history screen reads it: GetGeracoes lists the runs
// (EXECFAT), newest first, one row per run with key field IDGERACAO; and
// GetLancamentosGeracao lists the entries one run made or reversed, each live or
// reversed (with who, when and why). Both answer a data packet.
class RunHistory
{
public:
    // GetGeracoes(dtInicio, dtFim, usuario, cdEmpresa); an empty text means all.
    struct RunFilter
    {
        QDate from; // null: from the first run
        QDate to;   // null: up to the last; the whole day included
        QString user;
        QString company;

        static RunFilter fromParams(const RpcParams &params);
    };

    RunHistory(QSqlDatabase db, DatabaseUrl::Kind dialect);

    // Packet texts and their row counts.
    struct Packet
    {
        std::string json;
        int rows = 0;
    };
    Packet runs(const RunFilter &filter) const;
    // Throws RpcError(EntryNotFound) when there is no such run.
    Packet entriesOfRun(std::int64_t run) const;
    // The entries a reversal run marked (for its answer, inside its transaction).
    Packet entriesReversedBy(std::int64_t run) const;

    // A run's id (or an entry's number: `name`) given as a number or as its text;
    // throws RpcError(InvalidParams).
    static std::int64_t runIdOf(const RpcParams &params, int index, const QString &name = QStringLiteral("geração"));

    // A value read from the database into the packet's cell of the field's type
    // (a null stays null); the invoice's query writes its packet the same way.
    static void putCell(TRecordStore &store, int row, int field, const QVariant &value);

private:
    Packet read(const TFieldDefs &fields, const QString &sql, const QVariantList &values, const char *context) const;

    QSqlDatabase m_db;
    DatabaseUrl::Kind m_dialect;
};
