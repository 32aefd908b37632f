#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

#include <httplib.h>

#include "server/http/BodyMemory.h"
#include "server/http/ChunkFraming.h"

// One client connection as cpp-httplib's request parser reads it.
//
// The header block of each request is gathered here first, under one deadline for
// the whole block and limits on its size and number of lines, before any
// application thread sees the request: a client sending its headers a byte at a
// time, or ten thousand of them, never holds a thread that serves calls. The body
// that follows is read whole here too, whatever its size and framing
// (Content-Length, chunked), under a deadline of its own, a budget of bytes on the
// wire and the server's bound on the memory such bodies hold (BodyMemory), so a
// body can neither trickle for ever, nor grow without bound before the handler
// counts it, nor keep a serving thread waiting for its bytes.
class ConnectionStream : public httplib::Stream
{
public:
    using Milliseconds = std::chrono::milliseconds;

    struct Limits
    {
        Milliseconds headerDeadline{10000};          // first byte to the blank line
        std::size_t maxHeaderBytes = 16384;          // request line and headers together
        int maxHeaderLines = 64;                     // request line included
        Milliseconds bodyDeadline{60000};            // end of the headers to the end of the body
        std::size_t maxBodyBytes = 0;                // the largest body of a call, framing taken off
        std::size_t maxBodyWireBytes = 0;            // bytes read after the header block
        std::size_t bodyMemoryBytes = 0;             // bodies read and not yet served, all connections
        Milliseconds readTimeout{30000};             // one wait for data
        Milliseconds writeTimeout{120000};           // one wait to write
        Milliseconds answerWaitGrace{30000};         // an answer's writes may wait this long in all,
        std::size_t answerMinBytesPerSecond = 65536; // plus a second for each this many bytes taken
    };

    enum class HeaderResult { Complete, Idle, Closed, TimedOut, TooLarge, TooManyLines, Malformed };
    enum class BodyFailure { None, TimedOut, OverBudget, Malformed, NoRoom };

    // `stopping` tells a wait for the next request to give up: the server is ending.
    // The bytes of bodies read ahead are counted in `bodies`.
    ConnectionStream(socket_t sock, const Limits &limits, const std::atomic<bool> &stopping, BodyMemory &bodies);
    ~ConnectionStream() override;
    ConnectionStream(const ConnectionStream &) = delete;
    ConnectionStream &operator=(const ConnectionStream &) = delete;

    // Waits up to `idle` for the first byte of the next request, then gathers its
    // whole header block. Idle: nothing came; Closed: the client closed or broke the
    // connection before a complete block; Malformed: a header line that is not a
    // plain "name: value" (HeaderBlock). A complete block is kept for the parser with
    // its values as sent.
    HeaderResult readHeaderBlock(Milliseconds idle);
    BodyFailure bodyFailure() const { return m_bodyFailure; }
    // The request line of the header block just gathered, as sent (without its CRLF).
    std::string_view requestLine() const;
    // Ends a wait for the next request at once (as Idle): the server needs the
    // connection thread for a new connection. Safe from any thread.
    void dismissIdle() { m_dismissed = true; }
    // Reads the request's whole body ahead (its Content-Length, or chunks up to the
    // trailer's end), so that a client sending its body slowly holds no serving
    // thread. TimedOut: the body deadline passed; NoRoom: the bodies the server holds
    // would pass their bound (a Content-Length takes its whole room before a byte is
    // read; a chunked body takes room as it arrives). Either way the request must be
    // refused unserved. None otherwise, also when reading stopped at what the reader
    // refuses by itself (a length above the limit or unclear, more data than the
    // limit, a malformed chunk, the budget spent, the client gone): the reader meets
    // it in the bytes read.
    // A client waiting for "100 Continue" gets it before its body is read.
    BodyFailure readBodyAhead();

    // After the answer: stop writing, then read and drop what the client still
    // sends, for at most `linger`, so that closing does not reset the connection
    // before the client has read the answer.
    void closeGracefully(Milliseconds linger);
    // A new request is being answered: nothing of its answer written yet. Its
    // writes share one allowance of waiting for the client to take the bytes
    // (answerWaitGrace, growing with what it took): a client that reads too slowly
    // is cut off instead of holding the serving thread.
    void beginAnswer();
    // Whether the client of the request being answered has gone, looked at without
    // waiting or reading, beside the thread that answers. A client that only closed
    // its sending side may still wait for the answer, so the first time that is
    // seen, before any answer was written, an interim "100 Continue" (which clients
    // skip) is sent: a client that is really gone answers it with a reset, which
    // the next look sees.
    bool clientHasGone();

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char *ptr, size_t size) override;
    ssize_t write(const char *ptr, size_t size) override;
    void get_remote_ip_and_port(std::string &ip, int &port) const override;
    void get_local_ip_and_port(std::string &ip, int &port) const override;
    socket_t socket() const override { return m_sock; }

private:
    using Clock = std::chrono::steady_clock;

    // Waits until the socket is readable (or writable) or `until` passes; a wait
    // between requests also ends when the server stops.
    bool waitFor(short events, Clock::time_point until, bool betweenRequests = false) const;
    // Waits until the socket takes bytes, within the answer's allowance.
    bool waitWritable() const;
    // Appends what the socket has to the buffer; 0: closed, -1: failed.
    ssize_t fill(std::size_t most);
    std::size_t buffered() const { return m_buffer.size() - m_offset; }
    // Checks the block that ends at `end` and makes it ready for the parser.
    HeaderResult acceptBlock(std::size_t end);
    // Hands out buffered bytes, following a chunked body's framing.
    ssize_t handOut(char *ptr, std::size_t size);
    // Whether the body read ahead is whole, or reading it on would only feed a refusal.
    bool bodyReadEnough(long long length, std::size_t &scanned);
    // Gives the body bytes read ahead back to BodyMemory, and the buffer's storage
    // back to the system when a large body left it big.
    void releaseBody();

    socket_t m_sock;
    Limits m_limits;
    const std::atomic<bool> &m_stopping;
    std::atomic<bool> m_dismissed{false};
    std::string m_buffer;
    std::size_t m_offset = 0;
    std::size_t m_headerEnd = 0; // where the current request's body starts in the buffer
    Clock::time_point m_bodyDeadline{};
    std::size_t m_bodyBudget = 0;
    BodyFailure m_bodyFailure = BodyFailure::None;
    bool m_chunked = false;
    ChunkFraming m_chunkFraming;
    ChunkFraming m_aheadFraming; // the body as it is read ahead
    BodyMemory &m_bodies;
    std::size_t m_bodyHeld = 0; // taken from m_bodies for this connection's buffer
    std::mutex m_answerMutex;   // the first write of an answer against the probe
    bool m_answerStarted = false;
    mutable Milliseconds m_answerWaited{0}; // waits for the client to take the answer's bytes
    std::size_t m_answerWritten = 0;
    bool m_probed = false;
};
