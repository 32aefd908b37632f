#pragma once

#include "admin/AdminCommand.h"

// The subcommands of fas-admin, one file each (admin/commands/<Name>Command.cpp),
// listed by CommandTable.
namespace AdminCommands {

AdminCommand init();
AdminCommand migrate();
AdminCommand backup();
AdminCommand check();
AdminCommand importFile();
AdminCommand user();

} // namespace AdminCommands
