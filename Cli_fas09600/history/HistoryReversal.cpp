#include "Cli_fas09600/history/HistoryReversal.h"

#include <QAbstractButton>
#include <QAction>
#include <QStringList>

#include "Cli_fas09600/history/HistoryColumns.h"
#include "Cli_fas09600/history/ReversalDialog.h"
#include "Cli_fas09600/history/TfrmHistorico.h"
#include "billing/HistoryLayout.h"
#include "outside/controls/TButtonFlat.h"
#include "outside/services/MessageDialog.h"
#include "platform/data/TClientDataSet.h"
#include "platform/ui/EventGuard.h"

namespace {

QString field(const TClientDataSet &dataSet, const char *name)
{
    return dataSet.FieldByName(QString::fromLatin1(name))->AsString();
}

} // namespace

HistoryReversal::HistoryReversal(TfrmHistorico *screen)
    : QObject(screen)
    , m_screen(screen)
{
    const auto run = EventGuard::wrap([this](auto &&...) { EstornaGeracao(); });
    const auto entry = EventGuard::wrap([this](auto &&...) { EstornaLancamento(); });
    connect(screen->sbtEstornarGeracao, &QAbstractButton::clicked, this, run);
    connect(screen->mnuEstornarGeracao, &QAction::triggered, this, run);
    connect(screen->sbtEstornarLancamento, &QAbstractButton::clicked, this, entry);
    connect(screen->mnuEstornarLancamento, &QAction::triggered, this, entry);
}

void HistoryReversal::EstornaGeracao()
{
    const TClientDataSet &runs = *m_screen->cdsGeracoes;
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
    const TClientDataSet &entries = *m_screen->cdsLancamentos;
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
    const std::optional<QString> reason = ReversalDialog::Ask(m_screen, question);
    if (!reason)
        return;
    args << RemoteArgument::text(*reason);
    TClientDataSet reversed;
    reversed.SetFieldDefs(HistoryLayout::entries());
    reversed.SetData(m_screen->Chama(method, args));
    for (reversed.First(); !reversed.Eof(); reversed.Next())
        emit EntryReversed(field(reversed, "CDEMPRESA"), field(reversed, "IDTPLANCFAT"),
                           qint64(reversed.FieldByName(QStringLiteral("NRLANCFAT"))->AsFloat()));
    MessageDialog::information(Summary(reversed));
    m_screen->Pesquisar();
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
