#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include "billing/AccessRight.h"

// The application server's users in the database (USUARIOFAT), as fas-admin keeps
// them: a new user gets a new token, shown once and stored only as its hash; a
// disabled user keeps its row (its runs name it) but signs in no more; a new token
// replaces the old one and enables the user again. Throws FasError with a message
// the administrator can act on.
class UserStore
{
public:
    struct User
    {
        QString name;
        QString right;
        bool active = true;
        QString created;
    };

    explicit UserStore(QSqlDatabase db);

    // The new user's token.
    QString add(const QString &name, AccessRight right);
    QList<User> list() const;
    void disable(const QString &name);
    // The user's new token; the old one stops working at once.
    QString renewToken(const QString &name);

    // Names of 1 to 40 letters, digits and . _ - @ (they appear in logs and lines).
    static void checkName(const QString &name);

private:
    bool exists(const QString &name) const;
    void requireExisting(const QString &name) const;
    void exec(const QString &sql, const QVariantList &values) const;

    QSqlDatabase m_db;
};
