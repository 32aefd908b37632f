#pragma once

#include <chrono>

#include <functional>
#include <memory>
#include <string_view>
#include <utility>

#include <vector>
#include <QList>
#include <QString>

#include <QByteArray>

#include "server/base/IpAddress.h"
#include "server/http/CallerIdentity.h"
#include "server/rpc/JsonRpcFront.h"

// The HTTP side of the server (cpp-httplib on its own thread pool):
//   POST /FAS09600.rdmFaturamento  JSON-RPC 2.0 body, answered by JsonRpcFront
//   GET  /health                   200 {"status":"ok",...} or 503 with the reason; to a
//                                  caller the server does not admit, only the status
//                                  (HEAD too)
// Anything else, another path or another method, is 404, its body never read.
// It applies the limits (header deadline, size and count, body size whatever its
// framing, body deadline, the memory of bodies being received, read/write
// time-outs, keep-alive; see GuardedServer), asks
// who the bearer token names once per request (the caller's user goes into the
// request's context; a caller not admitted gets 401), answers a call refused for
// want of a right with 403, refuses bodies it does not need (compressed, not JSON), turns every
// HTTP-level failure into a JSON-RPC error body, and logs one line per request to
// standard error: method, rows, milliseconds, with what the client sent escaped.
class HttpFront
{
public:
    using HealthCheck = std::function<std::pair<bool, QString>()>;

    // Each entry is its one path, compared as sent (no percent-decoding), with its
    // methods; any other request is answered 404 before its body is read.
    static constexpr const char *RpcPath = "/FAS09600.rdmFaturamento";
    static constexpr const char *HealthPath = "/health";
    static constexpr int KeepAliveMaxRequests = 100;
    static constexpr int MaxHeaderBytes = 16384;
    static constexpr int MaxHeaderLines = 65; // the request line and 64 headers
    // Bodies read and not yet served hold at most this much, or twice the body
    // limit when that is more (unless configured).
    static constexpr int DefaultBodyMemoryMb = 256;
    // Connection threads beyond the application threads: they only wait for header
    // blocks, so this many slow clients can wait without delaying anyone.
    static constexpr int ExtraConnectionThreads = 128;

    // How long the server waits for a client ([appserver] *_s settings, which also
    // take milliseconds: "500ms").
    struct Deadlines
    {
        using Ms = std::chrono::milliseconds;
        Ms header{10'000};    // the first byte of a request to the end of its headers
        Ms body{60'000};      // the end of the headers to the end of the body
        Ms read{30'000};      // one wait for the client's next bytes
        Ms write{120'000};    // one wait to write to the client
        Ms answer{30'000};    // all the waits to write an answer, plus a second per 64 KB taken
        Ms keepAlive{5'000};  // an idle kept-alive connection
    };

    // What the program configures of the HTTP side.
    struct Settings
    {
        QString listenHost = QStringLiteral("127.0.0.1");
        int listenPort = 0;      // 0: any free port
        int threads = 8;         // application threads, one database connection each
        qint64 maxBodyBytes = 0; // the largest body of a call
        // What the bodies being received may hold together; 0: DefaultBodyMemoryMb, or
        // twice maxBodyBytes when that is more.
        qint64 bodyMemoryBytes = 0;
        // Who a bearer token names; unset: everyone is admitted, no user named.
        CallerIdentity::Resolver identify;
        // The proxies (nginx) whose X-Forwarded-For / X-Real-IP name the client; a
        // request from any other peer is the peer's own. Empty: none.
        std::vector<IpAddress> trustedProxies;
        Deadlines deadlines;
    };

    HttpFront(const Settings &settings, const JsonRpcFront &front, HealthCheck health, QString databaseKind);
    ~HttpFront();
    HttpFront(const HttpFront &) = delete;
    HttpFront &operator=(const HttpFront &) = delete;

    // Whether `method` on `target` (the request line's, its query aside) is one of the
    // entries above.
    static bool isEntry(std::string_view method, std::string_view target);

    // The client's address: `peer`'s own, unless `peer` is a trusted proxy and names
    // the client (the right-most X-Forwarded-For address that is no trusted proxy,
    // else X-Real-IP).
    static std::string clientAddressOf(const std::string &peer, const std::string &forwardedFor,
                                       const std::string &realIp, const std::vector<IpAddress> &trusted);

    // The bound on the memory of bodies being received that `settings` come to.
    static qint64 bodyMemoryOf(const Settings &settings);

    // Binds the listening socket; returns the port (the chosen one for port 0).
    // Throws FasError when the address cannot be bound.
    int bind();
    // Serves until stop(); returns false when serving failed.
    bool run();
    // Safe from any thread.
    void stop();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
