#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// Runs an outbox's sender on a thread of its own (the national notes' and the
// e-mail's): it sends what is due, then sleeps until the next tick or until wake()
// says new documents are waiting. A failure to read or write the outbox (the
// database away) is logged and tried again at the next tick. stop() (and the
// destructor) lets the document being sent finish, then ends the thread.
class OutboxLoop
{
public:
    // `sendDue` sends everything due; `name` names the sender in the log.
    OutboxLoop(std::function<void()> sendDue, std::string name,
               std::chrono::milliseconds tick = std::chrono::seconds(15));
    ~OutboxLoop();
    OutboxLoop(const OutboxLoop &) = delete;
    OutboxLoop &operator=(const OutboxLoop &) = delete;

    void start();
    void wake();
    void stop();

private:
    void run();

    std::function<void()> m_sendDue;
    std::string m_name;
    std::chrono::milliseconds m_tick;
    std::mutex m_mutex;
    std::condition_variable m_signal;
    bool m_woken = false;
    bool m_stopping = false;
    std::thread m_thread;
};
