#pragma once

#include <QObject>
#include <QString>

#include "kor_export.h"

// Who the application server says is signed in, once per process (libkor exists
// once, shared by the host and the module): set by TNetConnection when it connects,
// shown by the host's status bar. Empty when the server has no users. The right
// is the server's word ("consulta", "faturamento", "supervisor"); empty when unknown.
class KOR_EXPORT SessionUser : public QObject
{
    Q_OBJECT
public:
    static SessionUser &instance();

    QString name() const { return m_name; }
    QString right() const { return m_right; }
    void set(const QString &name, const QString &right = QString());
    // Whether the user may do what needs `needed`; an unknown right may (the
    // server has the last word).
    bool mayAtLeast(const QString &needed) const;

signals:
    void changed(const QString &name);

private:
    SessionUser() = default;
    QString m_name;
    QString m_right;
};
