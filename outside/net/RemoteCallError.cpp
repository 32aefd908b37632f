#include "outside/net/RemoteCallError.h"

RemoteCallError::RemoteCallError(Reason reason, int serverCode, QString message, QString serverWords)
    : FasError(std::move(message))
    , m_reason(reason)
    , m_serverCode(serverCode)
    , m_serverWords(std::move(serverWords))
{
}
