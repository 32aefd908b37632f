#pragma once

#include <QSqlDatabase>
#include <QStringList>
#include <QTextStream>

#include "platform/sql/DatabaseConnection.h"
#include "platform/sql/DatabaseUrl.h"

// What a fas-admin command runs with: the database chosen by the options, the
// command's own arguments and where it writes what it reports. The connection it
// opens is closed with the context.
class AdminContext
{
public:
    AdminContext(DatabaseUrl url, QStringList arguments, QTextStream &out);
    ~AdminContext();
    AdminContext(const AdminContext &) = delete;
    AdminContext &operator=(const AdminContext &) = delete;

    const DatabaseUrl &url() const { return m_url; }
    const QStringList &arguments() const { return m_arguments; }
    QTextStream &out() { return m_out; }
    // Writes a line of the report and flushes it, so progress shows as it happens.
    void say(const QString &line);

    // Opens the command's connection (once); throws DatabaseError.
    QSqlDatabase &database(DatabaseConnection::Mode mode = DatabaseConnection::Mode::OpenExisting);

private:
    DatabaseUrl m_url;
    QStringList m_arguments;
    QTextStream &m_out;
    QSqlDatabase m_db;
};
