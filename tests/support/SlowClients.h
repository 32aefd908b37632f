#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <QByteArray>

// Clients that send a request slowly: on a thread of its own, a round every
// 100 ms, each round sending piece(round) on every socket, for at most 200 rounds
// or until stop(). The sockets stay the caller's.
class SlowClients
{
public:
    SlowClients(std::vector<int> sockets, std::function<QByteArray(int round)> piece);
    ~SlowClients();
    SlowClients(const SlowClients &) = delete;
    SlowClients &operator=(const SlowClients &) = delete;

    // Rounds sent so far.
    int rounds() const { return m_rounds.load(); }
    // Ends the rounds at once and waits for the thread.
    void stop();

private:
    void run();

    std::vector<int> m_sockets;
    std::function<QByteArray(int)> m_piece;
    std::atomic<int> m_rounds{0};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};
