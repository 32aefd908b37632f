#include "server/http/GuardedServer.h"

#include <future>

#include <unistd.h>

namespace {

// The connection threads' pool, which counts each connection as it is accepted.
class ConnectionQueue : public httplib::TaskQueue
{
public:
    ConnectionQueue(size_t threads, std::function<void()> accepted)
        : m_pool(threads)
        , m_accepted(std::move(accepted))
    {
    }
    void enqueue(std::function<void()> fn) override
    {
        m_accepted();
        m_pool.enqueue(std::move(fn));
    }
    void shutdown() override { m_pool.shutdown(); }

private:
    httplib::ThreadPool m_pool;
    std::function<void()> m_accepted;
};

// How long a closing connection still reads what its client sends, so the client
// reads the answer instead of a reset.
constexpr std::chrono::milliseconds Linger{2000};
// How often a connection thread looks whether the client of a running call has gone.
constexpr std::chrono::milliseconds ClientWatchInterval{100};

const char *reasonOf(int status)
{
    switch (status) {
    case 400:
        return "Bad Request";
    case 408:
        return "Request Timeout";
    case 431:
        return "Request Header Fields Too Large";
    case 503:
        return "Service Unavailable";
    default:
        return "Error";
    }
}

} // namespace

GuardedServer::GuardedServer(const ConnectionStream::Limits &limits, int applicationThreads, int connectionThreads,
                             EarlyRefusal refusal, Routed routed)
    : m_limits(limits)
    , m_applicationPool(size_t(applicationThreads))
    , m_refusal(std::move(refusal))
    , m_routed(std::move(routed))
    , m_bodyMemory(limits.bodyMemoryBytes)
{
    m_connectionThreads = connectionThreads;
    new_task_queue = [this] {
        return new ConnectionQueue(size_t(m_connectionThreads), [this] { connectionAccepted(); });
    };
}

void GuardedServer::connectionAccepted()
{
    if (++m_connections <= m_connectionThreads)
        return;
    const std::lock_guard lock(m_idleMutex);
    if (!m_idle.empty()) {
        m_idle.front()->dismissIdle();
        m_idle.pop_front();
    }
}

void GuardedServer::markIdle(ConnectionStream &stream, bool idle)
{
    const std::lock_guard lock(m_idleMutex);
    m_idle.remove(&stream);
    if (idle)
        m_idle.push_back(&stream);
}

GuardedServer::~GuardedServer()
{
    m_applicationPool.shutdown();
}

void GuardedServer::setKeepAlive(std::chrono::milliseconds idle, int maxRequests)
{
    m_keepAliveIdle = idle;
    m_keepAliveMax = maxRequests;
}

void GuardedServer::shutDown()
{
    m_stopping = true;
    stop();
}

HttpExchange *GuardedServer::exchangeOf(const httplib::Request &req) const
{
    const std::lock_guard lock(m_exchangesMutex);
    const auto found = m_exchanges.find(&req);
    return found == m_exchanges.end() ? nullptr : found->second;
}

void GuardedServer::bind(const httplib::Request &req, HttpExchange &exchange)
{
    const std::lock_guard lock(m_exchangesMutex);
    m_exchanges[&req] = &exchange;
}

void GuardedServer::unbind(const httplib::Request &req)
{
    const std::lock_guard lock(m_exchangesMutex);
    m_exchanges.erase(&req);
}

bool GuardedServer::process_and_close_socket(socket_t sock)
{
    ConnectionStream stream(sock, m_limits, m_stopping, m_bodyMemory);
    bool closeAfter = false;
    for (int served = 0; served < m_keepAliveMax && !m_stopping && !closeAfter; ++served) {
        // A new connection gets the whole header deadline for its first byte too.
        const auto idle = served == 0 ? m_limits.headerDeadline : m_keepAliveIdle;
        markIdle(stream, true);
        const ConnectionStream::HeaderResult header = stream.readHeaderBlock(idle);
        markIdle(stream, false);
        if (header == ConnectionStream::HeaderResult::Idle || header == ConnectionStream::HeaderResult::Closed)
            break;
        using H = ConnectionStream::HeaderResult;
        if (header != H::Complete) {
            refuse(stream, header == H::TimedOut       ? Refusal::HeadersTimedOut
                           : header == H::Malformed    ? Refusal::MalformedHeader
                           : header == H::TooManyLines ? Refusal::TooManyHeaderLines
                                                       : Refusal::HeadersTooLarge);
            closeAfter = true;
            break;
        }
        const ConnectionStream::BodyFailure body = m_routed(stream.requestLine()) ? stream.readBodyAhead()
                                                                                  : ConnectionStream::BodyFailure::None;
        if (body != ConnectionStream::BodyFailure::None) {
            refuse(stream,
                   body == ConnectionStream::BodyFailure::NoRoom ? Refusal::NoRoomForBody : Refusal::BodyTimedOut);
            closeAfter = true;
            break;
        }
        if (!serveOne(stream, served + 1 == m_keepAliveMax, closeAfter))
            break;
    }
    if (closeAfter)
        stream.closeGracefully(Linger);
    else
        ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    --m_connections;
    return true;
}

// While an application thread answers, the connection thread watches the socket:
// a client that closes its side (or whose connection breaks) has gone, and the
// request's work is told to stop.
void GuardedServer::awaitServed(std::future<bool> &done, ConnectionStream &stream, HttpExchange &exchange)
{
    while (done.wait_for(ClientWatchInterval) != std::future_status::ready)
        if (!exchange.context().stopRequested() && stream.clientHasGone())
            exchange.context().requestStop();
}

bool GuardedServer::serveOne(ConnectionStream &stream, bool last, bool &closeAfter)
{
    std::promise<bool> served;
    std::future<bool> done = served.get_future();
    std::string clientAddress;
    int clientPort = -1;
    stream.get_remote_ip_and_port(clientAddress, clientPort);
    HttpExchange exchange(&stream, std::move(clientAddress));
    stream.beginAnswer();
    m_applicationPool.enqueue([this, &stream, last, &closeAfter, &served, &exchange] {
        const httplib::Request *parsed = nullptr;
        bool connectionClosed = false;
        bool ok = false;
        try {
            ok = process_request(stream, last, connectionClosed, [this, &exchange, &parsed](httplib::Request &req) {
                bind(req, exchange);
                parsed = &req;
            });
        } catch (...) {
            ok = false;
        }
        if (parsed)
            unbind(*parsed);
        // A request answered without being parsed had no exchange to ask for the
        // close: its connection closes all the same.
        const bool refusedUnparsed = ok && !parsed;
        closeAfter = refusedUnparsed || exchange.closesAfterAnswer() || connectionClosed
                     || stream.bodyFailure() != ConnectionStream::BodyFailure::None;
        served.set_value(ok);
    });
    awaitServed(done, stream, exchange);
    return done.get() && !closeAfter;
}

void GuardedServer::refuse(ConnectionStream &stream, Refusal why)
{
    const int status = why == Refusal::HeadersTimedOut || why == Refusal::BodyTimedOut ? 408
                       : why == Refusal::MalformedHeader                               ? 400
                       : why == Refusal::NoRoomForBody                                 ? 503
                                                                                       : 431;
    stream.beginAnswer();
    const std::string body = m_refusal(status, why);
    std::string answer = "HTTP/1.1 " + std::to_string(status) + ' ' + reasonOf(status)
                         + "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size())
                         + "\r\nConnection: close\r\n\r\n" + body;
    std::size_t offset = 0;
    while (offset < answer.size()) {
        const ssize_t sent = stream.write(answer.data() + offset, answer.size() - offset);
        if (sent <= 0)
            return;
        offset += std::size_t(sent);
    }
}
