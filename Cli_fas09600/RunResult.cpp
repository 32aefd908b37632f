#include "RunResult.h"

#include <QHash>

#include "FormatSettings.h"
#include "TClientDataSet.h"

namespace {

QString textAt(const TRecordStore &store, int row, int field)
{
    if (field < 0)
        return {};
    const std::string_view text = store.text(row, field);
    return QString::fromUtf8(text.data(), qsizetype(text.size())).trimmed();
}

} // namespace

void RunResult::AddAnswer(const QString &method, const TClientDataSet &answer)
{
    const bool notes = method == QLatin1String("GeraNF");
    const TRecordStore &store = answer.Store();
    const int number = store.indexOf(notes ? QStringLiteral("NRLANCTONF") : QStringLiteral("NRLANCINVOICE"));
    const int companyCode = store.indexOf(QStringLiteral("CDEMPRESA"));
    const int company = store.indexOf(QStringLiteral("NMEMPRESA"));
    const int client = store.indexOf(QStringLiteral("NMFANTCLIE"));
    const int total = store.indexOf(QStringLiteral("VRTOTAFATFAS"));
    // Entries are numbered per company and kind.
    QHash<QString, qsizetype> entryOfKey;
    for (int row = 0; row < store.rowCount(); ++row) {
        const QString key = textAt(store, row, companyCode) + QLatin1Char('/') + textAt(store, row, number);
        qsizetype at = entryOfKey.value(key, -1);
        if (at < 0) {
            Entry entry;
            entry.kind = notes ? QStringLiteral("Nota Fiscal") : QStringLiteral("Invoice");
            entry.number = textAt(store, row, number);
            entry.company = textAt(store, row, company);
            entry.client = textAt(store, row, client);
            at = m_entries.size();
            m_entries << entry;
            entryOfKey.insert(key, at);
        }
        Entry &entry = m_entries[at];
        ++entry.items;
        if (total >= 0 && !store.isNull(row, total))
            entry.total += store.number(row, total);
    }
}

QString RunResult::title(int column) const
{
    static const char *const titles[] = {"Tipo", "Lançamento", "Empresa", "Cliente", "Itens", "Valor Total"};
    return QString::fromUtf8(titles[column]);
}

ExportTable::Kind RunResult::kind(int column) const
{
    return column >= 4 ? Kind::Number : Kind::Text;
}

int RunResult::widthPixels(int column) const
{
    static const int widths[] = {80, 80, 180, 220, 50, 90};
    return widths[column];
}

QString RunResult::text(int row, int column) const
{
    const Entry &entry = m_entries.at(row);
    switch (column) {
    case 0:
        return entry.kind;
    case 1:
        return entry.number;
    case 2:
        return entry.company;
    case 3:
        return entry.client;
    case 4:
        return QString::number(entry.items);
    default:
        return FormatSettings::formatFloat(entry.total, QStringLiteral("#,##0.00"));
    }
}

bool RunResult::isBlank(int row, int column) const
{
    Q_UNUSED(row);
    Q_UNUSED(column);
    return false;
}

double RunResult::number(int row, int column) const
{
    const Entry &entry = m_entries.at(row);
    return column == 4 ? entry.items : entry.total;
}

QDateTime RunResult::dateTime(int row, int column) const
{
    Q_UNUSED(row);
    Q_UNUSED(column);
    return {};
}
