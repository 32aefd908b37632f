#pragma once

#include "admin/AdminContext.h"
#include "admin/AdminCommand.h"

// Checks that a command got exactly the arguments its usage names.
inline void requireArgumentCount(const AdminContext &context, qsizetype count, const QString &usage)
{
    if (context.arguments().size() != count)
        throw AdminUsageError(QStringLiteral("Argumentos inválidos.\n%1").arg(usage));
}
