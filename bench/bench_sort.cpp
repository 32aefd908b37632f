// Sorting the preview by a column's title on 100,000 rows: the dataset's index
// built and the rows put in its order (TClientDataSet::SetIndexField), by the
// client's name (text, compared as the host's language orders it), by one name
// per row (the worst case for texts: no name repeats), by the total (numbers) and
// by the calculation's date, each from the server's order. Goal: 0.3 s each
// (FAS_BENCH_ROWS=1000000: a million rows, goal 1 s each).
//
// Run: bench_sort [--benchmark_filter=...]

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include "bench/BenchPreviewRows.h"
#include "billing/BillingItemLayout.h"
#include "platform/data/TClientDataSet.h"

namespace {

const int Rows = BenchPreviewRows::rowsToRun(100'000);

void sortBy(benchmark::State &state, const char *field, BenchPreviewRows::Shape shape)
{
    TClientDataSet rows;
    rows.SetFieldDefs(BillingItemLayout::faturamento());
    rows.SetData(BenchPreviewRows::previewPacket(Rows, shape));
    bool descending = false;
    for (auto _ : state) {
        rows.SetIndexField(QString::fromLatin1(field), descending);
        descending = !descending; // each round reorders every row
        benchmark::DoNotOptimize(rows.Store().rowCount());
    }
    state.counters["rows"] = Rows;
    state.SetLabel("goal: <= 0.3 s per sort");
}

void BM_SortClients(benchmark::State &state)
{
    sortBy(state, "NMFANTCLIE", {5000, true});
}

void BM_SortUniqueNames(benchmark::State &state)
{
    sortBy(state, "NMFANTCLIE", {0, true});
}

void BM_SortTotals(benchmark::State &state)
{
    sortBy(state, "VRTOTAFATFAS", {5000, true});
}

void BM_SortDates(benchmark::State &state)
{
    sortBy(state, "DTAPURFATFAS", {5000, true});
}

} // namespace

BENCHMARK(BM_SortClients)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortUniqueNames)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortTotals)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortDates)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
