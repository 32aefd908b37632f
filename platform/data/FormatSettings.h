#pragma once

#include <cstdint>
#include <string>

#include <QDateTime>
#include <QLocale>
#include <QString>

#include "fasdata_export.h"

// The host's number and date settings, used by TField's AsString, DisplayText and
// SetAsString, and by data-aware controls. Brazilian Portuguese unless the host
// sets otherwise. The settings are process-wide and may be read from any thread.
namespace FormatSettings {

FASDATA_EXPORT QLocale locale();
// Sets the number separators; the date and time forms keep their own settings.
FASDATA_EXPORT void setLocale(const QLocale &locale);

// The short date form and the time form in QDateTime::toString notation:
// "dd/MM/yyyy" and "hh:mm:ss" by default.
FASDATA_EXPORT QString shortDateFormat();
FASDATA_EXPORT void setShortDateFormat(const QString &format);
FASDATA_EXPORT QString longTimeFormat();
FASDATA_EXPORT void setLongTimeFormat(const QString &format);

// A number in a display format such as "#,##0.00" ("," asks for grouping, the
// digits after "." give the decimals), with the locale's separators.
//   "0"  a digit that is always written      "#"  a digit written when significant
//   "."  the decimal separator's place        ","  grouping by thousands (anywhere
//                                                  before the decimal separator)
//   text around the digits is copied as it stands ('...' or "..." quote it);
//   "positive;negative;zero" gives each its own section.
// The value is rounded to the format's decimals from its exact binary value; a
// value that rounds to zero is written without a minus sign. An empty format gives
// floatToString().
FASDATA_EXPORT QString formatFloat(double value, const QString &displayFormat);

// A number as plain text: the shortest digits that read back as the same double,
// the locale's decimal separator, no grouping ("1234,5"); exponent form outside
// 1e-5 .. 1e15 ("1,5E+21").
FASDATA_EXPORT QString floatToString(double value);
// Reads floatToString's form back; grouping separators are accepted.
FASDATA_EXPORT bool stringToFloat(const QString &text, double &value);

// "dd/MM/yyyy", with " hh:mm:ss" appended when the time is not midnight (in the
// short date and time forms set above). Milliseconds are not shown.
FASDATA_EXPORT QString dateTimeToString(const QDateTime &value);
// Reads the short date form (day and month with or without leading zeros),
// optionally followed by the time form or "hh:mm",
// and ISO 8601 ("yyyy-MM-dd", "yyyy-MM-ddThh:mm:ss", "yyyy-MM-ddThh:mm:ss.zzz").
// The result is a Qt::UTC date-time: a plain wall-clock value, no zone.
FASDATA_EXPORT bool stringToDateTime(const QString &text, QDateTime &value);

// Writers for a long run of cells (an export): the format parsed and the
// settings read once, each value written straight as UTF-8, the very text
// formatFloat and dateTimeToString give.
class FASDATA_EXPORT FloatWriter
{
public:
    explicit FloatWriter(const QString &displayFormat); // empty: floatToString's form
    void append(double value, std::string &utf8) const;

    struct Section
    {
        std::string prefix;
        std::string suffix;
        bool grouping = false;
        int minInteger = 0;
        int minDecimals = 0;
        int maxDecimals = 0;
        bool hasDigits = false;
    };

private:
    void appendSection(const Section &section, double magnitude, bool minus, std::string &utf8) const;

    bool m_plain = false; // no display format
    Section m_positive;
    Section m_negative;
    Section m_zero;
    bool m_hasNegative = false;
    bool m_hasZero = false;
    std::string m_minus;
    std::string m_group;
    std::string m_point;
};

class FASDATA_EXPORT DateTimeWriter
{
public:
    DateTimeWriter(); // the forms set now
    // A date-time of the data (milliseconds of the wall clock, CivilDate) as
    // dateTimeToString writes it.
    void append(std::int64_t ms, std::string &utf8) const;

private:
    bool m_usual = false; // "dd/MM/yyyy" and "hh:mm:ss": written digit by digit
};

} // namespace FormatSettings
