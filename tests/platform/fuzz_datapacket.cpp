// libFuzzer target for the packet decoder: any input either decodes or throws
// PacketError, and whatever decodes encodes again to a packet that decodes to the
// same bytes.

#include <cstdint>
#include <cstdlib>

#include "DataPacket.h"
#include "FasError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char *>(data), qsizetype(size));
    TRecordStore store;
    try {
        store = DataPacket::decode(input, 1 << 20);
    } catch (const PacketError &) {
        return 0;
    }
    const QByteArray encoded = DataPacket::encode(store); // a decoded store is always encodable
    if (DataPacket::encode(DataPacket::decode(encoded)) != encoded)
        std::abort();
    return 0;
}
