#include "tests/support/RawHttp.h"

#include <cerrno>

#include <QDeadlineTimer>
#include <QFile>
#include <QScopeGuard>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace RawHttp {

namespace {

constexpr int NotYet = -2;

// One attempt: a socket connected within `waitMs`, NotYet when it was not, or -1
// when the connection failed.
int connectOnce(int port, bool smallWindow, int waitMs)
{
    const int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    if (sock < 0)
        return -1;
    auto closeSocket = qScopeGuard([sock] { ::close(sock); });
    if (smallWindow) {
        // The peer's send buffer grows with the segment size, which the peer takes
        // from ours: the smallest segments keep it small, so that a peer writing
        // without waiting inside the system finds it full at once.
        const int receiveBuffer = 4096;
        const int segment = 536;
        ::setsockopt(sock, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        ::setsockopt(sock, IPPROTO_TCP, TCP_MAXSEG, &segment, sizeof segment);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(sock, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS)
            return -1;
        pollfd fd{sock, POLLOUT, 0};
        if (::poll(&fd, 1, waitMs) <= 0)
            return NotYet;
        int error = 0;
        socklen_t errorSize = sizeof error;
        if (::getsockopt(sock, SOL_SOCKET, SO_ERROR, &error, &errorSize) != 0 || error != 0)
            return -1;
    }
    if (::fcntl(sock, F_SETFL, ::fcntl(sock, F_GETFL) & ~O_NONBLOCK) != 0)
        return -1;
    closeSocket.dismiss();
    return sock;
}

} // namespace

int connectTo(int port, bool smallWindow)
{
    // A listener whose queue of connections not yet accepted is full drops the
    // connection request, which the system sends again only a second later: a
    // fresh request as soon as the queue has room is quicker.
    QDeadlineTimer deadline(10000);
    do {
        const int sock = connectOnce(port, smallWindow, 10);
        if (sock != NotYet)
            return sock;
    } while (!deadline.hasExpired());
    return -1;
}

bool sendAll(int sock, const QByteArray &data)
{
    qsizetype offset = 0;
    while (offset < data.size()) {
        pollfd fd{sock, POLLOUT, 0};
        if (::poll(&fd, 1, 30000) <= 0)
            return false;
        const ssize_t sent = ::send(sock, data.constData() + offset, size_t(data.size() - offset), MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        offset += sent;
    }
    return true;
}

Answer readAnswer(int sock, int timeoutMs)
{
    QByteArray received;
    QDeadlineTimer deadline(timeoutMs);
    char buffer[65536];
    while (!deadline.hasExpired()) {
        pollfd fd{sock, POLLIN, 0};
        if (::poll(&fd, 1, int(qMax<qint64>(1, deadline.remainingTime()))) <= 0)
            break;
        const ssize_t got = ::recv(sock, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        received.append(buffer, got);
        // One answer is enough: stop when its body is complete.
        const qsizetype end = received.indexOf("\r\n\r\n");
        if (end > 0) {
            const QByteArray head = received.left(end).toLower();
            const qsizetype at = head.indexOf("content-length:");
            if (at > 0) {
                const qsizetype lineEnd = head.indexOf('\r', at);
                const qint64 length = head.mid(at + 15, lineEnd < 0 ? -1 : lineEnd - at - 15).trimmed().toLongLong();
                if (received.size() >= end + 4 + length)
                    break;
            }
        }
    }
    // An interim "100 Continue" is not the answer.
    while (received.startsWith("HTTP/1.1 1") && received.indexOf("\r\n\r\n") > 0)
        received.remove(0, received.indexOf("\r\n\r\n") + 4);
    Answer answer;
    const qsizetype end = received.indexOf("\r\n\r\n");
    answer.head = end < 0 ? received : received.left(end);
    answer.body = end < 0 ? QByteArray() : received.mid(end + 4);
    if (received.startsWith("HTTP/1."))
        answer.status = received.mid(9, 3).toInt();
    return answer;
}

bool closedByPeer(int sock)
{
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::recv(sock, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got == 0)
            return true;
        if (got < 0)
            return errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
    }
}

Answer exchange(int port, const QByteArray &request, bool halfClose, int timeoutMs)
{
    const int sock = connectTo(port);
    if (sock < 0)
        return {};
    const auto closeSocket = qScopeGuard([sock] { ::close(sock); });
    // A refusal may come before the whole request is sent: read it all the same.
    sendAll(sock, request);
    if (halfClose)
        ::shutdown(sock, SHUT_WR);
    return readAnswer(sock, timeoutMs);
}

Answer streamChunked(int port, const QByteArray &head, qint64 totalBytes, int chunkBytes, int timeoutMs)
{
    const int sock = connectTo(port);
    if (sock < 0)
        return {};
    const auto closeSocket = qScopeGuard([sock] { ::close(sock); });
    if (!sendAll(sock, head))
        return readAnswer(sock, timeoutMs);
    const QByteArray chunk = QByteArray::number(chunkBytes, 16) + "\r\n" + QByteArray(chunkBytes, 'x') + "\r\n";
    for (qint64 sent = 0; sent < totalBytes; sent += chunkBytes) {
        // Stop as soon as the server has answered or stopped reading.
        pollfd fd{sock, POLLIN, 0};
        if (::poll(&fd, 1, 0) > 0 || !sendAll(sock, chunk))
            return readAnswer(sock, timeoutMs);
    }
    sendAll(sock, "0\r\n\r\n");
    return readAnswer(sock, timeoutMs);
}

qint64 residentKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

} // namespace RawHttp
