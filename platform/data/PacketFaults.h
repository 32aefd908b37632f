#pragma once

#include <QByteArrayView>

#include <simdjson.h>

namespace DataPacket::detail {

// Throws the PacketError for a text that simdjson's DOM refused with `error`. The
// DOM says only what is wrong; to say where, the text is walked once more, value
// by value, naming the place as the packet's reader does (the field entry, the
// row, the cell) or else the byte. Refused packets are rare and small.
[[noreturn]] void refuse(QByteArrayView json, simdjson::error_code error);

} // namespace DataPacket::detail
