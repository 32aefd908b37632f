// The preview screen's passes over 100,000 rows, on the offscreen platform:
//   - MarkAllPass: one title click on the tick column (the pass ticking or
//     unticking every pending row, the totals, the situation text); goal < 300 ms;
//   - GenerationWalk: "Gerar Nota Fiscal / Invoice" with 10 rows ticked, up to the
//     first remote call: the walk over every row with its nationality queries and
//     the batches; the connection is left closed, so the run stops at its first
//     call, right after the walk; goal <= 0.2 s.
// Run through bench_screen.sh, which repeats each and prints min, median and goal.

#include <memory>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "bench/BenchPreviewRows.h"
#include "Cli_fas09600/Cli_fas09600.h"
#include "platform/data/FasError.h"
#include "platform/data/TClientDataSet.h"
#include "outside/controls/TButtonFlat.h"
#include "platform/ui/TDBGrid.h"
#include "outside/data/TdtmDBGeral.h"
#include "Cli_fas09600/TfrmFaturamento.h"

namespace {

constexpr int Rows = 100'000;
constexpr int Clients = 5'000;

QString clientCode(int client)
{
    return QStringLiteral("C%1").arg(client);
}

// The host database with the clients' addresses: every other client domestic.
void createAddresses(const QString &file)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("setup"));
        db.setDatabaseName(file);
        db.open();
        QSqlQuery query(db);
        query.exec(
            QStringLiteral("CREATE TABLE ENDECLIE (CDCLIENTE VARCHAR(21), CDPAIS VARCHAR(4), IDTPENDECLIE CHAR(1))"));
        query.exec(QStringLiteral("CREATE INDEX ENDECLIE_CLIENTE ON ENDECLIE (CDCLIENTE)"));
        db.transaction();
        query.prepare(QStringLiteral("INSERT INTO ENDECLIE VALUES (?, ?, 'P')"));
        for (int client = 0; client < Clients; ++client) {
            query.addBindValue(clientCode(client));
            query.addBindValue(client % 2 ? QStringLiteral("0055") : QStringLiteral("0001"));
            query.exec();
        }
        db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("setup"));
    TdtmDBGeral::Instance()->Open(file);
}

struct Preview
{
    Preview()
    {
        createAddresses(directory.filePath(QStringLiteral("host.sqlite")));
        screen = std::make_unique<TfrmFaturamento>();
        screen->resize(900, 600);
        screen->show();
        screen->cdsFaturamento->SetData(BenchPreviewRows::previewPacket(Rows, {Clients, false}));
        QCoreApplication::processEvents();
    }

    QTemporaryDir directory;
    TdtmDBGeral dataModule;
    std::unique_ptr<TfrmFaturamento> screen;
};

std::unique_ptr<Preview> g_preview;

Preview &preview()
{
    if (!g_preview)
        g_preview = std::make_unique<Preview>();
    return *g_preview;
}

void BM_MarkAllPass(benchmark::State &state)
{
    TfrmFaturamento *screen = preview().screen.get();
    const TColumn tick = screen->dbgPadrao->Columns().first();
    for (auto _ : state)
        screen->dbgPadraoTitleClick(tick);
}

void BM_GenerationWalk(benchmark::State &state)
{
    TfrmFaturamento *screen = preview().screen.get();
    TClientDataSet *rows = screen->cdsFaturamento;
    if (Cli_fas09600::boTodosServ) // leave every row unticked
        screen->dbgPadraoTitleClick(screen->dbgPadrao->Columns().first());
    // Ten pending rows ticked, spread over the preview.
    TField *tick = rows->FieldByName(QStringLiteral("IDCHECK"));
    TField *status = rows->FieldByName(QStringLiteral("IDSTAPFATFAS"));
    int ticked = 0;
    for (int recNo = 1; ticked < 10 && recNo <= Rows; recNo += Rows / 40) {
        rows->SetRecNo(recNo);
        if (status->AsString() != QLatin1String("P"))
            continue;
        rows->Edit();
        tick->SetAsString(QStringLiteral("S"));
        rows->Post();
        ++ticked;
    }
    for (auto _ : state) {
        try {
            screen->sbtGerarNFClick(screen->sbtGerarNF);
            state.SkipWithError("the run reached the server");
            break;
        } catch (const FasError &) {
            // Stopped at its first remote call: the connection is closed.
        }
    }
}

} // namespace

BENCHMARK(BM_MarkAllPass)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_GenerationWalk)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication app(argc, argv);
    Cli_fas09600::initialization();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_preview.reset();
    return 0;
}
