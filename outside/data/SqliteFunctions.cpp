#include "outside/data/SqliteFunctions.h"

#include <QDate>
#include <QVariant>

#include <sqlite3.h>

#include "platform/data/CivilDate.h"
#include "platform/data/FasError.h"
#include "platform/sql/NativeHandle.h"

namespace {

void toDate(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    if (argc != 1 || sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto *raw = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    const QString text = QString::fromUtf8(raw, sqlite3_value_bytes(argv[0])).trimmed();
    const QDate date = QDate::fromString(text, QStringLiteral("dd/MM/yyyy"));
    if (!date.isValid()) {
        const QByteArray message =
            QStringLiteral("TO_DATE: \"%1\" não é uma data no formato dd/mm/aaaa.").arg(text).toUtf8();
        sqlite3_result_error(context, message.constData(), int(message.size()));
        return;
    }
    const QByteArray iso = CivilDate::sqlDate(date).toLatin1();
    sqlite3_result_text(context, iso.constData(), int(iso.size()), SQLITE_TRANSIENT);
}

} // namespace

namespace SqliteFunctions {

void Register(const QSqlDatabase &database)
{
    if (!database.isOpen())
        return;
    sqlite3 *connection = DatabaseConnection::nativeHandle<sqlite3>(database, "sqlite3*");
    if (!connection)
        return;
    const int status = sqlite3_create_function_v2(connection, "TO_DATE", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                                  &toDate, nullptr, nullptr, nullptr);
    if (status != SQLITE_OK) {
        throw FasError(QStringLiteral("Não foi possível registrar a função TO_DATE no banco de dados %1: %2")
                           .arg(database.databaseName(), QString::fromUtf8(sqlite3_errstr(status))));
    }
}

} // namespace SqliteFunctions
