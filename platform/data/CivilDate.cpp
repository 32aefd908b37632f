#include "platform/data/CivilDate.h"

#include <cmath>
#include <limits>

namespace CivilDate {

namespace {

// Qt's Julian day of 1970-01-01.
constexpr std::int64_t UnixJulianDay = 2'440'588;
// Far beyond the supported years, and far from overflowing in milliseconds.
constexpr std::int64_t DayLimit = std::int64_t(1) << 40;

} // namespace

double toZeroDateDays(std::int64_t ms)
{
    const std::int64_t sinceZero = ms - ZeroDateMs;
    const auto day = std::chrono::floor<std::chrono::days>(std::chrono::milliseconds(sinceZero));
    const double time = double(sinceZero - day.count() * MsPerDay) / double(MsPerDay);
    return day.count() < 0 ? double(day.count()) - time : double(day.count()) + time;
}

bool fromZeroDateDays(double days, std::int64_t &ms)
{
    if (!std::isfinite(days) || std::fabs(days) > 3.0e6)
        return false;
    const double whole = std::trunc(days);
    const double time = std::fabs(days - whole);
    ms = ZeroDateMs + std::int64_t(whole) * MsPerDay + std::llround(time * double(MsPerDay));
    return inRange(ms);
}

std::int64_t fromQt(QDate date, QTime time)
{
    const std::int64_t days = date.toJulianDay() - UnixJulianDay;
    if (days < -DayLimit || days > DayLimit)
        return days < 0 ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
    return days * MsPerDay + time.msecsSinceStartOfDay();
}

std::int64_t fromQt(const QDateTime &value)
{
    return fromQt(value.date(), value.time());
}

QDate dateOf(std::int64_t ms)
{
    const std::chrono::year_month_day date = split(ms).date;
    return QDate(int(date.year()), int(unsigned(date.month())), int(unsigned(date.day())));
}

QString sqlDate(QDate date)
{
    char buffer[23];
    if (!date.isValid() || !formatIso(fromQt(date), buffer))
        return {};
    return QString::fromLatin1(buffer, 10);
}

QString sqlDateTime(const QDateTime &value, SqlTime precision)
{
    char buffer[23];
    if (!value.isValid() || !formatIso(fromQt(value), buffer))
        return {};
    buffer[10] = ' ';
    return QString::fromLatin1(buffer, precision == SqlTime::Milliseconds ? 23 : 19);
}

QDateTime toQt(std::int64_t ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

} // namespace CivilDate
