#include "server/billing/PreviewFilter.h"

#include <simdjson.h>

#include "platform/data/CivilDate.h"
#include "server/rpc/RpcError.h"

namespace {

[[noreturn]] void invalid(const QString &message)
{
    throw RpcError(RpcCode::InvalidParams, message);
}

// The client flag for "all": "T" for all, "" to use the list.
bool parseAllFlag(const QString &text, const QString &name)
{
    if (text == QLatin1String("T"))
        return true;
    if (text.isEmpty())
        return false;
    invalid(QStringLiteral("%1 inválido: \"%2\". Use \"T\" para todos ou \"\" para usar a lista.").arg(name, text));
}

} // namespace

QDate PreviewFilter::parseDate(const QString &text, const QString &name)
{
    // Only the date part counts; a time, when sent, must still be well formed.
    std::int64_t ms = 0;
    if (CivilDate::parseIso<CivilDate::IsoForm::Request>(QStringView(text).trimmed(), ms))
        return CivilDate::dateOf(ms);
    invalid(
        QStringLiteral("%1 inválida: \"%2\". Use o formato aaaa-mm-dd ou aaaa-mm-ddThh:mm:ss.zzz.").arg(name, text));
}

QStringList PreviewFilter::parseTokens(const QString &text, const QString &allowed, const QString &name)
{
    if (text.isEmpty())
        invalid(QStringLiteral("%1: nenhum código informado.").arg(name));
    QStringList codes;
    if (text.size() % 3 != 0)
        invalid(QStringLiteral("%1: \"%2\" não é uma sequência de códigos entre sublinhados, como \"_%3_\".")
                    .arg(name, text, allowed.left(1)));
    for (qsizetype at = 0; at < text.size(); at += 3) {
        const QStringView token = QStringView(text).mid(at, 3);
        if (token[0] != u'_' || token[2] != u'_' || !allowed.contains(token[1])) {
            QStringList accepted;
            for (QChar c : allowed)
                accepted.append(u'_' + QString(c) + u'_');
            invalid(QStringLiteral("%1: código \"%2\" desconhecido. Os códigos aceitos são %3.")
                        .arg(name, token.toString(), accepted.join(QStringLiteral(", "))));
        }
        if (!codes.contains(token[1]))
            codes.append(QString(token[1]));
    }
    return codes;
}

QStringList PreviewFilter::parseList(const QString &text, const QString &name)
{
    if (text.isEmpty())
        return {};
    thread_local simdjson::dom::parser parser;
    const QByteArray utf8 = text.toUtf8();
    simdjson::dom::array array;
    if (parser.parse(utf8.constData(), std::size_t(utf8.size())).get_array().get(array) != simdjson::SUCCESS)
        invalid(QStringLiteral("%1 inválida: esperado um texto com uma lista JSON de códigos, "
                               "por exemplo [\"01\",\"02\"].")
                    .arg(name));
    QStringList list;
    for (simdjson::dom::element element : array) {
        std::string_view code;
        if (element.get_string().get(code) != simdjson::SUCCESS)
            invalid(QStringLiteral("%1 inválida: o elemento %2 não é um texto.").arg(name).arg(list.size() + 1));
        if (code.find('\0') != std::string_view::npos)
            invalid(QStringLiteral("%1 inválida: o elemento %2 contém o caractere NUL (\\u0000), que nenhum código "
                                   "tem.")
                        .arg(name)
                        .arg(list.size() + 1));
        list.append(QString::fromUtf8(code.data(), qsizetype(code.size())));
    }
    return list;
}

PreviewFilter PreviewFilter::fromParams(const RpcParams &params)
{
    params.expectCount(QStringLiteral("GetFaturamento"), 9,
                       QStringLiteral("dtIni, dtFin, stTipoServ, clientes, todos os clientes, empresas, "
                                      "todas as empresas, stSituacao, stSitNF"));
    PreviewFilter filter;
    const QDate start = parseDate(params.text(0, QStringLiteral("data inicial")), QStringLiteral("Data inicial"));
    const QDate end = parseDate(params.text(1, QStringLiteral("data final")), QStringLiteral("Data final"));
    if (start > end)
        invalid(QStringLiteral("Data inicial deve ser menor ou igual à data final."));
    filter.firstMonth = QDate(start.year(), start.month(), 1);
    filter.endMonth = QDate(end.year(), end.month(), 1).addMonths(1);

    filter.serviceTypes = parseTokens(params.text(2, QStringLiteral("tipos de serviço")), QStringLiteral("1234567"),
                                      QStringLiteral("Tipo de serviço"));

    const QStringList clients = parseList(params.text(3, QStringLiteral("lista de clientes")),
                                          QStringLiteral("Lista de clientes"));
    filter.allClients = parseAllFlag(params.text(4, QStringLiteral("todos os clientes")),
                                     QStringLiteral("Indicador de todos os clientes"));
    const QStringList companies = parseList(params.text(5, QStringLiteral("lista de empresas")),
                                            QStringLiteral("Lista de empresas"));
    filter.allCompanies = parseAllFlag(params.text(6, QStringLiteral("todas as empresas")),
                                       QStringLiteral("Indicador de todas as empresas"));
    if (!filter.allClients) {
        if (clients.isEmpty())
            invalid(QStringLiteral("Cliente deve ser informado: envie a lista de clientes ou \"T\" para todos."));
        filter.clients = clients;
    }
    if (!filter.allCompanies) {
        if (companies.isEmpty())
            invalid(QStringLiteral("Empresa deve ser informada: envie a lista de empresas ou \"T\" para todas."));
        filter.companies = companies;
    }

    const QString situation = params.text(7, QStringLiteral("situações"));
    if (situation != QLatin1String("T")) {
        filter.allSituations = false;
        filter.situations = parseTokens(situation, QStringLiteral("PRCN"), QStringLiteral("Situação"));
        // A blank status counts as pending.
        if (filter.situations.contains(QStringLiteral("P")))
            filter.situations.append(QString());
    }
    const QString noteState = params.text(8, QStringLiteral("situação da nota"));
    if (noteState != QLatin1String("T")) {
        const QStringList states = parseTokens(noteState, QStringLiteral("EN"),
                                               QStringLiteral("Situação da Nota Fiscal/Invoice"));
        filter.issuedWanted = states.contains(QStringLiteral("E"));
        filter.notIssuedWanted = states.contains(QStringLiteral("N"));
    }
    return filter;
}
