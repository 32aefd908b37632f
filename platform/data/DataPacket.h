#pragma once

#include <string>
#include <string_view>

#include <QByteArray>
#include <QByteArrayView>

#include "platform/data/TRecordStore.h"
#include "fasdata_export.h"

class TJsonDocument;
namespace simdjson::dom {
class element;
}

// The value that carries a dataset between the module and the application server:
// {"fields":[{"name":"CDEMPRESA","type":"string","size":2,"fixed":false}, ...],
//  "rows":[[...], ...]}
// Dates as ISO-8601 text "yyyy-MM-ddThh:mm:ss.zzz", blank as null, numbers as JSON
// numbers written so that they read back bit for bit (a zero as 0, never -0), all
// written with JsonWriter.
namespace DataPacket {

constexpr qsizetype DefaultMaxBytes = qsizetype(512) * 1024 * 1024;

FASDATA_EXPORT QByteArray encode(const TRecordStore &store);
// Appends the packet to `out` (for writers that build a larger document around it).
FASDATA_EXPORT void encodeTo(const TRecordStore &store, std::string &out);

// Reads a whole packet. Throws PacketError naming what is wrong and where (field,
// row, column) for bad JSON, a missing or unknown key, a wrong type, a row of the
// wrong width, a text longer than its field, or a packet above `maxBytes`.
FASDATA_EXPORT TRecordStore decode(QByteArrayView json, qsizetype maxBytes = DefaultMaxBytes);
// Reads the packet that is member `member` of the root object of a document
// already parsed (a remote call's answer), from the parsed values: the text is
// not read again. The same checks and messages as above.
FASDATA_EXPORT TRecordStore decode(const TJsonDocument &document, std::string_view member,
                                   qsizetype maxBytes = DefaultMaxBytes);
// Reads a packet that is a value of a document the caller parsed (a remote call's
// parameter), from the parsed values, with the checks and messages above. The
// document's text was bounded where it was read.
FASDATA_EXPORT TRecordStore decode(const simdjson::dom::element &packet);

} // namespace DataPacket
