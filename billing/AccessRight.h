#pragma once

#include <optional>

#include <QString>

// The rights a user may hold, each including the ones before it (the order of the
// enumeration is the order of the rights). A remote method names the least one it
// needs when it is registered; Anyone needs no user at all. The server, fas-admin
// and the module all name and order rights through this header.
enum class AccessRight { Anyone, Consulta, Faturamento, Supervisor };

namespace AccessRights {

// The name a right has in the database, in fas-admin and in messages.
inline QString name(AccessRight right)
{
    switch (right) {
    case AccessRight::Anyone:
        return QStringLiteral("nenhum");
    case AccessRight::Consulta:
        return QStringLiteral("consulta");
    case AccessRight::Faturamento:
        return QStringLiteral("faturamento");
    case AccessRight::Supervisor:
        return QStringLiteral("supervisor");
    }
    return {};
}

// The right a user may be given by that name; nullopt for any other text.
inline std::optional<AccessRight> fromName(const QString &text)
{
    for (AccessRight right : {AccessRight::Consulta, AccessRight::Faturamento, AccessRight::Supervisor})
        if (name(right) == text)
            return right;
    return std::nullopt;
}

} // namespace AccessRights
