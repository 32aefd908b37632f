#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include <QDateTime>

#include "server/mail/MailOutbox.h"
#include "server/mail/MailSettings.h"

// Sends the outbox's messages through the SMTP server of [email] (libcurl's SMTP:
// STARTTLS or implicit TLS with the server's certificate checked, login when a user
// is set) and keeps each outcome in the outbox:
//   - the server accepted the message (250 after its text): sent, recorded before
//     anything else is done, never sent again;
//   - a recipient or the message refused with a 5xx: failed for good, with the
//     server's own words; so is a message without a valid address, never sent;
//   - a 4xx, a server down, a refused login, no answer within timeout_seconds: tried
//     again later, after 1 minute, then 2, 4... up to 1 hour.
// A message with several recipients goes to all or none: one refused address fails
// the message rather than leave a copy with some that a resend would repeat.
// The only way to a second copy is SMTP's own: the server accepted the text but its
// "250" was lost (the connection broke, the time ran out) before the sender heard
// it, and the message is tried again, once, with the same Message-ID.
// One sender is used by one thread; it keeps its connection open between messages.
class MailSender
{
public:
    using Clock = std::function<QDateTime()>;

    MailSender(MailSettings settings, MailOutbox &outbox, Clock clock = &QDateTime::currentDateTime);
    ~MailSender();
    MailSender(const MailSender &) = delete;
    MailSender &operator=(const MailSender &) = delete;

    // Sends the next due message; false when none was due.
    bool sendNext();
    // Sends everything due now; how many messages were handled.
    int sendDue();

    // The wait before try number `attempts + 1`: 1 minute doubled per failed try, at
    // most 1 hour.
    static std::chrono::seconds backoff(int attempts);

private:
    struct Outcome;
    class Session;
    void send(const MailOutbox::Message &message);
    Outcome transmit(const MailOutbox::Message &message);

    MailSettings m_settings;
    MailOutbox &m_outbox;
    Clock m_clock;
    std::unique_ptr<Session> m_session;
};
