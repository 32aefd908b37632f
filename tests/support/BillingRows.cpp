#include "tests/support/BillingRows.h"

#include <QDateTime>

#include "billing/BillingItemLayout.h"
#include "platform/data/DataPacket.h"
#include "platform/data/TRecordStore.h"

namespace BillingRows {

QByteArray packet(const QList<BillingRow> &rows)
{
    TRecordStore store(BillingItemLayout::faturamento());
    const auto set = [&](int row, const char *field, const QString &value) {
        store.setText(row, store.indexOf(QString::fromLatin1(field)), value.toStdString());
    };
    for (const BillingRow &item : rows) {
        const qint64 month = QDateTime(item.month, QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
        const int row = store.appendRow();
        set(row, "CDEMPRESA", QStringLiteral("01"));
        set(row, "CDFILIAL", QStringLiteral("0001"));
        set(row, "NMFILIAL", QStringLiteral("Matriz"));
        set(row, "CDCLIENTE", item.clientCode);
        set(row, "NMFANTCLIE", item.client);
        set(row, "IDAPURFATFAS", item.serviceType);
        store.setDateTimeMs(row, store.indexOf(QStringLiteral("DTMESAPURFAS")), month);
        set(row, "MESAPURADO", item.month.toString(QStringLiteral("MM/yyyy")));
        set(row, "IDCHECK", item.tick);
        set(row, "IDSTAPFATFAS", item.status);
        set(row, "NRLANCINVOICE", item.invoiceEntry);
        set(row, "NRLANCTONF", item.noteEntry);
        set(row, "CDGRUPONFAPUR", QStringLiteral("G1"));
        store.setDateTimeMs(row, store.indexOf(QStringLiteral("DTAPURFATFAS")),
                            month + 86400000LL * 34 + item.calculationTime.msecsSinceStartOfDay());
        set(row, "CDPRODUTO", QStringLiteral("P01"));
        set(row, "NMPRODUTO", QStringLiteral("Suporte"));
        set(row, "CDOPERAPUR", QStringLiteral("OPER1"));
        set(row, "NMOPERADOR", QStringLiteral("Operador Um"));
        set(row, "CDTIPOSERV", QStringLiteral("001"));
        set(row, "IDCOMIFATFAS", QStringLiteral("S"));
        set(row, "DSEMISSPRONF", QStringLiteral("Serviços prestados"));
        set(row, "DSBOLEFATFAS", QStringLiteral("Pagável em qualquer banco"));
        set(row, "DSFATURCLIE", QString());
        store.setNumber(row, store.indexOf(QStringLiteral("VRTOTAFATFAS")), item.total);
        set(row, "NMEMPRESA", QStringLiteral("Empresa Um"));
        set(row, "NRSOLISERV", QStringLiteral("S-1"));
    }
    return DataPacket::encode(store);
}

QString cell(const TRecordStore &store, int row, const char *field)
{
    const int index = store.indexOf(QString::fromLatin1(field));
    if (store.isNull(row, index))
        return {};
    switch (store.defs().at(index).type) {
    case TFieldType::DateTime:
        return QDateTime::fromMSecsSinceEpoch(store.dateTimeMs(row, index), Qt::UTC).toString(Qt::ISODateWithMs);
    case TFieldType::Float:
        return QString::number(store.number(row, index), 'g', 17);
    default: {
        const std::string_view text = store.text(row, index);
        return QString::fromUtf8(text.data(), qsizetype(text.size()));
    }
    }
}

} // namespace BillingRows
