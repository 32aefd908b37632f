#include "platform/data/TJsonDocument.h"

#include <cstring>

namespace {

qsizetype freeSpaceAtEnd(const QByteArray &text)
{
    // Qt gives the allocation's layout only through the non-const accessor; it is
    // read, not changed.
    return const_cast<QByteArray &>(text).data_ptr().freeSpaceAtEnd();
}

} // namespace

void TJsonDocument::pad(QByteArray &text)
{
    const qsizetype size = text.size();
    if (freeSpaceAtEnd(text) < Padding)
        text.reserve(size + Padding);
    // The padding is read, never used; it is cleared so that no stale byte of an
    // earlier answer is read at all.
    text.append(Padding, '\0');
    text.truncate(size); // keeps the capacity, so the padding stays in place
}

bool TJsonDocument::mayHoldNegativeZero(std::string_view text)
{
    const char *const begin = text.data();
    const char *const end = begin + text.size();
    for (const char *p = begin; p < end;) {
        p = static_cast<const char *>(std::memchr(p, '-', std::size_t(end - p)));
        if (!p)
            return false;
        const bool startsToken = p == begin || std::strchr(",[:{ \t\r\n", p[-1]) != nullptr;
        const bool zero = p + 1 < end && p[1] == '0';
        const bool endsThere = p + 2 >= end || std::strchr("0123456789.eE", p[2]) == nullptr;
        if (startsToken && zero && endsThere)
            return true;
        ++p;
    }
    return false;
}

simdjson::error_code TJsonDocument::parse(const QByteArray &text)
{
    m_parsed = false;
    m_textBytes = text.size();
    if (mayHoldNegativeZero(std::string_view(text.constData(), std::size_t(text.size()))))
        return simdjson::NUMBER_ERROR;
    simdjson::error_code error = simdjson::SUCCESS;
    if (freeSpaceAtEnd(text) >= Padding) {
        error = m_parser.parse(text.constData(), std::size_t(text.size()), false).get(m_root);
    } else {
        QByteArray padded = text;
        pad(padded);
        error = m_parser.parse(padded.constData(), std::size_t(padded.size()), false).get(m_root);
    }
    m_parsed = error == simdjson::SUCCESS;
    return error;
}

simdjson::simdjson_result<simdjson::dom::element> TJsonDocument::member(std::string_view key) const
{
    if (!m_parsed)
        return simdjson::EMPTY;
    simdjson::dom::object object;
    if (auto error = m_root.get_object().get(object))
        return error;
    return object.at_key(key);
}
