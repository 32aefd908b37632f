#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <QString>

#include "platform/data/TFieldDef.h"
#include "server/sql/RowSink.h"

// Writes a packet's text row by row straight from database values, without a
// record store in between: the same bytes DataPacket::encodeTo writes for a store
// that ItemRowReader filled from the same values (texts cut to their field's size
// in UTF-16 units, dates as wall-clock ISO text, numbers that read back bit for
// bit). Used by the preview's streamed answer.
class PacketRowWriter final : public RowSink
{
public:
    // `rowsBefore`: rows already written by an earlier writer of the same packet.
    PacketRowWriter(const TFieldDefs &defs, std::string &out, int rowsBefore = 0);

    // {"fields":[...],"rows":[  and  ]}
    void begin();
    void end();

    void beginRow() override;
    void endRow() override;

    // Each cell of a row, in field order. Throw RpcError (UnsendableValue) for a value no packet can
    // carry (a date outside the years 1 to 9999, a number that is not finite).
    void putNull() override;
    // UTF-8 from the database: false, with nothing written, when it is not valid
    // UTF-8 or longer than the field, so the caller converts it as the Qt driver
    // would and calls the QString overload.
    bool putText(std::string_view utf8) override;
    void putText(const QString &text) override;
    void putNumber(double value) override;
    // A date as the database prints it (CivilDate::IsoForm::Database); not such a
    // date: a blank cell.
    void putDateText(std::string_view text) override;
    void putDateMs(std::int64_t ms);

    // The field the next cell goes to.
    const TFieldDef &nextField() const { return m_defs.at(m_field); }
    TFieldType nextFieldType() const override { return nextField().type; }
    int rowsWritten() const { return m_rows; }

private:
    void separate();
    [[noreturn]] void notEncodable(const QString &what) const;

    const TFieldDefs &m_defs;
    std::string &m_out;
    int m_field = 0;
    int m_rows = 0;
};
