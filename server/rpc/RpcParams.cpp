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
