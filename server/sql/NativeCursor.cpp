#include "server/sql/NativeCursor.h"

#include <QSqlError>
#include <QVariant>

#include "platform/sql/NativeHandle.h"
#include "server/sql/PgCursor.h"
#include "server/sql/SqlFailure.h"
#include "server/sql/SqliteCursor.h"

std::unique_ptr<NativeCursor> NativeCursor::open(const QSqlDatabase &db, const QString &sql, const QVariantList &values,
                                                 const char *context)
{
    if (auto *sqlite = DatabaseConnection::nativeHandle<sqlite3>(db, "sqlite3*"))
        return std::make_unique<SqliteCursor>(sqlite, sql, values, context);
    if (auto *pg = DatabaseConnection::nativeHandle<pg_conn>(db, "PGconn*", "pg_conn*"))
        return std::make_unique<PgCursor>(pg, sql, values, context);
    throw SqlFailure(QString::fromUtf8(context),
                     QSqlError(QStringLiteral("no native handle"),
                               QStringLiteral("the driver %1 gives no handle of SQLite or libpq").arg(db.driverName()),
                               QSqlError::ConnectionError, QStringLiteral("native")));
}
