#include "DataPacket.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include <simdjson.h>

#include "CivilDate.h"
#include "FasError.h"
#include "RecordStore_p.h"
#include "TJsonDocument.h"

namespace ondemand = simdjson::ondemand;

namespace DataPacket {
namespace {

// ---------------------------------------------------------------------------
// Messages

QString inQuotes(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString inQuotes(std::string_view utf8)
{
    return inQuotes(QString::fromUtf8(utf8.data(), qsizetype(utf8.size())));
}

// A bad value shown in a message: at most 40 characters of it.
QString excerpt(std::string_view utf8)
{
    QString text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
    if (text.size() > 40)
        text = text.left(40) + QStringLiteral("...");
    return inQuotes(text);
}

QString jsonProblem(simdjson::error_code error)
{
    switch (error) {
    case simdjson::EMPTY:
        return QStringLiteral("o pacote está vazio");
    case simdjson::UNCLOSED_STRING:
        return QStringLiteral("JSON malformado: texto sem aspas de fechamento");
    case simdjson::TAPE_ERROR:
        return QStringLiteral("JSON malformado: vírgula, dois-pontos, chave ou colchete faltando ou sobrando");
    case simdjson::UNESCAPED_CHARS:
        return QStringLiteral("JSON malformado: caractere de controle sem escape dentro de um texto");
    case simdjson::STRING_ERROR:
        return QStringLiteral("JSON malformado: texto com caractere de controle ou sequência de escape inválida");
    case simdjson::UTF8_ERROR:
        return QStringLiteral("texto em UTF-8 inválido");
    case simdjson::NUMBER_ERROR:
    case simdjson::NUMBER_OUT_OF_RANGE:
        return QStringLiteral("número inválido ou fora do intervalo de um número de ponto flutuante");
    case simdjson::T_ATOM_ERROR:
    case simdjson::F_ATOM_ERROR:
    case simdjson::N_ATOM_ERROR:
        return QStringLiteral("JSON malformado: valor desconhecido (esperado true, false ou null)");
    case simdjson::DEPTH_ERROR:
        return QStringLiteral("JSON malformado: aninhamento profundo demais");
    case simdjson::INCOMPLETE_ARRAY_OR_OBJECT:
        return QStringLiteral("JSON malformado: objeto ou lista sem fechamento, ou conteúdo após o fim do pacote");
    case simdjson::TRAILING_CONTENT:
        return QStringLiteral("JSON malformado: conteúdo após o fim do pacote");
    case simdjson::CAPACITY:
    case simdjson::MEMALLOC:
        return QStringLiteral("o pacote é grande demais para ser lido");
    default:
        return QStringLiteral("JSON malformado (%1)").arg(QString::fromUtf8(simdjson::error_message(error)));
    }
}

QString jsonTypeName(ondemand::json_type type)
{
    switch (type) {
    case ondemand::json_type::array:
        return QStringLiteral("uma lista");
    case ondemand::json_type::object:
        return QStringLiteral("um objeto");
    case ondemand::json_type::number:
        return QStringLiteral("um número");
    case ondemand::json_type::string:
        return QStringLiteral("um texto");
    case ondemand::json_type::boolean:
        return QStringLiteral("um valor lógico");
    case ondemand::json_type::null:
        return QStringLiteral("null");
    }
    return QStringLiteral("um valor desconhecido");
}

[[noreturn]] void invalid(const QString &what)
{
    throw PacketError(QStringLiteral("Pacote de dados inválido: %1.").arg(what));
}

[[noreturn]] void notEncodable(const QString &what)
{
    throw PacketError(QStringLiteral("Não foi possível gerar o pacote de dados: %1.").arg(what));
}

QString cellPlace(int row, const TFieldDef &def)
{
    return QStringLiteral("linha %1, campo %2").arg(row + 1).arg(inQuotes(def.name));
}

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
// Decoder

enum class Kind : std::uint8_t { Text, DateTime, Float };

Kind kindOf(const TFieldDef &def)
{
    return def.isText() ? Kind::Text : def.type == TFieldType::DateTime ? Kind::DateTime : Kind::Float;
}

// simdjson found invalid UTF-8 or a raw control character in a string somewhere
// in the text (it checks the whole text before reading any of it); decode() then
// finds where.
struct BadBytes
{
    simdjson::error_code error;
};

// Where a located UTF-8 error was found (see Decoder::locateOffset).
struct Located
{
    QString place;
};

class Decoder
{
public:
    Decoder(ondemand::parser &parser, const char *base)
        : m_parser(parser)
        , m_base(base)
    {
    }

    // When >= 0, the decoder is re-reading a copy whose invalid UTF-8 was patched,
    // to find the field or cell that holds this byte offset; it throws Located.
    qsizetype locateOffset = -1;

    TRecordStore run(simdjson::padded_string_view json);

private:
    [[noreturn]] void jsonError(simdjson::error_code error, const QString &place);
    void readFields(ondemand::value value);
    void readFieldEntry(ondemand::value value, int index, TFieldDefs &defs);
    void readRows(ondemand::value value);
    void checkLocate(ondemand::value &value, const QString &place);
    qsizetype offsetOf(const char *p) const { return qsizetype(p - m_base); }

    ondemand::parser &m_parser;
    ondemand::document m_doc;
    const char *m_base;
    bool m_docReady = false; // m_doc can say where it stopped
    TRecordStore m_store;
    std::vector<Kind> m_kinds;
    std::vector<std::size_t> m_sizes;
};

void Decoder::jsonError(simdjson::error_code error, const QString &place)
{
    if (error == simdjson::UTF8_ERROR || error == simdjson::UNESCAPED_CHARS)
        throw BadBytes{error};
    // The row and field say where; without them, the byte position does.
    QString where = place;
    if (where.isEmpty() && m_docReady) {
        const char *at = nullptr;
        if (m_doc.current_location().get(at) == simdjson::SUCCESS && at != m_base)
            where = QStringLiteral("posição %1").arg(offsetOf(at) + 1);
    }
    invalid(where.isEmpty() ? jsonProblem(error) : where + QStringLiteral(": ") + jsonProblem(error));
}

void Decoder::checkLocate(ondemand::value &value, const QString &place)
{
    const std::string_view raw = value.raw_json_token();
    const qsizetype from = offsetOf(raw.data());
    if (locateOffset >= from && locateOffset < from + qsizetype(raw.size()))
        throw Located{place};
}

TRecordStore Decoder::run(simdjson::padded_string_view json)
{
    if (auto error = m_parser.iterate(json).get(m_doc))
        jsonError(error, QString());
    m_docReady = true;
    ondemand::object root;
    if (auto error = m_doc.get_object().get(root)) {
        if (error == simdjson::INCORRECT_TYPE)
            invalid(QStringLiteral("o pacote não é um objeto JSON"));
        jsonError(error, QString());
    }
    bool haveFields = false;
    bool haveRows = false;
    bool rowsBeforeFields = false;
    for (auto member : root) {
        if (auto error = member.error())
            jsonError(error, QString());
        ondemand::field &field = member.value_unsafe();
        std::string_view key;
        if (auto error = field.unescaped_key().get(key))
            jsonError(error, QString());
        if (key == "fields") {
            if (haveFields)
                invalid(QStringLiteral("a chave \"fields\" aparece mais de uma vez"));
            haveFields = true;
            readFields(field.value());
        } else if (key == "rows") {
            if (haveRows)
                invalid(QStringLiteral("a chave \"rows\" aparece mais de uma vez"));
            haveRows = true;
            if (haveFields)
                readRows(field.value());
            else
                rowsBeforeFields = true; // skipped now, read once the fields are known
        } else {
            invalid(QStringLiteral("chave %1 desconhecida no objeto do pacote (esperadas \"fields\" e \"rows\")")
                        .arg(inQuotes(key)));
        }
    }
    if (!haveFields)
        invalid(QStringLiteral("falta a chave \"fields\""));
    if (!haveRows)
        invalid(QStringLiteral("falta a chave \"rows\""));
    // Anything left after the root object is an error, not a second document.
    const char *rest = nullptr;
    if (m_doc.current_location().get(rest) == simdjson::SUCCESS)
        jsonError(simdjson::TRAILING_CONTENT, QString());

    if (rowsBeforeFields) {
        m_doc.rewind();
        if (auto error = m_doc.get_object().get(root))
            jsonError(error, QString());
        for (auto member : root) {
            if (auto error = member.error())
                jsonError(error, QString());
            ondemand::field &field = member.value_unsafe();
            std::string_view key;
            if (auto error = field.unescaped_key().get(key))
                jsonError(error, QString());
            if (key == "rows") {
                readRows(field.value());
                break;
            }
        }
    }
    return std::move(m_store);
}

void Decoder::readFields(ondemand::value value)
{
    ondemand::array list;
    if (auto error = value.get_array().get(list)) {
        if (error == simdjson::INCORRECT_TYPE)
            invalid(QStringLiteral("\"fields\" não é uma lista"));
        jsonError(error, QStringLiteral("lista \"fields\""));
    }
    TFieldDefs defs;
    int index = 0;
    for (auto item : list) {
        ondemand::value entry;
        if (auto error = item.get(entry))
            jsonError(error, QStringLiteral("campo %1 da lista \"fields\"").arg(index + 1));
        readFieldEntry(entry, index, defs);
        ++index;
    }
    if (defs.isEmpty())
        invalid(QStringLiteral("a lista \"fields\" não declara nenhum campo"));

    m_store = TRecordStore(defs);
    m_kinds.clear();
    m_sizes.clear();
    for (const TFieldDef &def : defs) {
        m_kinds.push_back(kindOf(def));
        m_sizes.push_back(std::size_t(def.size));
    }
}

void Decoder::readFieldEntry(ondemand::value value, int index, TFieldDefs &defs)
{
    QString place = QStringLiteral("campo %1 da lista \"fields\"").arg(index + 1);
    ondemand::object object;
    if (auto error = value.get_object().get(object)) {
        if (error == simdjson::INCORRECT_TYPE)
            invalid(place + QStringLiteral(": esperado um objeto"));
        jsonError(error, place);
    }
    bool haveName = false, haveType = false, haveSize = false, haveFixed = false;
    QString name;
    std::string typeName;
    std::int64_t size = 0;
    bool fixed = false;
    const auto wrongType = [&](std::string_view key, const char *expected) {
        invalid(place + QStringLiteral(": a chave %1 deve ser %2").arg(inQuotes(key), QString::fromUtf8(expected)));
    };
    for (auto member : object) {
        if (auto error = member.error())
            jsonError(error, place);
        ondemand::field &field = member.value_unsafe();
        std::string_view key;
        if (auto error = field.unescaped_key().get(key))
            jsonError(error, place);
        ondemand::value v = field.value();
        bool *seen = key == "name" ? &haveName
                   : key == "type" ? &haveType
                   : key == "size" ? &haveSize
                   : key == "fixed" ? &haveFixed
                                    : nullptr;
        if (!seen)
            invalid(place + QStringLiteral(": chave %1 desconhecida").arg(inQuotes(key)));
        if (*seen)
            invalid(place + QStringLiteral(": a chave %1 aparece mais de uma vez").arg(inQuotes(key)));
        *seen = true;
        if (key == "name") {
            if (locateOffset >= 0)
                checkLocate(v, place);
            std::string_view text;
            if (auto error = v.get_string().get(text)) {
                if (error == simdjson::INCORRECT_TYPE)
                    wrongType(key, "um texto");
                jsonError(error, place);
            }
            name = QString::fromUtf8(text.data(), qsizetype(text.size()));
            if (name.isEmpty())
                invalid(place + QStringLiteral(": o nome do campo está vazio"));
            place = QStringLiteral("campo %1").arg(inQuotes(name));
        } else if (key == "type") {
            std::string_view text;
            if (auto error = v.get_string().get(text)) {
                if (error == simdjson::INCORRECT_TYPE)
                    wrongType(key, "um texto");
                jsonError(error, place);
            }
            typeName.assign(text);
        } else if (key == "size") {
            if (auto error = v.get_int64().get(size)) {
                if (error == simdjson::INCORRECT_TYPE || error == simdjson::NUMBER_ERROR)
                    wrongType(key, "um número inteiro");
                jsonError(error, place);
            }
        } else {
            if (auto error = v.get_bool().get(fixed)) {
                if (error == simdjson::INCORRECT_TYPE)
                    wrongType(key, "true ou false");
                jsonError(error, place);
            }
        }
    }
    if (!haveName)
        invalid(place + QStringLiteral(": falta a chave \"name\""));
    if (!haveType)
        invalid(place + QStringLiteral(": falta a chave \"type\""));

    TFieldDef def;
    def.name = name;
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
            invalid(place + QStringLiteral(": um campo do tipo \"%1\" não tem tamanho (\"size\" é %2)")
                                .arg(QString::fromStdString(typeName))
                                .arg(size));
        if (fixed)
            invalid(place + QStringLiteral(": só um campo de texto pode ser de tamanho fixo"));
    } else {
        invalid(place + QStringLiteral(": tipo %1 desconhecido (esperado \"string\", \"datetime\" ou \"float\")")
                            .arg(inQuotes(typeName)));
    }
    for (const TFieldDef &other : defs) {
        if (other.name.compare(name, Qt::CaseInsensitive) == 0)
            invalid(QStringLiteral("o campo %1 aparece mais de uma vez na lista \"fields\"").arg(inQuotes(name)));
    }
    defs.append(def);
}

void Decoder::readRows(ondemand::value value)
{
    ondemand::array rows;
    if (auto error = value.get_array().get(rows)) {
        if (error == simdjson::INCORRECT_TYPE)
            invalid(QStringLiteral("\"rows\" não é uma lista"));
        jsonError(error, QStringLiteral("lista \"rows\""));
    }
    const int fieldCount = m_store.fieldCount();
    const TFieldDefs &defs = m_store.defs();

    // Knowing the row count up front saves growing 28 vectors (and the allocator's
    // work behind it) many times over; counting is a quick pass over the row list.
    std::size_t expected = 0;
    if (rows.count_elements().get(expected) == simdjson::SUCCESS && expected < std::size_t(std::numeric_limits<int>::max()))
        m_store.reserve(int(expected));

    int row = 0;
    for (auto item : rows) {
        if (row == std::numeric_limits<int>::max())
            invalid(QStringLiteral("o pacote tem linhas demais"));
        ondemand::array cells;
        if (auto error = item.get_array().get(cells)) {
            if (error == simdjson::INCORRECT_TYPE)
                invalid(QStringLiteral("linha %1: esperada uma lista de valores").arg(row + 1));
            jsonError(error, QStringLiteral("linha %1").arg(row + 1));
        }
        int column = 0;
        for (auto cell : cells) {
            if (column == fieldCount)
                invalid(QStringLiteral("linha %1: mais de %2 valores; o pacote declara %2 campos")
                            .arg(row + 1)
                            .arg(fieldCount));
            const auto c = std::size_t(column);
            ondemand::value v;
            ondemand::json_type type{};
            if (auto error = cell.get(v))
                jsonError(error, cellPlace(row, defs[column]));
            if (auto error = v.type().get(type))
                jsonError(error, cellPlace(row, defs[column]));
            if (type == ondemand::json_type::null) {
                bool isNull = false;
                if (v.is_null().get(isNull) != simdjson::SUCCESS || !isNull)
                    jsonError(simdjson::N_ATOM_ERROR, cellPlace(row, defs[column]));
                RecordStoreAccess::appendNull(m_store, column);
                ++column;
                continue;
            }
            switch (m_kinds[c]) {
            case Kind::Text: {
                if (type != ondemand::json_type::string)
                    invalid(cellPlace(row, defs[column])
                            + QStringLiteral(": esperado um texto ou null, encontrado %1").arg(jsonTypeName(type)));
                if (locateOffset >= 0)
                    checkLocate(v, cellPlace(row, defs[column]));
                std::string_view text;
                if (auto error = v.get_string().get(text))
                    jsonError(error, cellPlace(row, defs[column]));
                // Sizes count characters; a text within the size in bytes is within it in characters too.
                if (text.size() > m_sizes[c]) {
                    const std::size_t length = Utf8::length(text);
                    if (length > m_sizes[c])
                        invalid(cellPlace(row, defs[column])
                                + QStringLiteral(": texto com %1 caracteres excede o tamanho %2")
                                      .arg(length)
                                      .arg(m_sizes[c]));
                }
                RecordStoreAccess::appendText(m_store, column, text);
                break;
            }
            case Kind::DateTime: {
                if (type != ondemand::json_type::string)
                    invalid(cellPlace(row, defs[column])
                            + QStringLiteral(": esperada uma data em texto ou null, encontrado %1")
                                  .arg(jsonTypeName(type)));
                if (locateOffset >= 0)
                    checkLocate(v, cellPlace(row, defs[column]));
                std::string_view text;
                if (auto error = v.get_string().get(text))
                    jsonError(error, cellPlace(row, defs[column]));
                std::int64_t ms = 0;
                if (!CivilDate::parseIso<CivilDate::IsoForm::Packet>(text, ms))
                    invalid(cellPlace(row, defs[column])
                            + QStringLiteral(": data inválida %1 (esperado aaaa-mm-ddThh:mm:ss.zzz)").arg(excerpt(text)));
                RecordStoreAccess::appendDateTime(m_store, column, ms);
                break;
            }
            case Kind::Float: {
                if (type != ondemand::json_type::number)
                    invalid(cellPlace(row, defs[column])
                            + QStringLiteral(": esperado um número ou null, encontrado %1").arg(jsonTypeName(type)));
                double number = 0.0;
                if (auto error = v.get_double().get(number))
                    jsonError(error, cellPlace(row, defs[column]));
                RecordStoreAccess::appendNumber(m_store, column, number);
                break;
            }
            }
            ++column;
        }
        if (column != fieldCount) {
            // Cells were already appended to the first columns: the store is dropped with the exception.
            invalid(QStringLiteral("linha %1: %2 valores; o pacote declara %3 campos").arg(row + 1).arg(column).arg(fieldCount));
        }
        ++row;
        RecordStoreAccess::setRowCount(m_store, row);
    }
}

// ---------------------------------------------------------------------------
// Reader of parsed values

namespace dom = simdjson::dom;

// Reads a packet from values the DOM parser has already read. It accepts only
// packets the careful reader above accepts, and gives the same rows; anything
// else it leaves to the careful reader (false), which says what is wrong and
// where. Failing packets are rare and small, so reading one twice costs nothing
// that matters.
class ParsedReader
{
public:
    bool read(dom::element root);
    TRecordStore take() { return std::move(m_store); }

private:
    bool readFields(dom::element list);
    bool readFieldEntry(dom::element entry, TFieldDefs &defs);
    bool readRows(dom::element list);
    void reserveText(dom::array rows);
    bool readCell(dom::element cell, int column);

    TRecordStore m_store;
    std::vector<Kind> m_kinds;
    std::vector<std::size_t> m_sizes;
};

bool ParsedReader::read(dom::element root)
{
    dom::object object;
    if (root.get_object().get(object) != simdjson::SUCCESS)
        return false;
    dom::element fields, rows;
    bool haveFields = false, haveRows = false;
    for (const dom::key_value_pair member : object) {
        if (member.key == "fields" && !haveFields) {
            haveFields = true;
            fields = member.value;
        } else if (member.key == "rows" && !haveRows) {
            haveRows = true;
            rows = member.value;
        } else {
            return false;
        }
    }
    return haveFields && haveRows && readFields(fields) && readRows(rows);
}

bool ParsedReader::readFields(dom::element list)
{
    dom::array entries;
    if (list.get_array().get(entries) != simdjson::SUCCESS)
        return false;
    TFieldDefs defs;
    for (const dom::element entry : entries) {
        if (!readFieldEntry(entry, defs))
            return false;
    }
    if (defs.isEmpty())
        return false;
    m_store = TRecordStore(defs);
    for (const TFieldDef &def : defs) {
        m_kinds.push_back(kindOf(def));
        m_sizes.push_back(std::size_t(def.size));
    }
    return true;
}

bool ParsedReader::readFieldEntry(dom::element entry, TFieldDefs &defs)
{
    dom::object object;
    if (entry.get_object().get(object) != simdjson::SUCCESS)
        return false;
    std::string_view name, typeName;
    std::int64_t size = 0;
    bool fixed = false;
    bool haveName = false, haveType = false, haveSize = false, haveFixed = false;
    for (const dom::key_value_pair member : object) {
        bool ok = false;
        if (member.key == "name" && !haveName)
            ok = haveName = member.value.get_string().get(name) == simdjson::SUCCESS;
        else if (member.key == "type" && !haveType)
            ok = haveType = member.value.get_string().get(typeName) == simdjson::SUCCESS;
        else if (member.key == "size" && !haveSize)
            ok = haveSize = member.value.get_int64().get(size) == simdjson::SUCCESS;
        else if (member.key == "fixed" && !haveFixed)
            ok = haveFixed = member.value.get_bool().get(fixed) == simdjson::SUCCESS;
        if (!ok)
            return false;
    }
    if (!haveName || !haveType || name.empty())
        return false;
    TFieldDef def;
    def.name = QString::fromUtf8(name.data(), qsizetype(name.size()));
    if (typeName == "string") {
        if (!haveSize || size < 1 || size > std::numeric_limits<int>::max())
            return false;
        def.type = fixed ? TFieldType::FixedChar : TFieldType::String;
        def.size = int(size);
    } else if (typeName == "datetime" || typeName == "float") {
        if (size != 0 || fixed)
            return false;
        def.type = typeName == "datetime" ? TFieldType::DateTime : TFieldType::Float;
    } else {
        return false;
    }
    for (const TFieldDef &other : defs) {
        if (other.name.compare(def.name, Qt::CaseInsensitive) == 0)
            return false;
    }
    defs.append(def);
    return true;
}

bool ParsedReader::readRows(dom::element list)
{
    dom::array rows;
    if (list.get_array().get(rows) != simdjson::SUCCESS)
        return false;
    const int fieldCount = m_store.fieldCount();
    if (rows.size() >= std::size_t(std::numeric_limits<int>::max()))
        return false;
    m_store.reserve(int(rows.size()));
    reserveText(rows);
    int row = 0;
    for (const dom::element item : rows) {
        dom::array cells;
        if (item.get_array().get(cells) != simdjson::SUCCESS)
            return false;
        int column = 0;
        for (const dom::element cell : cells) {
            if (column == fieldCount || !readCell(cell, column))
                return false;
            ++column;
        }
        if (column != fieldCount)
            return false;
        RecordStoreAccess::setRowCount(m_store, ++row);
    }
    return true;
}

void ParsedReader::reserveText(dom::array rows)
{
    // Each text column's pool is sized from the first rows, so that it does not
    // grow (and copy itself) step by step; a column that turns out longer still grows.
    constexpr std::size_t SampleRows = 512;
    std::vector<std::size_t> sampled(m_kinds.size(), 0);
    std::size_t sample = 0;
    for (const dom::element item : rows) {
        if (sample == SampleRows)
            break;
        ++sample;
        dom::array cells;
        if (item.get_array().get(cells) != simdjson::SUCCESS)
            return;
        std::size_t c = 0;
        for (const dom::element cell : cells) {
            std::string_view text;
            if (c < m_kinds.size() && m_kinds[c] == Kind::Text && cell.get_string().get(text) == simdjson::SUCCESS)
                sampled[c] += text.size();
            ++c;
        }
    }
    if (sample == 0)
        return;
    const std::size_t total = rows.size();
    for (std::size_t c = 0; c < m_kinds.size(); ++c) {
        if (m_kinds[c] == Kind::Text)
            RecordStoreAccess::reserveText(m_store, int(c), sampled[c] * total / sample + sampled[c] * total / sample / 8);
    }
}

bool ParsedReader::readCell(dom::element cell, int column)
{
    const auto c = std::size_t(column);
    if (cell.is_null()) {
        RecordStoreAccess::appendNull(m_store, column);
        return true;
    }
    switch (m_kinds[c]) {
    case Kind::Text: {
        std::string_view text;
        if (cell.get_string().get(text) != simdjson::SUCCESS)
            return false;
        if (text.size() > m_sizes[c] && Utf8::length(text) > m_sizes[c])
            return false;
        RecordStoreAccess::appendText(m_store, column, text);
        return true;
    }
    case Kind::DateTime: {
        std::string_view text;
        std::int64_t ms = 0;
        if (cell.get_string().get(text) != simdjson::SUCCESS || !CivilDate::parseIso<CivilDate::IsoForm::Packet>(text, ms))
            return false;
        RecordStoreAccess::appendDateTime(m_store, column, ms);
        return true;
    }
    case Kind::Float: {
        // Integers and decimals alike, as the careful reader's get_double reads them.
        double number = 0.0;
        if (cell.get_double().get(number) != simdjson::SUCCESS)
            return false;
        RecordStoreAccess::appendNumber(m_store, column, number);
        return true;
    }
    }
    return false;
}

thread_local ondemand::parser t_parser;

constexpr qsizetype SmallPacketBytes = qsizetype(1) << 20;

} // namespace

// ---------------------------------------------------------------------------
// decode

namespace {

// The careful reader says what is wrong and where. simdjson reads a little past
// the end of the text: it needs its own padded copy.
TRecordStore decodeCarefully(QByteArrayView json)
{
    simdjson::padded_string padded(json.data(), std::size_t(json.size()));
    simdjson::error_code badBytes = simdjson::SUCCESS;
    try {
        Decoder decoder(t_parser, padded.data());
        return decoder.run(padded);
    } catch (const BadBytes &bad) {
        badBytes = bad.error;
    }
    // To say which field or cell holds the bad bytes, read a copy whose bad bytes
    // are replaced and stop at the value that covers the first of them.
    const bool utf8 = badBytes == simdjson::UTF8_ERROR;
    const QString problem = utf8 ? QStringLiteral("texto em UTF-8 inválido")
                                 : QStringLiteral("caractere de controle sem escape dentro de um texto");
    std::string patched(json.data(), std::size_t(json.size()));
    const qsizetype first = utf8 ? patchInvalidUtf8(patched) : patchRawControls(patched);
    if (first < 0)
        invalid(problem);
    QString place;
    try {
        simdjson::padded_string copy(patched);
        ondemand::parser parser;
        Decoder locator(parser, copy.data());
        locator.locateOffset = first;
        locator.run(copy);
    } catch (const Located &located) {
        place = located.place + QStringLiteral(": ");
    } catch (const PacketError &) {
    } catch (const BadBytes &) {
    }
    invalid(place + problem + QStringLiteral(" (byte %1 do pacote)").arg(first + 1));
}

} // namespace

TRecordStore decode(QByteArrayView json, qsizetype maxBytes)
{
    if (json.size() > maxBytes)
        invalid(QStringLiteral("o pacote tem %1 bytes, acima do limite de %2 bytes").arg(json.size()).arg(maxBytes));
    if (QByteArrayView(json).trimmed().isEmpty())
        invalid(QStringLiteral("o pacote está vazio"));
    {
        // The fast reader first (see ParsedReader); a text with the number -0 goes
        // to the careful reader, which keeps its sign. Small packets (batches)
        // reuse one parser per thread; a large one gets its own, so that its
        // buffers go back to the system with it.
        thread_local dom::parser t_domParser;
        dom::parser ownParser;
        dom::parser &parser = json.size() > SmallPacketBytes ? ownParser : t_domParser;
        dom::element root;
        ParsedReader reader;
        const std::string_view text(json.data(), std::size_t(json.size()));
        if (!TJsonDocument::mayHoldNegativeZero(text)
            && parser.parse(text.data(), text.size(), true).get(root) == simdjson::SUCCESS && reader.read(root))
            return reader.take();
    }
    return decodeCarefully(json);
}

TRecordStore decode(const TJsonDocument &document, std::string_view member, qsizetype maxBytes)
{
    if (document.textBytes() > maxBytes)
        invalid(QStringLiteral("o pacote tem %1 bytes, acima do limite de %2 bytes").arg(document.textBytes()).arg(maxBytes));
    dom::element value;
    if (document.member(member).get(value) != simdjson::SUCCESS)
        invalid(QStringLiteral("o pacote está vazio"));
    ParsedReader reader;
    if (reader.read(value))
        return reader.take();
    // A packet that is refused: its text, written from the parsed values, goes to
    // the careful reader for the message.
    const std::string text = simdjson::to_string(value);
    return decodeCarefully(QByteArrayView(text.data(), qsizetype(text.size())));
}

// ---------------------------------------------------------------------------
// Encoder

namespace {

template<typename Out>
class Encoder
{
public:
    explicit Encoder(Out &out)
        : m_out(out)
    {
    }

    void write(const TRecordStore &store);
    void putString(std::string_view utf8);
    void putNumber(double value);

private:
    void put(char c) { m_out.push_back(c); }
    void put(std::string_view text) { m_out.append(text.data(), decltype(m_out.size())(text.size())); }
    void putInteger(int value);

    Out &m_out;
};

template<typename Out>
void Encoder<Out>::putString(std::string_view utf8)
{
    static constexpr char hex[] = "0123456789abcdef";
    put('"');
    const char *p = utf8.data();
    const char *end = p + utf8.size();
    const char *run = p;
    for (; p != end; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c >= 0x20 && c != '"' && c != '\\')
            continue;
        put(std::string_view(run, std::size_t(p - run)));
        run = p + 1;
        switch (c) {
        case '"':
            put(std::string_view("\\\"", 2));
            break;
        case '\\':
            put(std::string_view("\\\\", 2));
            break;
        case '\n':
            put(std::string_view("\\n", 2));
            break;
        case '\r':
            put(std::string_view("\\r", 2));
            break;
        case '\t':
            put(std::string_view("\\t", 2));
            break;
        case '\b':
            put(std::string_view("\\b", 2));
            break;
        case '\f':
            put(std::string_view("\\f", 2));
            break;
        default: {
            const char escaped[6] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 0xF]};
            put(std::string_view(escaped, 6));
        }
        }
    }
    put(std::string_view(run, std::size_t(end - run)));
    put('"');
}

template<typename Out>
void Encoder<Out>::putNumber(double value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    put(std::string_view(buffer, std::size_t(result.ptr - buffer)));
}

template<typename Out>
void Encoder<Out>::putInteger(int value)
{
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    put(std::string_view(buffer, std::size_t(result.ptr - buffer)));
}

template<typename Out>
void Encoder<Out>::write(const TRecordStore &store)
{
    const TFieldDefs &defs = store.defs();
    const int fieldCount = store.fieldCount();
    if (fieldCount == 0)
        notEncodable(QStringLiteral("o conjunto de dados não tem campos"));
    for (int f = 0; f < fieldCount; ++f) {
        const TFieldDef &def = defs[f];
        if (def.name.isEmpty())
            notEncodable(QStringLiteral("o campo %1 não tem nome").arg(f + 1));
        if (def.isText() && def.size < 1)
            notEncodable(QStringLiteral("campo %1: tamanho %2 inválido para um campo de texto").arg(inQuotes(def.name)).arg(def.size));
        for (int g = 0; g < f; ++g) {
            if (defs[g].name.compare(def.name, Qt::CaseInsensitive) == 0)
                notEncodable(QStringLiteral("o campo %1 aparece mais de uma vez").arg(inQuotes(def.name)));
        }
    }

    put(std::string_view("{\"fields\":["));
    for (int f = 0; f < fieldCount; ++f) {
        const TFieldDef &def = defs[f];
        if (f > 0)
            put(',');
        put(std::string_view("{\"name\":"));
        putString(def.name.toStdString());
        switch (def.type) {
        case TFieldType::String:
        case TFieldType::FixedChar:
            put(std::string_view(",\"type\":\"string\",\"size\":"));
            putInteger(def.size);
            put(def.type == TFieldType::FixedChar ? std::string_view(",\"fixed\":true}") : std::string_view(",\"fixed\":false}"));
            break;
        case TFieldType::DateTime:
            put(std::string_view(",\"type\":\"datetime\",\"size\":0,\"fixed\":false}"));
            break;
        case TFieldType::Float:
            put(std::string_view(",\"type\":\"float\",\"size\":0,\"fixed\":false}"));
            break;
        }
    }
    put(std::string_view("],\"rows\":["));
    const int rows = store.rowCount();
    for (int r = 0; r < rows; ++r) {
        if (r > 0)
            put(',');
        put('[');
        for (int f = 0; f < fieldCount; ++f) {
            if (f > 0)
                put(',');
            if (store.isNull(r, f)) {
                put(std::string_view("null", 4));
                continue;
            }
            const TFieldDef &def = defs[f];
            switch (def.type) {
            case TFieldType::String:
            case TFieldType::FixedChar: {
                const std::string_view text = store.text(r, f);
                if (!simdjson::validate_utf8(text.data(), text.size()))
                    notEncodable(cellPlace(r, def) + QStringLiteral(": o texto não é UTF-8 válido"));
                if (text.size() > std::size_t(def.size) && Utf8::length(text) > std::size_t(def.size))
                    notEncodable(cellPlace(r, def)
                                 + QStringLiteral(": texto com %1 caracteres excede o tamanho %2")
                                       .arg(Utf8::length(text))
                                       .arg(def.size));
                putString(text);
                break;
            }
            case TFieldType::DateTime: {
                char buffer[24];
                const std::int64_t ms = store.dateTimeMs(r, f);
                if (!CivilDate::formatIso(ms, buffer))
                    notEncodable(cellPlace(r, def) + QStringLiteral(": data fora do intervalo dos anos 1 a 9999"));
                put('"');
                put(std::string_view(buffer, 23));
                put('"');
                break;
            }
            case TFieldType::Float: {
                const double value = store.number(r, f);
                if (!std::isfinite(value))
                    notEncodable(cellPlace(r, def) + QStringLiteral(": o valor %1 não pode ser representado em JSON")
                                                         .arg(std::isnan(value) ? QStringLiteral("NaN")
                                                              : value > 0       ? QStringLiteral("+Inf")
                                                                                : QStringLiteral("-Inf")));
                putNumber(value);
                break;
            }
            }
        }
        put(']');
    }
    put(std::string_view("]}"));
}

} // namespace

void appendJsonString(std::string &out, std::string_view utf8)
{
    Encoder<std::string>(out).putString(utf8);
}

void appendNumber(std::string &out, double value)
{
    Encoder<std::string>(out).putNumber(value);
}

void encodeTo(const TRecordStore &store, std::string &out)
{
    const std::size_t start = out.size();
    try {
        Encoder<std::string> encoder(out);
        encoder.write(store);
    } catch (...) {
        out.resize(start); // nothing half-written is left behind
        throw;
    }
}

QByteArray encode(const TRecordStore &store)
{
    QByteArray out;
    Encoder<QByteArray> encoder(out);
    encoder.write(store);
    return out;
}

} // namespace DataPacket
