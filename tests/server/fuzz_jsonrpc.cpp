// libFuzzer target for the JSON-RPC front: any bytes get either no answer
// (notifications only) or an answer that is valid JSON; nothing crashes.
// Methods here stand in for the billing service and exercise the parameter
// accessors, GetFaturamento's argument readers, the packet decoder and the
// failure paths.
//   cmake -DFAS_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ ...; bin/fuzz_jsonrpc -max_total_time=60

#include <cstdint>
#include <stdexcept>

#include <simdjson.h>

#include "DataPacket.h"
#include "JsonRpcFront.h"
#include "PreviewFilter.h"
#include "RpcError.h"

namespace {

JsonRpcFront makeFront()
{
    JsonRpcFront front;
    front.addMethod("Eco", [](const RpcParams &params) {
        JsonRpcFront::Result result;
        for (int i = 0; i < params.size(); ++i) {
            if (params.at(i).kind == RpcParams::Kind::Object) {
                const std::string &json = params.object(i, QStringLiteral("lote"));
                const TRecordStore store = DataPacket::decode(QByteArrayView(json.data(), qsizetype(json.size())));
                DataPacket::encodeTo(store, result.json);
                result.rows = store.rowCount();
                return result;
            }
            params.text(i, QStringLiteral("texto"));
        }
        result.json = "null";
        return result;
    });
    front.addMethod("GetFaturamento", [](const RpcParams &params) {
        PreviewFilter::fromParams(params);
        return JsonRpcFront::Result{"null", 0, {}};
    });
    front.addMethod("Recusa", [](const RpcParams &) -> JsonRpcFront::Result {
        throw RpcError(RpcCode::ItemNotFound, QStringLiteral("Item \"não\" existe\n"));
    });
    front.addMethod("Falha", [](const RpcParams &) -> JsonRpcFront::Result { throw std::runtime_error("interno"); });
    return front;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const JsonRpcFront front = makeFront();
    const JsonRpcFront::Reply reply = front.handle(std::string_view(reinterpret_cast<const char *>(data), size));
    if (!reply.body.empty()) {
        simdjson::dom::parser parser;
        simdjson::dom::element answer;
        if (parser.parse(reply.body).get(answer) != simdjson::SUCCESS)
            __builtin_trap();
    }
    return 0;
}
