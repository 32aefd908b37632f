#include "Cli_fas09602/HistoryReversal.h"

#include <QStringList>

#include "Cli_fas09602/HistoryColumns.h"
#include "Cli_fas09602/ReversalDialog.h"
#include "billing/HistoryLayout.h"
#include "outside/services/MessageDialog.h"
#include "platform/data/TClientDataSet.h"

namespace {

QString field(const TClientDataSet &dataSet, const char *name)
{
    return dataSet.FieldByName(QString::fromLatin1(name))->AsString();
}

} // namespace

HistoryReversal::HistoryReversal(const Parts &parts)
    : QObject(parts.screen)
    , m_parts(parts)
{
}

void HistoryReversal::EstornaGeracao()
{
    const TClientDataSet &runs = *m_parts.runs;
    if (!runs.Active() || runs.IsEmpty())
        return;
    const QString run = field(runs, "IDGERACAO");
    const QString question = QStringLiteral(
                                 "Estornar os lançamentos ativos da geração %1 (%2, %3)? Os itens voltam a pendentes.")
                                 .arg(run, HistoryColumns::RunKind(field(runs, "NMMETODO")),
                                      runs.FieldByName(QStringLiteral("DTINICIO"))->DisplayText());
    reverse(question, QStringLiteral("EstornaGeracao"), {RemoteArgument::text(run)});
}

void HistoryReversal::EstornaLancamento()
{
    const TClientDataSet &entries = *m_parts.entries;
    if (!entries.Active() || entries.IsEmpty())
        return;
    const QString company = field(entries, "CDEMPRESA");
    const QString kind = field(entries, "IDTPLANCFAT");
    const QString number = field(entries, "NRLANCFAT");
    const QString question = QStringLiteral("Estornar o lançamento %1 %2 da empresa %3? Os itens voltam a pendentes.")
                                 .arg(HistoryColumns::EntryKind(kind), number, company);
    reverse(question, QStringLiteral("EstornaLancamento"),
            {RemoteArgument::text(company), RemoteArgument::text(kind), RemoteArgument::text(number)});
}

void HistoryReversal::reverse(const QString &question, const QString &method, QList<RemoteArgument> args)
{
    const std::optional<QString> reason = ReversalDialog::Ask(m_parts.screen, question);
    if (!reason)
        return;
    args << RemoteArgument::text(*reason);
    TClientDataSet reversed;
    reversed.SetFieldDefs(HistoryLayout::entries());
    reversed.SetData(m_parts.call(method, args));
    for (reversed.First(); !reversed.Eof(); reversed.Next())
        emit EntryReversed(field(reversed, "CDEMPRESA"), field(reversed, "IDTPLANCFAT"),
                           qint64(reversed.FieldByName(QStringLiteral("NRLANCFAT"))->AsFloat()));
    MessageDialog::information(Summary(reversed));
    m_parts.reload();
}

QString HistoryReversal::Summary(TClientDataSet &rows)
{
    QStringList entries;
    for (rows.First(); !rows.Eof(); rows.Next())
        entries << QStringLiteral("%1 %2 (%3)")
                       .arg(HistoryColumns::EntryKind(field(rows, "IDTPLANCFAT")), field(rows, "NRLANCFAT"),
                            field(rows, "CDEMPRESA"));
    return QStringLiteral("%1 lançamento(s) estornado(s): %2. Os itens voltaram a pendentes.")
        .arg(entries.size())
        .arg(entries.join(QStringLiteral(", ")));
}
