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

namespace dom = simdjson::dom;
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
// Numbers the DOM cannot carry as they are written

// The DOM reads the integer -0 as 0, losing the sign, and refuses an integer
// beyond 64 bits; as a decimal ("-0.0", "123...0.0") it reads either to the
// double the text means. Returns the text with those integers (outside strings)
// so widened, or an empty text when none was found.
bool integerNeedsWidening(std::string_view token)
{
    if (token == "-0")
        return true;
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

enum class Kind : std::uint8_t { Text, DateTime, Float };

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

// Reads a packet from the values the DOM parser has read, checking every rule of
// the format and saying what is wrong and where (field, row, column).
class PacketReader
{
public:
    TRecordStore read(dom::element root);

private:
    void readFields(dom::element list);
    void readFieldEntry(dom::element entry, int index, TFieldDefs &defs) const;
    void readRows(dom::element list);
    void reserveText(dom::array rows);
    void readCell(dom::element cell, int row, int column);
    [[noreturn]] void badCell(int row, int column, const QString &problem) const;

    TRecordStore m_store;
    std::vector<Kind> m_kinds;
    std::vector<std::size_t> m_sizes;
};

TRecordStore PacketReader::read(dom::element root)
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
    return std::move(m_store);
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
            invalid(place + QStringLiteral(": um campo do tipo %1 não tem tamanho (\"size\" é %2)")
                                .arg(inQuotes(typeName))
                                .arg(size));
        if (fixed)
            invalid(place + QStringLiteral(": só um campo de texto pode ser de tamanho fixo"));
    } else {
        invalid(place + QStringLiteral(": tipo %1 desconhecido (esperado \"string\", \"datetime\" ou \"float\")")
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
    const int fieldCount = m_store.fieldCount();
    m_store.reserve(int(rows.size()));
    reserveText(rows);
    int row = 0;
    for (const dom::element item : rows) {
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
            invalid(QStringLiteral("linha %1: %2 valores; o pacote declara %3 campos").arg(row + 1).arg(column).arg(fieldCount));
        RecordStoreAccess::setRowCount(m_store, ++row);
    }
}

void PacketReader::reserveText(dom::array rows)
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
            badCell(row, column, QStringLiteral("esperado um texto ou null, encontrado %1").arg(jsonTypeName(cell.type())));
        // Sizes count characters; a text within the size in bytes is within it in characters too.
        if (text.size() > m_sizes[c] && Utf8::length(text) > m_sizes[c])
            badCell(row, column,
                    QStringLiteral("texto com %1 caracteres excede o tamanho %2").arg(Utf8::length(text)).arg(m_sizes[c]));
        RecordStoreAccess::appendText(m_store, column, text);
        return;
    case Kind::DateTime: {
        std::int64_t ms = 0;
        if (cell.get_string().get(text) != simdjson::SUCCESS)
            badCell(row, column,
                    QStringLiteral("esperada uma data em texto ou null, encontrado %1").arg(jsonTypeName(cell.type())));
        if (!CivilDate::parseIso<CivilDate::IsoForm::Packet>(text, ms))
            badCell(row, column, QStringLiteral("data inválida %1 (esperado aaaa-mm-ddThh:mm:ss.zzz)").arg(excerpt(text)));
        RecordStoreAccess::appendDateTime(m_store, column, ms);
        return;
    }
    case Kind::Float: {
        double number = 0.0; // integers and decimals alike
        if (cell.get_double().get(number) != simdjson::SUCCESS)
            badCell(row, column, QStringLiteral("esperado um número ou null, encontrado %1").arg(jsonTypeName(cell.type())));
        RecordStoreAccess::appendNumber(m_store, column, number);
        return;
    }
    }
}

void PacketReader::badCell(int row, int column, const QString &problem) const
{
    invalid(cellPlace(row, m_store.defs()[column]) + QStringLiteral(": ") + problem);
}

// ---------------------------------------------------------------------------
// Where a text the parser refused goes wrong

// Where a located string was found.
struct Located
{
    QString place;
};

// simdjson's DOM says only what is wrong with a text it refuses. To say where,
// the text is walked again value by value (refused packets are rare and small),
// naming the place as the reader does: the field entry, the row, the cell.
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

// Throws the PacketError for a text the DOM refused with `error`.
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

constexpr qsizetype SmallPacketBytes = qsizetype(1) << 20;

// Parses `text` with the DOM; a text the DOM would misread or refuse for its
// integers alone is parsed with them widened (see widenedIntegers).
simdjson::error_code parseWhole(dom::parser &parser, std::string_view text, dom::element &root)
{
    std::string widened;
    if (TJsonDocument::mayHoldNegativeZero(text))
        widened = widenedIntegers(text);
    simdjson::error_code error = widened.empty() ? parser.parse(text.data(), text.size(), true).get(root)
                                                 : parser.parse(widened).get(root);
    if (error == simdjson::NUMBER_ERROR && widened.empty()) {
        widened = widenedIntegers(text);
        if (!widened.empty())
            error = parser.parse(widened).get(root);
    }
    return error;
}

} // namespace

// ---------------------------------------------------------------------------
// decode

TRecordStore decode(QByteArrayView json, qsizetype maxBytes)
{
    if (json.size() > maxBytes)
        invalid(QStringLiteral("o pacote tem %1 bytes, acima do limite de %2 bytes").arg(json.size()).arg(maxBytes));
    if (QByteArrayView(json).trimmed().isEmpty())
        invalid(QStringLiteral("o pacote está vazio"));
    // Small packets (batches) reuse one parser per thread; a large one gets its
    // own, so that its buffers go back to the system with it.
    thread_local dom::parser t_domParser;
    dom::parser ownParser;
    dom::parser &parser = json.size() > SmallPacketBytes ? ownParser : t_domParser;
    dom::element root;
    if (auto error = parseWhole(parser, std::string_view(json.data(), std::size_t(json.size())), root))
        refuse(json, error);
    return PacketReader().read(root);
}

TRecordStore decode(const TJsonDocument &document, std::string_view member, qsizetype maxBytes)
{
    if (document.textBytes() > maxBytes)
        invalid(QStringLiteral("o pacote tem %1 bytes, acima do limite de %2 bytes").arg(document.textBytes()).arg(maxBytes));
    dom::element value;
    if (document.member(member).get(value) != simdjson::SUCCESS)
        invalid(QStringLiteral("o pacote está vazio"));
    return PacketReader().read(value);
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
