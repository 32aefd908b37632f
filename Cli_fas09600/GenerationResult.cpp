#include "GenerationResult.h"

#include <QHash>

#include "TRecordStore.h"

namespace {

QString textAt(const TRecordStore &store, int row, int field)
{
    if (field < 0)
        return {};
    const std::string_view text = store.text(row, field);
    return QString::fromUtf8(text.data(), qsizetype(text.size())).trimmed();
}

} // namespace

QString GenerationResult::KindText(Kind kind)
{
    return kind == Kind::Note ? QStringLiteral("Nota Fiscal") : QStringLiteral("Invoice");
}

void GenerationResult::AddAnswer(Kind kind, const TRecordStore &answer)
{
    const int number =
        answer.indexOf(kind == Kind::Note ? QStringLiteral("NRLANCTONF") : QStringLiteral("NRLANCINVOICE"));
    const int companyCode = answer.indexOf(QStringLiteral("CDEMPRESA"));
    const int company = answer.indexOf(QStringLiteral("NMEMPRESA"));
    const int client = answer.indexOf(QStringLiteral("NMFANTCLIE"));
    const int total = answer.indexOf(QStringLiteral("VRTOTAFATFAS"));
    // Entries are numbered per company and kind.
    QHash<QString, qsizetype> entryOfKey;
    for (int row = 0; row < answer.rowCount(); ++row) {
        const QString key = textAt(answer, row, companyCode) + QLatin1Char('/') + textAt(answer, row, number);
        qsizetype at = entryOfKey.value(key, -1);
        if (at < 0) {
            at = m_entries.size();
            m_entries << Entry{KindText(kind), textAt(answer, row, number), textAt(answer, row, company),
                               textAt(answer, row, client)};
            entryOfKey.insert(key, at);
        }
        Entry &entry = m_entries[at];
        ++entry.items;
        if (total >= 0 && !answer.isNull(row, total))
            entry.total += answer.number(row, total);
    }
}
