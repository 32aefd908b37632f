#pragma once

#include <optional>

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// What the mail sender needs from the store of messages waiting to leave: the next
// one due, claimed so that no other sender takes it, and the place to keep each
// outcome. The store behind it (the database's outbox, filled in the run's
// transaction) is not the sender's business; the sender holds no transaction while it
// talks to the mail server.
class MailOutbox
{
public:
    struct Attachment
    {
        QString name;        // the file name the client sees ("fatura-0001-42.pdf")
        QByteArray mimeType; // "application/pdf"
        QByteArray content;
    };

    // A message waiting to be sent (or sent again: the same key, the same Message-ID).
    struct Message
    {
        qint64 key = 0;         // the outbox's id; the Message-ID is made from it
        QStringList recipients; // bare addresses; empty when the client has none
        QString subject;
        QString body; // plain text
        QList<Attachment> attachments;
        int attempts = 0; // tries already made that failed and may be made again
    };

    virtual ~MailOutbox() = default;

    // The next message whose next try is due at `now`, claimed for this sender; none
    // when nothing is due.
    virtual std::optional<Message> claimMessage(const QDateTime &now) = 0;
    // The mail server accepted the message: it is never sent again.
    virtual void recordSent(qint64 key, const QDateTime &when) = 0;
    // Not sent this time (the server is down, slow, or said "try later"): tried again
    // at `nextTry`.
    virtual void recordRetry(qint64 key, const QString &reason, const QDateTime &nextTry) = 0;
    // Never to be sent as it is (no address, a recipient the server refuses): kept
    // with the reason until the clerk corrects and resends it.
    virtual void recordFailed(qint64 key, const QString &reason) = 0;
};
