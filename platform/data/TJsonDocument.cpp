#include "platform/data/TJsonDocument.h"

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

simdjson::error_code TJsonDocument::parse(const QByteArray &text)
{
    m_parsed = false;
    m_textBytes = text.size();
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
