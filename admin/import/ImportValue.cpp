#include "admin/import/ImportValue.h"

#include <QDate>
#include <QRegularExpression>

namespace ImportValue {

namespace {

constexpr int MaxWholeDigits = 13; // NUMERIC(15, 2)
constexpr int MaxDecimals = 2;

QString quoted(const QString &value)
{
    return QStringLiteral("valor '%1'").arg(value);
}

bool readText(const ImportColumn &column, const QString &value, QString &reason)
{
    const qsizetype count = characterCount(value);
    if (count <= column.size)
        return true;
    reason = QStringLiteral("texto com %1 caracteres; o máximo é %2").arg(count).arg(column.size);
    return false;
}

bool readCode(const ImportColumn &column, const QString &value, QString &reason)
{
    if (value.size() == 1 && column.codes.contains(value.at(0)))
        return true;
    QStringList letters;
    for (const QChar letter : column.codes)
        letters << letter;
    const QString last = letters.takeLast();
    reason =
        QStringLiteral("%1 não é aceito; use %2 ou %3").arg(quoted(value), letters.join(QStringLiteral(", ")), last);
    if (!column.required)
        reason += QStringLiteral(", ou deixe em branco");
    return false;
}

bool readInteger(QString &value, QString &reason)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    if (digits.match(value).hasMatch() && value.toInt() > 0) {
        value = QString::number(value.toInt()); // "007" and "7" are the same key
        return true;
    }
    reason = QStringLiteral("%1 não é um número inteiro de 1 a 999999999").arg(quoted(value));
    return false;
}

// "1.234,56", "1234,56", "-12", ",5" is not: the whole part is always written.
bool readDecimal(QString &value, QString &reason)
{
    static const QRegularExpression number(QStringLiteral("^(-?)([0-9]{1,3}(?:\\.[0-9]{3})+|[0-9]+)(?:,([0-9]+))?$"));
    const QRegularExpressionMatch match = number.match(value);
    if (!match.hasMatch()) {
        reason = QStringLiteral("%1 não é um número (escreva 1234,56 ou 1.234,56)").arg(quoted(value));
        return false;
    }
    QString whole = match.captured(2).remove(u'.');
    const QString decimals = match.captured(3);
    if (decimals.size() > MaxDecimals) {
        reason = QStringLiteral("%1 tem mais de %2 casas decimais").arg(quoted(value)).arg(MaxDecimals);
        return false;
    }
    while (whole.size() > 1 && whole.startsWith(u'0'))
        whole.remove(0, 1);
    if (whole.size() > MaxWholeDigits) {
        reason = QStringLiteral("%1 é grande demais (no máximo %2 dígitos antes da vírgula)")
                     .arg(quoted(value))
                     .arg(MaxWholeDigits);
        return false;
    }
    value = match.captured(1) + whole + (decimals.isEmpty() ? QString() : u'.' + decimals);
    return true;
}

// dd/mm/aaaa with an optional time; day and month may drop their leading zero.
bool readDate(const ImportColumn &column, QString &value, QString &reason)
{
    static const QRegularExpression form(
        QStringLiteral("^([0-9]{1,2})/([0-9]{1,2})/([0-9]{4})(?: +([0-9]{1,2}):([0-9]{2})(?::([0-9]{2}))?)?$"));
    const QRegularExpressionMatch match = form.match(value);
    const bool withTime = column.kind == ValueKind::DateTime;
    const QDate date = match.hasMatch()
                           ? QDate(match.captured(3).toInt(), match.captured(2).toInt(), match.captured(1).toInt())
                           : QDate();
    const bool hasTime = match.hasMatch() && match.capturedLength(4) > 0;
    const QTime time = hasTime ? QTime(match.captured(4).toInt(), match.captured(5).toInt(), match.captured(6).toInt())
                               : QTime(0, 0);
    if (!date.isValid() || date.year() < 1 || !time.isValid() || (hasTime && !withTime)) {
        reason = withTime ? QStringLiteral("%1 não é uma data e hora (dd/mm/aaaa, dd/mm/aaaa hh:mm ou "
                                           "dd/mm/aaaa hh:mm:ss)")
                                .arg(quoted(value))
                          : QStringLiteral("%1 não é uma data (dd/mm/aaaa)").arg(quoted(value));
        return false;
    }
    if (column.kind == ValueKind::MonthStart && date.day() != 1) {
        reason = QStringLiteral("%1: o mês da apuração é escrito como o dia 1 do mês (01/%2)")
                     .arg(quoted(value), date.toString(QStringLiteral("MM/yyyy")));
        return false;
    }
    value = date.toString(QStringLiteral("yyyy-MM-dd"));
    if (withTime)
        value += time.toString(QStringLiteral(" HH:mm:ss"));
    return true;
}

} // namespace

qsizetype characterCount(const QString &text)
{
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (!text.at(i).isLowSurrogate())
            ++count;
    return count;
}

bool convert(const ImportColumn &column, QString &value, QString &reason)
{
    if (value.isEmpty()) {
        value = QString();
        return true;
    }
    switch (column.kind) {
    case ValueKind::Text:
        return readText(column, value, reason);
    case ValueKind::Code:
        return readCode(column, value, reason);
    case ValueKind::Integer:
        return readInteger(value, reason);
    case ValueKind::Decimal:
        return readDecimal(value, reason);
    case ValueKind::MonthStart:
    case ValueKind::DateTime:
        return readDate(column, value, reason);
    }
    return false;
}

} // namespace ImportValue
