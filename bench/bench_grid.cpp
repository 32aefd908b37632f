// The preview grid with 100,000 rows loaded, on the offscreen platform: painting
// one screenful, scrolling to the end (Ctrl+End, the dataset's cursor following),
// a mark-all pass and one tick, each measured on the real screen. The painting
// and the scrolling are measured again, in the same run, on a plain QTableView
// over the same rows with Qt's default delegate (QStyledItemDelegate), of the
// same size, font, columns and row height: the reference the grid is held to.
//
// Run: bench_grid [--benchmark_filter=...]; the figures that matter are the
// ratios Paint/Grid : Paint/DefaultDelegate and Scroll/Grid : Scroll/DefaultDelegate.

#include <memory>
#include <random>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QStyledItemDelegate>
#include <QTableView>

#include "bench/BenchPreviewRows.h"
#include "billing/BillingItemLayout.h"
#include "Cli_fas09600/Cli_fas09600.h"
#include "platform/data/DataPacket.h"
#include "platform/data/TClientDataSet.h"
#include "platform/ui/TDBGrid.h"
#include "platform/ui/TDataSetModel.h"
#include "platform/data/TRecordStore.h"
#include "Cli_fas09600/TfrmFaturamento.h"

namespace {

constexpr int Rows = 100'000;

QByteArray previewPacket()
{
    return BenchPreviewRows::previewPacket(Rows);
}

// The preview screen with the rows loaded, made once for the whole run.
struct Preview
{
    Preview()
    {
        screen = std::make_unique<TfrmFaturamento>();
        screen->resize(900, 600);
        screen->show();
        screen->cdsFaturamento->SetData(previewPacket());
        QCoreApplication::processEvents();
    }

    std::unique_ptr<TfrmFaturamento> screen;
};

std::unique_ptr<Preview> g_preview; // made on first use, gone before the application

Preview &preview()
{
    if (!g_preview)
        g_preview = std::make_unique<Preview>();
    return *g_preview;
}

// A plain table view over the same rows: same model class, size, font, column
// widths and row height, Qt's default delegate.
std::unique_ptr<QTableView> referenceView(TDBGrid *grid, TDataSetModel *model)
{
    auto view = std::make_unique<QTableView>();
    view->setModel(model);
    view->setItemDelegate(new QStyledItemDelegate(view.get()));
    view->setFont(grid->font());
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setWordWrap(false);
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(grid->verticalHeader()->defaultSectionSize());
    view->verticalHeader()->setFixedWidth(grid->verticalHeader()->width());
    for (int column = 0; column < model->columnCount(); ++column)
        view->setColumnWidth(column, grid->columnWidth(column));
    view->resize(grid->size());
    view->show();
    view->setCurrentIndex(model->index(0, 2));
    QCoreApplication::processEvents();
    return view;
}

void render(QWidget *viewport, QImage &image)
{
    viewport->render(&image);
    benchmark::DoNotOptimize(image.constBits());
}

void paintScreenful(benchmark::State &state, QTableView *view)
{
    view->scrollToTop();
    QImage image(view->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state)
        render(view->viewport(), image);
    state.counters["rows"] = double(view->viewport()->height()) / view->verticalHeader()->defaultSectionSize();
}

void scrollToEnd(benchmark::State &state, QAbstractItemView *view)
{
    QImage image(view->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
    QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::ControlModifier);
    for (auto _ : state) {
        QApplication::sendEvent(view, &end);
        render(view->viewport(), image);
        state.PauseTiming();
        QApplication::sendEvent(view, &home);
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}

void BM_Paint_Grid(benchmark::State &state)
{
    paintScreenful(state, preview().screen->dbgPadrao);
}

void BM_Paint_DefaultDelegate(benchmark::State &state)
{
    TDBGrid *grid = preview().screen->dbgPadrao;
    TDataSetModel model;
    model.SetDataSet(preview().screen->cdsFaturamento);
    model.SetColumns(grid->Columns());
    const auto view = referenceView(grid, &model);
    paintScreenful(state, view.get());
}

void BM_Scroll_Grid(benchmark::State &state)
{
    scrollToEnd(state, preview().screen->dbgPadrao);
}

void BM_Scroll_DefaultDelegate(benchmark::State &state)
{
    TDBGrid *grid = preview().screen->dbgPadrao;
    TDataSetModel model;
    model.SetDataSet(preview().screen->cdsFaturamento);
    model.SetColumns(grid->Columns());
    const auto view = referenceView(grid, &model);
    scrollToEnd(state, view.get());
}

// One title click on the tick column: the whole pass over 100,000 rows, ticking
// or unticking every pending row, and the grid's repaint after it.
void BM_MarkAllPass(benchmark::State &state)
{
    TfrmFaturamento *screen = preview().screen.get();
    const TColumn tick = screen->dbgPadrao->Columns().first();
    QImage image(screen->dbgPadrao->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        screen->dbgPadraoTitleClick(tick);
        render(screen->dbgPadrao->viewport(), image);
    }
}

// One click on a tick cell: the toggle, its post, the totals and the repaint.
void BM_Tick(benchmark::State &state)
{
    TfrmFaturamento *screen = preview().screen.get();
    screen->cdsFaturamento->SetRecNo(Rows / 2);
    const TColumn tick = screen->dbgPadrao->Columns().first();
    QImage image(screen->dbgPadrao->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        screen->dbgPadraoCellClick(tick);
        render(screen->dbgPadrao->viewport(), image);
    }
}

} // namespace

BENCHMARK(BM_Paint_Grid)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Paint_DefaultDelegate)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Scroll_Grid)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Scroll_DefaultDelegate)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MarkAllPass)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tick)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication app(argc, argv);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    QApplication::setFont(font);
    Cli_fas09600::initialization();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_preview.reset();
    return 0;
}
