#pragma once

#include <functional>

#include <QByteArray>

// HTTP spoken by hand over a loopback socket, for the requests no HTTP library
// would send: malformed, oversized, slow, half-closed, or bodies streamed in
// pieces so that even a 512 MB one is never held in memory.
namespace RawHttp {

struct Answer
{
    int status = 0;  // 0: no answer at all
    QByteArray head; // status line and headers
    QByteArray body;
};

// A socket connected to 127.0.0.1:port, or -1. With `smallWindow`, the system
// takes little (about 200 KB) of an answer the socket's owner does not read.
int connectTo(int port, bool smallWindow = false);
// Sends all of `data`; false when the peer closed or the send failed.
bool sendAll(int sock, const QByteArray &data);
// Reads until the peer closes or `timeoutMs` passes, and splits the answer.
Answer readAnswer(int sock, int timeoutMs);

// Whether the peer has closed the connection (or reset it): what it sent is read
// and dropped without waiting.
bool closedByPeer(int sock);

// Sends `request` (then shuts the writing side when `halfClose`) and reads the answer.
Answer exchange(int port, const QByteArray &request, bool halfClose = false, int timeoutMs = 30000);

// Sends `head` (a request ending with its blank line, Transfer-Encoding: chunked),
// then `totalBytes` of body in chunks of `chunkBytes`, each filled by `fill`, until
// done or the peer stops reading; then reads the answer.
Answer streamChunked(int port, const QByteArray &head, qint64 totalBytes, int chunkBytes, int timeoutMs = 60000);

// The VmRSS of a process, in KB (0 when it cannot be read).
qint64 residentKb(qint64 pid);

} // namespace RawHttp
