#pragma once

// Internals shared by the codec, the fields and the dataset; not installed.

#include <charconv>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string_view>

#include "TRecordStore.h"

// Direct access to a store's columns, so the packet decoder can append cells
// column by column without first filling a row with nulls. After appending one
// cell to every column, the decoder sets the row count.
struct RecordStoreAccess
{
    static void appendText(TRecordStore &s, int f, std::string_view utf8)
    {
        TRecordStore::Column &column = s.m_columns[std::size_t(f)];
        column.cells.push_back({checkedOffset(column.pool.size(), utf8.size()), std::uint32_t(utf8.size())});
        column.pool.append(utf8);
        column.nulls.push_back(0);
    }
    static void appendDateTime(TRecordStore &s, int f, std::int64_t ms)
    {
        TRecordStore::Column &column = s.m_columns[std::size_t(f)];
        column.times.push_back(ms);
        column.nulls.push_back(0);
    }
    static void appendNumber(TRecordStore &s, int f, double value)
    {
        TRecordStore::Column &column = s.m_columns[std::size_t(f)];
        column.numbers.push_back(value);
        column.nulls.push_back(0);
    }
    static void appendNull(TRecordStore &s, int f)
    {
        TRecordStore::Column &column = s.m_columns[std::size_t(f)];
        switch (s.m_defs.at(f).type) {
        case TFieldType::String:
        case TFieldType::FixedChar:
            column.cells.push_back({});
            break;
        case TFieldType::DateTime:
            column.times.push_back(0);
            break;
        case TFieldType::Float:
            column.numbers.push_back(0.0);
            break;
        }
        column.nulls.push_back(1);
    }
    static void setRowCount(TRecordStore &s, int rows) { s.m_rows = rows; }
    static void reserveText(TRecordStore &s, int f, std::size_t bytes) { s.m_columns[std::size_t(f)].pool.reserve(bytes); }

    // A pool offset that fits a cell; a column's text is far below 4 GiB (a
    // packet is at most 512 MiB), so this only guards against a fault.
    static std::uint32_t checkedOffset(std::size_t poolSize, std::size_t length)
    {
        if (poolSize + length > std::numeric_limits<std::uint32_t>::max())
            throw std::length_error("TRecordStore: a column holds more than 4 GiB of text");
        return std::uint32_t(poolSize);
    }
};

namespace WallClock {

// Date-times are wall-clock milliseconds since 1970-01-01T00:00, proleptic
// Gregorian calendar; the supported years are 1 to 9999, the ones ISO text with
// four-digit years can carry.
constexpr std::int64_t MsPerDay = 86'400'000;
constexpr std::int64_t MinMs = -62'135'596'800'000;    // 0001-01-01T00:00:00.000
constexpr std::int64_t MaxMs = 253'402'300'799'999;    // 9999-12-31T23:59:59.999
constexpr std::int64_t ZeroDateMs = -2'209'161'600'000; // 1899-12-30T00:00:00.000

// Days since 1970-01-01 of a civil date (H. Hinnant's algorithm).
constexpr std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + std::int64_t(doe) - 719468;
}

struct Civil
{
    int year;
    unsigned month, day, hour, minute, second, ms;
};

constexpr std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - ((a % b != 0 && ((a < 0) != (b < 0))) ? 1 : 0);
}

constexpr Civil toCivil(std::int64_t msSinceEpoch)
{
    const std::int64_t days = floorDiv(msSinceEpoch, MsPerDay);
    std::int64_t rest = msSinceEpoch - days * MsPerDay;
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    Civil c{};
    c.year = int(std::int64_t(yoe) + era * 400 + (m <= 2 ? 1 : 0));
    c.month = m;
    c.day = d;
    c.ms = unsigned(rest % 1000);
    rest /= 1000;
    c.second = unsigned(rest % 60);
    rest /= 60;
    c.minute = unsigned(rest % 60);
    c.hour = unsigned(rest / 60);
    return c;
}

constexpr bool isLeap(std::int64_t y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

constexpr unsigned daysInMonth(std::int64_t y, unsigned m)
{
    constexpr unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

// Milliseconds of a checked civil date-time; false when any part is out of range.
constexpr bool fromCivil(std::int64_t y, unsigned mo, unsigned d, unsigned h, unsigned mi, unsigned s,
                         unsigned ms, std::int64_t &out)
{
    if (y < 1 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > daysInMonth(y, mo) || h > 23 || mi > 59
        || s > 59 || ms > 999)
        return false;
    out = daysFromCivil(y, mo, d) * MsPerDay + ((std::int64_t(h) * 60 + mi) * 60 + s) * 1000 + ms;
    return true;
}

// Reads "yyyy-MM-dd", "yyyy-MM-ddThh:mm:ss" or "yyyy-MM-ddThh:mm:ss.zzz".
inline bool parseIso(std::string_view text, std::int64_t &out)
{
    const auto digits = [&text](std::size_t at, std::size_t count, unsigned &value) {
        value = 0;
        for (std::size_t i = at; i < at + count; ++i) {
            const char c = text[i];
            if (c < '0' || c > '9')
                return false;
            value = value * 10 + unsigned(c - '0');
        }
        return true;
    };
    const std::size_t n = text.size();
    if (n != 10 && n != 19 && n != 23)
        return false;
    unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    if (!digits(0, 4, y) || text[4] != '-' || !digits(5, 2, mo) || text[7] != '-' || !digits(8, 2, d))
        return false;
    if (n >= 19) {
        if (text[10] != 'T' || !digits(11, 2, h) || text[13] != ':' || !digits(14, 2, mi) || text[16] != ':'
            || !digits(17, 2, s))
            return false;
    }
    if (n == 23) {
        if (text[19] != '.' || !digits(20, 3, ms))
            return false;
    }
    return fromCivil(y, mo, d, h, mi, s, ms, out);
}

// Writes "yyyy-MM-ddThh:mm:ss.zzz" (23 characters) into `buf`; false when the
// value lies outside the supported years.
inline bool formatIso(std::int64_t ms, char *buf)
{
    if (ms < MinMs || ms > MaxMs)
        return false;
    const Civil c = toCivil(ms);
    const auto put = [](char *at, unsigned value, int width) {
        for (int i = width - 1; i >= 0; --i) {
            at[i] = char('0' + value % 10);
            value /= 10;
        }
    };
    put(buf, unsigned(c.year), 4);
    buf[4] = '-';
    put(buf + 5, c.month, 2);
    buf[7] = '-';
    put(buf + 8, c.day, 2);
    buf[10] = 'T';
    put(buf + 11, c.hour, 2);
    buf[13] = ':';
    put(buf + 14, c.minute, 2);
    buf[16] = ':';
    put(buf + 17, c.second, 2);
    buf[19] = '.';
    put(buf + 20, c.ms, 3);
    return true;
}

} // namespace WallClock

namespace Utf8 {

// Characters (code points) of valid UTF-8: every byte that does not continue a
// sequence starts a character.
inline std::size_t length(std::string_view text)
{
    std::size_t count = 0;
    for (const char c : text)
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return count;
}

} // namespace Utf8
