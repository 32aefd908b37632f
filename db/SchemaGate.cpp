#include "db/SchemaGate.h"

#include "platform/sql/DatabaseConnection.h"
#include "platform/sql/DatabaseError.h"
#include "db/SchemaMigrator.h"

namespace SchemaGate {
namespace {

void judge(const DatabaseUrl &url, int version, int newest)
{
    const QString name = url.displayName();
    if (version == SchemaMigrator::EmptyDatabase)
        throw DatabaseError(QStringLiteral("O banco de dados %1 não tem as tabelas do faturamento: crie-as com "
                                           "fas-admin init --database %1 (ou, com dados de demonstração, "
                                           "fas-demo-data --database %1).")
                                .arg(name));
    if (version < newest)
        throw DatabaseError(QStringLiteral("O banco de dados %1 está na versão %2 do esquema e este programa usa a "
                                           "versão %3: atualize o banco com fas-admin migrate --database %1.")
                                .arg(name)
                                .arg(version)
                                .arg(newest));
    if (version > newest)
        throw DatabaseError(QStringLiteral("O banco de dados %1 está na versão %2 do esquema, mais nova que a "
                                           "versão %3 que este programa conhece: este servidor é mais antigo que "
                                           "o banco de dados; atualize o servidor.")
                                .arg(name)
                                .arg(version)
                                .arg(newest));
}

} // namespace

void requireCurrent(const DatabaseUrl &url)
{
    const QString connection = QStringLiteral("fas-schema-gate");
    int version = 0;
    int newest = 0;
    try {
        QSqlDatabase db = DatabaseConnection::open(url, connection);
        SchemaMigrator migrator(db);
        version = migrator.currentVersion();
        newest = migrator.newestVersion();
    } catch (...) {
        DatabaseConnection::close(connection);
        throw;
    }
    DatabaseConnection::close(connection);
    judge(url, version, newest);
}

} // namespace SchemaGate
