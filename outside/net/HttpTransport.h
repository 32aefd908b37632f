#pragma once

#include <functional>
#include <string>

#include <QByteArray>
#include <QString>

#include <httplib.h>

class AnswerStream;
class RemoteCallError;

// What came back of one request.
struct HttpAnswer
{
    httplib::Error error = httplib::Error::Success;
    int status = 0;
    QByteArray body; // room for the JSON parser's padding is left after it
    bool tooLarge = false;
    qint64 elapsedMs = 0;
    bool deadlinePassed = false;
    long certificateCheck = 0; // OpenSSL's verification result, for a refused certificate
};

// The HTTP side of the connection to the application server: one kept-alive
// client, with the bearer token and, for an https host, the certificate checks; each
// request runs under one deadline for the whole of it (see TNetConnection).
class HttpTransport
{
public:
    // Answers above a packet's limit are refused while they arrive, not after.
    static const qsizetype MaxAnswerBytes;

    using Answer = HttpAnswer;

    struct Target
    {
        QString host; // a name or address, "https://" before it for TLS
        int port = 0;
        int timeoutMs = 0;
        QString token;  // empty: the configured token file's, if any
        QString caFile; // empty: the configured one, else the system's authorities
    };

    // Throws RemoteCallError when the token or CA file cannot be used.
    explicit HttpTransport(const Target &target);

    // "host:port" or "https://host:port", as messages name it.
    static QString address(const QString &host, int port);
    static bool isHttps(const QString &host);
    // Where the host's settings are told to be, for messages.
    static QString configurationHint();

    // Posts `body` and reads the answer as it arrives into `stream`.
    Answer post(const std::string &path, const std::string &body, const std::string &idempotencyKey,
                AnswerStream &stream);
    Answer get(const std::string &path);
    // Runs `request` within `timeoutMs` (see TNetConnection::MinBytesPerSecond for
    // an answer still arriving), filling in its time and whether the deadline passed.
    Answer underDeadline(const std::function<Answer()> &request, int timeoutMs,
                         const std::function<qint64()> &received);
    // Stops the request in flight; may be called from any thread.
    void stop();

    // The request went out, but whether the server ran it is not known.
    static bool outcomeUnknown(const Answer &answer);
    // A request that did not reach the server or whose answer did not come back.
    static RemoteCallError notDelivered(const Answer &answer, const QString &address, const QString &what,
                                        int timeoutMs);

private:
    httplib::Client m_http;
};
