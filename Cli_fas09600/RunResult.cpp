#include "RunResult.h"

#include "FormatSettings.h"

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
    const Entry &entry = Entries().at(row);
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
    const Entry &entry = Entries().at(row);
    return column == 4 ? entry.items : entry.total;
}

QDateTime RunResult::dateTime(int row, int column) const
{
    Q_UNUSED(row);
    Q_UNUSED(column);
    return {};
}
