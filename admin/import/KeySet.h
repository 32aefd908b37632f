#pragma once

#include <vector>

#include <QByteArray>
#include <QByteArrayView>

// The keys of an import file's rows, each with the line it first came on, kept
// small enough for files of millions of lines: the keys' bytes packed one after
// another, and an open-addressing table of where each begins (8 bytes a slot).
class KeySet
{
public:
    // The line `key` first came on, or 0 when it is new (it is then kept with `line`,
    // a line number from 1).
    int insert(QByteArrayView key, int line);

private:
    struct Slot
    {
        quint32 offset = 0;
        int line = 0; // 0: empty
    };
    QByteArrayView keyAt(quint32 offset) const;
    void grow();
    size_t slotOf(QByteArrayView key) const;

    QByteArray m_bytes; // per key: its size (2 bytes) and its bytes
    std::vector<Slot> m_slots;
    size_t m_count = 0;
};
