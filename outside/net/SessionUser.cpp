#include "outside/net/SessionUser.h"

#include <QStringList>

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
    static const QStringList order{QStringLiteral("consulta"), QStringLiteral("faturamento"),
                                   QStringLiteral("supervisor")};
    const qsizetype held = order.indexOf(m_right);
    return held < 0 || held >= order.indexOf(needed);
}
