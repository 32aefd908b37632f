// Data packet speed on the real preview packet (the 28 fields of the billing
// layout, 100,000 rows): our decoding against a plain simdjson walk of the same
// text, in the same run, interleaved at random (run it through bench_packet.sh,
// which pairs the repetitions and prints min, median and ratio):
//   - Decode: DataPacket::decode of the packet's text (what the server does with
//     a batch, and SetData of a text);
//   - Answer: what the host does with a remote call's answer: the JSON-RPC
//     envelope parsed once in its receive buffer, the packet read from it;
//   - ReferenceWalk: one on-demand pass over a padded copy, every string copied
//     into a std::string column, every number read, nothing checked.
// Plus SetData and encoding, for the record.

#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <simdjson.h>

#include <QByteArray>
#include <QDateTime>

#include "billing/BillingItemLayout.h"
#include "platform/data/DataPacket.h"
#include "platform/data/TClientDataSet.h"
#include "platform/data/TJsonDocument.h"
#include "platform/data/TRecordStore.h"

namespace {

constexpr int Rows = 100'000;

// The preview's own layout: the same names, types and sizes as every packet the
// host loads into cdsFaturamento.
const TFieldDefs &layout()
{
    return BillingItemLayout::faturamento();
}

std::string words(std::mt19937 &random, std::size_t characters)
{
    static const char *const vocabulary[] = {"Manutenção", "Não", "realizada",  "serviço", "licença", "locação",
                                             "cliente",    "mês", "apuração",   "nota",    "fiscal",  "São Paulo",
                                             "Comércio",   "de",  "Tecnologia", "Ltda."};
    std::string out;
    std::size_t count = 0;
    while (count < characters) {
        const std::string word = vocabulary[random() % std::size(vocabulary)];
        out += word;
        out += ' ';
        for (const char c : word + ' ')
            count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    // Cut at a character boundary to exactly `characters` characters.
    std::size_t chars = 0, i = 0;
    for (; i < out.size(); ++i) {
        if ((static_cast<unsigned char>(out[i]) & 0xC0) != 0x80) {
            if (chars == characters)
                break;
            ++chars;
        }
    }
    out.resize(i);
    return out;
}

TRecordStore buildStore()
{
    std::mt19937 random(20240601);
    TRecordStore store(layout());
    store.reserve(Rows);
    const std::int64_t start = QDateTime(QDate(2008, 1, 1), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    const std::string clientNames[] = {words(random, 24), words(random, 31), words(random, 45), words(random, 12)};
    for (int r = 0; r < Rows; ++r) {
        const int row = store.appendRow();
        const int client = int(random() % 5000);
        store.setText(row, 0, std::to_string(1 + r % 9).insert(0, "0"));
        store.setText(row, 1, "000" + std::to_string(1 + r % 3));
        store.setText(row, 2, "Filial Centro");
        store.setText(row, 3, "CLI" + std::to_string(100000 + client));
        store.setText(row, 4, clientNames[client % 4]);
        store.setText(row, 5, std::to_string(1 + random() % 7));
        const std::int64_t month = start + std::int64_t(r % 200) * 30LL * 86'400'000LL;
        store.setDateTimeMs(row, 6, month);
        store.setText(row, 7, "05/2019");
        store.setText(row, 8, r % 3 ? "N" : "D");
        store.setText(row, 9, std::string(1, "PRNC"[r % 4]));
        if (r % 3 == 0) {
            store.setText(row, 10, std::to_string(1000000 + r));
            store.setText(row, 11, std::to_string(2000000 + r));
        }
        store.setText(row, 12, "G" + std::to_string(r % 97));
        store.setDateTimeMs(row, 13, month + 86'400'000LL * (r % 28) + 1000LL * (r % 86'400) + r % 1000);
        store.setText(row, 14, "PRD" + std::to_string(r % 300));
        store.setText(row, 15, "Produto de software " + std::to_string(r % 300));
        store.setText(row, 16, "OPER" + std::to_string(r % 40));
        store.setText(row, 17, "Operador " + words(random, 20));
        store.setText(row, 18, std::to_string(100 + r % 20));
        store.setText(row, 19, r % 2 ? "S" : "N");
        // The long texts: full 400 characters in every tenth row, shorter or absent otherwise.
        for (int f = 20; f <= 22; ++f) {
            if (r % 10 == 0)
                store.setText(row, f, words(random, 400));
            else if (r % 3 != 2)
                store.setText(row, f, words(random, 20 + random() % 60));
        }
        store.setNumber(row, 23, double(random() % 100'000'000) / 100.0);
        if (r % 3 == 0)
            store.setText(row, 24, std::to_string(50000 + r));
        store.setText(row, 26, "Empresa Emissora de Serviços S.A.");
        store.setText(row, 27, std::to_string(r));
    }
    return store;
}

const TRecordStore &store()
{
    static const TRecordStore instance = buildStore();
    return instance;
}

const QByteArray &packet()
{
    static const QByteArray instance = DataPacket::encode(store());
    return instance;
}

// The reference: copies every string into a column of std::string, reads every number.
struct ReferenceColumns
{
    std::vector<std::vector<std::string>> texts;
    std::vector<std::vector<double>> numbers;
};

void referenceWalk(simdjson::ondemand::parser &parser, simdjson::padded_string_view json, ReferenceColumns &out)
{
    using namespace simdjson;
    ondemand::document doc = parser.iterate(json);
    ondemand::array rows = doc["rows"].get_array();
    for (auto row : rows) {
        std::size_t column = 0;
        for (auto cell : row.get_array()) {
            ondemand::value value = cell.value();
            switch (value.type().value()) {
            case ondemand::json_type::string:
                out.texts[column].emplace_back(value.get_string().value());
                break;
            case ondemand::json_type::number:
                out.numbers[column].push_back(value.get_double().value());
                break;
            case ondemand::json_type::null:
                out.texts[column].emplace_back();
                break;
            default:
                break;
            }
            ++column;
        }
    }
}

// A GetFaturamento answer as the server sends it.
const QByteArray &answer()
{
    static const QByteArray instance = QByteArray(R"({"jsonrpc":"2.0","id":1,"result":)") + packet() + '}';
    return instance;
}

void BM_Answer(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        QByteArray received;
        received.reserve(answer().size() + TJsonDocument::Padding); // as TNetConnection receives it
        received.append(answer());
        state.ResumeTiming();
        TJsonDocument document;
        if (document.parse(std::move(received)) != simdjson::SUCCESS) {
            state.SkipWithError("the answer does not parse");
            break;
        }
        TRecordStore decoded = DataPacket::decode(document, "result");
        benchmark::DoNotOptimize(decoded.rowCount());
    }
    state.SetBytesProcessed(state.iterations() * answer().size());
}

void BM_Decode(benchmark::State &state)
{
    const QByteArray &json = packet();
    for (auto _ : state) {
        TRecordStore decoded = DataPacket::decode(json);
        benchmark::DoNotOptimize(decoded.rowCount());
    }
    state.SetBytesProcessed(state.iterations() * json.size());
    state.counters["rows"] = Rows;
    state.counters["packet_MB"] = double(json.size()) / 1e6;
}

void BM_ReferenceWalk(benchmark::State &state)
{
    const QByteArray &json = packet();
    simdjson::ondemand::parser parser;
    for (auto _ : state) {
        simdjson::padded_string padded(json.constData(), std::size_t(json.size()));
        ReferenceColumns columns{std::vector<std::vector<std::string>>(28), std::vector<std::vector<double>>(28)};
        referenceWalk(parser, padded, columns);
        benchmark::DoNotOptimize(columns.texts[0].size());
    }
    state.SetBytesProcessed(state.iterations() * json.size());
}

void BM_ReferenceWalkPrepadded(benchmark::State &state)
{
    const simdjson::padded_string padded(packet().constData(), std::size_t(packet().size()));
    simdjson::ondemand::parser parser;
    for (auto _ : state) {
        ReferenceColumns columns{std::vector<std::vector<std::string>>(28), std::vector<std::vector<double>>(28)};
        referenceWalk(parser, padded, columns);
        benchmark::DoNotOptimize(columns.texts[0].size());
    }
    state.SetBytesProcessed(state.iterations() * std::int64_t(padded.size()));
}

void BM_SetData(benchmark::State &state)
{
    const QByteArray &json = packet();
    TClientDataSet dataSet;
    dataSet.SetFieldDefs(layout());
    for (auto _ : state) {
        dataSet.SetData(json);
        benchmark::DoNotOptimize(dataSet.RecordCount());
    }
    state.SetBytesProcessed(state.iterations() * json.size());
}

void BM_Encode(benchmark::State &state)
{
    const TRecordStore &rows = store();
    qsizetype bytes = 0;
    for (auto _ : state) {
        const QByteArray json = DataPacket::encode(rows);
        bytes = json.size();
        benchmark::DoNotOptimize(json.constData());
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}

void BM_EncodeTo(benchmark::State &state)
{
    const TRecordStore &rows = store();
    std::string json;
    for (auto _ : state) {
        json.clear();
        DataPacket::encodeTo(rows, json);
        benchmark::DoNotOptimize(json.data());
    }
    state.SetBytesProcessed(state.iterations() * std::int64_t(json.size()));
}

// Ours and the reference are paired by repetition; run with
// --benchmark_enable_random_interleaving=true --benchmark_repetitions=N so that
// the repetitions alternate (bench_packet.sh does).
BENCHMARK(BM_ReferenceWalk)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_Answer)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_ReferenceWalkPrepadded)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_SetData)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_Encode)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_EncodeTo)->Unit(benchmark::kMillisecond)->MinTime(0.5);

} // namespace

BENCHMARK_MAIN();
