// libFuzzer target for the JSON-RPC front: any bytes get either no answer
// (notifications only) or an answer that is valid JSON; nothing crashes.
// Methods here stand in for the billing service and exercise the parameter
// accessors, GetFaturamento's argument readers, the packet decoder and the
// failure paths.
//   cmake -DFAS_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ ...; bin/fuzz_jsonrpc -max_total_time=60

#include <cstdint>
#include <stdexcept>

#include <simdjson.h>

#include "platform/data/DataPacket.h"
#include "server/billing/PreviewFilter.h"
#include "server/rpc/JsonRpcFront.h"
#include "server/rpc/MethodRegistry.h"
#include "server/rpc/RpcError.h"

namespace {

MethodRegistry makeMethods()
{
    MethodRegistry methods;
    methods.add("Eco", AccessRight::Anyone, [](const RpcParams &params, const RequestContext &) {
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
    methods.add("GetFaturamento", AccessRight::Consulta, [](const RpcParams &params, const RequestContext &) {
        PreviewFilter::fromParams(params);
        return JsonRpcFront::Result{"null", 0, {}};
    });
    methods.add("Recusa", AccessRight::Anyone, [](const RpcParams &, const RequestContext &) -> JsonRpcFront::Result {
        throw RpcError(RpcCode::ItemNotFound, QStringLiteral("Item \"não\" existe\n"));
    });
    methods.add("Falha", AccessRight::Anyone, [](const RpcParams &, const RequestContext &) -> JsonRpcFront::Result {
        throw std::runtime_error("interno");
    });
    return methods;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const MethodRegistry methods = makeMethods();
    static const JsonRpcFront front(methods);
    const RequestContext context;
    const JsonRpcFront::Reply reply = front.handle(context,
                                                   std::string_view(reinterpret_cast<const char *>(data), size));
    if (!reply.body.empty()) {
        simdjson::dom::parser parser;
        simdjson::dom::element answer;
        if (parser.parse(reply.body).get(answer) != simdjson::SUCCESS)
            __builtin_trap();
    }
    return 0;
}
