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

ConnectionStream::ConnectionStream(socket_t sock, const Limits &limits, const std::atomic<bool> &stopping)
    : m_sock(sock)
    , m_limits(limits)
    , m_stopping(stopping)
{
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

namespace {

// The body size a header block announces: its one Content-Length, 0 without one
// and without chunks, -1 when chunked, -2 when unclear.
long long announcedLength(std::string_view block)
{
    std::string lower(block);
    for (char &c : lower)
        c = char(std::tolower(static_cast<unsigned char>(c)));
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

void ConnectionStream::prefetchSmallBody()
{
    const std::string_view block(m_buffer.data(), m_headerEnd);
    const long long length = announcedLength(block);
    if (length == 0 || length == -2 || (length > 0 && std::size_t(length) > m_limits.prefetchBytes))
        return;
    const auto complete = [&] {
        const std::string_view body(m_buffer.data() + m_headerEnd, m_buffer.size() - m_headerEnd);
        return length > 0 ? body.size() >= std::size_t(length)
                          : body.size() > m_limits.prefetchBytes || body.find("0\r\n\r\n") != std::string_view::npos;
    };
    while (!complete() && waitFor(POLLIN, m_bodyDeadline)) {
        const std::size_t room = m_headerEnd + m_limits.prefetchBytes + 16 - m_buffer.size();
        const ssize_t got = fill(std::min({ReadChunk, room, m_bodyBudget}));
        if (got <= 0)
            return;
        m_bodyBudget -= std::size_t(got);
    }
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
    return ssize_t(n);
}

ssize_t ConnectionStream::write(const char *ptr, size_t size)
{
    {
        const std::lock_guard lock(m_answerMutex);
        m_answerStarted = true;
    }
    if (!waitWritable())
        return -1;
    ssize_t sent;
    do {
        sent = ::send(m_sock, ptr, size, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
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
