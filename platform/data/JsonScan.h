#pragma once

#include <cstddef>
#include <string_view>

// Where a JSON text read piece by piece stands, byte by byte: inside a string (and
// just after a backslash in it) or not, and how many objects and lists are open.
// The one byte scanner of the readers that take a text as it arrives (the data
// packet's rows, a remote call's answer around its packet); it checks nothing,
// the parser that reads the values does.
class JsonScan
{
public:
    // What a byte was to the structure.
    enum class Byte { InString, Quote, Open, Close, Other };

    Byte step(char c)
    {
        if (m_inString) {
            stringByte(c);
            return Byte::InString;
        }
        switch (c) {
        case '"':
            m_inString = true;
            return Byte::Quote;
        case '{':
        case '[':
            ++m_depth;
            return Byte::Open;
        case '}':
        case ']':
            --m_depth;
            return Byte::Close;
        default:
            return Byte::Other;
        }
    }

    // Inside a string: moves to its closing quote (or to the last byte when the
    // string goes on in the next piece), past escapes; returns that position.
    std::size_t skipString(std::string_view bytes, std::size_t i)
    {
        const std::size_t end = bytes.size();
        if (m_escape) {
            m_escape = false;
            ++i;
        }
        while (i < end) {
            const char c = bytes[i];
            if (c == '"') {
                m_inString = false;
                return i;
            }
            if (c == '\\') {
                if (i + 1 == end) {
                    m_escape = true;
                    return i;
                }
                ++i;
            }
            ++i;
        }
        return end - 1;
    }

    bool inString() const { return m_inString; }
    int depth() const { return m_depth; }
    // For a reader that decides itself what a quote or a bracket means.
    void enterString() { m_inString = true; }
    void open() { ++m_depth; }
    void close() { --m_depth; }

private:
    void stringByte(char c)
    {
        if (m_escape)
            m_escape = false;
        else if (c == '\\')
            m_escape = true;
        else if (c == '"')
            m_inString = false;
    }

    int m_depth = 0;
    bool m_inString = false;
    bool m_escape = false;
};
