#include "ItemRowReader.h"

#include <QDate>
#include <QDateTime>
#include <QVariant>

#include "BillingItemLayout.h"

namespace {

constexpr std::int64_t MsPerDay = 86'400'000;

std::int64_t daysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = unsigned(y - era * 400);
    const unsigned doy = unsigned((153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1);
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + std::int64_t(doe) - 719468;
}

char16_t unitAt(QStringView text, qsizetype i)
{
    return text[i].unicode();
}

char16_t unitAt(std::string_view text, qsizetype i)
{
    return static_cast<unsigned char>(text[std::size_t(i)]);
}

template<typename View>
bool digits(View text, qsizetype at, int count, int &value)
{
    value = 0;
    if (at + count > qsizetype(text.size()))
        return false;
    for (int i = 0; i < count; ++i) {
        const char16_t c = unitAt(text, at + i);
        if (c < u'0' || c > u'9')
            return false;
        value = value * 10 + (c - u'0');
    }
    return true;
}

// One reader for both kinds of text: QString from the Qt drivers, UTF-8 from the
// databases' own interfaces. Only ASCII digits count.
template<typename View>
bool parseDateTimeIn(View text, std::int64_t &ms)
{
    const auto size = qsizetype(text.size());
    auto at_ = [&text](qsizetype i) { return unitAt(text, i); };
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, frac = 0;
    if (!digits(text, 0, 4, y) || size < 10 || at_(4) != u'-' || !digits(text, 5, 2, mo) || at_(7) != u'-'
        || !digits(text, 8, 2, d))
        return false;
    if (mo < 1 || mo > 12 || d < 1 || d > QDate(y, mo, 1).daysInMonth())
        return false;
    if (size > 10) {
        if ((at_(10) != u' ' && at_(10) != u'T') || !digits(text, 11, 2, h) || size < 16 || at_(13) != u':'
            || !digits(text, 14, 2, mi))
            return false;
        qsizetype at = 16;
        if (size > at && at_(at) == u':') {
            if (!digits(text, at + 1, 2, s))
                return false;
            at += 3;
            if (size > at && at_(at) == u'.') {
                int count = 0;
                ++at;
                while (at < size && at_(at) >= u'0' && at_(at) <= u'9') {
                    if (count < 3)
                        frac = frac * 10 + (at_(at) - u'0');
                    ++count;
                    ++at;
                }
                if (count == 0)
                    return false;
                for (; count < 3; ++count)
                    frac *= 10;
            }
        }
        if (at != size || h > 23 || mi > 59 || s > 59)
            return false;
    }
    ms = daysFromCivil(y, mo, d) * MsPerDay + ((h * 60 + mi) * 60 + s) * 1000LL + frac;
    return true;
}

// Keeps a text within its field's size in characters (SQLite does not enforce
// VARCHAR sizes, and a packet refuses a text longer than its field).
void setText(TRecordStore &store, int row, int field, const QString &text, int size)
{
    QByteArray utf8 = text.toUtf8();
    if (size > 0 && utf8.size() > size && text.size() > size) {
        qsizetype cut = size;
        if (text.at(cut - 1).isHighSurrogate())
            --cut;
        utf8 = text.left(cut).toUtf8();
    }
    store.setText(row, field, std::string_view(utf8.constData(), size_t(utf8.size())));
}

} // namespace

TRecordStore ItemRowReader::emptyStore()
{
    return TRecordStore(BillingItemLayout::faturamento());
}

bool ItemRowReader::parseDateTime(QStringView text, std::int64_t &ms)
{
    return parseDateTimeIn(text, ms);
}

bool ItemRowReader::parseDateTime(std::string_view text, std::int64_t &ms)
{
    return parseDateTimeIn(text, ms);
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
                    ms = daysFromCivil(date.year(), date.month(), date.day()) * MsPerDay;
                } else if (type == QMetaType::QDateTime) {
                    // Only the wall-clock fields: a stored time has no zone to convert from.
                    const QDateTime dt = value.toDateTime();
                    ms = daysFromCivil(dt.date().year(), dt.date().month(), dt.date().day()) * MsPerDay
                         + dt.time().msecsSinceStartOfDay();
                } else if (!parseDateTime(value.toString(), ms)) {
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
