#include "bench/BenchPreviewRows.h"

#include <random>
#include <string>

#include <QDateTime>

#include "billing/BillingItemLayout.h"
#include "platform/data/DataPacket.h"
#include "platform/data/TRecordStore.h"

namespace BenchPreviewRows {

QByteArray previewPacket(int rows, Shape shape)
{
    TRecordStore store(BillingItemLayout::faturamento());
    store.reserve(rows);
    std::mt19937 random(9600);
    const auto set = [&](int row, const char *field, const std::string &value) {
        store.setText(row, store.indexOf(QString::fromLatin1(field)), value);
    };
    const char *statuses[] = {"P", "P", "P", "P", "P", "P", "R", "R", "C", "N"};
    const char *services[] = {"1", "2", "3", "5", "6", "7"};
    const qint64 month = QDateTime(QDate(2024, 3, 1), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    for (int i = 0; i < rows; ++i) {
        const int row = store.appendRow();
        const std::string n = std::to_string(i);
        const std::string client = shape.clients > 0 ? std::to_string(random() % unsigned(shape.clients)) : n;
        const std::string status = statuses[random() % 10];
        set(row, "CDEMPRESA", "01");
        set(row, "CDFILIAL", "0001");
        set(row, "NMFILIAL", "Matriz");
        set(row, "CDCLIENTE", "C" + client);
        set(row, "NMFANTCLIE", "Cliente de demonstração número " + client);
        set(row, "IDAPURFATFAS", services[random() % 6]);
        store.setDateTimeMs(row, store.indexOf(QStringLiteral("DTMESAPURFAS")), month);
        set(row, "MESAPURADO", "03/2024");
        set(row, "IDSTAPFATFAS", status);
        set(row, "IDCHECK", status == "R" ? "D" : (shape.ticked && random() % 4 == 0 ? "S" : "N"));
        set(row, "CDGRUPONFAPUR", "G1");
        store.setDateTimeMs(row, store.indexOf(QStringLiteral("DTAPURFATFAS")), month + 86400000LL * 34);
        set(row, "CDPRODUTO", "P01");
        set(row, "NMPRODUTO", "Suporte técnico");
        set(row, "CDOPERAPUR", "OPER1");
        set(row, "NMOPERADOR", "Operador Um");
        set(row, "CDTIPOSERV", "001");
        set(row, "IDCOMIFATFAS", "S");
        set(row, "DSEMISSPRONF", "Serviços prestados no mês de referência conforme contrato.");
        set(row, "DSBOLEFATFAS", "Pagável em qualquer banco até o vencimento.");
        store.setNumber(row, store.indexOf(QStringLiteral("VRTOTAFATFAS")), double(random() % 1000000) / 100.0);
        set(row, "NRNOTAFISC", status == "R" ? "NF" + n : "");
        set(row, "NMEMPRESA", "Empresa Emitente Um");
        set(row, "NRSOLISERV", "S-" + n);
    }
    return DataPacket::encode(store);
}

int rowsToRun(int fallback)
{
    const int rows = qEnvironmentVariableIntValue("FAS_BENCH_ROWS");
    return rows > 0 ? rows : fallback;
}

} // namespace BenchPreviewRows
