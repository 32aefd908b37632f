#pragma once

#include <chrono>
#include <string>

#include "server/http/ConnectionStream.h"
#include "server/rpc/RequestContext.h"

// One request on its way through the HTTP layer. GuardedServer makes one on the
// application thread for each request it hands to cpp-httplib and binds it to the
// parsed request; every handler of HttpFront finds it there
// (GuardedServer::exchangeOf) and passes it on explicitly. It carries the request's
// context for the layers below, what the log line reports about the request, and
// what the connection must do after the answer.
class HttpExchange
{
public:
    using Clock = std::chrono::steady_clock;

    // What the handlers learnt about the request, for the line the logger writes.
    struct Note
    {
        Clock::time_point start{}; // unset: the request was not routed
        std::string method;
        int rows = -1;
        int errorCode = 0;
    };

    // `stream`: the connection the request arrives on (nullptr outside a connection).
    HttpExchange(const ConnectionStream *stream, std::string clientAddress);
    HttpExchange(const HttpExchange &) = delete;
    HttpExchange &operator=(const HttpExchange &) = delete;

    RequestContext &context() { return m_context; }
    const RequestContext &context() const { return m_context; }
    Note &note() { return m_note; }
    const Note &note() const { return m_note; }
    const ConnectionStream *stream() const { return m_stream; }

    // The caller was admitted (a valid token, or none needed): /health shows it all.
    void setAdmitted(bool admitted) { m_admitted = admitted; }
    bool admitted() const { return m_admitted; }

    // The connection closes after this answer (its body was not read whole).
    void closeAfterAnswer() { m_closeAfterAnswer = true; }
    bool closesAfterAnswer() const { return m_closeAfterAnswer; }

private:
    RequestContext m_context;
    Note m_note;
    const ConnectionStream *m_stream;
    bool m_closeAfterAnswer = false;
    bool m_admitted = false;
};
