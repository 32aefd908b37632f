#pragma once

// Shared helpers of the platform tests: field definitions, a small layout and packets of it.

#include <QStringList>

#include "platform/data/DataPacket.h"
#include "platform/data/TClientDataSet.h"
#include "platform/data/TRecordStore.h"

namespace fixture {

inline TFieldDef def(const char *name, TFieldType type, int size = 0)
{
    TFieldDef d;
    d.name = QString::fromLatin1(name);
    d.type = type;
    d.size = size;
    return d;
}

// CODE text 6, FLAG fixed 1, WHEN date-time, VALUE float "#,##0.00".
inline TFieldDefs layout()
{
    TFieldDef value = def("VALUE", TFieldType::Float);
    value.displayFormat = QStringLiteral("#,##0.00");
    return {def("CODE", TFieldType::String, 6), def("FLAG", TFieldType::FixedChar, 1),
            def("WHEN", TFieldType::DateTime), value};
}

// A packet of layout() whose rows carry the given codes (row i: FLAG "S", WHEN
// i days after 2024-01-01, VALUE i * 1.5).
inline QByteArray packet(const QStringList &codes)
{
    TRecordStore store(layout());
    for (int i = 0; i < codes.size(); ++i) {
        const int row = store.appendRow();
        store.setText(row, 0, codes[i].toStdString());
        store.setText(row, 1, "S");
        store.setDateTimeMs(row, 2, QDateTime(QDate(2024, 1, 1).addDays(i), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch());
        store.setNumber(row, 3, i * 1.5);
    }
    return DataPacket::encode(store);
}

// The CODE column of the dataset's rows, "A,B,C".
inline QString codes(const TClientDataSet &dataSet)
{
    QStringList out;
    const TRecordStore &store = dataSet.Store();
    for (int r = 0; r < store.rowCount(); ++r)
        out << (store.isNull(r, 0) ? QStringLiteral("-") : QString::fromStdString(std::string(store.text(r, 0))));
    return out.join(QLatin1Char(','));
}

} // namespace fixture
