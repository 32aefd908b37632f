#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

#include "fasdata_export.h"

// The storage behind a record store's columns. Neither ever moves what it holds
// while it grows: a column that grows row by row to a million rows never copies
// itself into a larger array, so loading costs no second copy of the rows, not
// even for a moment.

// Memory for the blocks: a large block is mapped from the system on its own
// (mmap), so that freeing it gives it back at once, whichever thread allocated it
// and whatever lies around it in the heap; a small one comes from the heap.
namespace ColumnMemory {
FASDATA_EXPORT void *allocate(std::size_t bytes);
FASDATA_EXPORT void release(void *memory, std::size_t bytes) noexcept;
// Keeps the first `bytes` of `memory` (of `held` bytes), giving back what it can
// of the rest; `memory` then says where they are (a small block may move).
// Returns the size to release it with.
FASDATA_EXPORT std::size_t shrink(void *&memory, std::size_t held, std::size_t bytes) noexcept;
} // namespace ColumnMemory

template<typename T>
struct ColumnAllocator
{
    using value_type = T;
    ColumnAllocator() = default;
    template<typename U>
    ColumnAllocator(const ColumnAllocator<U> &) noexcept
    {
    }
    T *allocate(std::size_t n) { return static_cast<T *>(ColumnMemory::allocate(n * sizeof(T))); }
    void deallocate(T *p, std::size_t n) noexcept { ColumnMemory::release(p, n * sizeof(T)); }
    friend bool operator==(const ColumnAllocator &, const ColumnAllocator &) { return true; }
};

// Cells of one column in blocks of 65,536: cell i is cell i % 65536 of block
// i / 65536. The first block grows by doubling up to its full size (a store of a
// few rows stays a few bytes); every later block is allocated whole.
template<typename T>
class BlockArray
{
public:
    static constexpr unsigned Shift = 16;
    static constexpr std::size_t BlockCells = std::size_t(1) << Shift;

    std::size_t size() const { return m_size; }
    T &operator[](std::size_t i) { return m_blocks[i >> Shift][i & (BlockCells - 1)]; }
    const T &operator[](std::size_t i) const { return m_blocks[i >> Shift][i & (BlockCells - 1)]; }

    void push_back(T value)
    {
        if ((m_size & (BlockCells - 1)) == 0 && (m_size >> Shift) == m_blocks.size()) {
            m_blocks.emplace_back();
            if (m_blocks.size() > 1)
                m_blocks.back().reserve(BlockCells);
        }
        auto &block = m_blocks.back();
        if (block.size() == block.capacity())
            block.reserve(std::min(BlockCells, std::max<std::size_t>(16, block.capacity() * 2)));
        block.push_back(value);
        ++m_size;
    }
    // Room for `cells` in all, allocated now.
    void reserve(std::size_t cells)
    {
        if (cells == 0)
            return;
        const std::size_t blocks = ((cells - 1) >> Shift) + 1;
        if (m_blocks.empty())
            m_blocks.emplace_back();
        m_blocks.front().reserve(blocks > 1 ? BlockCells : cells);
        m_blocks.reserve(blocks);
    }
    void insert(std::size_t at, T value)
    {
        push_back(value);
        for (std::size_t i = m_size - 1; i > at; --i)
            (*this)[i] = (*this)[i - 1];
        (*this)[at] = value;
    }
    void erase(std::size_t at)
    {
        for (std::size_t i = at; i + 1 < m_size; ++i)
            (*this)[i] = (*this)[i + 1];
        m_blocks.back().pop_back();
        if (m_blocks.back().empty())
            m_blocks.pop_back();
        --m_size;
    }
    // Gives back the last block's room beyond its cells.
    void shrinkToFit()
    {
        if (!m_blocks.empty())
            m_blocks.back().shrink_to_fit();
        m_blocks.shrink_to_fit();
    }
    void swap(BlockArray &other) noexcept
    {
        m_blocks.swap(other.m_blocks);
        std::swap(m_size, other.m_size);
    }

private:
    std::vector<std::vector<T, ColumnAllocator<T>>> m_blocks;
    std::size_t m_size = 0;
};

// The texts of one column, each one contiguous, in chunks that are never moved:
// a text's place is a 32-bit offset into the column's address space of 4 KiB pages,
// where a chunk of n pages fills n consecutive page entries. Chunks double from
// 4 KiB up to 1 MiB (a text longer than that gets a chunk of its own size). When
// a text does not fit in what is left of the current chunk, the rest of the chunk
// stays unused (counted by unused()).
class FASDATA_EXPORT TextArena
{
public:
    TextArena() = default;
    TextArena(TextArena &&other) noexcept;
    TextArena &operator=(TextArena &&other) noexcept;
    ~TextArena();
    TextArena(const TextArena &) = delete;
    TextArena &operator=(const TextArena &) = delete;

    // The text at `offset`; the offset came from append() and `length` is the
    // length appended there (or less).
    const char *at(std::uint32_t offset) const { return m_pages[offset >> PageShift] + (offset & PageMask); }
    char *at(std::uint32_t offset) { return m_pages[offset >> PageShift] + (offset & PageMask); }
    // Copies `text` in; returns its offset. Throws std::length_error past 4 GiB.
    std::uint32_t append(std::string_view text);
    // The end of the address space used so far (texts and the unused ends of chunks).
    std::uint64_t size() const { return m_used; }
    // Bytes left unused at the ends of chunks.
    std::uint64_t unused() const { return m_unused; }
    // The next chunk holds at least `bytes`, so texts of a known total go into one.
    void reserve(std::size_t bytes);
    // Gives back the current chunk's room beyond its texts.
    void shrinkToFit();

private:
    static constexpr unsigned PageShift = 12;
    static constexpr std::uint32_t PageMask = (1u << PageShift) - 1;
    static constexpr std::size_t FirstChunk = std::size_t(1) << PageShift;
    static constexpr std::size_t LargestChunk = std::size_t(1) << 20;

    void release() noexcept;

    std::vector<char *> m_pages; // per page, where its bytes are
    struct Chunk
    {
        char *memory;
        std::size_t bytes;
    };
    std::vector<Chunk> m_chunks;    // each allocation once (ColumnMemory)
    std::uint64_t m_used = 0;       // offset of the next text
    std::uint64_t m_chunkStart = 0; // where the current chunk starts
    std::uint64_t m_end = 0;        // and ends
    std::uint64_t m_unused = 0;
    std::size_t m_nextChunk = FirstChunk;
};
