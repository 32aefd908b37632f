#include "Cli_fas09600/GenerationResult.h"

#include <algorithm>

#include <QDateTime>
#include <QHash>

#include "platform/data/TRecordStore.h"

namespace {

QString textAt(const TRecordStore &store, int row, int field)
{
    if (field < 0)
        return {};
    const std::string_view text = store.text(row, field);
    return QString::fromUtf8(text.data(), qsizetype(text.size())).trimmed();
}

// Adds the month to the ordered list unless it holds it already.
void addMonth(QList<QDate> &months, QDate month)
{
    const auto at = std::lower_bound(months.begin(), months.end(), month);
    if (at == months.end() || *at != month)
        months.insert(at, month);
}

QDate monthAt(const TRecordStore &store, int row, int field)
{
    if (field < 0 || store.isNull(row, field))
        return {};
    const QDate day = QDateTime::fromMSecsSinceEpoch(store.dateTimeMs(row, field), Qt::UTC).date();
    return QDate(day.year(), day.month(), 1);
}

} // namespace

QString GenerationResult::MonthsText(const QList<QDate> &months)
{
    QStringList texts;
    for (const QDate &month : months)
        texts << month.toString(QStringLiteral("MM/yyyy"));
    return texts.join(QStringLiteral(", "));
}

QList<QDate> GenerationResult::AllMonths() const
{
    QList<QDate> all;
    for (const Entry &entry : m_entries) {
        for (const QDate &month : entry.months)
            addMonth(all, month);
    }
    return all;
}

QString GenerationResult::KindText(Kind kind)
{
    return kind == Kind::Note ? QStringLiteral("Nota Fiscal") : QStringLiteral("Invoice");
}

void GenerationResult::AddAnswer(Kind kind, const TRecordStore &answer)
{
    const int number = answer.indexOf(kind == Kind::Note ? QStringLiteral("NRLANCTONF")
                                                         : QStringLiteral("NRLANCINVOICE"));
    const int companyCode = answer.indexOf(QStringLiteral("CDEMPRESA"));
    const int company = answer.indexOf(QStringLiteral("NMEMPRESA"));
    const int client = answer.indexOf(QStringLiteral("NMFANTCLIE"));
    const int total = answer.indexOf(QStringLiteral("VRTOTAFATFAS"));
    const int month = answer.indexOf(QStringLiteral("DTMESAPURFAS"));
    // Entries are numbered per company and kind.
    QHash<QString, qsizetype> entryOfKey;
    for (int row = 0; row < answer.rowCount(); ++row) {
        const QString key = textAt(answer, row, companyCode) + QLatin1Char('/') + textAt(answer, row, number);
        qsizetype at = entryOfKey.value(key, -1);
        if (at < 0) {
            at = m_entries.size();
            Entry made;
            made.kind = KindText(kind);
            made.number = textAt(answer, row, number);
            made.company = textAt(answer, row, company);
            made.companyCode = textAt(answer, row, companyCode);
            made.client = textAt(answer, row, client);
            m_entries << made;
            entryOfKey.insert(key, at);
        }
        Entry &entry = m_entries[at];
        ++entry.items;
        if (total >= 0 && !answer.isNull(row, total))
            entry.total += answer.number(row, total);
        if (const QDate itemMonth = monthAt(answer, row, month); itemMonth.isValid())
            addMonth(entry.months, itemMonth);
    }
}

bool GenerationResult::MarkReversed(const QString &companyCode, const QString &kindCode, qint64 number)
{
    const QString kind = KindText(kindCode == QLatin1String("I") ? Kind::Invoice : Kind::Note);
    for (Entry &entry : m_entries) {
        if (!entry.reversed && entry.kind == kind && entry.companyCode == companyCode
            && entry.number.toLongLong() == number) {
            entry.reversed = true;
            return true;
        }
    }
    return false;
}
