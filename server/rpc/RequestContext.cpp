#include "server/rpc/RequestContext.h"

#include <utility>

RequestContext::RequestContext(std::string clientAddress)
    : m_clientAddress(std::move(clientAddress))
{
}
