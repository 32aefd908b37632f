#include "server/app/AccessControl.h"

#include <utility>

#include "platform/data/FasError.h"
#include "server/base/SecretCompare.h"
#include "server/base/ServerLog.h"
#include "server/sql/SqlFailure.h"

namespace {

CallerIdentity identity(CallerIdentity::Outcome outcome, RequestContext::User user = {})
{
    CallerIdentity caller;
    caller.outcome = outcome;
    caller.user = std::move(user);
    return caller;
}

} // namespace

AccessControl::AccessControl(QByteArray fileToken, const UserDirectory &users, bool openWithoutUsers)
    : m_fileToken(std::move(fileToken))
    , m_users(users)
    , m_openWithoutUsers(openWithoutUsers)
{
}

CallerIdentity AccessControl::identify(const std::optional<std::string> &token) const
{
    using O = CallerIdentity::Outcome;
    UserDirectory::Match match;
    try {
        match = m_users.find(token);
    } catch (const FasError &error) {
        qCWarning(lcServer, "usuários: banco indisponível: %s", qUtf8Printable(error.message()));
        return identity(O::Unavailable);
    } catch (const SqlFailure &failure) {
        qCWarning(lcServer, "usuários: %s", failure.what());
        return identity(O::Unavailable);
    }
    if (!match.anyUser)
        return byFileToken(token);
    if (!token)
        return identity(O::NoToken);
    if (!match.user)
        return identity(O::UnknownToken);
    return identity(match.disabled ? O::Disabled : O::User, *match.user);
}

CallerIdentity AccessControl::byFileToken(const std::optional<std::string> &token) const
{
    using O = CallerIdentity::Outcome;
    if (m_fileToken.isEmpty() && m_openWithoutUsers)
        return identity(O::Open);
    if (m_fileToken.isEmpty())
        return identity(token ? O::UnknownToken : O::NoToken);
    if (!token)
        return identity(O::NoToken);
    const std::string_view expected(m_fileToken.constData(), size_t(m_fileToken.size()));
    return identity(SecretCompare::equal(*token, expected) ? O::Trusted : O::UnknownToken);
}
