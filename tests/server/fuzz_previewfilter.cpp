// libFuzzer target for GetFaturamento's argument readers (PreviewFilter, RpcParams).
// The input is split at NUL bytes into the call's positional parameters; a
// parameter that starts with byte 0x01 is sent as a JSON null instead of a text.
// Every input either is refused with RpcError(InvalidParams) and a message, or
// gives a filter that holds together: valid first and end months in order, only
// known codes, a list wherever "all" was not asked for. Each text is also fed to
// the single readers, whose results must read back to themselves.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include <QJsonArray>
#include <QJsonDocument>

#include "server/billing/PreviewFilter.h"
#include "server/rpc/RpcError.h"

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// Runs `read`; a refusal must be RpcError(InvalidParams) with a message. Returns
// whether `read` succeeded.
template<typename Read>
bool readOrRefuse(Read read)
{
    try {
        read();
        return true;
    } catch (const RpcError &error) {
        check(error.code() == RpcCode::InvalidParams && !error.message().isEmpty());
        return false;
    }
}

RpcParams paramsFrom(std::string_view input)
{
    std::vector<RpcParams::Value> values;
    while (true) {
        const size_t end = input.find('\0');
        const std::string_view part = input.substr(0, end);
        RpcParams::Value value;
        if (!part.empty() && part.front() == '\x01') {
            value.kind = RpcParams::Kind::Null;
            value.json = "null";
        } else {
            value.kind = RpcParams::Kind::String;
            value.text = QString::fromUtf8(part.data(), qsizetype(part.size()));
        }
        values.push_back(std::move(value));
        if (end == std::string_view::npos)
            break;
        input.remove_prefix(end + 1);
    }
    return RpcParams(std::move(values));
}

void checkFilter(const PreviewFilter &filter)
{
    check(filter.firstMonth.isValid() && filter.firstMonth.day() == 1);
    check(filter.endMonth.isValid() && filter.endMonth.day() == 1 && filter.firstMonth < filter.endMonth);
    check(!filter.serviceTypes.isEmpty());
    for (const QString &type : filter.serviceTypes)
        check(type.size() == 1 && QStringLiteral("1234567").contains(type));
    check(filter.allClients == filter.clients.isEmpty());
    check(filter.allCompanies == filter.companies.isEmpty());
    check(filter.allSituations == filter.situations.isEmpty());
    for (const QString &situation : filter.situations)
        check(situation.isEmpty() || (situation.size() == 1 && QStringLiteral("PRCN").contains(situation)));
    check(filter.issuedWanted || filter.notIssuedWanted);
}

void checkSingleReaders(const QString &text)
{
    const QString name = QStringLiteral("Campo");
    QDate date;
    if (readOrRefuse([&] { date = PreviewFilter::parseDate(text, name); })) {
        check(date.isValid());
        check(PreviewFilter::parseDate(date.toString(QStringLiteral("yyyy-MM-dd")), name) == date);
    }
    QStringList codes;
    if (readOrRefuse([&] { codes = PreviewFilter::parseTokens(text, QStringLiteral("PRCN"), name); })) {
        QString again;
        for (const QString &code : codes) {
            check(code.size() == 1 && QStringLiteral("PRCN").contains(code));
            again += u'_' + code + u'_';
        }
        check(!codes.isEmpty() && PreviewFilter::parseTokens(again, QStringLiteral("PRCN"), name) == codes);
    }
    QStringList list;
    if (readOrRefuse([&] { list = PreviewFilter::parseList(text, name); })) {
        const QByteArray json = QJsonDocument(QJsonArray::fromStringList(list)).toJson(QJsonDocument::Compact);
        check(PreviewFilter::parseList(QString::fromUtf8(json), name) == list);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const RpcParams params = paramsFrom(std::string_view(reinterpret_cast<const char *>(data), size));
    PreviewFilter filter;
    if (readOrRefuse([&] { filter = PreviewFilter::fromParams(params); }))
        checkFilter(filter);
    for (int i = 0; i < params.size(); ++i) {
        if (params.at(i).kind == RpcParams::Kind::String)
            checkSingleReaders(params.at(i).text);
    }
    return 0;
}
