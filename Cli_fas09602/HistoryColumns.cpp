#include "Cli_fas09602/HistoryColumns.h"

#include <QHash>

#include "outside/services/ServerRefusals.h"

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
    return QStringLiteral("Recusada: %1").arg(ServerRefusals::Outcome(int(errorCode.AsFloat())));
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

QString NfseState(const QString &code, const QString &reason)
{
    static const QHash<QString, QString> states{
        {QStringLiteral("P"), QStringLiteral("a enviar")},
        {QStringLiteral("A"), QStringLiteral("autorizada")},
        {QStringLiteral("R"), QStringLiteral("rejeitada")},
        {QStringLiteral("E"), QStringLiteral("cancelamento pedido")},
        {QStringLiteral("C"), QStringLiteral("cancelada")},
    };
    const QString state = states.value(code, code);
    if (code == QLatin1String("R") && !reason.trimmed().isEmpty())
        return QStringLiteral("%1: %2").arg(state, reason.simplified());
    return state;
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
    entries.FieldByName(QStringLiteral("IDSITDPS"))->SetOnGetText([](const TField &f, bool displayText) {
        if (!displayText)
            return f.AsString();
        return NfseState(f.AsString(), f.DataSet()->FieldByName(QStringLiteral("DSRETORNO"))->AsString());
    });
    grid.SetColumns({column("NRLANCFAT", 85), column("IDTPLANCFAT", 55), column("CDEMPRESA", 55),
                     column("CDFILIAL", 45), column("CDCLIENTE", 110), column("QTITEMLANCFAT", 45),
                     column("VRTOTLANCFAT", 90), column("IDSITUACAO", 70), column("NMUSUESTORNO", 90),
                     column("DTESTORNO", 135), column("DSMOTIVOESTORNO", 220), column("IDSITDPS", 200),
                     column("NRCHAVEACESSO", 330)});
    grid.SetEmptyText(QStringLiteral("Nenhum lançamento nesta geração."));
}

} // namespace HistoryColumns
