#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <QByteArray>

// Clients that send a request slowly: on a thread of its own, a round every
// 100 ms, each round sending piece(round) on every socket, for at most 200 rounds,
// `sendFor`, or until stop(). No round begins once `sendFor` has passed, however
// late the thread runs: a server whose deadline passes while a client still sends
// resets the connection, and the reset can destroy the answer before it is read.
// The sockets stay the caller's.
class SlowClients
{
public:
    SlowClients(std::vector<int> sockets, std::function<QByteArray(int round)> piece,
                std::chrono::milliseconds sendFor = std::chrono::seconds(20));
    ~SlowClients();
    SlowClients(const SlowClients &) = delete;
    SlowClients &operator=(const SlowClients &) = delete;

    // Rounds sent so far.
    int rounds() const { return m_rounds.load(); }
    // Whether the rounds are over.
    bool ended() const { return m_ended.load(); }
    // Ends the rounds at once and waits for the thread.
    void stop();

private:
    void run();

    std::vector<int> m_sockets;
    std::function<QByteArray(int)> m_piece;
    std::chrono::milliseconds m_sendFor;
    std::atomic<int> m_rounds{0};
    std::atomic<bool> m_ended{false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};
