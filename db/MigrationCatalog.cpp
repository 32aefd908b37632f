#include "db/MigrationCatalog.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include "platform/sql/DatabaseError.h"
#include "db/SchemaScript.h"

namespace MigrationCatalog {

QList<Migration> forKind(DatabaseUrl::Kind kind)
{
    return fromFolder(kind == DatabaseUrl::Kind::Sqlite ? QStringLiteral(":/fas/db/migrations/sqlite")
                                                        : QStringLiteral(":/fas/db/migrations/postgresql"));
}

Migration parse(const QString &fileName, const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{4})-[a-z0-9-]+\\.sql$"));
    const auto match = pattern.match(fileName);
    if (!match.hasMatch())
        throw DatabaseError(QStringLiteral("Migração com nome inválido: %1 (use NNNN-nome.sql).").arg(fileName));
    static const QRegularExpression marker(QStringLiteral("^--\\s*fas:foreign-keys-off\\s*$"),
                                           QRegularExpression::MultilineOption);
    Migration migration;
    migration.version = match.captured(1).toInt();
    migration.name = fileName.chopped(4);
    migration.statements = SchemaScript::parseStatements(text);
    migration.foreignKeysOff = marker.match(text).hasMatch();
    return migration;
}

QList<Migration> fromFolder(const QString &folder)
{
    const QDir dir(folder);
    QList<Migration> migrations;
    for (const QString &fileName : dir.entryList({QStringLiteral("*.sql")}, QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(fileName));
        if (!file.open(QIODevice::ReadOnly))
            throw DatabaseError(QStringLiteral("A migração %1 não pôde ser lida.").arg(file.fileName()));
        migrations.append(parse(fileName, QString::fromUtf8(file.readAll())));
        if (migrations.last().version != migrations.size())
            throw DatabaseError(QStringLiteral("A migração %1 deveria ter o número %2.")
                                    .arg(fileName)
                                    .arg(migrations.size(), 4, 10, QChar(u'0')));
    }
    if (migrations.isEmpty())
        throw DatabaseError(
            QStringLiteral("As migrações do esquema não estão embutidas no programa (%1).").arg(folder));
    return migrations;
}

} // namespace MigrationCatalog
