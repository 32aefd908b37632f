#pragma once

#include <QByteArray>
#include <QByteArrayView>

// PostgreSQL's COPY ... FROM STDIN text format, as the bulk writers build it: rows of
// tab-separated values, each value written by appendCopyValue, sent to libpq in parts
// of about CopyChunkBytes.
namespace CopyText {

inline constexpr qsizetype CopyChunkBytes = qsizetype(1) << 20;

// \N for null; otherwise the UTF-8 text with the characters that end a field or a row
// escaped.
inline void appendCopyValue(QByteArray &out, QByteArrayView utf8, bool isNull = false)
{
    if (isNull) {
        out += "\\N";
        return;
    }
    for (const char c : utf8) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
}

} // namespace CopyText
