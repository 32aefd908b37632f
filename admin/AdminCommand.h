#pragma once

#include <QString>

#include "platform/data/FasError.h"

class AdminContext;

// One subcommand of fas-admin: its name as typed, the line of the general help,
// its own usage text and the function that runs it (the exit code it returns).
// A new command is a file in admin/commands/ and a line in CommandTable.cpp.
struct AdminCommand
{
    QString name;
    QString summary;
    QString usage;
    int (*run)(AdminContext &context) = nullptr;
};

// A command line the command cannot use: reported with its usage, exit code 2.
class AdminUsageError : public FasError
{
public:
    using FasError::FasError;
};

// Exit codes every command uses.
namespace AdminExit {
inline constexpr int Ok = 0;
inline constexpr int Failed = 1;  // an error, or check found problems
inline constexpr int Usage = 2;   // a wrong command line
inline constexpr int Refused = 3; // nothing done on purpose (init on a database with tables...)
} // namespace AdminExit
