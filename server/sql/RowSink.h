#pragma once

#include <string_view>

#include <QString>

#include "platform/data/TFieldDef.h"

// Where a NativeCursor writes the cells of its current row, one per field of the
// sink's layout, in order. The cursor reads each value as the Qt driver would hand
// it over and leaves its encoding (a packet's JSON text, for instance) to the sink.
class RowSink
{
public:
    virtual ~RowSink() = default;

    virtual void beginRow() = 0;
    virtual void endRow() = 0;

    // The type of the field the next cell goes to.
    virtual TFieldType nextFieldType() const = 0;

    virtual void putNull() = 0;
    // UTF-8 from the database: false, with nothing written, when the sink cannot take
    // it as it stands; the cursor then converts the value as the Qt driver would and
    // calls the QString overload.
    virtual bool putText(std::string_view utf8) = 0;
    virtual void putText(const QString &text) = 0;
    virtual void putNumber(double value) = 0;
    // A date as the database prints it.
    virtual void putDateText(std::string_view text) = 0;

protected:
    RowSink() = default;
    RowSink(const RowSink &) = default;
    RowSink &operator=(const RowSink &) = default;
};
