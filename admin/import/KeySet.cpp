#include "admin/import/KeySet.h"

#include <QHashFunctions>

#include "admin/import/ImportError.h"

QByteArrayView KeySet::keyAt(quint32 offset) const
{
    const auto *at = reinterpret_cast<const uchar *>(m_bytes.constData()) + offset;
    return QByteArrayView(at + 2, qsizetype(at[0] | (at[1] << 8)));
}

// The slot that holds `key`, or the empty one where it would go.
size_t KeySet::slotOf(QByteArrayView key) const
{
    const size_t mask = m_slots.size() - 1;
    for (size_t i = qHash(key) & mask;; i = (i + 1) & mask) {
        const Slot &slot = m_slots[i];
        if (slot.line == 0 || keyAt(slot.offset) == key)
            return i;
    }
}

void KeySet::grow()
{
    std::vector<Slot> old(m_slots.empty() ? 1024 : m_slots.size() * 2);
    old.swap(m_slots);
    for (const Slot &slot : old)
        if (slot.line != 0)
            m_slots[slotOf(keyAt(slot.offset))] = slot;
}

int KeySet::insert(QByteArrayView key, int line)
{
    if ((m_count + 1) * 2 > m_slots.size())
        grow();
    Slot &slot = m_slots[slotOf(key)];
    if (slot.line != 0)
        return slot.line;
    if (key.size() > 0xffff || m_bytes.size() + key.size() + 2 > qsizetype(0xffffffffu))
        throw ImportError(
            QStringLiteral("O arquivo tem chaves demais para uma importação; divida-o em arquivos menores."));
    slot = Slot{quint32(m_bytes.size()), line};
    m_bytes.append(char(key.size() & 0xff)).append(char(key.size() >> 8)).append(key);
    ++m_count;
    return 0;
}
