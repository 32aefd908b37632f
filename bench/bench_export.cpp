// "Exportar…" on a 100,000-row preview, on the offscreen platform, with the
// progress dialog the command shows: CSV and XLSX written by TableExport
// through the screen's own grid. The CSV is compared, in the same run and
// alternately, with a reference: the plain way of writing the same rows, each
// cell's display text read from the grid's model and streamed with QTextStream.
// Goal: each export of 100,000 rows within 2 s. Also "Procurar o próximo" (F3)
// for a text no row holds, the worst case (every row of the column compared);
// goal: 0.2 s. FAS_BENCH_ROWS sets the rows (1000000 for a million-row preview).
//
// The CSV is also compared with its floor: a plain stdio writer of the same
// cells read straight from the dataset (texts as stored, numbers with printf's
// "%.2f", dates as digits), which is what the goal (ratio <= 1.2) is
// measured against.
//
// Run: bench_export [pairs] [csv] (5 pairs by default; "csv": the CSV pairs only).

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTextStream>

#include "bench/BenchPreviewRows.h"
#include "Cli_fas09600/FindBar.h"
#include "Cli_fas09600/PreviewCells.h"
#include "outside/forms/TableExport.h"
#include "platform/data/CivilDate.h"
#include "platform/data/TClientDataSet.h"
#include "platform/data/TField.h"
#include "platform/data/TRecordStore.h"
#include "platform/ui/TDataSetModel.h"
#include "platform/ui/TDBGrid.h"
#include "Cli_fas09600/TfrmFaturamento.h"

namespace {

const int Rows = BenchPreviewRows::rowsToRun(100'000);
constexpr double GoalSeconds = 2.0;
constexpr double FindGoalSeconds = 0.2;

struct Figures
{
    QList<double> seconds;
    double min() const { return *std::min_element(seconds.begin(), seconds.end()); }
    double median() const
    {
        QList<double> sorted = seconds;
        std::sort(sorted.begin(), sorted.end());
        return sorted.size() % 2 ? sorted[sorted.size() / 2]
                                 : (sorted[sorted.size() / 2 - 1] + sorted[sorted.size() / 2]) / 2;
    }
};

double timed(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e9;
}

void exportWithProgress(const TDBGrid &grid, TableExport::Format format, const QString &path)
{
    const PreviewCells cells(grid, PreviewCells::Rows::All);
    QProgressDialog progress(QStringLiteral("Exportando..."), QStringLiteral("Cancelar"), 0, cells.rowCount());
    progress.setMinimumDuration(300);
    TableExport::Write(cells, format, path, [&progress](int done, int total) {
        progress.setMaximum(std::max(total, 1));
        progress.setValue(done);
        return !progress.wasCanceled();
    });
}

void referenceCsv(const TDBGrid &grid, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    QTextStream out(&file);
    const QAbstractItemModel *model = grid.model();
    for (int row = 0; row < model->rowCount(); ++row) {
        for (int column = 0; column < model->columnCount(); ++column) {
            if (column)
                out << ';';
            out << model->data(model->index(row, column)).toString();
        }
        out << "\r\n";
    }
}

// The floor of a CSV export: the grid's shown cells, read from the store and
// written with stdio, nothing formatted beyond printf.
void stdioCsv(const TDBGrid &grid, const QString &path)
{
    FILE *out = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!out)
        return;
    const TRecordStore &store = grid.DataModel()->DataSet()->Store();
    std::vector<int> fields;
    for (int column = 0; column < grid.model()->columnCount(); ++column) {
        if (const TField *field = grid.ColumnField(column); field && !grid.isColumnHidden(column))
            fields.push_back(field->Index());
    }
    std::fputs("\xEF\xBB\xBF", out);
    for (int row = 0; row < store.rowCount(); ++row) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const int field = fields[i];
            if (i)
                std::fputc(';', out);
            if (store.isNull(row, field))
                continue;
            switch (store.defs().at(field).type) {
            case TFieldType::String:
            case TFieldType::FixedChar: {
                const std::string_view text = store.text(row, field);
                std::fwrite(text.data(), 1, text.size(), out);
                break;
            }
            case TFieldType::Float:
                std::fprintf(out, "%.2f", store.number(row, field));
                break;
            case TFieldType::DateTime: {
                const CivilDate::Parts parts = CivilDate::split(store.dateTimeMs(row, field));
                std::fprintf(out, "%02u/%02u/%04d", unsigned(parts.date.day()), unsigned(parts.date.month()),
                             int(parts.date.year()));
                break;
            }
            }
        }
        std::fputs("\r\n", out);
    }
    std::fclose(out);
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).trimmed() : QStringLiteral("?");
}

void print(const char *name, const Figures &figures)
{
    std::printf("%-28s min %7.3f s   median %7.3f s   (%lld runs)\n", name, figures.min(), figures.median(),
                static_cast<long long>(figures.seconds.size()));
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication app(argc, argv);
    const int pairs = std::max(5, argc > 1 ? QByteArray(argv[1]).toInt() : 5);
    const bool csvOnly = argc > 2 && QByteArray(argv[2]) == "csv";

    TfrmFaturamento screen;
    screen.cdsFaturamento->SetData(BenchPreviewRows::previewPacket(Rows));
    const TDBGrid &grid = *screen.dbgPadrao;
    QTemporaryDir dir;
    std::printf("load before: %s\n", qPrintable(loadAverage()));

    Figures csv, reference, floor, xlsx, find;
    QList<double> ratios, floorRatios;
    for (int pair = 0; pair < pairs; ++pair) {
        csv.seconds << timed([&] { exportWithProgress(grid, TableExport::Format::Csv, dir.filePath("ours.csv")); });
        floor.seconds << timed([&] { stdioCsv(grid, dir.filePath("floor.csv")); });
        floorRatios << csv.seconds.last() / floor.seconds.last();
        if (csvOnly)
            continue;
        reference.seconds << timed([&] { referenceCsv(grid, dir.filePath("reference.csv")); });
        ratios << csv.seconds.last() / reference.seconds.last();
        xlsx.seconds << timed(
            [&] { exportWithProgress(grid, TableExport::Format::Xlsx, dir.filePath("ours.xlsx")); });
        screen.findBar->edtProcurar->setText(QStringLiteral("Nenhum cliente assim"));
        find.seconds << timed([&] { screen.findBar->FindNext(); });
    }
    std::printf("%d rows, %d pairs\n", Rows, pairs);
    print("CSV (TableExport)", csv);
    print("CSV floor (stdio)", floor);
    const Figures floorRatio{floorRatios};
    std::printf("%-28s min %7.3f     median %7.3f   goal <= 1.2: %s\n", "ratio ours/floor", floorRatio.min(),
                floorRatio.median(), floorRatio.median() <= 1.2 ? "met" : "MISSED");
    // FAS_BENCH_KEEP_CSV=path keeps the CSV written, to compare builds byte for byte.
    if (const QString keep = qEnvironmentVariable("FAS_BENCH_KEEP_CSV"); !keep.isEmpty()) {
        QFile::remove(keep);
        QFile::copy(dir.filePath("ours.csv"), keep);
    }
    if (csvOnly) {
        std::printf("load after: %s\n", qPrintable(loadAverage()));
        return 0;
    }
    print("CSV reference (model+stream)", reference);
    Figures ratio{ratios};
    std::printf("%-28s min %7.3f     median %7.3f\n", "ratio ours/reference", ratio.min(), ratio.median());
    print("XLSX (TableExport)", xlsx);
    print("find next, no row matches", find);
    std::printf("load after: %s\n", qPrintable(loadAverage()));
    const bool met = csv.median() <= GoalSeconds && xlsx.median() <= GoalSeconds;
    std::printf("goal: each export of %d rows within %.1f s (median): %s\n", Rows, GoalSeconds, met ? "met" : "MISSED");
    std::printf("goal: find next over %d rows within %.1f s (median): %s\n", Rows, FindGoalSeconds,
                find.median() <= FindGoalSeconds ? "met" : "MISSED");
    return 0;
}
