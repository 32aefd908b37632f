#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringView>
#include <QTime>

#include "fasdata_export.h"

// The one place where dates become day counts, ISO text and SQL text, for the client's
// dataset and packet codec and for the application server alike.
//
// A date-time is a wall-clock value without a time zone: milliseconds since
// 1970-01-01T00:00 in the proleptic Gregorian calendar. The supported years are 1
// to 9999, the ones ISO text with four-digit years can carry. The parsers and the
// formatter are allocation-free and inline: the packet codec and the server's row
// writer run them for every date cell.
namespace CivilDate {

constexpr std::int64_t MsPerDay = 86'400'000;

// Milliseconds of a date-time given by its parts; no range check.
constexpr std::int64_t msFromParts(std::chrono::year_month_day date, unsigned hour, unsigned minute, unsigned second,
                                   unsigned ms)
{
    using namespace std::chrono;
    const auto at = sys_days(date) + hours(hour) + minutes(minute) + seconds(second) + milliseconds(ms);
    return at.time_since_epoch().count();
}

constexpr std::int64_t MinMs = msFromParts(std::chrono::year(1) / 1 / 1, 0, 0, 0, 0);
constexpr std::int64_t MaxMs = msFromParts(std::chrono::year(9999) / 12 / 31, 23, 59, 59, 999);
// The zero date-time, which a date-time read as a number of days counts from.
constexpr std::int64_t ZeroDateMs = msFromParts(std::chrono::year(1899) / 12 / 30, 0, 0, 0, 0);

constexpr bool inRange(std::int64_t ms)
{
    return ms >= MinMs && ms <= MaxMs;
}

// A real date within the supported years.
constexpr bool isValid(std::chrono::year_month_day date)
{
    return date.ok() && date.year() >= std::chrono::year(1) && date.year() <= std::chrono::year(9999);
}

// The date and the time of day of a date-time (days counted down, so a time
// before 1970 still has a positive time of day).
struct Parts
{
    std::chrono::year_month_day date;
    std::chrono::hh_mm_ss<std::chrono::milliseconds> time;
};

constexpr Parts split(std::int64_t ms)
{
    using namespace std::chrono;
    const sys_time<milliseconds> at{milliseconds(ms)};
    const sys_days day = floor<days>(at);
    return {year_month_day(day), hh_mm_ss<milliseconds>(at - day)};
}

// The forms of ISO text the system reads. Every form takes "yyyy-MM-dd" alone; the
// year is 0001 to 9999, the date must exist, the time must be a real time of day.
enum class IsoForm {
    // The data packet's own form: "yyyy-MM-dd", "yyyy-MM-ddThh:mm:ss" or
    // "yyyy-MM-ddThh:mm:ss.zzz".
    Packet,
    // As databases print dates: 'T' or ' ' before the time, the seconds optional,
    // any number of digits after the point (the first three count).
    Database,
    // A date sent as a request parameter: the database form with at most nine
    // digits after the point and an optional zone ("Z", "+hh:mm", "-hhmm"), which
    // does not move the wall-clock value.
    Request,
};

namespace detail {

constexpr char16_t unitAt(std::string_view text, std::size_t i)
{
    return static_cast<unsigned char>(text[i]);
}

inline char16_t unitAt(QStringView text, std::size_t i)
{
    return text[qsizetype(i)].unicode();
}

// `count` ASCII digits at `at` (only ASCII digits count, whatever the text's kind).
template<typename View>
constexpr bool digits(View text, std::size_t at, std::size_t count, unsigned &value)
{
    value = 0;
    if (at + count > std::size_t(text.size()))
        return false;
    for (std::size_t i = at; i < at + count; ++i) {
        const char16_t c = unitAt(text, i);
        if (c < u'0' || c > u'9')
            return false;
        value = value * 10 + unsigned(c - u'0');
    }
    return true;
}

// The fraction of a second after the point: the first three digits as
// milliseconds; `count` is the number of digits read.
template<typename View>
constexpr std::size_t fraction(View text, std::size_t at, unsigned &ms, std::size_t &count)
{
    const std::size_t size = std::size_t(text.size());
    const std::size_t start = at;
    ms = 0;
    unsigned weight = 100; // 0 from the fourth digit on
    for (; at < size && unitAt(text, at) >= u'0' && unitAt(text, at) <= u'9'; ++at) {
        ms += weight * unsigned(unitAt(text, at) - u'0');
        weight /= 10;
    }
    count = at - start;
    return at;
}

// "Z", "+hh:mm", "+hhmm" or "-…" at `at`; the position after it, or 0 when none is there.
template<typename View>
constexpr std::size_t zone(View text, std::size_t at)
{
    const char16_t sign = unitAt(text, at);
    if (sign == u'Z')
        return at + 1;
    if (sign != u'+' && sign != u'-')
        return 0;
    unsigned ignored = 0;
    if (!digits(text, at + 1, 2, ignored))
        return 0;
    at += 3;
    if (at < std::size_t(text.size()) && unitAt(text, at) == u':')
        ++at;
    return digits(text, at, 2, ignored) ? at + 2 : 0;
}

// The time after the date ("hh:mm[:ss[.f…]][zone]" from position 11) in `form`;
// the position after it, or 0 when it is not well formed.
template<IsoForm form, typename View>
constexpr std::size_t timeOfDay(View text, unsigned &h, unsigned &mi, unsigned &s, unsigned &ms)
{
    const std::size_t size = std::size_t(text.size());
    if (!digits(text, 11, 2, h) || size < 16 || unitAt(text, 13) != u':' || !digits(text, 14, 2, mi))
        return 0;
    std::size_t at = 16;
    if (at < size && unitAt(text, at) == u':') {
        if (!digits(text, at + 1, 2, s))
            return 0;
        at += 3;
        if (at < size && unitAt(text, at) == u'.') {
            if constexpr (form == IsoForm::Packet) { // always three digits
                if (!digits(text, at + 1, 3, ms))
                    return 0;
                at += 4;
            } else {
                std::size_t count = 0;
                at = fraction(text, at + 1, ms, count);
                if (count == 0 || (form == IsoForm::Request && count > 9))
                    return 0;
            }
        }
    } else if constexpr (form == IsoForm::Packet) {
        return 0; // the packet always carries the seconds
    }
    if constexpr (form == IsoForm::Request) {
        if (at < size)
            at = zone(text, at);
    }
    return h <= 23 && mi <= 59 && s <= 59 ? at : 0;
}

} // namespace detail

// Reads ISO text of `form` into milliseconds; false, with `ms` untouched, when the
// text is not such a date-time. Works on UTF-8 (std::string_view) and on QStringView.
// The form is a template argument so that each caller gets a reader made for it.
template<IsoForm form, typename View>
constexpr bool parseIso(View text, std::int64_t &ms)
{
    const std::size_t size = std::size_t(text.size());
    unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, milli = 0;
    if (size < 10 || !detail::digits(text, 0, 4, y) || detail::unitAt(text, 4) != u'-'
        || !detail::digits(text, 5, 2, mo) || detail::unitAt(text, 7) != u'-' || !detail::digits(text, 8, 2, d))
        return false;
    const std::chrono::year_month_day date{std::chrono::year(int(y)), std::chrono::month(mo), std::chrono::day(d)};
    if (!isValid(date))
        return false;
    if (size > 10) {
        const char16_t separator = detail::unitAt(text, 10);
        if (separator != u'T' && (separator != u' ' || form == IsoForm::Packet))
            return false;
        if (detail::timeOfDay<form>(text, h, mi, s, milli) != size)
            return false;
    }
    ms = msFromParts(date, h, mi, s, milli);
    return true;
}

// Writes "yyyy-MM-ddThh:mm:ss.zzz" (23 characters, no terminator) into `buffer`;
// false when the value lies outside the supported years.
constexpr bool formatIso(std::int64_t ms, char *buffer)
{
    if (!inRange(ms))
        return false;
    const Parts parts = split(ms);
    const auto put = [](char *at, unsigned value, int width) {
        for (int i = width - 1; i >= 0; --i) {
            at[i] = char('0' + value % 10);
            value /= 10;
        }
    };
    put(buffer, unsigned(int(parts.date.year())), 4);
    buffer[4] = '-';
    put(buffer + 5, unsigned(parts.date.month()), 2);
    buffer[7] = '-';
    put(buffer + 8, unsigned(parts.date.day()), 2);
    buffer[10] = 'T';
    put(buffer + 11, unsigned(parts.time.hours().count()), 2);
    buffer[13] = ':';
    put(buffer + 14, unsigned(parts.time.minutes().count()), 2);
    buffer[16] = ':';
    put(buffer + 17, unsigned(parts.time.seconds().count()), 2);
    buffer[19] = '.';
    put(buffer + 20, unsigned(parts.time.subseconds().count()), 3);
    return true;
}

// Dates as SQL text, the form both databases read and compare as text:
// "yyyy-MM-dd", and "yyyy-MM-dd hh:mm:ss" with ".zzz" when the milliseconds are
// wanted. The wall-clock fields are written as they are, whatever the value's
// zone. An invalid value or one outside the supported years gives the empty text.
enum class SqlTime { Seconds, Milliseconds };
FASDATA_EXPORT QString sqlDate(QDate date);
FASDATA_EXPORT QString sqlDateTime(const QDateTime &value, SqlTime precision = SqlTime::Seconds);

// A date-time as days since the zero date-time: the whole part counts days, the
// fraction is the time of day, with the sign of the whole (-1.25 is 1899-12-29 06:00).
FASDATA_EXPORT double toZeroDateDays(std::int64_t ms);
// The reverse; false when `days` is not a number of days within the supported years.
FASDATA_EXPORT bool fromZeroDateDays(double days, std::int64_t &ms);

// The wall-clock fields of a Qt date and time as milliseconds, whatever zone the
// value came from (any year Qt holds: check inRange before storing it).
FASDATA_EXPORT std::int64_t fromQt(QDate date, QTime time = QTime(0, 0));
FASDATA_EXPORT std::int64_t fromQt(const QDateTime &value);
// The date of a date-time.
FASDATA_EXPORT QDate dateOf(std::int64_t ms);
// A date-time as a QDateTime in UTC, so its wall-clock fields read unchanged.
FASDATA_EXPORT QDateTime toQt(std::int64_t ms);

} // namespace CivilDate
