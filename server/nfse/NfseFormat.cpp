#include "server/nfse/NfseFormat.h"

#include <cstdlib>

namespace NfseFormat {

QString digitsOf(const QString &text)
{
    QString digits;
    for (const QChar c : text)
        if (c >= u'0' && c <= u'9')
            digits += c;
    return digits;
}

QString money(qint64 cents)
{
    const QString sign = cents < 0 ? QStringLiteral("-") : QString();
    const qint64 whole = std::llabs(cents) / 100;
    const qint64 rest = std::llabs(cents) % 100;
    return QStringLiteral("%1%2.%3").arg(sign).arg(whole).arg(rest, 2, 10, QLatin1Char('0'));
}

QString rate(int hundredths)
{
    return money(hundredths);
}

QString dateTime(const QDateTime &when)
{
    const int offsetHours = when.offsetFromUtc() / 3600;
    return QStringLiteral("%1%2%3:00")
        .arg(when.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")),
             offsetHours < 0 ? QStringLiteral("-") : QStringLiteral("+"))
        .arg(std::abs(offsetHours), 2, 10, QLatin1Char('0'));
}

QString date(const QDate &day)
{
    return day.toString(QStringLiteral("yyyy-MM-dd"));
}

QString dateTimeProblem(const QDateTime &when, const QString &what)
{
    if (!when.isValid() || when.date().year() < 2000 || when.date().year() > 2099)
        return QStringLiteral("%1 não é válida: informe uma data entre 2000 e 2099.").arg(what);
    const int offset = when.offsetFromUtc();
    if (offset % 3600 != 0 || offset < -11 * 3600 || offset > 12 * 3600)
        return QStringLiteral("%1 tem um fuso horário (%2 min) que o leiaute da NFS-e não aceita: use horas "
                              "inteiras, como -03:00 (Brasília).")
            .arg(what)
            .arg(offset / 60);
    return {};
}

} // namespace NfseFormat
