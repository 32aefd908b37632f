#include "server/mail/MailMessage.h"

#include <QCryptographicHash>
#include <QLocale>
#include <QTimeZone>

namespace MailMessage {

namespace {

const QByteArray crlf = "\r\n";

bool isPrintableAscii(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7f; });
}

// Base64 lines of 76 characters.
QByteArray base64Lines(const QByteArray &content)
{
    const QByteArray encoded = content.toBase64();
    QByteArray lines;
    lines.reserve(encoded.size() + encoded.size() / 38 + 2);
    for (qsizetype at = 0; at < encoded.size(); at += 76)
        lines += encoded.mid(at, 76) + crlf;
    return lines;
}

// The characters that may stand for themselves in a quoted-printable line.
bool isLiteral(char c)
{
    return (c >= 33 && c <= 126 && c != '=') || c == ' ' || c == '\t';
}

QByteArray quotedLine(const QByteArray &line)
{
    QByteArray out;
    int width = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line[i];
        const bool last = i + 1 == line.size();
        // A space or tab ending the line would be lost by a mail server; the first
        // dot of a line is written as a code so that no server reads a lone "." line.
        const bool literal = isLiteral(c) && !(last && (c == ' ' || c == '\t')) && !(width == 0 && c == '.');
        const QByteArray piece = literal ? QByteArray(1, c) : "=" + QByteArray(1, c).toHex().toUpper();
        if (width + piece.size() > (last ? 76 : 75)) {
            out += "=" + crlf;
            width = 0;
        }
        out += piece;
        width += int(piece.size());
    }
    return out;
}

// The RFC 2231 value of a parameter: UTF-8 bytes, all but unreserved ones as %XX.
QByteArray extendedValue(const QString &text)
{
    return "UTF-8''" + text.toUtf8().toPercentEncoding();
}

QByteArray quoted(const QString &text)
{
    QByteArray value = text.toUtf8();
    value.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + value + '"';
}

// A file name with its parameters: "; name=..." for Content-Type and
// "; filename=..." for Content-Disposition.
QByteArray nameParameter(const QString &parameter, const QString &name)
{
    if (isPrintableAscii(name))
        return "; " + parameter.toLatin1() + "=" + quoted(name);
    // RFC 2231 continuations (name*0*=, name*1*=...) keep each line short; a %XX
    // code is never split.
    const QByteArray value = extendedValue(name);
    QByteArray out;
    int section = 0;
    for (qsizetype at = 0; at < value.size(); ++section) {
        qsizetype end = std::min(value.size(), at + 50);
        if (end < value.size() && value.lastIndexOf('%', end - 1) >= end - 2)
            end = value.lastIndexOf('%', end - 1);
        out += ";" + crlf + " " + parameter.toLatin1() + "*" + QByteArray::number(section)
               + "*=" + value.mid(at, end - at);
        at = end;
    }
    return out;
}

QByteArray addressHeader(const QString &name, const QString &address)
{
    if (name.isEmpty())
        return address.toUtf8();
    if (isPrintableAscii(name))
        return quoted(name) + " <" + address.toUtf8() + ">";
    return headerText(name) + crlf + " <" + address.toUtf8() + ">"; // folded: the words fill a line
}

QByteArray boundaryOf(const MailOutbox::Message &message)
{
    // "=_" never occurs in quoted-printable or base64 text, so the boundary cannot
    // appear inside a part.
    const QByteArray seed = QByteArray::number(message.key) + message.subject.toUtf8();
    return "=_fas_" + QCryptographicHash::hash(seed, QCryptographicHash::Sha256).toHex().left(24);
}

QByteArray textPart()
{
    return "Content-Type: text/plain; charset=UTF-8" + crlf + "Content-Transfer-Encoding: quoted-printable" + crlf;
}

QByteArray attachmentPart(const MailOutbox::Attachment &attachment)
{
    const QByteArray type = attachment.mimeType.isEmpty() ? QByteArray("application/octet-stream")
                                                          : attachment.mimeType;
    return "Content-Type: " + type + nameParameter(QStringLiteral("name"), attachment.name) + crlf
           + "Content-Disposition: attachment" + nameParameter(QStringLiteral("filename"), attachment.name) + crlf
           + "Content-Transfer-Encoding: base64" + crlf + crlf + base64Lines(attachment.content);
}

} // namespace

QByteArray messageId(qint64 key, const QString &senderAddress)
{
    const QString domain = senderAddress.section(u'@', -1);
    return "<fas09600.mail." + QByteArray::number(key) + "@" + domain.toUtf8() + ">";
}

QByteArray headerText(const QString &text)
{
    if (isPrintableAscii(text))
        return text.toUtf8();
    const QByteArray prefix = "=?UTF-8?B?";
    const QByteArray suffix = "?=";
    // Each word holds whole characters: 39 bytes make 52 base64 characters, 64 with
    // the markers, so a line keeps within 76 after a header's name.
    QByteArray words;
    QByteArray chunk;
    auto flush = [&] {
        if (chunk.isEmpty())
            return;
        words += (words.isEmpty() ? QByteArray() : crlf + " ") + prefix + chunk.toBase64() + suffix;
        chunk.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int width = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QByteArray bytes = text.mid(i, width).toUtf8();
        if (chunk.size() + bytes.size() > 39)
            flush();
        chunk += bytes;
        i += width - 1;
    }
    flush();
    return words;
}

QByteArray dateText(const QDateTime &date)
{
    const QLocale c = QLocale::c();
    const int offset = date.offsetFromUtc() / 60;
    const QByteArray zone = QStringLiteral("%1%2%3")
                                .arg(QLatin1Char(offset < 0 ? '-' : '+'))
                                .arg(std::abs(offset) / 60, 2, 10, QChar(u'0'))
                                .arg(std::abs(offset) % 60, 2, 10, QChar(u'0'))
                                .toLatin1();
    return c.toString(date, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss ")).toLatin1() + zone;
}

QByteArray quotedPrintable(const QString &text)
{
    QString normal = text;
    normal.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    QByteArray out;
    for (const QString &line : normal.split(u'\n'))
        out += quotedLine(line.toUtf8()) + crlf;
    return out;
}

QByteArray build(const MailOutbox::Message &message, const Sender &sender, const QDateTime &date)
{
    QByteArray head;
    head += "From: " + addressHeader(sender.name, sender.address) + crlf;
    head += "To: " + message.recipients.join(QStringLiteral(", ")).toUtf8() + crlf;
    head += "Subject: " + headerText(message.subject) + crlf;
    head += "Date: " + dateText(date) + crlf;
    head += "Message-ID: " + messageId(message.key, sender.address) + crlf;
    head += "MIME-Version: 1.0" + crlf;
    const QByteArray text = quotedPrintable(message.body);
    if (message.attachments.isEmpty())
        return head + textPart() + crlf + text;
    const QByteArray boundary = boundaryOf(message);
    QByteArray mail = head + "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"" + crlf + crlf;
    mail += "--" + boundary + crlf + textPart() + crlf + text;
    for (const MailOutbox::Attachment &attachment : message.attachments)
        mail += "--" + boundary + crlf + attachmentPart(attachment);
    return mail + "--" + boundary + "--" + crlf;
}

} // namespace MailMessage
