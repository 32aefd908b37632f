#include "platform/data/PacketReader.h"

#include <charconv>
#include <cstring>
#include <limits>

#include "platform/data/CivilDate.h"
#include "platform/data/PacketText_p.h"
#include "platform/data/RecordStore_p.h"
#include "platform/data/TJsonDocument.h"

namespace dom = simdjson::dom;

namespace DataPacket::detail {
namespace {

// ---------------------------------------------------------------------------
// Numbers the DOM cannot carry as they are written

// The DOM refuses an integer beyond 64 bits; as a decimal ("123...0.0") it reads
// to the double the text means. Returns the text with those integers (outside
// strings) so widened, or an empty text when none was found. (No writer of the
// system writes -0; the DOM reads it as 0.)
bool integerNeedsWidening(std::string_view token)
{
    if (token.front() == '-') {
        std::int64_t value = 0;
        return std::from_chars(token.data(), token.data() + token.size(), value).ec == std::errc::result_out_of_range;
    }
    std::uint64_t value = 0;
    return std::from_chars(token.data(), token.data() + token.size(), value).ec == std::errc::result_out_of_range;
}

std::string widenedIntegers(std::string_view text)
{
    std::string out;
    std::size_t copied = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"') {
            inString = true;
            continue;
        }
        if (c != '-' && (c < '0' || c > '9'))
            continue;
        std::size_t end = i + 1;
        bool integer = true;
        while (end < text.size() && std::strchr("0123456789.eE+-", text[end]) && text[end] != '\0') {
            integer = integer && text[end] >= '0' && text[end] <= '9';
            ++end;
        }
        const std::string_view token = text.substr(i, end - i);
        if (integer && token != "-" && integerNeedsWidening(token)) {
            out.append(text.substr(copied, end - copied));
            out.append(".0");
            copied = end;
        }
        i = end - 1;
    }
    if (copied == 0)
        return {};
    out.append(text.substr(copied));
    return out;
}

// ---------------------------------------------------------------------------
// Reader

Kind kindOf(const TFieldDef &def)
{
    return def.isText() ? Kind::Text : def.type == TFieldType::DateTime ? Kind::DateTime : Kind::Float;
}

QString jsonTypeName(dom::element_type type)
{
    switch (type) {
    case dom::element_type::ARRAY:
        return QStringLiteral("uma lista");
    case dom::element_type::OBJECT:
        return QStringLiteral("um objeto");
    case dom::element_type::INT64:
    case dom::element_type::UINT64:
    case dom::element_type::DOUBLE:
        return QStringLiteral("um número");
    case dom::element_type::STRING:
        return QStringLiteral("um texto");
    case dom::element_type::BOOL:
        return QStringLiteral("um valor lógico");
    case dom::element_type::NULL_VALUE:
        return QStringLiteral("null");
    }
    return QStringLiteral("um valor desconhecido");
}

} // namespace

TRecordStore PacketReader::read(dom::element root)
{
    readInto(root);
    return std::move(m_store);
}

void PacketReader::readInto(dom::element root)
{
    dom::object object;
    if (root.get_object().get(object) != simdjson::SUCCESS)
        invalid(QStringLiteral("o pacote não é um objeto JSON"));
    bool haveFields = false, haveRows = false;
    dom::element rowsBeforeFields;
    bool rowsWait = false;
    for (const dom::key_value_pair member : object) {
        if (member.key == "fields") {
            if (haveFields)
                invalid(QStringLiteral("a chave \"fields\" aparece mais de uma vez"));
            haveFields = true;
            readFields(member.value);
        } else if (member.key == "rows") {
            if (haveRows)
                invalid(QStringLiteral("a chave \"rows\" aparece mais de uma vez"));
            haveRows = true;
            if (haveFields)
                readRows(member.value);
            else
                rowsBeforeFields = member.value; // read once the fields are known
            rowsWait = !haveFields;
        } else {
            invalid(QStringLiteral("chave %1 desconhecida no objeto do pacote (esperadas \"fields\" e \"rows\")")
                        .arg(inQuotes(member.key)));
        }
    }
    if (!haveFields)
        invalid(QStringLiteral("falta a chave \"fields\""));
    if (!haveRows)
        invalid(QStringLiteral("falta a chave \"rows\""));
    if (rowsWait)
        readRows(rowsBeforeFields);
}

void PacketReader::readFields(dom::element list)
{
    dom::array entries;
    if (list.get_array().get(entries) != simdjson::SUCCESS)
        invalid(QStringLiteral("\"fields\" não é uma lista"));
    TFieldDefs defs;
    int index = 0;
    for (const dom::element entry : entries)
        readFieldEntry(entry, index++, defs);
    if (defs.isEmpty())
        invalid(QStringLiteral("a lista \"fields\" não declara nenhum campo"));
    m_store = TRecordStore(defs);
    for (const TFieldDef &def : defs) {
        m_kinds.push_back(kindOf(def));
        m_sizes.push_back(std::size_t(def.size));
    }
}

void PacketReader::readFieldEntry(dom::element entry, int index, TFieldDefs &defs) const
{
    QString place = QStringLiteral("campo %1 da lista \"fields\"").arg(index + 1);
    dom::object object;
    if (entry.get_object().get(object) != simdjson::SUCCESS)
        invalid(place + QStringLiteral(": esperado um objeto"));
    std::string_view name, typeName;
    std::int64_t size = 0;
    bool fixed = false;
    bool haveName = false, haveType = false, haveSize = false, haveFixed = false;
    const auto wrongType = [&place](std::string_view key, const char *expected) {
        invalid(place + QStringLiteral(": a chave %1 deve ser %2").arg(inQuotes(key), QString::fromUtf8(expected)));
    };
    for (const dom::key_value_pair member : object) {
        const std::string_view key = member.key;
        bool *seen = key == "name"    ? &haveName
                     : key == "type"  ? &haveType
                     : key == "size"  ? &haveSize
                     : key == "fixed" ? &haveFixed
                                      : nullptr;
        if (!seen)
            invalid(place + QStringLiteral(": chave %1 desconhecida").arg(inQuotes(key)));
        if (*seen)
            invalid(place + QStringLiteral(": a chave %1 aparece mais de uma vez").arg(inQuotes(key)));
        *seen = true;
        if (key == "name") {
            if (member.value.get_string().get(name) != simdjson::SUCCESS)
                wrongType(key, "um texto");
            if (name.empty())
                invalid(place + QStringLiteral(": o nome do campo está vazio"));
            place = QStringLiteral("campo %1").arg(inQuotes(name));
        } else if (key == "type") {
            if (member.value.get_string().get(typeName) != simdjson::SUCCESS)
                wrongType(key, "um texto");
        } else if (key == "size") {
            if (member.value.get_int64().get(size) != simdjson::SUCCESS)
                wrongType(key, "um número inteiro");
        } else if (member.value.get_bool().get(fixed) != simdjson::SUCCESS) {
            wrongType(key, "true ou false");
        }
    }
    if (!haveName)
        invalid(place + QStringLiteral(": falta a chave \"name\""));
    if (!haveType)
        invalid(place + QStringLiteral(": falta a chave \"type\""));

    TFieldDef def;
    def.name = QString::fromUtf8(name.data(), qsizetype(name.size()));
    if (typeName == "string") {
        def.type = fixed ? TFieldType::FixedChar : TFieldType::String;
        if (!haveSize)
            invalid(place + QStringLiteral(": falta a chave \"size\" de um campo de texto"));
        if (size < 1 || size > std::numeric_limits<int>::max())
            invalid(place + QStringLiteral(": tamanho %1 inválido para um campo de texto").arg(size));
        def.size = int(size);
    } else if (typeName == "datetime" || typeName == "float") {
        def.type = typeName == "datetime" ? TFieldType::DateTime : TFieldType::Float;
        if (size != 0)
            invalid(place
                    + QStringLiteral(": um campo do tipo %1 não tem tamanho (\"size\" é %2)")
                          .arg(inQuotes(typeName))
                          .arg(size));
        if (fixed)
            invalid(place + QStringLiteral(": só um campo de texto pode ser de tamanho fixo"));
    } else {
        invalid(place
                + QStringLiteral(": tipo %1 desconhecido (esperado \"string\", \"datetime\" ou \"float\")")
                      .arg(inQuotes(typeName)));
    }
    for (const TFieldDef &other : defs) {
        if (other.name.compare(def.name, Qt::CaseInsensitive) == 0)
            invalid(QStringLiteral("o campo %1 aparece mais de uma vez na lista \"fields\"").arg(inQuotes(def.name)));
    }
    defs.append(def);
}

void PacketReader::readRows(dom::element list)
{
    dom::array rows;
    if (list.get_array().get(rows) != simdjson::SUCCESS)
        invalid(QStringLiteral("\"rows\" não é uma lista"));
    if (rows.size() >= std::size_t(std::numeric_limits<int>::max()))
        invalid(QStringLiteral("o pacote tem linhas demais"));
    m_store.reserve(int(rows.size()));
    int row = 0;
    for (const dom::element item : rows)
        readRow(item, row++);
}

void PacketReader::readRow(dom::element item, int row)
{
    const int fieldCount = m_store.fieldCount();
    dom::array cells;
    if (item.get_array().get(cells) != simdjson::SUCCESS)
        invalid(QStringLiteral("linha %1: esperada uma lista de valores").arg(row + 1));
    int column = 0;
    for (const dom::element cell : cells) {
        if (column == fieldCount)
            invalid(QStringLiteral("linha %1: mais de %2 valores; o pacote declara %2 campos")
                        .arg(row + 1)
                        .arg(fieldCount));
        readCell(cell, row, column++);
    }
    // Cells were already appended to the first columns: the store is dropped with the exception.
    if (column != fieldCount)
        invalid(QStringLiteral("linha %1: %2 valores; o pacote declara %3 campos")
                    .arg(row + 1)
                    .arg(column)
                    .arg(fieldCount));
    RecordStoreAccess::setRowCount(m_store, row + 1);
}

void PacketReader::readCell(dom::element cell, int row, int column)
{
    const auto c = std::size_t(column);
    if (cell.is_null()) {
        RecordStoreAccess::appendNull(m_store, column);
        return;
    }
    std::string_view text;
    switch (m_kinds[c]) {
    case Kind::Text:
        if (cell.get_string().get(text) != simdjson::SUCCESS)
            badCell(row, column,
                    QStringLiteral("esperado um texto ou null, encontrado %1").arg(jsonTypeName(cell.type())));
        // Sizes count characters; a text within the size in bytes is within it in characters too.
        if (text.size() > m_sizes[c] && Utf8::length(text) > m_sizes[c])
            badCell(
                row, column,
                QStringLiteral("texto com %1 caracteres excede o tamanho %2").arg(Utf8::length(text)).arg(m_sizes[c]));
        RecordStoreAccess::appendText(m_store, column, text);
        return;
    case Kind::DateTime: {
        std::int64_t ms = 0;
        if (cell.get_string().get(text) != simdjson::SUCCESS)
            badCell(row, column,
                    QStringLiteral("esperada uma data em texto ou null, encontrado %1").arg(jsonTypeName(cell.type())));
        if (!CivilDate::parseIso<CivilDate::IsoForm::Packet>(text, ms))
            badCell(row, column,
                    QStringLiteral("data inválida %1 (esperado aaaa-mm-ddThh:mm:ss.zzz)").arg(excerpt(text)));
        RecordStoreAccess::appendDateTime(m_store, column, ms);
        return;
    }
    case Kind::Float: {
        double number = 0.0; // integers and decimals alike
        if (cell.get_double().get(number) != simdjson::SUCCESS)
            badCell(row, column,
                    QStringLiteral("esperado um número ou null, encontrado %1").arg(jsonTypeName(cell.type())));
        RecordStoreAccess::appendNumber(m_store, column, number);
        return;
    }
    }
}

void PacketReader::badCell(int row, int column, const QString &problem) const
{
    invalid(cellPlace(row, m_store.defs()[column]) + QStringLiteral(": ") + problem);
}

simdjson::error_code parseWhole(dom::parser &parser, std::string_view text, dom::element &root)
{
    simdjson::error_code error = parser.parse(text.data(), text.size(), true).get(root);
    if (error == simdjson::NUMBER_ERROR) {
        const std::string widened = widenedIntegers(text);
        if (!widened.empty())
            error = parser.parse(widened).get(root);
    }
    return error;
}

} // namespace DataPacket::detail
