#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "server/mail/MailOutbox.h"

// The outbox's message as an Internet message (RFC 5322, MIME), CRLF line ends:
//   - From (the sender's name encoded per RFC 2047 when not ASCII), To, Subject
//     (UTF-8, RFC 2047 "B" words when not ASCII), Date, Message-ID, MIME-Version;
//   - the text as text/plain; charset=UTF-8, quoted-printable;
//   - with attachments, multipart/mixed: each attachment base64 with its name
//     (RFC 2231 name*0*= and filename*0*=, in short pieces, for a name that is not
//     ASCII); every line 7-bit and at most 78 characters.
// The Message-ID is made from the outbox's key and the sender's domain, the same on
// every try, so that a copy sent twice is recognisable as one message.
namespace MailMessage {

struct Sender
{
    QString address;
    QString name;
};

QByteArray build(const MailOutbox::Message &message, const Sender &sender, const QDateTime &date);

// "<fas09600.mail.<key>@<sender's domain>>"
QByteArray messageId(qint64 key, const QString &senderAddress);
// `text` as it may stand in a header: itself when printable ASCII, else RFC 2047
// encoded words ("=?UTF-8?B?...?="), none longer than 75 characters, a character
// never split between two words, the words on folded lines.
QByteArray headerText(const QString &text);
// The date as RFC 5322 writes it: "Mon, 02 Mar 2026 15:00:00 -0300".
QByteArray dateText(const QDateTime &date);
// Quoted-printable (RFC 2045), CRLF line ends, lines of at most 76 characters.
QByteArray quotedPrintable(const QString &text);

} // namespace MailMessage
