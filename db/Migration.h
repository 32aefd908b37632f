#pragma once

#include <QString>
#include <QStringList>

// One numbered step of the schema: db/migrations/<dialect>/NNNN-name.sql.
struct Migration
{
    int version = 0;
    QString name;                // "0002-schema-version", as the file is named
    QStringList statements;      // in order, each run on its own
    bool foreignKeysOff = false; // SQLite table rebuild: see db/migrations/README.md
};
