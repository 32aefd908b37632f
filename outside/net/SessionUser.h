#pragma once

#include <QObject>
#include <QString>

#include "kor_export.h"

// Who the application server says is signed in, once per process (libkor exists
// once, shared by the host and the module): set by TNetConnection when it connects,
// shown by the host's status bar. Empty when the server has no users.
class KOR_EXPORT SessionUser : public QObject
{
    Q_OBJECT
public:
    static SessionUser &instance();

    QString name() const { return m_name; }
    void set(const QString &name);

signals:
    void changed(const QString &name);

private:
    SessionUser() = default;
    QString m_name;
};
