#include "tests/support/SlowClients.h"

#include <chrono>

#include "tests/support/RawHttp.h"

SlowClients::SlowClients(std::vector<int> sockets, std::function<QByteArray(int round)> piece,
                         std::chrono::milliseconds sendFor)
    : m_sockets(std::move(sockets))
    , m_piece(std::move(piece))
    , m_sendFor(sendFor)
    , m_thread([this] { run(); })
{
}

SlowClients::~SlowClients()
{
    stop();
}

void SlowClients::stop()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void SlowClients::run()
{
    constexpr int MaxRounds = 200;
    constexpr std::chrono::milliseconds Pace{100};
    const auto until = std::chrono::steady_clock::now() + m_sendFor;
    const auto sendingTime = [until] { return std::chrono::steady_clock::now() < until; };
    std::unique_lock lock(m_mutex);
    for (int round = 0; round < MaxRounds && !m_stop && sendingTime(); ++round) {
        lock.unlock();
        const QByteArray piece = m_piece(round);
        for (int sock : m_sockets)
            if (sendingTime())
                RawHttp::sendAll(sock, piece);
        ++m_rounds;
        lock.lock();
        m_wake.wait_for(lock, Pace, [this] { return m_stop; });
    }
    m_ended = true;
}
