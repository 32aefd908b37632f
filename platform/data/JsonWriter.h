#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

#include <QByteArray>
#include <QStringList>

#include "fasdata_export.h"

// The one way the system writes JSON values: the data packet, the server's answers
// and errors, the module's remote calls and the lists bound into SQL. Texts are
// escaped once, the same way everywhere; integers are written exactly; a double
// is written as the shortest text that reads back to the same bits, except that a
// zero is always written 0 (never -0, which JSON readers disagree on).
//
// `Out` is std::string or QByteArray: anything with push_back(char) and
// append(const char *, size).
namespace JsonWriter {

template<typename Out>
void appendRaw(Out &out, std::string_view text)
{
    out.append(text.data(), decltype(out.size())(text.size()));
}

// `utf8` as a JSON string literal: `"` and `\` escaped, control characters as
// \n, \r, \t, \b, \f or \u00XX; every other byte as it is.
template<typename Out>
void appendString(Out &out, std::string_view utf8)
{
    static constexpr char hex[] = "0123456789abcdef";
    out.push_back('"');
    const char *p = utf8.data();
    const char *const end = p + utf8.size();
    const char *run = p;
    for (; p != end; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c >= 0x20 && c != '"' && c != '\\')
            continue;
        appendRaw(out, std::string_view(run, std::size_t(p - run)));
        run = p + 1;
        switch (c) {
        case '"':
            appendRaw(out, "\\\"");
            break;
        case '\\':
            appendRaw(out, "\\\\");
            break;
        case '\n':
            appendRaw(out, "\\n");
            break;
        case '\r':
            appendRaw(out, "\\r");
            break;
        case '\t':
            appendRaw(out, "\\t");
            break;
        case '\b':
            appendRaw(out, "\\b");
            break;
        case '\f':
            appendRaw(out, "\\f");
            break;
        default: {
            const char escaped[6] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 0xF]};
            appendRaw(out, std::string_view(escaped, 6));
        }
        }
    }
    appendRaw(out, std::string_view(run, std::size_t(end - run)));
    out.push_back('"');
}

template<typename Out>
void appendInteger(Out &out, std::int64_t value)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    appendRaw(out, std::string_view(buffer, std::size_t(result.ptr - buffer)));
}

// A finite number (the caller refuses NaN and infinities with its own words).
template<typename Out>
void appendNumber(Out &out, double value)
{
    if (value == 0) {
        out.push_back('0');
        return;
    }
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    appendRaw(out, std::string_view(buffer, std::size_t(result.ptr - buffer)));
}

// A list of texts, ["a","b"].
FASDATA_EXPORT void appendStringList(std::string &out, const QStringList &texts);
FASDATA_EXPORT std::string stringList(const QStringList &texts);

inline void appendString(std::string &out, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    appendString(out, std::string_view(utf8.constData(), std::size_t(utf8.size())));
}

} // namespace JsonWriter
