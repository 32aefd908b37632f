#include "server/rpc/RequestContext.h"

#include <utility>

RequestContext::RequestContext(std::string clientAddress)
    : m_clientAddress(std::move(clientAddress))
{
}

void RequestContext::requestStop() noexcept
{
    m_stop.store(true, std::memory_order_relaxed);
    const std::lock_guard lock(m_onStopMutex);
    if (m_onStop)
        m_onStop();
}

void RequestContext::setOnStop(std::function<void()> onStop) const
{
    const std::lock_guard lock(m_onStopMutex);
    m_onStop = std::move(onStop);
}
