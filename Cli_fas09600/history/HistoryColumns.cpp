#include "Cli_fas09600/history/HistoryColumns.h"

#include <QHash>

#include "billing/HistoryLayout.h"
#include "platform/data/TClientDataSet.h"
#include "platform/ui/TColumn.h"
#include "platform/ui/TDBGrid.h"

namespace HistoryColumns {
namespace {

TColumn column(const char *field, int width)
{
    TColumn c;
    c.FieldName = QString::fromLatin1(field);
    c.Width = width;
    return c;
}

void showText(TClientDataSet &dataSet, const char *field, QString (*text)(const QString &))
{
    dataSet.FieldByName(QString::fromLatin1(field))->SetOnGetText([text](const TField &f, bool displayText) {
        return displayText ? text(f.AsString()) : f.AsString();
    });
}

// What the clerk reads for a refusal's code; the server's own message was shown
// to whoever made the run.
QString refusalText(int code)
{
    static const QHash<int, QString> texts{
        {-32000, QStringLiteral("falha no servidor")},
        {-32002, QStringLiteral("banco de dados indisponível")},
        {-32008, QStringLiteral("usuário sem permissão")},
        {-32010, QStringLiteral("item inexistente")},
        {-32011, QStringLiteral("item já faturado")},
        {-32012, QStringLiteral("apuração cancelada")},
        {-32013, QStringLiteral("item não pendente")},
        {-32014, QStringLiteral("nacionalidade do cliente")},
        {-32015, QStringLiteral("geração ou lançamento inexistente")},
        {-32016, QStringLiteral("já estornado")},
        {-32020, QStringLiteral("banco de dados ocupado")},
    };
    return texts.value(code);
}

} // namespace

QString RunKind(const QString &method)
{
    static const QHash<QString, QString> kinds{
        {QStringLiteral("GeraNF"), QStringLiteral("NF")},
        {QStringLiteral("GeraInvoice"), QStringLiteral("Invoice")},
        {QStringLiteral("EstornaGeracao"), QStringLiteral("Estorno de geração")},
        {QStringLiteral("EstornaLancamento"), QStringLiteral("Estorno de lançamento")},
    };
    return kinds.value(method, method);
}

QString Outcome(const TField &errorCode)
{
    if (errorCode.IsNull())
        return QStringLiteral("Ok");
    const int code = int(errorCode.AsFloat());
    const QString why = refusalText(code);
    return why.isEmpty() ? QStringLiteral("Recusada (%1)").arg(code)
                         : QStringLiteral("Recusada (%1): %2").arg(code).arg(why);
}

QString EntryKind(const QString &code)
{
    if (code == QLatin1String("N"))
        return QStringLiteral("NF");
    return code == QLatin1String("I") ? QStringLiteral("Invoice") : code;
}

QString EntryState(const QString &code)
{
    if (code == QLatin1String("A"))
        return QStringLiteral("Ativo");
    return code == QLatin1String("E") ? QStringLiteral("Estornado") : code;
}

void SetUpRuns(TClientDataSet &runs, TDBGrid &grid)
{
    runs.SetFieldDefs(HistoryLayout::runs());
    showText(runs, "NMMETODO", &RunKind);
    runs.FieldByName(QStringLiteral("CDERRO"))->SetOnGetText([](const TField &f, bool displayText) {
        return displayText ? Outcome(f) : f.AsString();
    });
    grid.SetColumns({column("IDGERACAO", 60), column("DTINICIO", 135), column("NMUSUARIO", 90), column("NMMETODO", 130),
                     column("CDEMPRESA", 55), column("QTLANCAMENTOS", 85), column("QTITENS", 45), column("VRTOTAL", 90),
                     column("CDERRO", 220)});
    grid.SetEmptyText(QStringLiteral("Nenhuma geração neste período."));
}

void SetUpEntries(TClientDataSet &entries, TDBGrid &grid)
{
    entries.SetFieldDefs(HistoryLayout::entries());
    showText(entries, "IDTPLANCFAT", &EntryKind);
    showText(entries, "IDSITUACAO", &EntryState);
    grid.SetColumns({column("NRLANCFAT", 85), column("IDTPLANCFAT", 55), column("CDEMPRESA", 55),
                     column("CDFILIAL", 45), column("CDCLIENTE", 110), column("QTITEMLANCFAT", 45),
                     column("VRTOTLANCFAT", 90), column("IDSITUACAO", 70), column("NMUSUESTORNO", 90),
                     column("DTESTORNO", 135), column("DSMOTIVOESTORNO", 220)});
    grid.SetEmptyText(QStringLiteral("Nenhum lançamento nesta geração."));
}

} // namespace HistoryColumns
