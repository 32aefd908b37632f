#pragma once

#include <QList>

#include "admin/AdminCommand.h"

// Every subcommand of fas-admin, in the order the help lists them.
namespace CommandTable {

const QList<AdminCommand> &commands();
// The command named `name`, or null.
const AdminCommand *find(const QString &name);
// The general help: the options and one line per command.
QString helpText();

} // namespace CommandTable
