// Data packet speed: decoding a 100,000-row packet of 28 fields against a plain
// simdjson walk of the same text, in the same run; plus SetData and encoding.
//
// The reference walk is what a hand-written reader at its fastest does: one
// on-demand pass over the rows, every string copied into a std::string column,
// every number read as a double, nothing checked beyond what simdjson checks.
// It is measured twice: from the same QByteArray decode() gets (so it pays for the
// padded copy simdjson needs, as decode() does) and from text already padded.

#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <simdjson.h>

#include <QByteArray>
#include <QDateTime>

#include "DataPacket.h"
#include "TClientDataSet.h"
#include "TRecordStore.h"

namespace {

constexpr int Rows = 100'000;

TFieldDef text(const char *name, int size, TFieldType type = TFieldType::String)
{
    TFieldDef def;
    def.name = QString::fromLatin1(name);
    def.type = type;
    def.size = size;
    return def;
}

TFieldDef other(const char *name, TFieldType type)
{
    TFieldDef def;
    def.name = QString::fromLatin1(name);
    def.type = type;
    return def;
}

// 28 fields shaped like a billing preview row: codes, names, three 400-character
// texts, two date-times, one amount, three one-character flags.
TFieldDefs layout()
{
    return {text("COMPANY", 2),       text("BRANCH", 4),         text("BRANCHNAME", 30),
            text("CLIENT", 21),       text("CLIENTNAME", 50),    text("KIND", 1),
            other("MONTH", TFieldType::DateTime),                text("MONTHTEXT", 7),
            text("TICK", 1, TFieldType::FixedChar),              text("STATUS", 1, TFieldType::FixedChar),
            text("INVOICEENTRY", 10), text("NOTEENTRY", 10),     text("NOTEGROUP", 5),
            other("CALCULATED", TFieldType::DateTime),           text("PRODUCT", 10),
            text("PRODUCTNAME", 50),  text("OPERATOR", 12),      text("OPERATORNAME", 100),
            text("SERVICE", 3),       text("COMMISSION", 1, TFieldType::FixedChar),
            text("NOTETEXT", 400),    text("SLIPTEXT", 400),     text("CLIENTTEXT", 400),
            other("TOTAL", TFieldType::Float),                   text("NOTENUMBER", 20),
            text("INVOICE", 10),      text("COMPANYNAME", 40),   text("REQUEST", 10)};
}

std::string words(std::mt19937 &random, std::size_t characters)
{
    static const char *const vocabulary[] = {"Manutenção", "Não", "realizada", "serviço", "licença", "locação",
                                             "cliente",    "mês", "apuração",  "nota",    "fiscal",  "São Paulo",
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

// Interleaved so that decode and the reference see the same machine state.
BENCHMARK(BM_ReferenceWalkPrepadded)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ReferenceWalk)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SetData)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Encode)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_EncodeTo)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
