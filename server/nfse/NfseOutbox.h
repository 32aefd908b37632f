#pragma once

#include <optional>

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// What the sender needs from the store of declarations waiting for the national
// service: the next one due, claimed so that no other sender takes it, and the place
// to keep each outcome. The store behind it (the database's outbox) is not the
// sender's business; the sender never holds a transaction while it talks to the
// service.
class NfseOutbox
{
public:
    // A DPS waiting to be sent (or sent again: the same document, the same Id).
    struct Declaration
    {
        qint64 key = 0;
        QString company;       // CDEMPRESA: which certificate signs and connects
        QString dpsId;         // the DPS's Id (45 characters)
        QByteArray unsignedXml; // as built in the generation's transaction
        int attempts = 0;      // tries already made that failed without an answer
    };

    // A cancellation request waiting to be sent for an authorized note.
    struct Cancellation
    {
        qint64 key = 0;
        QString company;
        QString accessKey;      // the note's 50-digit access key
        QByteArray unsignedXml; // pedRegEvento, unsigned
        int attempts = 0;
    };

    // One of the service's reasons for refusing a document.
    struct Rejection
    {
        QString code;
        QString message;
        bool operator==(const Rejection &) const = default;
    };

    virtual ~NfseOutbox() = default;

    // The next declaration whose next try is due at `now`, claimed for this sender;
    // none when nothing is due.
    virtual std::optional<Declaration> claimDeclaration(const QDateTime &now) = 0;
    virtual void recordAuthorized(qint64 key, const QString &accessKey, const QByteArray &nfseXml,
                                  const QDateTime &when) = 0;
    virtual void recordRejected(qint64 key, const QList<Rejection> &reasons) = 0;
    virtual void recordRetry(qint64 key, const QString &reason, const QDateTime &nextTry) = 0;

    virtual std::optional<Cancellation> claimCancellation(const QDateTime &now) = 0;
    virtual void recordCancelled(qint64 key, const QByteArray &eventXml, const QDateTime &when) = 0;
    virtual void recordCancellationRefused(qint64 key, const QList<Rejection> &reasons) = 0;
    virtual void recordCancellationRetry(qint64 key, const QString &reason, const QDateTime &nextTry) = 0;
};
