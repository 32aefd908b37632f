#include "platform/data/ColumnBlocks.h"

#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <utility>

#include <sys/mman.h>
#include <unistd.h>

namespace {

// From this size on a block is mapped on its own.
constexpr std::size_t MappedFrom = std::size_t(64) << 10;

std::size_t pageRounded(std::size_t bytes)
{
    static const auto page = std::size_t(sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) & ~(page - 1);
}

} // namespace

void *ColumnMemory::allocate(std::size_t bytes)
{
    if (bytes < MappedFrom) {
        if (void *memory = std::malloc(bytes ? bytes : 1))
            return memory;
        throw std::bad_alloc();
    }
    void *memory = mmap(nullptr, pageRounded(bytes), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        throw std::bad_alloc();
    return memory;
}

void ColumnMemory::release(void *memory, std::size_t bytes) noexcept
{
    if (!memory)
        return;
    if (bytes < MappedFrom)
        std::free(memory);
    else
        munmap(memory, pageRounded(bytes));
}

std::size_t ColumnMemory::shrink(void *&memory, std::size_t held, std::size_t bytes) noexcept
{
    if (held < MappedFrom) {
        if (void *moved = std::realloc(memory, bytes ? bytes : 1))
            memory = moved;
        return bytes;
    }
    // A mapped block stays mapped (and counts as mapped): only its whole pages past `bytes` go.
    const std::size_t kept = std::max(bytes, MappedFrom);
    if (pageRounded(kept) < pageRounded(held))
        munmap(static_cast<char *>(memory) + pageRounded(kept), pageRounded(held) - pageRounded(kept));
    return kept;
}

TextArena::TextArena(TextArena &&other) noexcept
{
    *this = std::move(other);
}

TextArena &TextArena::operator=(TextArena &&other) noexcept
{
    if (this != &other) {
        release();
        m_pages = std::move(other.m_pages);
        m_chunks = std::move(other.m_chunks);
        m_used = std::exchange(other.m_used, 0);
        m_end = std::exchange(other.m_end, 0);
        m_chunkStart = std::exchange(other.m_chunkStart, 0);
        m_unused = std::exchange(other.m_unused, 0);
        m_nextChunk = std::exchange(other.m_nextChunk, FirstChunk);
        other.m_pages.clear();
        other.m_chunks.clear();
    }
    return *this;
}

TextArena::~TextArena()
{
    release();
}

void TextArena::release() noexcept
{
    for (const Chunk &chunk : m_chunks)
        ColumnMemory::release(chunk.memory, chunk.bytes);
    m_chunks.clear();
    m_pages.clear();
    m_used = m_end = m_chunkStart = m_unused = 0;
}

std::uint32_t TextArena::append(std::string_view text)
{
    if (text.empty())
        return 0;
    if (text.size() > m_end - m_used) {
        const std::size_t pageBytes = std::size_t(1) << PageShift;
        const std::size_t chunk = (std::max(m_nextChunk, text.size()) + pageBytes - 1) & ~(pageBytes - 1);
        const std::uint64_t start = std::uint64_t(m_pages.size()) << PageShift;
        // A text's offset and its end must fit in 32 bits (a packet is at most 512 MiB).
        if (start + text.size() > std::numeric_limits<std::uint32_t>::max())
            throw std::length_error("TRecordStore: a column holds more than 4 GiB of text");
        // Room in the lists first, so that nothing can fail once the chunk is allocated.
        const std::size_t pages = chunk >> PageShift;
        if (m_pages.size() + pages > m_pages.capacity())
            m_pages.reserve(std::max(m_pages.size() + pages, 2 * m_pages.capacity()));
        if (m_chunks.size() == m_chunks.capacity())
            m_chunks.reserve(2 * m_chunks.size() + 4);
        auto *memory = static_cast<char *>(ColumnMemory::allocate(chunk));
        m_chunks.push_back({memory, chunk});
        for (std::size_t page = 0; page < pages; ++page)
            m_pages.push_back(memory + (page << PageShift));
        m_unused += start - m_used; // the rest of the chunk before, and of a page shrunk to its texts
        m_used = m_chunkStart = start;
        m_end = start + chunk;
        m_nextChunk = std::min(LargestChunk, m_nextChunk * 2);
    }
    const auto offset = std::uint32_t(m_used);
    std::memcpy(at(offset), text.data(), text.size());
    m_used += text.size();
    return offset;
}

void TextArena::reserve(std::size_t bytes)
{
    if (bytes > m_end - m_used)
        m_nextChunk = std::max(m_nextChunk, bytes);
}

void TextArena::shrinkToFit()
{
    if (m_chunks.empty())
        return;
    const std::size_t keep = std::size_t(m_used - m_chunkStart);
    if (keep == 0 || m_used == m_end)
        return;
    // Shrinking keeps the bytes; the chunk may move, so its pages are found again.
    Chunk &last = m_chunks.back();
    void *memory = last.memory;
    last.bytes = ColumnMemory::shrink(memory, last.bytes, keep);
    last.memory = static_cast<char *>(memory);
    const std::size_t firstPage = std::size_t(m_chunkStart >> PageShift);
    const std::size_t pages = (keep + PageMask) >> PageShift;
    m_pages.resize(firstPage + pages);
    for (std::size_t page = 0; page < pages; ++page)
        m_pages[firstPage + page] = last.memory + (page << PageShift);
    m_pages.shrink_to_fit();
    m_end = m_used;
}
