#include "Cli_fas09600/RunResult.h"

#include "platform/data/FormatSettings.h"

RunResult::RunResult(GenerationResult made)
    : m_made(std::move(made))
{
    m_sum.kind = QStringLiteral("Total");
    m_sum.months = m_made.AllMonths();
    for (const Entry &entry : Entries()) {
        if (entry.reversed)
            continue; // the total is what the run made that still stands
        m_sum.items += entry.items;
        m_sum.total += entry.total;
    }
}

QString RunResult::title(int column) const
{
    static const char *const titles[] = {"Tipo", "Lançamento", "Empresa", "Cliente", "Meses", "Itens", "Valor Total"};
    return QString::fromUtf8(titles[column]);
}

ExportTable::Kind RunResult::kind(int column) const
{
    return column >= ItemsColumn ? Kind::Number : Kind::Text;
}

int RunResult::widthPixels(int column) const
{
    static const int widths[] = {80, 80, 180, 220, 110, 50, 90};
    return widths[column];
}

QString RunResult::text(int row, int column) const
{
    const Entry &entry = isTotalLine(row) ? m_sum : Entries().at(row);
    switch (column) {
    case KindColumn:
        return entry.reversed ? QStringLiteral("%1 (estornada)").arg(entry.kind) : entry.kind;
    case EntryColumn:
        return entry.number;
    case CompanyColumn:
        return entry.company;
    case ClientColumn:
        return entry.client;
    case MonthsColumn:
        return GenerationResult::MonthsText(entry.months);
    case ItemsColumn:
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
    const Entry &entry = isTotalLine(row) ? m_sum : Entries().at(row);
    return column == ItemsColumn ? entry.items : entry.total;
}

QDateTime RunResult::dateTime(int row, int column) const
{
    Q_UNUSED(row);
    Q_UNUSED(column);
    return {};
}
