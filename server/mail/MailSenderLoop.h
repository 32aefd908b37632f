#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

class MailSender;

// Runs a mail sender on a thread of its own: it sends what is due, then sleeps until
// the next tick or until wake() says new messages are waiting. stop() (and the
// destructor) lets the message being sent finish, then ends the thread.
class MailSenderLoop
{
public:
    MailSenderLoop(MailSender &sender, std::chrono::milliseconds tick = std::chrono::seconds(15));
    ~MailSenderLoop();
    MailSenderLoop(const MailSenderLoop &) = delete;
    MailSenderLoop &operator=(const MailSenderLoop &) = delete;

    void start();
    void wake();
    void stop();

private:
    void run();

    MailSender &m_sender;
    std::chrono::milliseconds m_tick;
    std::mutex m_mutex;
    std::condition_variable m_signal;
    bool m_woken = false;
    bool m_stopping = false;
    std::thread m_thread;
};
