#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

class NfseSender;

// Runs a sender on a thread of its own: it sends what is due, then sleeps until the
// next tick or until wake() says new documents are waiting. stop() (and the
// destructor) lets the document being sent finish, then ends the thread.
class NfseSenderLoop
{
public:
    NfseSenderLoop(NfseSender &sender, std::chrono::milliseconds tick = std::chrono::seconds(15));
    ~NfseSenderLoop();
    NfseSenderLoop(const NfseSenderLoop &) = delete;
    NfseSenderLoop &operator=(const NfseSenderLoop &) = delete;

    void start();
    void wake();
    void stop();

private:
    void run();

    NfseSender &m_sender;
    std::chrono::milliseconds m_tick;
    std::mutex m_mutex;
    std::condition_variable m_signal;
    bool m_woken = false;
    bool m_stopping = false;
    std::thread m_thread;
};
