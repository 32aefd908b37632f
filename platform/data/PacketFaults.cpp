#include "platform/data/PacketFaults.h"

#include <string>
#include <vector>

#include "platform/data/PacketText_p.h"

namespace ondemand = simdjson::ondemand;

namespace DataPacket::detail {
namespace {

// ---------------------------------------------------------------------------
// UTF-8 outside simdjson's stage 1: used only to say where invalid bytes are.

// Replaces every byte that does not belong to a valid UTF-8 sequence with '?';
// returns the offset of the first, or -1.
qsizetype patchInvalidUtf8(std::string &text)
{
    auto *p = reinterpret_cast<unsigned char *>(text.data());
    const std::size_t n = text.size();
    qsizetype first = -1;
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t len = 0;
        unsigned char lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            lo = c == 0xE0 ? 0xA0 : 0x80;
            hi = c == 0xED ? 0x9F : 0xBF;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            lo = c == 0xF0 ? 0x90 : 0x80;
            hi = c == 0xF4 ? 0x8F : 0xBF;
        }
        bool valid = len != 0 && i + len <= n && p[i + 1] >= lo && p[i + 1] <= hi;
        for (std::size_t k = 2; valid && k < len; ++k)
            valid = p[i + k] >= 0x80 && p[i + k] <= 0xBF;
        if (valid) {
            i += len;
            continue;
        }
        if (first < 0)
            first = qsizetype(i);
        p[i++] = '?';
    }
    return first;
}

// Replaces every control character (below 0x20) inside a JSON string with '?';
// returns the offset of the first, or -1.
qsizetype patchRawControls(std::string &text)
{
    qsizetype first = -1;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!inString) {
            inString = c == '"';
        } else if (c == '\\') {
            ++i;
        } else if (c == '"') {
            inString = false;
        } else if (c < 0x20) {
            if (first < 0)
                first = qsizetype(i);
            text[i] = '?';
        }
    }
    return first;
}

// ---------------------------------------------------------------------------
// Where a text the parser refused goes wrong

// Where a located string was found.
struct Located
{
    QString place;
};

// Walks a text value by value to find where it stops being JSON.
class FaultLocator
{
public:
    explicit FaultLocator(const char *base)
        : m_base(base)
    {
    }

    // When >= 0, the walk looks for the string that holds this byte offset
    // instead of a fault, and throws Located with its place.
    qsizetype locateOffset = -1;

    // Throws the PacketError of the first fault found; returns when none is.
    void run(simdjson::padded_string_view json);

private:
    [[noreturn]] void fault(simdjson::error_code error, const QString &place);
    void walk(ondemand::value value, const QString &place);
    void checkLocate(ondemand::value &value, const QString &place) const;
    void walkFields(ondemand::value value);
    void walkFieldEntry(ondemand::value value, int index);
    void walkRows(ondemand::value value);
    QString cellPlace(int row, int column) const;

    ondemand::parser m_parser;
    ondemand::document m_doc;
    const char *m_base;
    bool m_docReady = false;
    std::vector<QString> m_names;
};

void FaultLocator::fault(simdjson::error_code error, const QString &place)
{
    QString where = place;
    if (where.isEmpty() && m_docReady) {
        const char *at = nullptr;
        if (m_doc.current_location().get(at) == simdjson::SUCCESS && at != m_base)
            where = QStringLiteral("posição %1").arg(qsizetype(at - m_base) + 1);
    }
    invalid(where.isEmpty() ? jsonProblem(error) : where + QStringLiteral(": ") + jsonProblem(error));
}

QString FaultLocator::cellPlace(int row, int column) const
{
    if (std::size_t(column) >= m_names.size())
        return QStringLiteral("linha %1").arg(row + 1);
    return QStringLiteral("linha %1, campo %2").arg(row + 1).arg(inQuotes(m_names[std::size_t(column)]));
}

void FaultLocator::run(simdjson::padded_string_view json)
{
    if (auto error = m_parser.iterate(json).get(m_doc))
        fault(error, QString());
    m_docReady = true;
    ondemand::object root;
    if (auto error = m_doc.get_object().get(root)) {
        if (error == simdjson::INCORRECT_TYPE)
            return; // the reader names it
        fault(error, QString());
    }
    for (auto member : root) {
        if (auto error = member.error())
            fault(error, QString());
        ondemand::field &field = member.value_unsafe();
        std::string_view key;
        if (auto error = field.unescaped_key().get(key))
            fault(error, QString());
        if (key == "fields")
            walkFields(field.value());
        else if (key == "rows")
            walkRows(field.value());
        else
            walk(field.value(), QString());
    }
    const char *rest = nullptr;
    if (m_doc.current_location().get(rest) == simdjson::SUCCESS)
        fault(simdjson::TRAILING_CONTENT, QString());
}

void FaultLocator::checkLocate(ondemand::value &value, const QString &place) const
{
    if (locateOffset < 0)
        return;
    const std::string_view raw = value.raw_json_token();
    const qsizetype from = qsizetype(raw.data() - m_base);
    if (locateOffset >= from && locateOffset < from + qsizetype(raw.size()))
        throw Located{place};
}

void FaultLocator::walk(ondemand::value value, const QString &place)
{
    ondemand::json_type type{};
    if (auto error = value.type().get(type))
        fault(error, place);
    switch (type) {
    case ondemand::json_type::object: {
        ondemand::object object;
        if (auto error = value.get_object().get(object))
            fault(error, place);
        for (auto member : object) {
            if (auto error = member.error())
                fault(error, place);
            ondemand::field &field = member.value_unsafe();
            std::string_view key;
            if (auto error = field.unescaped_key().get(key))
                fault(error, place);
            walk(field.value(), place);
        }
        return;
    }
    case ondemand::json_type::array: {
        ondemand::array array;
        if (auto error = value.get_array().get(array))
            fault(error, place);
        for (auto item : array) {
            ondemand::value v;
            if (auto error = item.get(v))
                fault(error, place);
            walk(v, place);
        }
        return;
    }
    case ondemand::json_type::string: {
        checkLocate(value, place);
        std::string_view text;
        if (auto error = value.get_string().get(text))
            fault(error, place);
        return;
    }
    case ondemand::json_type::number: {
        double number = 0.0;
        if (auto error = value.get_double().get(number))
            fault(error, place);
        return;
    }
    case ondemand::json_type::boolean: {
        bool flag = false;
        if (auto error = value.get_bool().get(flag))
            fault(error, place);
        return;
    }
    case ondemand::json_type::null: {
        bool isNull = false;
        if (value.is_null().get(isNull) != simdjson::SUCCESS || !isNull)
            fault(simdjson::N_ATOM_ERROR, place);
        return;
    }
    }
}

void FaultLocator::walkFields(ondemand::value value)
{
    ondemand::array list;
    if (value.get_array().get(list) != simdjson::SUCCESS)
        return walk(value, QStringLiteral("lista \"fields\""));
    int index = 0;
    for (auto item : list) {
        ondemand::value entry;
        if (auto error = item.get(entry))
            fault(error, QStringLiteral("campo %1 da lista \"fields\"").arg(index + 1));
        walkFieldEntry(entry, index++);
    }
}

void FaultLocator::walkFieldEntry(ondemand::value value, int index)
{
    QString place = QStringLiteral("campo %1 da lista \"fields\"").arg(index + 1);
    ondemand::object object;
    if (value.get_object().get(object) != simdjson::SUCCESS)
        return walk(value, place);
    for (auto member : object) {
        if (auto error = member.error())
            fault(error, place);
        ondemand::field &field = member.value_unsafe();
        std::string_view key;
        if (auto error = field.unescaped_key().get(key))
            fault(error, place);
        ondemand::value v = field.value();
        std::string_view name;
        ondemand::json_type type{};
        if (key == "name" && v.type().get(type) == simdjson::SUCCESS && type == ondemand::json_type::string) {
            checkLocate(v, place);
            if (auto error = v.get_string().get(name))
                fault(error, place);
            if (!name.empty()) {
                place = QStringLiteral("campo %1").arg(inQuotes(name));
                m_names.resize(std::size_t(index) + 1);
                m_names[std::size_t(index)] = QString::fromUtf8(name.data(), qsizetype(name.size()));
            }
        } else {
            walk(v, place);
        }
    }
}

void FaultLocator::walkRows(ondemand::value value)
{
    ondemand::array rows;
    if (value.get_array().get(rows) != simdjson::SUCCESS)
        return walk(value, QStringLiteral("lista \"rows\""));
    int row = 0;
    for (auto item : rows) {
        ondemand::value v;
        ondemand::array cells;
        if (auto error = item.get(v))
            fault(error, QStringLiteral("linha %1").arg(row + 1));
        if (v.get_array().get(cells) != simdjson::SUCCESS) {
            walk(v, QStringLiteral("linha %1").arg(row + 1));
        } else {
            int column = 0;
            for (auto cell : cells) {
                ondemand::value c;
                if (auto error = cell.get(c))
                    fault(error, cellPlace(row, column));
                walk(c, cellPlace(row, column));
                ++column;
            }
        }
        ++row;
    }
}

} // namespace

[[noreturn]] void refuse(QByteArrayView json, simdjson::error_code error)
{
    const bool utf8 = error == simdjson::UTF8_ERROR;
    if (!utf8 && error != simdjson::UNESCAPED_CHARS) {
        simdjson::padded_string padded(json.data(), std::size_t(json.size()));
        FaultLocator(padded.data()).run(padded);
        invalid(jsonProblem(error));
    }
    // To say which field or cell holds the bad bytes, walk a copy whose bad bytes
    // are replaced and stop at the string that covers the first of them.
    const QString problem = utf8 ? QStringLiteral("texto em UTF-8 inválido")
                                 : QStringLiteral("caractere de controle sem escape dentro de um texto");
    std::string patched(json.data(), std::size_t(json.size()));
    const qsizetype first = utf8 ? patchInvalidUtf8(patched) : patchRawControls(patched);
    if (first < 0)
        invalid(problem);
    QString place;
    try {
        simdjson::padded_string copy(patched);
        FaultLocator locator(copy.data());
        locator.locateOffset = first;
        locator.run(copy);
    } catch (const Located &located) {
        place = located.place + QStringLiteral(": ");
    } catch (const PacketError &) {
    }
    invalid(place + problem + QStringLiteral(" (byte %1 do pacote)").arg(first + 1));
}

} // namespace DataPacket::detail
