#include "platform/data/DataPacket.h"

#include <cmath>

#include <simdjson.h>

#include "platform/data/CivilDate.h"
#include "platform/data/JsonWriter.h"
#include "platform/data/PacketFaults.h"
#include "platform/data/PacketReader.h"
#include "platform/data/PacketText_p.h"
#include "platform/data/RecordStore_p.h"
#include "platform/data/TJsonDocument.h"

namespace dom = simdjson::dom;

namespace DataPacket {

using namespace detail;

namespace {

constexpr qsizetype SmallPacketBytes = qsizetype(1) << 20;

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
        invalid(QStringLiteral("o pacote tem %1 bytes, acima do limite de %2 bytes")
                    .arg(document.textBytes())
                    .arg(maxBytes));
    dom::element value;
    if (document.member(member).get(value) != simdjson::SUCCESS)
        invalid(QStringLiteral("o pacote está vazio"));
    return decode(value);
}

TRecordStore decode(const dom::element &packet)
{
    return PacketReader().read(packet);
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

private:
    void put(char c) { m_out.push_back(c); }
    void put(std::string_view text) { JsonWriter::appendRaw(m_out, text); }
    void putString(std::string_view utf8) { JsonWriter::appendString(m_out, utf8); }
    void putNumber(double value) { JsonWriter::appendNumber(m_out, value); }
    void putInteger(int value) { JsonWriter::appendInteger(m_out, value); }
    void putField(const TFieldDef &def);
    void putRow(const TRecordStore &store, int r);
    void putCell(const TRecordStore &store, int r, int f);

    Out &m_out;
};

// A packet's fields must have names, unique whatever their case, and text fields a size.
void checkFields(const TRecordStore &store)
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
            notEncodable(QStringLiteral("campo %1: tamanho %2 inválido para um campo de texto")
                             .arg(inQuotes(def.name))
                             .arg(def.size));
        for (int g = 0; g < f; ++g) {
            if (defs[g].name.compare(def.name, Qt::CaseInsensitive) == 0)
                notEncodable(QStringLiteral("o campo %1 aparece mais de uma vez").arg(inQuotes(def.name)));
        }
    }
}

template<typename Out>
void Encoder<Out>::write(const TRecordStore &store)
{
    checkFields(store);
    put(std::string_view("{\"fields\":["));
    for (int f = 0; f < store.fieldCount(); ++f) {
        if (f > 0)
            put(',');
        putField(store.defs()[f]);
    }
    put(std::string_view("],\"rows\":["));
    const int rows = store.rowCount();
    for (int r = 0; r < rows; ++r) {
        if (r > 0)
            put(',');
        putRow(store, r);
    }
    put(std::string_view("]}"));
}

template<typename Out>
void Encoder<Out>::putField(const TFieldDef &def)
{
    put(std::string_view("{\"name\":"));
    putString(def.name.toStdString());
    switch (def.type) {
    case TFieldType::String:
    case TFieldType::FixedChar:
        put(std::string_view(",\"type\":\"string\",\"size\":"));
        putInteger(def.size);
        put(def.type == TFieldType::FixedChar ? std::string_view(",\"fixed\":true}")
                                              : std::string_view(",\"fixed\":false}"));
        break;
    case TFieldType::DateTime:
        put(std::string_view(",\"type\":\"datetime\",\"size\":0,\"fixed\":false}"));
        break;
    case TFieldType::Float:
        put(std::string_view(",\"type\":\"float\",\"size\":0,\"fixed\":false}"));
        break;
    }
}

template<typename Out>
void Encoder<Out>::putRow(const TRecordStore &store, int r)
{
    put('[');
    for (int f = 0; f < store.fieldCount(); ++f) {
        if (f > 0)
            put(',');
        if (store.isNull(r, f))
            put(std::string_view("null", 4));
        else
            putCell(store, r, f);
    }
    put(']');
}

template<typename Out>
void Encoder<Out>::putCell(const TRecordStore &store, int r, int f)
{
    const TFieldDef &def = store.defs()[f];
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
            notEncodable(cellPlace(r, def)
                         + QStringLiteral(": o valor %1 não pode ser representado em JSON")
                               .arg(std::isnan(value) ? QStringLiteral("NaN")
                                    : value > 0       ? QStringLiteral("+Inf")
                                                      : QStringLiteral("-Inf")));
        putNumber(value);
        break;
    }
    }
}

} // namespace

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
