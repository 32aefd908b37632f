// Sorting the preview by a column's title on 100,000 rows: the dataset's index
// built and the rows put in its order (TClientDataSet::SetIndexField), by the
// client's name (text, compared as the host's language orders it), by one name
// per row (the worst case for texts: no name repeats), by the total (numbers) and
// by the calculation's date, each from the server's order. Goal: 0.3 s each
// (FAS_BENCH_ROWS=1000000: a million rows, goal 1 s each).
//
// Run: bench_sort [--benchmark_filter=...]
//
// bench_sort --pairs [N]: the two text sorts of a million rows (FAS_BENCH_ROWS
// to change) against their floor, alternately in one run, N pairs (5 by
// default): the same collation keys of the distinct names made once, a stable
// sort of row numbers by them, and nothing else. Prints min and median of the
// ratio ours/floor, the machine's load and the goal.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <cstdio>
#include <numeric>
#include <string_view>
#include <unordered_map>

#include <QCollator>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include "bench/BenchPreviewRows.h"
#include "billing/BillingItemLayout.h"
#include "platform/data/TRecordStore.h"
#include "platform/data/FormatSettings.h"
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

// The floor of a text sort: each distinct text's collation key made once, the
// distinct texts ranked by their keys, the row numbers stably sorted by rank.
std::vector<int> floorSort(const TRecordStore &store, int field, bool descending)
{
    const int rows = store.rowCount();
    std::unordered_map<std::string_view, int> distinctOf;
    std::vector<std::string_view> distinct;
    std::vector<int> rank(std::size_t(rows), -1);
    for (int row = 0; row < rows; ++row) {
        if (store.isNull(row, field))
            continue;
        const auto [at, added] = distinctOf.try_emplace(store.text(row, field), int(distinct.size()));
        if (added)
            distinct.push_back(at->first);
        rank[std::size_t(row)] = at->second;
    }
    QCollator collator(FormatSettings::locale());
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    std::vector<QCollatorSortKey> keys;
    keys.reserve(distinct.size());
    for (const std::string_view text : distinct)
        keys.push_back(collator.sortKey(QString::fromUtf8(text.data(), qsizetype(text.size()))));
    std::vector<int> byKey(distinct.size());
    std::iota(byKey.begin(), byKey.end(), 0);
    std::stable_sort(byKey.begin(), byKey.end(), [&](int a, int b) { return keys[a].compare(keys[b]) < 0; });
    std::vector<int> rankOf(distinct.size());
    for (std::size_t r = 0; r < byKey.size(); ++r)
        rankOf[std::size_t(byKey[r])] = int(r);
    for (int &r : rank)
        r = r < 0 ? -1 : rankOf[std::size_t(r)];
    std::vector<int> order(static_cast<std::size_t>(rows));
    std::iota(order.begin(), order.end(), 0);
    if (descending)
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return rank[a] > rank[b]; });
    else
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return rank[a] < rank[b]; });
    return order;
}

double seconds(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e9;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

QByteArray loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray("?");
}

void comparePairs(const char *what, BenchPreviewRows::Shape shape, double goal, int pairs)
{
    const QString field = QStringLiteral("NMFANTCLIE");
    const int count = BenchPreviewRows::rowsToRun(1'000'000);
    TClientDataSet rows;
    rows.SetFieldDefs(BillingItemLayout::faturamento());
    rows.SetData(BenchPreviewRows::previewPacket(count, shape));
    TRecordStore same = rows.Store();
    const int column = same.indexOf(field);
    std::vector<double> ours, floor, ratios;
    std::printf("%s, %d rows: load before %s\n", what, count, loadAverage().constData());
    for (int pair = 0; pair < pairs; ++pair) {
        const bool descending = pair % 2 == 1; // each round reorders every row
        ours.push_back(seconds([&] { rows.SetIndexField(field, descending); }));
        floor.push_back(seconds([&] { benchmark::DoNotOptimize(floorSort(same, column, descending)); }));
        ratios.push_back(ours.back() / floor.back());
        std::printf("  pair %d: ours %.3f s, floor %.3f s, ratio %.2f\n", pair + 1, ours.back(), floor.back(),
                    ratios.back());
    }
    const double medianRatio = median(ratios);
    std::printf("%s: ours median %.3f s, floor median %.3f s; ratio min %.2f median %.2f; goal <= %.1f: %s; "
                "load after %s\n\n",
                what, median(ours), median(floor), *std::min_element(ratios.begin(), ratios.end()), medianRatio, goal,
                medianRatio <= goal ? "met" : "MISSED", loadAverage().constData());
}

int runPairs(int pairs)
{
    comparePairs("Sort by client (5,000 names)", {5000, true}, 1.5, pairs);
    comparePairs("Sort, every text distinct", {0, true}, 1.2, pairs);
    return 0;
}

} // namespace

BENCHMARK(BM_SortClients)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortUniqueNames)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortTotals)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortDates)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    if (argc > 1 && std::string_view(argv[1]) == "--pairs")
        return runPairs(std::max(5, argc > 2 ? std::atoi(argv[2]) : 5));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
