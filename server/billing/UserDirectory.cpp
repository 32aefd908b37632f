#include "server/billing/UserDirectory.h"

#include "billing/UserToken.h"
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

// One indexed look-up by the token's hash (HASHTOKEN is unique), whatever the
// number of users. Comparing hashes through the index reveals nothing usable: the
// hash of a 256-bit random token does not lead back to the token. The outer row
// is there even when no user matches, to say whether the table has any user.
UserDirectory::Match UserDirectory::read(const std::optional<std::string> &token) const
{
    SqlStatement users(m_database.connection(),
                       QStringLiteral("SELECT EXISTS (SELECT 1 FROM USUARIOFAT), u.NMUSUARIO, u.IDDIREITO, u.IDATIVO "
                                      "FROM (SELECT 1 AS one) o LEFT JOIN USUARIOFAT u ON u.HASHTOKEN = ?"),
                       "usuários");
    const QVariant hash = token ? QVariant(UserToken::hashOf(*token)) : QVariant(QMetaType::fromType<QString>());
    users.exec({hash});
    Match match;
    if (!users.next())
        return match;
    match.anyUser = users.value(0).toInt() != 0;
    if (users.value(1).isNull())
        return match;
    match.user = RequestContext::User{
        users.value(1).toString(), AccessRights::fromName(users.value(2).toString()).value_or(AccessRight::Anyone)};
    match.disabled = users.value(3).toString() != QStringLiteral("S");
    return match;
}

bool UserDirectory::hasEnabledUser() const
{
    SqlStatement enabled(m_database.connection(),
                         QStringLiteral("SELECT 1 FROM USUARIOFAT WHERE IDATIVO = 'S' LIMIT 1"), "usuários ativos");
    return enabled.exec().next();
}
