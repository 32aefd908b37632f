#include "NativeCursor.h"

#include <cstring>

#include <QSqlDriver>
#include <QSqlError>
#include <QVariant>

#include "PgCursor.h"
#include "SqlFailure.h"
#include "SqliteCursor.h"

namespace {

// The C handle behind a Qt connection: QSqlDriver::handle() holds a pointer of
// the named type (Qt spells libpq's PGconn by its struct's name).
template<typename Handle>
Handle *nativeHandle(const QSqlDatabase &db, const char *typeName, const char *otherName = "")
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid()
        || (std::strcmp(handle.typeName(), typeName) != 0 && std::strcmp(handle.typeName(), otherName) != 0))
        return nullptr;
    return *static_cast<Handle *const *>(handle.constData());
}

} // namespace

std::unique_ptr<NativeCursor> NativeCursor::open(const QSqlDatabase &db, const QString &sql, const QVariantList &values,
                                                 const char *context)
{
    if (auto *sqlite = nativeHandle<sqlite3>(db, "sqlite3*"))
        return std::make_unique<SqliteCursor>(sqlite, sql, values, context);
    if (auto *pg = nativeHandle<pg_conn>(db, "PGconn*", "pg_conn*"))
        return std::make_unique<PgCursor>(pg, sql, values, context);
    throw SqlFailure(QString::fromUtf8(context),
                     QSqlError(QStringLiteral("no native handle"),
                               QStringLiteral("the driver %1 gives no handle of SQLite or libpq").arg(db.driverName()),
                               QSqlError::ConnectionError, QStringLiteral("native")));
}
