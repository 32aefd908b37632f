#include "server/http/HttpExchange.h"

#include <utility>

HttpExchange::HttpExchange(const ConnectionStream *stream, std::string clientAddress)
    : m_context(std::move(clientAddress))
    , m_stream(stream)
{
}
