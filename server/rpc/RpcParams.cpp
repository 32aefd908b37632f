#include "server/rpc/RpcParams.h"

#include "server/rpc/RpcError.h"

void RpcParams::expectCount(const QString &method, int count, const QString &signature) const
{
    if (size() != count)
        throw RpcError(RpcCode::InvalidParams, QStringLiteral("%1 espera %2 parâmetro(s) (%3), mas recebeu %4.")
                                                   .arg(method)
                                                   .arg(count)
                                                   .arg(signature)
                                                   .arg(size()));
}

QString RpcParams::text(int index, const QString &name) const
{
    if (index >= size())
        throw RpcError(RpcCode::InvalidParams, QStringLiteral("Falta o parâmetro %1 (%2).").arg(index + 1).arg(name));
    const Value &value = at(index);
    if (value.kind != Kind::String)
        throw RpcError(RpcCode::InvalidParams,
                       QStringLiteral("O parâmetro %1 (%2) deve ser um texto.").arg(index + 1).arg(name));
    return value.text;
}

const RpcParams::Value &RpcParams::objectValue(int index, const QString &name) const
{
    if (index >= size())
        throw RpcError(RpcCode::InvalidParams, QStringLiteral("Falta o parâmetro %1 (%2).").arg(index + 1).arg(name));
    const Value &value = at(index);
    if (value.kind != Kind::Object)
        throw RpcError(RpcCode::InvalidParams,
                       QStringLiteral("O parâmetro %1 (%2) deve ser um objeto JSON.").arg(index + 1).arg(name));
    return value;
}

const std::string &RpcParams::jsonText(const Value &value)
{
    if (value.json.empty() && value.element)
        value.json = simdjson::to_string(*value.element);
    return value.json;
}

namespace {

namespace ondemand = simdjson::ondemand;

// The text of member "params" of a call, its first if it has several (as the
// parsed values hold it); empty when it has none.
std::string_view paramsOf(ondemand::object call)
{
    for (auto field : call) {
        std::string_view key;
        if (field.unescaped_key().get(key) != simdjson::SUCCESS)
            return {};
        if (key != "params")
            continue;
        ondemand::array list;
        std::string_view text;
        if (field.value().get_array().get(list) != simdjson::SUCCESS || list.raw_json().get(text) != simdjson::SUCCESS)
            return {};
        return text;
    }
    return {};
}

std::string_view paramsOf(ondemand::document &request, int place)
{
    ondemand::object call;
    if (place < 0)
        return request.get_object().get(call) == simdjson::SUCCESS ? paramsOf(call) : std::string_view();
    ondemand::array calls;
    if (request.get_array().get(calls) != simdjson::SUCCESS)
        return {};
    int index = 0;
    for (auto element : calls) {
        if (index++ == place)
            return element.get_object().get(call) == simdjson::SUCCESS ? paramsOf(call) : std::string_view();
    }
    return {};
}

} // namespace

std::string RpcParams::sentText() const
{
    if (m_source.request.empty())
        return {};
    const simdjson::padded_string request(m_source.request);
    ondemand::parser parser;
    ondemand::document document;
    if (parser.iterate(request).get(document) != simdjson::SUCCESS)
        return {};
    const std::string_view sent = paramsOf(document, m_source.place);
    std::string out(sent.size() + simdjson::SIMDJSON_PADDING, '\0');
    std::size_t length = 0;
    if (simdjson::minify(sent.data(), sent.size(), out.data(), length) != simdjson::SUCCESS)
        return std::string(sent); // read by the parser already: cannot fail
    out.resize(length);
    return out;
}
