#include "server/base/ServerLog.h"

Q_LOGGING_CATEGORY(lcServer, "fas.server")
Q_LOGGING_CATEGORY(lcHttp, "fas.server.http")
Q_LOGGING_CATEGORY(lcRpc, "fas.server.rpc")
Q_LOGGING_CATEGORY(lcSql, "fas.server.sql")

namespace ServerLog {

void installMessagePattern()
{
    qSetMessagePattern(QStringLiteral("%{time yyyy-MM-ddTHH:mm:ss.zzz} %{type} %{category}: %{message}"));
}

} // namespace ServerLog
