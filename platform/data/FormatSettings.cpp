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

// One section of a display format: literal text around a run of digit placeholders.
struct Section
{
    QString prefix;
    QString suffix;
    bool grouping = false;
    int minInteger = 0;
    int minDecimals = 0;
    int maxDecimals = 0;
    bool hasDigits = false;
};

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
        section.prefix = unquote(format);
        return section;
    }
    if (end < 0)
        end = format.size();
    section.prefix = unquote(format.first(begin));
    section.suffix = unquote(format.sliced(end));
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
void digitsOf(double magnitude, const Section &section, std::string &integer, std::string &decimals)
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
    while (int(decimals.size()) > section.minDecimals && decimals.back() == '0')
        decimals.pop_back();
}

bool allZero(const std::string &digits)
{
    return digits.find_first_not_of('0') == std::string::npos;
}

QString render(const Section &section, const std::string &integerDigits, const std::string &decimals, bool negative,
               const QLocale &locale)
{
    std::string integer = integerDigits;
    if (integer == "0" && section.minInteger == 0)
        integer.clear();
    if (int(integer.size()) < section.minInteger)
        integer.insert(0, std::size_t(section.minInteger) - integer.size(), '0');

    QString out;
    if (negative)
        out += locale.negativeSign();
    out += section.prefix;
    const QString group = locale.groupSeparator();
    for (std::size_t i = 0; i < integer.size(); ++i) {
        if (section.grouping && i > 0 && (integer.size() - i) % 3 == 0)
            out += group;
        out += QLatin1Char(integer[i]);
    }
    if (!decimals.empty()) {
        out += locale.decimalPoint();
        out += QLatin1String(decimals.data(), qsizetype(decimals.size()));
    }
    out += section.suffix;
    return out;
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
    const QLocale loc = locale();
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : loc.negativeSign() + QStringLiteral("INF");

    const QList<QStringView> parts = QStringView(displayFormat).split(QLatin1Char(';'));
    const Section positive = parseSection(parts[0]);
    const bool hasNegative = parts.size() > 1 && !parts[1].isEmpty();
    const bool hasZero = parts.size() > 2 && !parts[2].isEmpty();

    const Section &chosen = value < 0 && hasNegative ? parseSection(parts[1]) : positive;
    if (!chosen.hasDigits)
        return chosen.prefix;
    std::string integer, decimals;
    digitsOf(std::fabs(value), chosen, integer, decimals);
    const bool zero = allZero(integer) && allZero(decimals);
    if (zero && hasZero) {
        const Section zeroSection = parseSection(parts[2]);
        if (!zeroSection.hasDigits)
            return zeroSection.prefix;
        digitsOf(0.0, zeroSection, integer, decimals);
        return render(zeroSection, integer, decimals, false, loc);
    }
    // A negative section carries its own sign text; a rounded zero has no sign.
    const bool minus = value < 0 && !hasNegative && !zero;
    return render(chosen, integer, decimals, minus, loc);
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
