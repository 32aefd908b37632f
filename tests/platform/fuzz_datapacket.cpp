// libFuzzer target for the packet decoder: any input either decodes or throws
// PacketError, and whatever decodes encodes again to a packet that decodes to the
// same bytes. Read as it arrives (PacketStream, in pieces whose size the input's
// first byte picks), the same input is accepted or refused alike, with the same rows.

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "platform/data/DataPacket.h"
#include "platform/data/FasError.h"
#include "platform/data/PacketStream.h"

namespace {

// The streamed reading of `input`: true with its rows' packet, or false when refused.
bool streamed(QByteArrayView input, std::size_t piece, QByteArray &encoded)
{
    try {
        PacketStream stream(1 << 20);
        for (qsizetype at = 0; at < input.size(); at += qsizetype(piece))
            stream.feed(std::string_view(input.data() + at,
                                         std::size_t(std::min<qsizetype>(qsizetype(piece), input.size() - at))));
        encoded = DataPacket::encode(stream.finish());
        return true;
    } catch (const PacketError &) {
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char *>(data), qsizetype(size));
    TRecordStore store;
    QByteArray streamedPacket;
    const bool streamAccepted = streamed(input, size ? 1 + data[0] % 17 : 1, streamedPacket);
    try {
        store = DataPacket::decode(input, 1 << 20);
    } catch (const PacketError &) {
        if (streamAccepted)
            std::abort();
        return 0;
    }
    const QByteArray encoded = DataPacket::encode(store); // a decoded store is always encodable
    if (!streamAccepted || streamedPacket != encoded)
        std::abort();
    if (DataPacket::encode(DataPacket::decode(encoded)) != encoded)
        std::abort();
    return 0;
}
