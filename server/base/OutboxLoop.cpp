#include "server/base/OutboxLoop.h"

#include <exception>

#include "server/base/ServerLog.h"

OutboxLoop::OutboxLoop(std::function<void()> sendDue, std::string name, std::chrono::milliseconds tick)
    : m_sendDue(std::move(sendDue))
    , m_name(std::move(name))
    , m_tick(tick)
{
}

OutboxLoop::~OutboxLoop()
{
    stop();
}

void OutboxLoop::start()
{
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
}

void OutboxLoop::wake()
{
    {
        std::lock_guard lock(m_mutex);
        m_woken = true;
    }
    m_signal.notify_one();
}

void OutboxLoop::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_signal.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}

void OutboxLoop::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        m_woken = false;
        lock.unlock();
        try {
            m_sendDue();
        } catch (const std::exception &error) {
            // The outbox could not be read or written (the database is away): the
            // next tick tries again.
            qCWarning(lcServer, "%s: %s", m_name.c_str(), error.what());
        }
        lock.lock();
        m_signal.wait_for(lock, m_tick, [this] { return m_woken || m_stopping; });
    }
}
