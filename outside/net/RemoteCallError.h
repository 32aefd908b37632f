#pragma once

#include "platform/data/FasError.h"
#include "kor_export.h"

// A remote call that did not produce a result: the server could not be reached,
// did not answer in time, or answered with an error. The message names the
// server's address and the reason.
class KOR_EXPORT RemoteCallError : public FasError
{
public:
    enum class Reason {
        Refused,
        TimedOut,
        Transport,
        ServerError,
        BadAnswer,
        NotConnected,
        Busy,
        Unauthorized,
        Certificate,
        Configuration,
        Cancelled
    };

    RemoteCallError(Reason reason, int serverCode, QString message, QString serverWords = {});
    Reason reason() const { return m_reason; }
    int serverCode() const { return m_serverCode; } // JSON-RPC error code, 0 when none
    // The server's own message of a refusal, without the address and the call; empty when none.
    const QString &serverWords() const { return m_serverWords; }

private:
    Reason m_reason;
    int m_serverCode;
    QString m_serverWords;
};
