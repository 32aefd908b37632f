#include "outside/net/SessionUser.h"

SessionUser &SessionUser::instance()
{
    static SessionUser user;
    return user;
}

void SessionUser::set(const QString &name)
{
    if (name == m_name)
        return;
    m_name = name;
    emit changed(m_name);
}
