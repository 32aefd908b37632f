#pragma once

#include <QLoggingCategory>

// The application server's log categories. Every line goes to standard error as
// "time level category: message"; QT_LOGGING_RULES filters them, e.g.
// QT_LOGGING_RULES="fas.server.http.info=false" drops the line per request.
// Text a client sent is escaped (LogText) before it is logged.
Q_DECLARE_LOGGING_CATEGORY(lcServer) // fas.server: start and stop
Q_DECLARE_LOGGING_CATEGORY(lcHttp)   // fas.server.http: one line per request, answers broken off, handler failures
Q_DECLARE_LOGGING_CATEGORY(lcRpc)    // fas.server.rpc: failures inside a remote method
Q_DECLARE_LOGGING_CATEGORY(lcSql)    // fas.server.sql: database errors and reconnections

namespace ServerLog {

// Sets the shape of the lines (QT_MESSAGE_PATTERN, when set, still wins).
void installMessagePattern();

} // namespace ServerLog
