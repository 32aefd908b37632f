#pragma once

#include <cstring>

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

namespace DatabaseConnection {

// The C handle behind a Qt connection, or null when the connection's driver holds
// no handle of the named type. QSqlDriver::handle() wraps a pointer whose type
// name Qt spells in its own way (libpq's PGconn as "PGconn*" or "pg_conn*").
template<typename Handle>
Handle *nativeHandle(const QSqlDatabase &db, const char *typeName, const char *otherName = "")
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid()
        || (std::strcmp(handle.typeName(), typeName) != 0 && std::strcmp(handle.typeName(), otherName) != 0))
        return nullptr;
    return *static_cast<Handle *const *>(handle.constData());
}

} // namespace DatabaseConnection
