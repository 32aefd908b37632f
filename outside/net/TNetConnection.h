#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include <QList>
#include <QObject>
#include <QString>

#include "outside/net/RemoteArgument.h"
#include "outside/net/TRemoteValue.h"
#include "kor_export.h"

// The connection to the application server's remote object. Host and port are
// set by the BeforeConnect handler on every connect; calls are made by method
// name with positional arguments, as JSON-RPC 2.0 over a kept-alive HTTP
// connection.
//
// A host written "https://name" is reached over TLS, with the server's
// certificate checked against the CA file (the system's authorities when none is
// given) and its name against the certificate. The bearer token and the CA file
// are those set here, or else those of the host's configuration ([client]
// token_file and ca_file). Every request has one deadline, TimeoutMs, for the
// whole of it: connecting, sending and receiving together; only an answer that
// is still arriving at a steady rate (MinBytesPerSecond, measured second by
// second) may go on past it, up to ten times the deadline.
//
// Every call carries a fresh Idempotency-Key header. When the transport fails
// after the request went out (the deadline passed, the connection dropped, a proxy
// answered 502/503/504), the outcome is unknown: the call is sent again with the
// same key, a few times within its deadline, so a run the server committed ends
// with the answer it gave, never as a failure nor as a second run.
//
// A call is synchronous for its caller. The request runs on a worker thread
// while the caller's thread waits in a local event loop that excludes user
// input: the busy animation keeps moving and no second user action can start.
//
// The work is shared out: HttpTransport makes the requests, AnswerReader reads
// the answers, CallWait keeps the caller waiting; this class joins them.
class AnswerStream;
class HttpTransport;
struct HttpAnswer;

class KOR_EXPORT TNetConnection : public QObject
{
    Q_OBJECT
public:
    static constexpr int DefaultTimeoutMs = 120000;
    static constexpr qint64 MinBytesPerSecond = 16 * 1024;

    // A call the user may stop (a preview's load): while it waits, Escape or the
    // busy panel's "Cancelar" stops it, and it throws RemoteCallError (Cancelled).
    enum class CallKind { Plain, UserMayCancel };

    explicit TNetConnection(QObject *parent = nullptr);
    ~TNetConnection() override;

    QString ServerName() const { return m_serverName; }
    void SetServerName(const QString &name) { m_serverName = name; }
    QString Host() const { return m_host; }
    void SetHost(const QString &host) { m_host = host; }
    int Port() const { return m_port; }
    void SetPort(int port) { m_port = port; }
    int TimeoutMs() const { return m_timeoutMs; }
    void SetTimeoutMs(int ms) { m_timeoutMs = ms; }
    QString BearerToken() const { return m_token; }
    void SetBearerToken(const QString &token) { m_token = token; }
    QString CaFile() const { return m_caFile; }
    void SetCaFile(const QString &path) { m_caFile = path; }

    QString Address() const; // "host:port" or "https://host:port", as messages name it
    // The user the server says the token belongs to, from its health entry at
    // connect; empty when the server has no users or was not asked.
    QString UserName() const { return m_userName; }
    // That user's right ("consulta", "faturamento", "supervisor"); empty likewise.
    QString UserRight() const { return m_userRight; }

    // How many times a call whose outcome is unknown is sent in all.
    static constexpr int MaxAttempts = 3;

    // Connecting runs BeforeConnect, then asks the server's health entry, so an
    // unreachable server is reported at once. Throws RemoteCallError.
    bool Connected() const { return m_connected; }
    void SetConnected(bool connected);
    void Open() { SetConnected(true); }
    void Close() { SetConnected(false); }

    // Calls `method` on the remote object. Throws RemoteCallError when the
    // server cannot be reached, does not answer within TimeoutMs, or answers
    // with an error.
    TRemoteValue Call(const QString &method, const QList<RemoteArgument> &args, CallKind kind = CallKind::Plain);
    // Stops the call in flight if the user may stop it; does nothing otherwise.
    void Cancel();

signals:
    void BeforeConnect(TNetConnection *sender);
    // While a data packet arrives: the rows received so far (a few times a second).
    void ReceivingRows(int rows);
    // As a call goes out: its method and the JSON text of its positional
    // parameters (an array). Only made when something listens.
    void Sending(const QString &method, const QByteArray &params);

private:
    HttpAnswer send(const std::shared_ptr<HttpTransport> &transport, const std::string &path,
                               const std::string &body, std::unique_ptr<AnswerStream> &stream);
    HttpAnswer runOnWorker(const std::shared_ptr<HttpTransport> &transport,
                                      const std::function<HttpAnswer()> &request,
                                      const AnswerStream *stream = nullptr, int deadlineMs = -1);
    void checkHealth();
    void readHealth(const QByteArray &body);
    void refuseWhileBusy(const QString &method) const;
    std::string buildRequest(const QString &method, const QList<RemoteArgument> &args);

    std::shared_ptr<HttpTransport> m_client; // shared with a call in flight
    bool m_busy = false;
    bool m_cancellable = false; // the call in flight may be stopped by the user
    bool m_cancelled = false;
    QString m_serverName = QStringLiteral("FAS09600.rdmFaturamento");
    QString m_host = QStringLiteral("127.0.0.1");
    int m_port = 9600;
    int m_timeoutMs = DefaultTimeoutMs;
    QString m_token;
    QString m_caFile;
    QString m_userName;
    QString m_userRight;
    bool m_connected = false;
    qint64 m_nextId = 1;
};
