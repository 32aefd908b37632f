#include "server/billing/PacketRowWriter.h"

#include <cmath>

#include <simdjson.h>

#include "platform/data/CivilDate.h"
#include "platform/data/DataPacket.h"
#include "platform/data/JsonWriter.h"
#include "platform/data/FasError.h"
#include "platform/data/TRecordStore.h"
#include "server/billing/ItemRowReader.h"
#include "server/rpc/RpcError.h"

PacketRowWriter::PacketRowWriter(const TFieldDefs &defs, std::string &out, int rowsBefore)
    : m_defs(defs)
    , m_out(out)
    , m_rows(rowsBefore)
{
}

void PacketRowWriter::begin()
{
    // The field list exactly as the encoder writes it: the packet of an empty store
    // without its closing "]}".
    std::string empty;
    DataPacket::encodeTo(TRecordStore(m_defs), empty);
    m_out.append(empty, 0, empty.size() - 2);
}

void PacketRowWriter::end()
{
    m_out.append("]}");
}

void PacketRowWriter::beginRow()
{
    if (m_rows > 0)
        m_out.push_back(',');
    m_out.push_back('[');
    m_field = 0;
}

void PacketRowWriter::endRow()
{
    m_out.push_back(']');
    ++m_rows;
}

void PacketRowWriter::separate()
{
    if (m_field > 0)
        m_out.push_back(',');
    ++m_field;
}

void PacketRowWriter::notEncodable(const QString &what) const
{
    // A value stored in the database, not sent by the caller: the request was fine.
    throw RpcError(RpcCode::UnsendableValue,
                   QStringLiteral("Não foi possível gerar o pacote de dados: linha %1, campo \"%2\": %3. "
                                  "O valor precisa ser corrigido no banco de dados.")
                       .arg(m_rows + 1)
                       .arg(m_defs.at(m_field - 1).name, what));
}

void PacketRowWriter::putNull()
{
    separate();
    m_out.append("null", 4);
}

bool PacketRowWriter::putText(std::string_view utf8)
{
    // A text of at most `size` bytes has at most `size` UTF-16 units: nothing to cut.
    if (utf8.size() > std::size_t(nextField().size) || !simdjson::validate_utf8(utf8.data(), utf8.size()))
        return false;
    separate();
    JsonWriter::appendString(m_out, utf8);
    return true;
}

void PacketRowWriter::putText(const QString &text)
{
    const QByteArray utf8 = ItemRowReader::fittedUtf8(text, nextField().size);
    separate();
    JsonWriter::appendString(m_out, std::string_view(utf8.constData(), std::size_t(utf8.size())));
}

void PacketRowWriter::putNumber(double value)
{
    separate();
    if (!std::isfinite(value))
        notEncodable(QStringLiteral("o valor %1 não pode ser representado em JSON")
                         .arg(std::isnan(value) ? QStringLiteral("NaN")
                              : value > 0       ? QStringLiteral("+Inf")
                                                : QStringLiteral("-Inf")));
    JsonWriter::appendNumber(m_out, value);
}

void PacketRowWriter::putDateText(std::string_view text)
{
    std::int64_t ms = 0;
    if (!CivilDate::parseIso<CivilDate::IsoForm::Database>(text, ms)) {
        putNull();
        return;
    }
    putDateMs(ms);
}

void PacketRowWriter::putDateMs(std::int64_t ms)
{
    separate();
    char buffer[24];
    if (!CivilDate::formatIso(ms, buffer))
        notEncodable(QStringLiteral("data fora do intervalo dos anos 1 a 9999"));
    m_out.push_back('"');
    m_out.append(buffer, 23);
    m_out.push_back('"');
}
