#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include "outside/net/RemoteArgument.h"
#include "pkg_fas09600_export.h"

struct TFILTRO;

// The nine arguments of the application server's GetFaturamento, in the order
// they are sent, as a filter gives them. Each list comes before its flag for
// all; the code texts are empty or the billing item's codes between
// underscores ("_5__6_"), "T" standing for all.
struct PKG_FAS09600_EXPORT PreviewRequest
{
    QDateTime dtIniApu; // the period, at midnight: the date edits keep no time
    QDateTime dtFinApu;
    QString stTipoServ;     // service types
    QString stListaCliente; // picked clients, or empty
    QString stTodosCliente; // "T" for all clients, or empty
    QString stListaEmpresa; // picked companies, or empty
    QString stTodosEmpresa; // "T" for all companies, or empty
    QString stSituacao;     // situations
    QString stSitNF;        // state of the note or invoice

    // Reads nothing but the filter: no control, no module variable.
    static PreviewRequest FromFilter(const TFILTRO &filtro);

    QList<RemoteArgument> Arguments() const;
};
