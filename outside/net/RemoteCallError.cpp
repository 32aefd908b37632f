#include "outside/net/RemoteCallError.h"

RemoteCallError::RemoteCallError(Reason reason, int serverCode, QString message)
    : FasError(std::move(message))
    , m_reason(reason)
    , m_serverCode(serverCode)
{
}
