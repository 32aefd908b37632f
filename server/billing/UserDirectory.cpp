#include "server/billing/UserDirectory.h"

#include "billing/UserToken.h"
#include "server/base/SecretCompare.h"
#include "server/sql/SqlFailure.h"
#include "server/sql/SqlStatement.h"

UserDirectory::UserDirectory(const ThreadDatabase &database)
    : m_database(database)
{
}

UserDirectory::Match UserDirectory::find(const std::optional<std::string> &token) const
{
    // A connection broken meanwhile (the database restarted) is replaced once.
    try {
        return read(token);
    } catch (const SqlFailure &failure) {
        if (!failure.isConnectionLost())
            throw;
        m_database.discard();
    }
    try {
        return read(token);
    } catch (const SqlFailure &failure) {
        if (failure.isConnectionLost())
            m_database.discard();
        throw;
    }
}

UserDirectory::Match UserDirectory::read(const std::optional<std::string> &token) const
{
    SqlStatement users(m_database.connection(),
                       QStringLiteral("SELECT NMUSUARIO, IDDIREITO, HASHTOKEN, IDATIVO FROM USUARIOFAT"), "usuários");
    users.exec();
    const std::string hash = token ? UserToken::hashOf(*token).toStdString() : std::string();
    Match match;
    while (users.next()) {
        match.anyUser = true;
        const std::string stored = users.value(2).toString().toStdString();
        if (!token || !SecretCompare::equal(hash, stored) || match.user)
            continue;
        match.user = RequestContext::User{
            users.value(0).toString(), AccessRights::fromName(users.value(1).toString()).value_or(AccessRight::Anyone)};
        match.disabled = users.value(3).toString() != QStringLiteral("S");
    }
    return match;
}

bool UserDirectory::hasEnabledUser() const
{
    SqlStatement enabled(m_database.connection(),
                         QStringLiteral("SELECT 1 FROM USUARIOFAT WHERE IDATIVO = 'S' LIMIT 1"), "usuários ativos");
    return enabled.exec().next();
}
