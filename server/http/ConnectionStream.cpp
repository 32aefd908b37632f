#include "server/http/ConnectionStream.h"

#include "server/http/HeaderBlock.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

namespace {

constexpr std::size_t ReadChunk = 16384;
// A body is read ahead in pieces of up to this size.
constexpr std::size_t ReadAheadChunk = 65536;
// A buffer left larger than this by a body gives its storage back once the body is taken.
constexpr std::size_t KeptBufferCapacity = 65536;

void addressOf(const sockaddr_storage &address, socklen_t length, std::string &ip, int &port)
{
    char host[NI_MAXHOST];
    char service[NI_MAXSERV];
    if (getnameinfo(reinterpret_cast<const sockaddr *>(&address), length, host, sizeof host, service, sizeof service,
                    NI_NUMERICHOST | NI_NUMERICSERV)
        == 0) {
        ip = host;
        port = std::atoi(service);
    }
}

} // namespace

ConnectionStream::ConnectionStream(socket_t sock, const Limits &limits, const std::atomic<bool> &stopping,
                                   BodyMemory &bodies)
    : m_sock(sock)
    , m_limits(limits)
    , m_stopping(stopping)
    , m_bodies(bodies)
{
}

ConnectionStream::~ConnectionStream()
{
    m_bodies.give(m_bodyHeld);
}

void ConnectionStream::releaseBody()
{
    m_bodies.give(m_bodyHeld);
    m_bodyHeld = 0;
    if (m_buffer.capacity() <= KeptBufferCapacity)
        return;
    std::string(m_buffer, m_offset).swap(m_buffer);
    m_headerEnd = m_headerEnd > m_offset ? m_headerEnd - m_offset : 0;
    m_offset = 0;
}

bool ConnectionStream::waitFor(short events, Clock::time_point until, bool betweenRequests) const
{
    for (;;) {
        const auto left = std::chrono::duration_cast<Milliseconds>(until - Clock::now()).count();
        if (left <= 0 || (betweenRequests && (m_stopping || m_dismissed)))
            return false;
        pollfd fd{m_sock, events, 0};
        const int ready = ::poll(&fd, 1, int(std::min<long long>(left, betweenRequests ? 100 : 1000000)));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

ssize_t ConnectionStream::fill(std::size_t most)
{
    if (m_offset > 0 && m_offset == m_buffer.size()) {
        m_buffer.clear();
        m_offset = 0;
        m_headerEnd = 0; // handed out whole
    }
    const std::size_t before = m_buffer.size();
    m_buffer.resize(before + most);
    ssize_t got;
    do {
        got = ::recv(m_sock, m_buffer.data() + before, most, 0);
    } while (got < 0 && errno == EINTR);
    m_buffer.resize(before + std::size_t(std::max<ssize_t>(got, 0)));
    return got;
}

ConnectionStream::HeaderResult ConnectionStream::readHeaderBlock(Milliseconds idle)
{
    // What the last request left unread stays: it is the start of this one.
    releaseBody();
    m_buffer.erase(0, m_offset);
    m_offset = 0;
    m_bodyFailure = BodyFailure::None;
    if (m_buffer.empty()) {
        if (!waitFor(POLLIN, Clock::now() + idle, true))
            return HeaderResult::Idle;
    }
    const Clock::time_point deadline = Clock::now() + m_limits.headerDeadline;
    std::size_t searched = 0;
    for (;;) {
        const std::size_t end = m_buffer.find("\r\n\r\n", searched > 3 ? searched - 3 : 0);
        if (end != std::string::npos && end + 4 <= m_limits.maxHeaderBytes)
            return acceptBlock(end);
        searched = m_buffer.size();
        if (searched >= m_limits.maxHeaderBytes)
            return HeaderResult::TooLarge;
        if (std::count(m_buffer.begin(), m_buffer.end(), '\n') > m_limits.maxHeaderLines)
            return HeaderResult::TooManyLines;
        if (!waitFor(POLLIN, deadline))
            return HeaderResult::TimedOut;
        if (fill(m_limits.maxHeaderBytes - searched) <= 0)
            return HeaderResult::Closed;
    }
}

std::string_view ConnectionStream::requestLine() const
{
    const std::string_view request(m_buffer.data() + m_offset, buffered());
    return request.substr(0, request.find("\r\n"));
}

namespace {

std::string lowerCase(std::string_view text)
{
    std::string lower(text);
    for (char &c : lower)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// The body size a header block announces: its one Content-Length, 0 without one
// and without chunks, -1 when chunked, -2 when unclear.
long long announcedLength(std::string_view block)
{
    const std::string lower = lowerCase(block);
    if (lower.find("\r\ntransfer-encoding:") != std::string::npos)
        return -1;
    const std::size_t at = lower.find("\r\ncontent-length:");
    if (at == std::string::npos)
        return 0;
    if (lower.find("\r\ncontent-length:", at + 1) != std::string::npos)
        return -2;
    const char *digits = lower.c_str() + at + 17;
    char *end = nullptr;
    const long long length = std::strtoll(digits, &end, 10);
    return end != digits && length >= 0 ? length : -2;
}

} // namespace

ConnectionStream::HeaderResult ConnectionStream::acceptBlock(std::size_t end)
{
    const auto lines = std::count(m_buffer.begin(), m_buffer.begin() + std::ptrdiff_t(end + 2), '\n');
    if (lines > m_limits.maxHeaderLines)
        return HeaderResult::TooManyLines;
    const std::string_view block(m_buffer.data(), end + 4);
    if (!HeaderBlock::wellFormed(block))
        return HeaderResult::Malformed;
    // The body's budget counts what was read past the block already.
    const std::size_t ahead = m_buffer.size() - (end + 4);
    m_bodyBudget = m_limits.maxBodyWireBytes > ahead ? m_limits.maxBodyWireBytes - ahead : 0;
    m_bodyDeadline = Clock::now() + m_limits.bodyDeadline;
    m_chunked = announcedLength(block) == -1;
    m_chunkFraming = ChunkFraming();
    const std::string kept = HeaderBlock::keptAsSent(block);
    m_buffer.replace(0, end + 4, kept);
    m_headerEnd = kept.size();
    return HeaderResult::Complete;
}

bool ConnectionStream::bodyReadEnough(long long length, std::size_t &scanned)
{
    const std::size_t body = m_buffer.size() - m_headerEnd;
    if (length > 0)
        return body >= std::size_t(length);
    m_aheadFraming.take(m_buffer.data() + m_headerEnd + scanned, body - scanned);
    scanned = body;
    return m_aheadFraming.complete() || m_aheadFraming.malformed()
           || m_aheadFraming.dataBytes() > m_limits.maxBodyBytes;
}

ConnectionStream::BodyFailure ConnectionStream::readBodyAhead()
{
    const std::string_view block(m_buffer.data(), m_headerEnd);
    const long long length = announcedLength(block);
    if (length == 0 || length == -2 || (length > 0 && std::size_t(length) > m_limits.maxBodyBytes))
        return BodyFailure::None;
    // A body of known length takes its room at once, all of it or nothing: bodies
    // arriving side by side never each get part of the room and then all run out.
    const std::size_t before = m_buffer.size() - m_headerEnd; // read with the header block
    if (length > 0 && std::size_t(length) > before) {
        if (!m_bodies.take(std::size_t(length) - before))
            return BodyFailure::NoRoom;
        m_bodyHeld += std::size_t(length) - before;
    }
    if (lowerCase(block).find("\r\nexpect: 100-continue") != std::string::npos) {
        static constexpr char Interim[] = "HTTP/1.1 100 Continue\r\n\r\n";
        ::send(m_sock, Interim, sizeof Interim - 1, MSG_NOSIGNAL);
    }
    m_aheadFraming = ChunkFraming();
    std::size_t scanned = 0;
    while (!bodyReadEnough(length, scanned) && m_bodyBudget > 0) {
        if (!waitFor(POLLIN, m_bodyDeadline))
            return Clock::now() >= m_bodyDeadline ? BodyFailure::TimedOut : BodyFailure::None;
        std::size_t most = std::min(ReadAheadChunk, m_bodyBudget);
        if (length > 0)
            most = std::min(most, std::size_t(length) - (m_buffer.size() - m_headerEnd));
        const ssize_t got = fill(most);
        if (got <= 0)
            return BodyFailure::None; // the client closed or broke the connection: a body cut short
        m_bodyBudget -= std::size_t(got);
        if (length > 0)
            continue;
        if (!m_bodies.take(std::size_t(got)))
            return BodyFailure::NoRoom; // the piece just read goes with the connection
        m_bodyHeld += std::size_t(got);
    }
    return BodyFailure::None;
}

bool ConnectionStream::is_readable() const
{
    return buffered() > 0 || waitFor(POLLIN, Clock::now() + m_limits.readTimeout);
}

bool ConnectionStream::is_writable() const
{
    return waitWritable();
}

bool ConnectionStream::waitWritable() const
{
    const auto earned = Milliseconds(m_answerWritten * 1000
                                     / std::max<std::size_t>(m_limits.answerMinBytesPerSecond, 1));
    const Milliseconds allowance = m_limits.answerWaitGrace + earned - m_answerWaited;
    const Clock::time_point start = Clock::now();
    const bool writable = waitFor(POLLOUT, start + std::min(m_limits.writeTimeout, allowance));
    m_answerWaited += std::chrono::duration_cast<Milliseconds>(Clock::now() - start);
    return writable;
}

ssize_t ConnectionStream::read(char *ptr, size_t size)
{
    if (buffered() == 0) {
        if (m_bodyBudget == 0) {
            m_bodyFailure = BodyFailure::OverBudget;
            return -1;
        }
        const Clock::time_point until = std::min(m_bodyDeadline, Clock::now() + m_limits.readTimeout);
        if (!waitFor(POLLIN, until)) {
            if (Clock::now() >= m_bodyDeadline)
                m_bodyFailure = BodyFailure::TimedOut;
            return -1;
        }
        const ssize_t got = fill(std::min(ReadChunk, m_bodyBudget));
        if (got <= 0)
            return got;
        m_bodyBudget -= std::size_t(got);
    }
    return handOut(ptr, size);
}

ssize_t ConnectionStream::handOut(char *ptr, std::size_t size)
{
    const std::size_t n = std::min(size, buffered());
    const char *from = m_buffer.data() + m_offset;
    // Only the body's bytes are framing: the header block goes to the parser as it is.
    const std::size_t bodyStart = m_headerEnd > m_offset ? m_headerEnd - m_offset : 0;
    if (m_chunked && bodyStart < n && !m_chunkFraming.take(from + bodyStart, n - bodyStart)) {
        m_bodyFailure = BodyFailure::Malformed;
        return -1;
    }
    std::memcpy(ptr, from, n);
    m_offset += n;
    if (m_offset == m_buffer.size() && m_bodyHeld > 0)
        releaseBody(); // the body read ahead has been taken whole
    return ssize_t(n);
}

ssize_t ConnectionStream::write(const char *ptr, size_t size)
{
    {
        const std::lock_guard lock(m_answerMutex);
        m_answerStarted = true;
    }
    // Without waiting inside send: a blocking send of a large piece would wait for
    // the reader for as long as the system lets it, past the answer's allowance.
    // What the socket takes now is written; the caller writes the rest.
    ssize_t sent = -1;
    while (waitWritable()) {
        sent = ::send(m_sock, ptr, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent >= 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK))
            break;
    }
    if (sent > 0)
        m_answerWritten += std::size_t(sent);
    return sent;
}

void ConnectionStream::closeGracefully(Milliseconds linger)
{
    ::shutdown(m_sock, SHUT_WR);
    const Clock::time_point until = Clock::now() + linger;
    char drop[ReadChunk];
    while (waitFor(POLLIN, until)) {
        const ssize_t got = ::recv(m_sock, drop, sizeof drop, 0);
        if (got <= 0 && !(got < 0 && errno == EINTR))
            break;
    }
}

void ConnectionStream::get_remote_ip_and_port(std::string &ip, int &port) const
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(m_sock, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        addressOf(address, length, ip, port);
}

void ConnectionStream::get_local_ip_and_port(std::string &ip, int &port) const
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(m_sock, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        addressOf(address, length, ip, port);
}

void ConnectionStream::beginAnswer()
{
    const std::lock_guard lock(m_answerMutex);
    m_answerStarted = false;
    m_probed = false;
    m_answerWaited = Milliseconds(0);
    m_answerWritten = 0;
}

bool ConnectionStream::clientHasGone()
{
    pollfd watched{m_sock, POLLRDHUP, 0};
    if (::poll(&watched, 1, 0) <= 0)
        return false;
    if ((watched.revents & (POLLHUP | POLLERR)) != 0)
        return true;
    if ((watched.revents & POLLRDHUP) == 0)
        return false;
    const std::lock_guard lock(m_answerMutex);
    if (!m_answerStarted && !m_probed) {
        static constexpr char Interim[] = "HTTP/1.1 100 Continue\r\n\r\n";
        ::send(m_sock, Interim, sizeof Interim - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        m_probed = true;
    }
    return false;
}
