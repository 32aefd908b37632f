#pragma once

#include <optional>

#include <QProcessEnvironment>
#include <QString>

#include "fassql_export.h"

// Where a program finds its database, read the same way by fas-appserver and
// fas-admin: the INI configuration named by --config (else by FAS_CONFIG), whose
// [database] url names it (a SQLite path relative to the file), and --database over it.
namespace DatabaseSettings {

// --config's value, else FAS_CONFIG's; empty when neither names a file.
FASSQL_EXPORT QString configPath(const QString &configOption, const QProcessEnvironment &environment);
// Throws FasError when the address is blank, DatabaseError when it is malformed.
FASSQL_EXPORT void requireUrl(const QString &url);
// The configuration's database (none without a configuration) unless the command
// line gives one; checked as requireUrl does. Throws FasError.
FASSQL_EXPORT QString read(const QString &configPath, const std::optional<QString> &databaseOption);

} // namespace DatabaseSettings
