#include "platform/data/FormatSettings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <mutex>
#include <string>

#include "platform/data/CivilDate.h"

namespace FormatSettings {
namespace {

struct Settings
{
    std::mutex mutex;
    QLocale locale{QLocale::Portuguese, QLocale::Brazil};
    QString shortDate = QStringLiteral("dd/MM/yyyy");
    QString longTime = QStringLiteral("hh:mm:ss");
};

Settings &settings()
{
    static Settings instance;
    return instance;
}

using Section = FloatWriter::Section;

// Literal text of a format: quotes removed, the quoted text kept as it stands.
QString unquote(QStringView text)
{
    QString out;
    QChar quote;
    for (const QChar c : text) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            else
                out += c;
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
        } else {
            out += c;
        }
    }
    return out;
}

bool isPattern(QChar c)
{
    return c == QLatin1Char('0') || c == QLatin1Char('#') || c == QLatin1Char('.') || c == QLatin1Char(',');
}

Section parseSection(QStringView format)
{
    Section section;
    // The pattern is the first run of placeholders outside quotes.
    qsizetype begin = -1, end = -1;
    QChar quote;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            continue;
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            if (begin >= 0) {
                end = i;
                break;
            }
            quote = c;
            continue;
        }
        if (isPattern(c)) {
            if (begin < 0)
                begin = i;
        } else if (begin >= 0) {
            end = i;
            break;
        }
    }
    if (begin < 0) {
        section.prefix = unquote(format).toStdString();
        return section;
    }
    if (end < 0)
        end = format.size();
    section.prefix = unquote(format.first(begin)).toStdString();
    section.suffix = unquote(format.sliced(end)).toStdString();
    bool afterPoint = false;
    for (const QChar c : format.sliced(begin, end - begin)) {
        if (c == QLatin1Char('.')) {
            afterPoint = true;
        } else if (c == QLatin1Char(',')) {
            if (!afterPoint)
                section.grouping = true;
        } else {
            section.hasDigits = true;
            if (afterPoint) {
                ++section.maxDecimals;
                if (c == QLatin1Char('0'))
                    section.minDecimals = section.maxDecimals;
            } else if (c == QLatin1Char('0')) {
                ++section.minInteger;
            }
        }
    }
    return section;
}

// |value| rounded to the section's decimals, half away from zero as people round
// money: integer digits and decimal digits. The rounding looks at the exact
// binary value (every double has at most 1074 decimals), so 0.125 gives 0,13
// while 2.675, stored as 2.67499999..., gives 2,67.
void exactDigitsOf(double magnitude, const Section &section, std::string &integer, std::string &decimals)
{
    constexpr int exactDecimals = 1074;
    const int wanted = std::min(section.maxDecimals, exactDecimals);
    std::string buffer(std::size_t(310 + 2 + exactDecimals), '\0');
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude, std::chars_format::fixed,
                                      exactDecimals);
    buffer.resize(std::size_t(result.ptr - buffer.data()));
    const std::size_t point = buffer.find('.');
    integer = buffer.substr(0, point);
    const std::string exact = buffer.substr(point + 1);
    decimals = exact.substr(0, std::size_t(wanted));
    if (exact[std::size_t(wanted)] >= '5') {
        // Carry through the decimals, then the integer digits.
        std::string digits = integer + decimals;
        std::size_t i = digits.size();
        while (i > 0 && digits[i - 1] == '9')
            digits[--i] = '0';
        if (i == 0)
            digits.insert(digits.begin(), '1');
        else
            ++digits[i - 1];
        integer = digits.substr(0, digits.size() - decimals.size());
        decimals = digits.substr(digits.size() - decimals.size());
    }
}

// Whether |value| lies exactly halfway between two numbers of `decimals`
// decimals; false when that cannot be told cheaply (the exact way decides then).
bool surelyNoTie(double magnitude, int decimals)
{
    constexpr double exactIntegers = 9007199254740992.0; // 2^53
    if (decimals > 21)
        return false;
    double scale = 10.0;
    for (int i = 0; i < decimals; ++i)
        scale *= 10.0;
    const double scaled = magnitude * scale;
    if (!(scaled < exactIntegers))
        return false;
    // The product is exact when nothing was rounded off; a tie is an exact
    // integer ending in 5.
    if (std::fma(magnitude, scale, -scaled) != 0.0)
        return true;
    return scaled != std::trunc(scaled) || std::fmod(scaled, 10.0) != 5.0;
}

// |value| rounded to the section's decimals, half away from zero. The fixed
// form of std::to_chars rounds the exact binary value correctly; only an exact
// tie, where it would round to even, takes the exact way.
void digitsOf(double magnitude, const Section &section, std::string &integer, std::string &decimals)
{
    char buffer[64];
    const int wanted = section.maxDecimals;
    const auto result = magnitude < 1e17 && surelyNoTie(magnitude, wanted)
                            ? std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::fixed, wanted)
                            : std::to_chars_result{nullptr, std::errc::value_too_large};
    if (result.ec == std::errc()) {
        const std::string_view text(buffer, std::size_t(result.ptr - buffer));
        const std::size_t point = text.find('.');
        integer.assign(text.substr(0, point));
        decimals.assign(point == std::string_view::npos ? std::string_view() : text.substr(point + 1));
    } else {
        exactDigitsOf(magnitude, section, integer, decimals);
    }
    while (int(decimals.size()) > section.minDecimals && decimals.back() == '0')
        decimals.pop_back();
}

bool allZero(const std::string &digits)
{
    return digits.find_first_not_of('0') == std::string::npos;
}

void render(const Section &section, const std::string &integerDigits, const std::string &decimals, bool negative,
            const std::string &minus, const std::string &group, const std::string &point, std::string &out)
{
    std::size_t digits = integerDigits.size();
    const bool dropZero = integerDigits == "0" && section.minInteger == 0;
    if (dropZero)
        digits = 0;
    const std::size_t padding = int(digits) < section.minInteger ? std::size_t(section.minInteger) - digits : 0;
    const std::size_t width = padding + digits;
    if (negative)
        out += minus;
    out += section.prefix;
    for (std::size_t i = 0; i < width; ++i) {
        if (section.grouping && i > 0 && (width - i) % 3 == 0)
            out += group;
        out += i < padding ? '0' : integerDigits[i - padding];
    }
    if (!decimals.empty()) {
        out += point;
        out += decimals;
    }
    out += section.suffix;
}

bool isUsualDateTimeForm(const QString &date, const QString &time)
{
    return date == QLatin1String("dd/MM/yyyy") && time == QLatin1String("hh:mm:ss");
}

void appendTwoDigits(unsigned value, std::string &out)
{
    out += char('0' + value / 10 % 10);
    out += char('0' + value % 10);
}

} // namespace

QLocale locale()
{
    Settings &s = settings();
    std::lock_guard lock(s.mutex);
    return s.locale;
}

void setLocale(const QLocale &value)
{
    Settings &s = settings();
    std::lock_guard lock(s.mutex);
    s.locale = value;
}

QString shortDateFormat()
{
    Settings &s = settings();
    std::lock_guard lock(s.mutex);
    return s.shortDate;
}

void setShortDateFormat(const QString &format)
{
    Settings &s = settings();
    std::lock_guard lock(s.mutex);
    s.shortDate = format;
}

QString longTimeFormat()
{
    Settings &s = settings();
    std::lock_guard lock(s.mutex);
    return s.longTime;
}

void setLongTimeFormat(const QString &format)
{
    Settings &s = settings();
    std::lock_guard lock(s.mutex);
    s.longTime = format;
}

QString formatFloat(double value, const QString &displayFormat)
{
    if (displayFormat.isEmpty())
        return floatToString(value);
    std::string text;
    FloatWriter(displayFormat).append(value, text);
    return QString::fromStdString(text);
}

FloatWriter::FloatWriter(const QString &displayFormat)
    : m_plain(displayFormat.isEmpty())
{
    const QLocale loc = locale();
    m_minus = loc.negativeSign().toStdString();
    m_group = loc.groupSeparator().toStdString();
    m_point = loc.decimalPoint().toStdString();
    if (m_plain)
        return;
    const QList<QStringView> parts = QStringView(displayFormat).split(QLatin1Char(';'));
    m_positive = parseSection(parts[0]);
    m_hasNegative = parts.size() > 1 && !parts[1].isEmpty();
    m_hasZero = parts.size() > 2 && !parts[2].isEmpty();
    if (m_hasNegative)
        m_negative = parseSection(parts[1]);
    if (m_hasZero)
        m_zero = parseSection(parts[2]);
}

void FloatWriter::append(double value, std::string &utf8) const
{
    if (m_plain) {
        utf8 += floatToString(value).toStdString();
        return;
    }
    if (std::isnan(value)) {
        utf8 += "NaN";
        return;
    }
    if (std::isinf(value)) {
        utf8 += value > 0 ? "INF" : m_minus + "INF";
        return;
    }
    const Section &chosen = value < 0 && m_hasNegative ? m_negative : m_positive;
    if (!chosen.hasDigits) {
        utf8 += chosen.prefix;
        return;
    }
    appendSection(chosen, value, value < 0 && !m_hasNegative, utf8);
}

void FloatWriter::appendSection(const Section &chosen, double value, bool minus, std::string &utf8) const
{
    thread_local std::string integer, decimals;
    digitsOf(std::fabs(value), chosen, integer, decimals);
    const bool zero = allZero(integer) && allZero(decimals);
    if (zero && m_hasZero) {
        if (!m_zero.hasDigits) {
            utf8 += m_zero.prefix;
            return;
        }
        digitsOf(0.0, m_zero, integer, decimals);
        render(m_zero, integer, decimals, false, m_minus, m_group, m_point, utf8);
        return;
    }
    // A negative section carries its own sign text; a rounded zero has no sign.
    render(chosen, integer, decimals, minus && !zero, m_minus, m_group, m_point, utf8);
}

DateTimeWriter::DateTimeWriter()
    : m_usual(isUsualDateTimeForm(shortDateFormat(), longTimeFormat()))
{
}

void DateTimeWriter::append(std::int64_t ms, std::string &utf8) const
{
    const CivilDate::Parts parts = CivilDate::split(ms);
    const int year = int(parts.date.year());
    if (!m_usual || year < 1000 || year > 9999 || !CivilDate::inRange(ms)) {
        utf8 += dateTimeToString(CivilDate::toQt(ms)).toStdString();
        return;
    }
    appendTwoDigits(unsigned(parts.date.day()), utf8);
    utf8 += '/';
    appendTwoDigits(unsigned(parts.date.month()), utf8);
    utf8 += '/';
    appendTwoDigits(unsigned(year / 100), utf8);
    appendTwoDigits(unsigned(year % 100), utf8);
    const auto &time = parts.time;
    if (time.to_duration().count() == 0)
        return;
    utf8 += ' ';
    appendTwoDigits(unsigned(time.hours().count()), utf8);
    utf8 += ':';
    appendTwoDigits(unsigned(time.minutes().count()), utf8);
    utf8 += ':';
    appendTwoDigits(unsigned(time.seconds().count()), utf8);
}

QString floatToString(double value)
{
    QLocale loc = locale();
    loc.setNumberOptions(QLocale::OmitGroupSeparator);
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : loc.negativeSign() + QStringLiteral("INF");
    const double magnitude = std::fabs(value);
    const bool fixed = magnitude == 0.0 || (magnitude >= 1e-5 && magnitude < 1e15);
    return loc.toString(value, fixed ? 'f' : 'e', QLocale::FloatingPointShortest);
}

bool stringToFloat(const QString &text, double &value)
{
    bool ok = false;
    const double parsed = locale().toDouble(text.trimmed(), &ok);
    if (ok)
        value = parsed;
    return ok;
}

QString dateTimeToString(const QDateTime &value)
{
    if (!value.isValid())
        return QString();
    QString text = value.date().toString(shortDateFormat());
    const QTime time = value.time();
    if (time.hour() != 0 || time.minute() != 0 || time.second() != 0 || time.msec() != 0)
        text += QLatin1Char(' ') + time.toString(longTimeFormat());
    return text;
}

bool stringToDateTime(const QString &text, QDateTime &value)
{
    const QString trimmed = text.trimmed();
    if (trimmed.size() >= 10 && trimmed[4] == QLatin1Char('-')) {
        std::int64_t ms = 0;
        if (!CivilDate::parseIso<CivilDate::IsoForm::Packet>(QStringView(trimmed), ms))
            return false;
        value = CivilDate::toQt(ms);
        return true;
    }
    // Date and time are read apart: a wall-clock value needs no time zone, and
    // reading it as local time would lose the hours a daylight-saving change skips.
    const qsizetype space = trimmed.indexOf(QLatin1Char(' '));
    const QString datePart = space < 0 ? trimmed : trimmed.left(space);
    const QString timePart = space < 0 ? QString() : trimmed.mid(space + 1).trimmed();
    const QString dateForm = shortDateFormat();
    QDate date = QDate::fromString(datePart, dateForm);
    if (!date.isValid()) {
        // Days and months typed without their leading zero ("5/3/2024").
        QString lenient = dateForm;
        lenient.replace(QLatin1String("dd"), QLatin1String("d")).replace(QLatin1String("MM"), QLatin1String("M"));
        date = QDate::fromString(datePart, lenient);
    }
    if (!date.isValid() || date.year() < 1 || date.year() > 9999)
        return false;
    QTime time(0, 0);
    if (!timePart.isEmpty()) {
        time = QTime::fromString(timePart, longTimeFormat());
        if (!time.isValid())
            time = QTime::fromString(timePart, QStringLiteral("hh:mm"));
        if (!time.isValid())
            return false;
    }
    value = QDateTime(date, time, Qt::UTC);
    return true;
}

} // namespace FormatSettings
