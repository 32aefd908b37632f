#pragma once

#include <string_view>

#include <QByteArray>

#include <simdjson.h>

#include "fasdata_export.h"

// A JSON text read once by simdjson's DOM parser, kept parsed so that what is in
// it (a remote call's answer and the data packet it carries) is read from the
// parsed values and never from the text again. The parser lives in the simdjson
// library, which picks the fastest kernel the processor has when it runs; the
// header-only on-demand reader would be compiled for the generic kernel here.
//
// The text is read in place: the bytes past its end up to its capacity are the
// padding the parser reads ahead into. Once parsed, the text itself is dropped:
// the parsed values hold their own copies of the strings.
class FASDATA_EXPORT TJsonDocument
{
public:
    // Bytes the parser may read past the end of a text.
    static constexpr qsizetype Padding = qsizetype(simdjson::SIMDJSON_PADDING);

    // Gives `text` room for the padding (in place when its capacity allows) and
    // clears it.
    static void pad(QByteArray &text);

    // Parses `text`; a text without room for the padding is read from a padded
    // copy (pad() first to avoid it). On failure the reason is returned and the
    // document stays empty (an integer beyond 64 bits: NUMBER_ERROR, for a reader
    // that widens it).
    simdjson::error_code parse(const QByteArray &text);

    simdjson::dom::element root() const { return m_root; } // only once parsed
    qsizetype textBytes() const { return m_textBytes; }
    // Member `key` of the root object; an error when the root is no object or
    // has no such member.
    simdjson::simdjson_result<simdjson::dom::element> member(std::string_view key) const;

private:
    simdjson::dom::parser m_parser;
    simdjson::dom::element m_root;
    qsizetype m_textBytes = 0;
    bool m_parsed = false;
};
