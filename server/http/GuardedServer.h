#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <list>
#include <future>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include <httplib.h>

#include "server/http/ConnectionStream.h"
#include "server/http/HttpExchange.h"

// cpp-httplib's server with a gate in front of the application threads.
//
// Every accepted connection gets a connection thread (many, cheap: they only wait
// for bytes) that gathers each request's header block and then its body under
// ConnectionStream's limits. Only a complete, bounded request is handed to one of
// the few application threads, which parses it, takes the body from what was read
// and runs the handlers; the connection thread waits for it and then for the next
// request on the connection. So slow or oversized headers, bodies that trickle and
// bodies the server has no room for are answered (408, 431, 503) or dropped
// without ever holding an application thread, and each application thread keeps
// its own database connection as before.
//
// Each request handed on gets an HttpExchange, bound to the request once
// cpp-httplib has parsed it, so that the handlers, which the library calls with the
// request alone, find the request's own state: exchangeOf(req).
class GuardedServer : public httplib::Server
{
public:
    // Why a request is refused before any application thread sees it.
    enum class Refusal {
        HeadersTimedOut,
        HeadersTooLarge,
        TooManyHeaderLines,
        MalformedHeader,
        BodyTimedOut,
        NoRoomForBody
    };
    // Writes the JSON body of the answer to such a refusal.
    using EarlyRefusal = std::function<std::string(int status, Refusal why)>;
    // Whether a request line names an entry that takes the request: only its body is
    // read ahead. Any other request goes to the handlers unread, which refuse it and
    // close the connection: its body is never read nor held.
    using Routed = std::function<bool(std::string_view requestLine)>;

    GuardedServer(const ConnectionStream::Limits &limits, int applicationThreads, int connectionThreads,
                  EarlyRefusal refusal, Routed routed);
    ~GuardedServer() override;

    void setKeepAlive(std::chrono::milliseconds idle, int maxRequests);
    // Stops accepting, and ends the connections waiting for their next request.
    void shutDown();

    // The exchange of `req`, a request this server is answering. nullptr for one
    // that cpp-httplib refused before it had parsed it (a malformed request line or
    // header, a bad range): that answer always closes its connection.
    HttpExchange *exchangeOf(const httplib::Request &req) const;

private:
    bool process_and_close_socket(socket_t sock) override;
    bool serveOne(ConnectionStream &stream, bool last, bool &closeAfter);
    static void awaitServed(std::future<bool> &done, ConnectionStream &stream, HttpExchange &exchange);
    void refuse(ConnectionStream &stream, Refusal why);
    void bind(const httplib::Request &req, HttpExchange &exchange);
    void unbind(const httplib::Request &req);

    // A connection waits for its next request: it is the first to go when every
    // connection thread is taken and another connection waits for one.
    void markIdle(ConnectionStream &stream, bool idle);
    void connectionAccepted();

    ConnectionStream::Limits m_limits;
    int m_connectionThreads = 0;
    std::atomic<int> m_connections{0}; // accepted and not yet closed
    std::mutex m_idleMutex;
    std::list<ConnectionStream *> m_idle; // oldest first
    httplib::ThreadPool m_applicationPool;
    EarlyRefusal m_refusal;
    Routed m_routed;
    BodyMemory m_bodyMemory;
    std::chrono::milliseconds m_keepAliveIdle{5000};
    int m_keepAliveMax = 100;
    std::atomic<bool> m_stopping{false};
    mutable std::mutex m_exchangesMutex;
    std::unordered_map<const httplib::Request *, HttpExchange *> m_exchanges;
};
