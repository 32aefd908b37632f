#include "server/billing/ItemKey.h"

#include <tuple>

bool ItemKey::operator<(const ItemKey &o) const
{
    return std::tie(company, branch, client, month, type) < std::tie(o.company, o.branch, o.client, o.month, o.type);
}

bool ItemKey::operator==(const ItemKey &o) const
{
    return std::tie(company, branch, client, month, type) == std::tie(o.company, o.branch, o.client, o.month, o.type);
}
