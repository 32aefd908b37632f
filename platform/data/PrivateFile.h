#pragma once

#include <QString>

#include "fasdata_export.h"

// Files that hold a secret (a bearer token, a configuration with a database
// password) must be the owner's alone, as ssh demands of a private key: a file
// that group or others may read or write is refused, naming the chmod that fixes it.
namespace PrivateFile {

// Throws FasError when `path` grants any permission to group or others; `what`
// names the file's role in the message ("O arquivo de token").
FASDATA_EXPORT void requireOwnerOnly(const QString &path, const QString &what);

// The message of that refusal; empty when the file is private (or absent: its
// reader reports that).
FASDATA_EXPORT QString problem(const QString &path, const QString &what);

} // namespace PrivateFile
