#pragma once

#include <cstddef>
#include <cstdint>

// Follows the chunked framing of a body: as its bytes pass to cpp-httplib's reader,
// to refuse what the reader would let through (a chunk size line that does not
// start with a hexadecimal digit, " 0", "+5", which its number parsing would read
// past), and as they arrive, to know when the body is complete and how much data
// it carries. Everything else (a size too large, a missing line end) the reader
// refuses itself.
class ChunkFraming
{
public:
    // Takes the next bytes of the body; false once the framing is malformed.
    bool take(const char *data, std::size_t size);
    // The last chunk and the trailer's blank line have been taken; what follows
    // belongs to the next request.
    bool complete() const { return m_part == Part::End; }
    bool malformed() const { return m_malformed; }
    // The chunks' data taken so far, without the framing.
    std::uint64_t dataBytes() const { return m_dataBytes; }

private:
    enum class Part { SizeStart, SizeLine, Data, DataEnd, Trailer, TrailerLine, TrailerEnd, End };

    void endSizeLine();

    Part m_part = Part::SizeStart;
    std::uint64_t m_size = 0; // of the chunk whose size line is being read
    bool m_sizeDigits = true; // still reading the size's digits
    std::uint64_t m_left = 0; // of the chunk's data, or of its line end
    bool m_malformed = false;
    std::uint64_t m_dataBytes = 0;
};
