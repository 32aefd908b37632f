#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>

// The bytes of request bodies that the connection threads have read and no serving
// thread has taken yet, counted across every connection of a server and kept under
// one bound: many clients sending large bodies at once cannot make the server hold
// more than the bound.
class BodyMemory
{
public:
    explicit BodyMemory(std::size_t bound)
        : m_bound(bound)
    {
    }

    std::size_t bound() const { return m_bound; }
    // Takes `bytes` when the total stays within the bound; false, taking nothing, otherwise.
    bool take(std::size_t bytes)
    {
        std::size_t held = m_held.load();
        do {
            if (bytes > m_bound - std::min(held, m_bound))
                return false;
        } while (!m_held.compare_exchange_weak(held, held + bytes));
        return true;
    }
    void give(std::size_t bytes) { m_held -= bytes; }

private:
    const std::size_t m_bound;
    std::atomic<std::size_t> m_held{0};
};
