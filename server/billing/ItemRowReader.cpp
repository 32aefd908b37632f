#include "server/billing/ItemRowReader.h"

#include <QDateTime>
#include <QVariant>

#include "billing/BillingItemLayout.h"
#include "platform/data/CivilDate.h"

namespace {

void setText(TRecordStore &store, int row, int field, const QString &text, int size)
{
    const QByteArray utf8 = ItemRowReader::fittedUtf8(text, size);
    store.setText(row, field, std::string_view(utf8.constData(), size_t(utf8.size())));
}

} // namespace

QByteArray ItemRowReader::fittedUtf8(const QString &text, int size)
{
    if (size <= 0 || text.size() <= size)
        return text.toUtf8();
    qsizetype cut = size;
    if (text.at(cut - 1).isHighSurrogate())
        --cut;
    return text.left(cut).toUtf8();
}

TRecordStore ItemRowReader::emptyStore()
{
    return TRecordStore(BillingItemLayout::faturamento());
}

int ItemRowReader::appendAll(QSqlQuery &query, TRecordStore &store)
{
    const TFieldDefs &defs = store.defs();
    const int fields = store.fieldCount();
    int added = 0;
    while (query.next()) {
        const int row = store.appendRow();
        ++added;
        for (int f = 0; f < fields; ++f) {
            const QVariant value = query.value(f);
            if (value.isNull())
                continue; // the new row's cells start null
            const TFieldDef &def = defs.at(f);
            switch (def.type) {
            case TFieldType::String:
            case TFieldType::FixedChar:
                setText(store, row, f, value.toString(), def.size);
                break;
            case TFieldType::Float:
                store.setNumber(row, f, value.toDouble());
                break;
            case TFieldType::DateTime: {
                std::int64_t ms = 0;
                const int type = value.typeId();
                if (type == QMetaType::QDate) {
                    const QDate date = value.toDate();
                    if (!date.isValid())
                        continue; // not a date: left blank
                    ms = CivilDate::fromQt(date);
                } else if (type == QMetaType::QDateTime) {
                    // Only the wall-clock fields: a stored time has no zone to convert from.
                    const QDateTime dt = value.toDateTime();
                    if (!dt.isValid())
                        continue;
                    ms = CivilDate::fromQt(dt);
                } else if (!CivilDate::parseIso<CivilDate::IsoForm::Database>(QStringView(value.toString()), ms)) {
                    continue; // not a date: left blank
                }
                store.setDateTimeMs(row, f, ms);
                break;
            }
            }
        }
    }
    return added;
}
