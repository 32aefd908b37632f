#include "outside/services/ServerRefusals.h"

#include <QHash>

namespace ServerRefusals {
namespace {

struct Words
{
    QString outcome; // for the history's "Resultado"
    QString message; // for the clerk at the refusal; empty: the server's own words
};

const QHash<int, Words> &table()
{
    static const QHash<int, Words> words{
        {-32000,
         {QStringLiteral("falha no servidor"),
          QStringLiteral("O servidor de aplicação falhou ao atender o pedido. Atualize a tela para ver o que foi "
                         "gravado antes de repetir; se a falha continuar, avise o suporte.")}},
        {-32001,
         {QStringLiteral("acesso não autorizado"),
          QStringLiteral("O servidor de aplicação não reconheceu o acesso deste computador e nada foi feito. Avise o "
                         "suporte para conferir o token de acesso na configuração.")}},
        // The server's words: only they can tell "nothing was changed" from "the
        // outcome is unknown" (a connection lost while committing).
        {-32002, {QStringLiteral("banco de dados indisponível"), {}}},
        {-32003,
         {QStringLiteral("pedido grande demais"),
          QStringLiteral("O pedido ficou grande demais para o servidor e nada foi feito. Marque menos itens (ou "
                         "restrinja o filtro) e tente novamente.")}},
        {-32008,
         {QStringLiteral("sem permissão"),
          QStringLiteral("Seu usuário não tem permissão para esta operação e nada foi feito. Peça ao administrador "
                         "o direito necessário (o estorno exige o de supervisor).")}},
        {-32009,
         {QStringLiteral("pedido repetido"),
          QStringLiteral("O servidor tomou este pedido por outro já feito e nada foi gerado. Atualize a prévia e "
                         "gere novamente.")}},
        {-32010, {QStringLiteral("item inexistente"), {}}},
        {-32011, {QStringLiteral("item já faturado"), {}}},
        {-32012, {QStringLiteral("apuração cancelada"), {}}},
        {-32013, {QStringLiteral("item não pendente"), {}}},
        {-32014, {QStringLiteral("nacionalidade do cliente"), {}}},
        {-32015, {QStringLiteral("nada a estornar"), {}}},
        {-32017, {QStringLiteral("cadastro fiscal da NFS-e"), {}}},
        {-32016, {QStringLiteral("já estornada"), {}}},
        {-32020, {QStringLiteral("banco de dados ocupado"), {}}},
        {-32602, {QStringLiteral("dados recusados"), {}}},
    };
    return words;
}

} // namespace

QString Outcome(int code)
{
    return table().value(code, {QStringLiteral("recusada pelo servidor"), {}}).outcome;
}

QString Message(const RemoteCallError &error)
{
    const auto known = table().constFind(error.serverCode());
    if (error.reason() == RemoteCallError::Reason::Unauthorized)
        return table().value(-32001).message;
    if (known == table().constEnd())
        return QStringLiteral("O servidor de aplicação recusou o pedido e nada foi alterado. Tente novamente; se "
                              "continuar, avise o suporte.");
    return known->message.isEmpty() ? error.serverWords() : known->message;
}

} // namespace ServerRefusals
