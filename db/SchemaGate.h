#pragma once

#include "platform/sql/DatabaseUrl.h"

// What a program that uses the billing tables asks before it starts: is the
// database at the schema version this build knows? Opens its own connection
// and closes it again.
namespace SchemaGate {

// Throws DatabaseError naming the command to run when the database has no
// billing tables (fas-admin init), an older schema (fas-admin migrate) or a
// newer one than this program knows (upgrade the program).
void requireCurrent(const DatabaseUrl &url);

} // namespace SchemaGate
