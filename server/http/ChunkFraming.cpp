#include "server/http/ChunkFraming.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr std::uint64_t SizeCap = std::uint64_t(1) << 60; // far above any body taken

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    const char lower = char(std::tolower(static_cast<unsigned char>(c)));
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

} // namespace

void ChunkFraming::endSizeLine()
{
    if (m_size == 0) {
        m_part = Part::Trailer;
        return;
    }
    m_part = Part::Data;
    m_left = m_size;
}

bool ChunkFraming::take(const char *data, std::size_t size)
{
    for (std::size_t i = 0; i < size && !m_malformed; ++i) {
        const char c = data[i];
        switch (m_part) {
        case Part::SizeStart:
            m_malformed = hexValue(c) < 0;
            m_size = std::uint64_t(std::max(hexValue(c), 0));
            m_sizeDigits = true;
            m_part = Part::SizeLine;
            break;
        case Part::SizeLine:
            if (c == '\n')
                endSizeLine();
            else if (m_sizeDigits && hexValue(c) >= 0 && m_size < SizeCap)
                m_size = m_size * 16 + std::uint64_t(hexValue(c));
            else
                m_sizeDigits = false;
            break;
        case Part::Data: {
            const std::uint64_t skip = std::min<std::uint64_t>(m_left, size - i);
            i += std::size_t(skip) - 1;
            m_left -= skip;
            m_dataBytes += skip;
            if (m_left == 0) {
                m_part = Part::DataEnd;
                m_left = 2;
            }
            break;
        }
        case Part::DataEnd:
            if (--m_left == 0)
                m_part = Part::SizeStart;
            break;
        // The trailer's lines are the reader's to judge; only its blank line, the
        // body's end, is looked for.
        case Part::Trailer: // at the start of a line
            m_part = c == '\n' ? Part::End : c == '\r' ? Part::TrailerEnd : Part::TrailerLine;
            break;
        case Part::TrailerEnd:
            m_part = c == '\n' ? Part::End : Part::TrailerLine;
            break;
        case Part::TrailerLine:
            if (c == '\n')
                m_part = Part::Trailer;
            break;
        case Part::End:
            return true; // the next request's bytes
        }
    }
    return !m_malformed;
}
