// The invoice PDF of 1,000 lines (InvoicePdf::make, A4, the font embedded), the
// size of the largest invoice an office sends. Goal: under a second per PDF.
//
// Run: bench_invoice_pdf [--benchmark_repetitions=5]

#include <benchmark/benchmark.h>

#include <QGuiApplication>

#include "documents/InvoicePdf.h"

namespace {

InvoiceDocument invoiceOf(int lines)
{
    InvoiceDocument d;
    d.issuer = {QStringLiteral("Faturadora Exemplo Ltda"), QStringLiteral("11222333000181"),
                {QStringLiteral("Matriz — Curitiba / PR")}};
    d.client = {QStringLiteral("Acme Holdings Inc."), {}, {QStringLiteral("500 Market Street")}};
    d.company = QStringLiteral("01");
    d.number = 4711;
    d.date = QDateTime(QDate(2025, 3, 15), QTime(10, 20, 30));
    for (int i = 0; i < lines; ++i) {
        d.lines.append({QStringLiteral("Manutenção do serviço %1").arg(i + 1), QStringLiteral("Suporte à operação"),
                        QDate(2025, 1 + i % 12, 1), 100.25 + i});
    }
    return d;
}

void invoicePdf(benchmark::State &state)
{
    const InvoiceDocument invoice = invoiceOf(int(state.range(0)));
    qsizetype bytes = 0;
    for (auto _ : state)
        bytes = InvoicePdf::make(invoice).size();
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(invoicePdf)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
