#include "server/billing/ItemKey.h"

#include <tuple>

#include "server/sql/SqlDialect.h"

bool ItemKey::operator<(const ItemKey &o) const
{
    return std::tie(company, branch, client, month, type) < std::tie(o.company, o.branch, o.client, o.month, o.type);
}

bool ItemKey::operator==(const ItemKey &o) const
{
    return std::tie(company, branch, client, month, type) == std::tie(o.company, o.branch, o.client, o.month, o.type);
}

QStringList ItemKey::lockOrder(const SqlDialect &dialect, const QString &alias)
{
    const QString prefix = alias + u'.';
    return {dialect.byteOrder(prefix + QStringLiteral("CDEMPRESA")),
            dialect.byteOrder(prefix + QStringLiteral("CDFILIAL")),
            dialect.byteOrder(prefix + QStringLiteral("CDCLIENTE")), prefix + QStringLiteral("DTMESAPURFAS"),
            dialect.byteOrder(prefix + QStringLiteral("IDAPURFATFAS"))};
}
