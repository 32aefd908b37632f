// Preloaded into fas-appserver by the tests that need a server which ends right
// after a generation commits, before it can answer, as a server killed at that
// moment would (AppServerProcess::endingAfterCommit). It stands between the server and
// its database clients: a statement that writes billing entries (INSERT INTO
// LANCFATFAS) marks its thread's transaction; once the database has confirmed that
// transaction's COMMIT, the process ends at once with status 9; a ROLLBACK clears
// the mark. Every other statement passes untouched, so the server runs as it always
// does up to that moment, whatever it did before (start-up, reads, refusals).
//
// SQLite: sqlite3_step, whose statement's text sqlite3_sql gives. PostgreSQL, as
// Qt's driver speaks to it: PQexec, or PQsendQuery and its results from PQgetResult.

#include <dlfcn.h>
#include <strings.h>
#include <unistd.h>

#include <cctype>
#include <cstring>

#include <libpq-fe.h>
#include <sqlite3.h>

namespace {

constexpr int EndStatus = 9;

thread_local bool entriesWritten = false;  // the thread's transaction wrote entries
thread_local PGconn *commitSent = nullptr; // a marked COMMIT whose result is awaited

// The function the server would have called without this library.
template<typename Function>
Function next(const char *name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// Whether `sql`, leading blanks aside, is the statement `word` alone (a trailing
// semicolon allowed).
bool isStatement(const char *sql, const char *word)
{
    if (!sql)
        return false;
    while (std::isspace(static_cast<unsigned char>(*sql)))
        ++sql;
    const std::size_t length = std::strlen(word);
    if (strncasecmp(sql, word, length) != 0)
        return false;
    for (sql += length; *sql; ++sql)
        if (!std::isspace(static_cast<unsigned char>(*sql)) && *sql != ';')
            return false;
    return true;
}

bool writesEntries(const char *sql)
{
    return sql && strcasestr(sql, "INSERT INTO LANCFATFAS") != nullptr;
}

// Notes what `sql` does to the thread's transaction; true for the COMMIT of one
// that wrote entries.
bool endsMarkedTransaction(const char *sql)
{
    if (writesEntries(sql)) {
        entriesWritten = true;
    } else if (isStatement(sql, "COMMIT") || isStatement(sql, "ROLLBACK")) {
        const bool marked = entriesWritten && isStatement(sql, "COMMIT");
        entriesWritten = false; // the transaction is over, whether its COMMIT succeeds or not
        return marked;
    }
    return false;
}

// Whether `result` is a COMMIT the database confirmed (a failed transaction's
// COMMIT reports ROLLBACK).
bool committed(PGresult *result)
{
    static const auto status = next<ExecStatusType (*)(const PGresult *)>("PQresultStatus");
    static const auto command = next<char *(*)(PGresult *)>("PQcmdStatus");
    return result && status(result) == PGRES_COMMAND_OK && isStatement(command(result), "COMMIT");
}

} // namespace

extern "C" {

int sqlite3_step(sqlite3_stmt *statement)
{
    static const auto real = next<int (*)(sqlite3_stmt *)>("sqlite3_step");
    static const auto text = next<const char *(*)(sqlite3_stmt *)>("sqlite3_sql");
    const bool ending = endsMarkedTransaction(text(statement));
    const int status = real(statement);
    if (ending && status == SQLITE_DONE)
        _exit(EndStatus);
    return status;
}

PGresult *PQexec(PGconn *connection, const char *query)
{
    static const auto real = next<PGresult *(*)(PGconn *, const char *)>("PQexec");
    const bool ending = endsMarkedTransaction(query);
    PGresult *result = real(connection, query);
    if (ending && committed(result))
        _exit(EndStatus);
    return result;
}

int PQsendQuery(PGconn *connection, const char *query)
{
    static const auto real = next<int (*)(PGconn *, const char *)>("PQsendQuery");
    const bool ending = endsMarkedTransaction(query);
    const int sent = real(connection, query);
    if (ending && sent)
        commitSent = connection;
    return sent;
}

PGresult *PQgetResult(PGconn *connection)
{
    static const auto real = next<PGresult *(*)(PGconn *)>("PQgetResult");
    PGresult *result = real(connection);
    if (connection == commitSent && committed(result))
        _exit(EndStatus);
    if (connection == commitSent && !result)
        commitSent = nullptr; // the COMMIT's results are over
    return result;
}

} // extern "C"
