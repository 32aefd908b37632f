#pragma once

#include <cstdint>
#include <string>

#include <QSqlDatabase>
#include <QString>

#include "server/rpc/RpcParams.h"

// GetFaturaDocumento(cdEmpresa, nrLancFat[, idTpLancFat]): what an invoice entry's
// document prints, as a packet of InvoiceLayout (one row per calculation, the
// header in each). A reversed invoice is read from the links its reversal kept.
class InvoiceQuery
{
public:
    struct Request
    {
        QString company;
        qint64 number = 0;
        // Throws RpcError(InvalidParams): bad parameters, or a kind other than 'I'.
        static Request fromParams(const RpcParams &params);
    };
    struct Packet
    {
        std::string json;
        int rows = 0;
    };

    explicit InvoiceQuery(QSqlDatabase db);
    // Throws RpcError(EntryNotFound) when the company has no such invoice.
    Packet read(const Request &request) const;

private:
    QSqlDatabase m_db;
};
