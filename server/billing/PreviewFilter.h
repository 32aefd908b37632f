#pragma once

#include <QDate>
#include <QStringList>

#include "server/rpc/RpcParams.h"

// The nine arguments of GetFaturamento, checked and decoded:
//   dtIni, dtFin, stTipoServ, clientList, clientAll, companyList, companyAll,
//   stSituacao, stSitNF.
// Throws RpcError(InvalidParams) with a Portuguese message for anything malformed.
struct PreviewFilter
{
    // Months of calculation from the month of dtIni to the month of dtFin, both
    // included: [firstMonth, endMonth) with endMonth the month after dtFin's.
    QDate firstMonth;
    QDate endMonth;
    QStringList serviceTypes; // "1".."7"
    bool allClients = true;
    QStringList clients;
    bool allCompanies = true;
    QStringList companies;
    bool allSituations = true;
    QStringList situations;      // status codes; pending includes the blank status ""
    bool issuedWanted = true;    // realized items with a note or invoice number
    bool notIssuedWanted = true; // realized items without one

    static PreviewFilter fromParams(const RpcParams &params);

    // Exposed for reuse and tests of the formats.
    static QDate parseDate(const QString &text, const QString &name);
    static QStringList parseTokens(const QString &text, const QString &allowed, const QString &name);
    static QStringList parseList(const QString &text, const QString &name);
};
