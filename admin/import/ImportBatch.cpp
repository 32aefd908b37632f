#include "admin/import/ImportBatch.h"

QString ImportProblem::text() const
{
    if (line == 0)
        return reason;
    if (column.isEmpty())
        return QStringLiteral("linha %1: %2").arg(line).arg(reason);
    return QStringLiteral("linha %1, coluna %2: %3").arg(line).arg(column, reason);
}
