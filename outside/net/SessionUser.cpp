#include "outside/net/SessionUser.h"

#include "billing/AccessRight.h"

SessionUser &SessionUser::instance()
{
    static SessionUser user;
    return user;
}

void SessionUser::set(const QString &name, const QString &right)
{
    if (name == m_name && right == m_right)
        return;
    m_name = name;
    m_right = right;
    emit changed(m_name);
}

bool SessionUser::mayAtLeast(const QString &needed) const
{
    const std::optional<AccessRight> held = AccessRights::fromName(m_right);
    return !held || *held >= AccessRights::fromName(needed).value_or(AccessRight::Anyone);
}
