#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

// Values as the national layout's simple types write them.
namespace NfseFormat {

// The digits of `text`, every other character dropped (a CEP, an access key).
QString digitsOf(const QString &text);

// The largest value TSDec15V2 holds: 15 integer digits and two decimals.
inline constexpr qint64 maxCents = 99999999999999999LL;

// Cents as a decimal with two places and a point: 123456 -> "1234.56", 5 -> "0.05".
QString money(qint64 cents);
// Hundredths of a percent with two places: 500 -> "5.00".
QString rate(int hundredths);
// Local date and time with its offset, to the second: "2026-03-02T14:05:09-03:00".
QString dateTime(const QDateTime &when);
QString date(const QDate &day);

// Why `when` cannot be written as the layout's date-time (invalid, a year outside
// 2000..2099, an offset that is not whole hours between -11 and +12); empty when it can.
QString dateTimeProblem(const QDateTime &when, const QString &what);

} // namespace NfseFormat
