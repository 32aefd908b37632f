#include "server/mail/MailSenderLoop.h"

#include <exception>

#include "server/base/ServerLog.h"
#include "server/mail/MailSender.h"

MailSenderLoop::MailSenderLoop(MailSender &sender, std::chrono::milliseconds tick)
    : m_sender(sender)
    , m_tick(tick)
{
}

MailSenderLoop::~MailSenderLoop()
{
    stop();
}

void MailSenderLoop::start()
{
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
}

void MailSenderLoop::wake()
{
    {
        std::lock_guard lock(m_mutex);
        m_woken = true;
    }
    m_signal.notify_one();
}

void MailSenderLoop::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_signal.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}

void MailSenderLoop::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        m_woken = false;
        lock.unlock();
        try {
            m_sender.sendDue();
        } catch (const std::exception &error) {
            // The outbox could not be read or written (the database is away): the
            // next tick tries again.
            qCWarning(lcServer, "e-mail sender: %s", error.what());
        }
        lock.lock();
        m_signal.wait_for(lock, m_tick, [this] { return m_woken || m_stopping; });
    }
}
