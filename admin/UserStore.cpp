#include "admin/UserStore.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

#include "billing/UserToken.h"
#include "platform/data/CivilDate.h"
#include "platform/sql/DatabaseError.h"

UserStore::UserStore(QSqlDatabase db)
    : m_db(std::move(db))
{
}

void UserStore::checkName(const QString &name)
{
    // Anchored on the whole text: "$" alone would let a final line feed through.
    static const QRegularExpression valid(QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9._@-]{1,40}")));
    if (!valid.match(name).hasMatch())
        throw FasError(QStringLiteral("Nome de usuário inválido \"%1\": use de 1 a 40 letras sem acento, dígitos "
                                      "ou . _ - @.")
                           .arg(name));
}

QString UserStore::add(const QString &name, AccessRight right)
{
    checkName(name);
    if (exists(name))
        throw FasError(QStringLiteral("O usuário %1 já existe. Para lhe dar um novo token use fas-admin user token %1.")
                           .arg(name));
    const QString token = UserToken::generate();
    exec(QStringLiteral("INSERT INTO USUARIOFAT (NMUSUARIO, IDDIREITO, HASHTOKEN, IDATIVO, DTCRIACAO) "
                        "VALUES (?, ?, ?, 'S', ?)"),
         {name, AccessRights::name(right), UserToken::hashOf(token.toStdString()),
          CivilDate::sqlDateTime(QDateTime::currentDateTime())});
    return token;
}

QList<UserStore::User> UserStore::list() const
{
    QSqlQuery query(m_db);
    if (!query.exec(
            QStringLiteral("SELECT NMUSUARIO, IDDIREITO, IDATIVO, DTCRIACAO FROM USUARIOFAT ORDER BY NMUSUARIO")))
        throw DatabaseError(QStringLiteral("Não foi possível ler os usuários: %1").arg(query.lastError().text()));
    QList<User> users;
    while (query.next())
        users.append({query.value(0).toString(), query.value(1).toString(), query.value(2).toString() == u"S",
                      query.value(3).toDateTime().toString(QStringLiteral("dd/MM/yyyy HH:mm"))});
    return users;
}

void UserStore::disable(const QString &name)
{
    requireExisting(name);
    exec(QStringLiteral("UPDATE USUARIOFAT SET IDATIVO = 'N' WHERE NMUSUARIO = ?"), {name});
}

QString UserStore::renewToken(const QString &name)
{
    requireExisting(name);
    const QString token = UserToken::generate();
    exec(QStringLiteral("UPDATE USUARIOFAT SET HASHTOKEN = ?, IDATIVO = 'S' WHERE NMUSUARIO = ?"),
         {UserToken::hashOf(token.toStdString()), name});
    return token;
}

bool UserStore::exists(const QString &name) const
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT 1 FROM USUARIOFAT WHERE NMUSUARIO = ?"));
    query.addBindValue(name);
    if (!query.exec())
        throw DatabaseError(QStringLiteral("Não foi possível ler os usuários: %1").arg(query.lastError().text()));
    return query.next();
}

void UserStore::requireExisting(const QString &name) const
{
    checkName(name);
    if (!exists(name))
        throw FasError(QStringLiteral("O usuário %1 não existe; veja os usuários com fas-admin user list.").arg(name));
}

void UserStore::exec(const QString &sql, const QVariantList &values) const
{
    QSqlQuery query(m_db);
    query.prepare(sql);
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec())
        throw DatabaseError(
            QStringLiteral("O banco de dados recusou a alteração dos usuários: %1").arg(query.lastError().text()));
}
