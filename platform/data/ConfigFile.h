#pragma once

#include <QSettings>
#include <QString>

#include "fasdata_export.h"

// The INI configuration that the host and the application server share, read by
// both through this one reader so that a value means the same to each. Values are
// read as trimmed text. A file or a SQLite database named by a relative path lies
// in the configuration file's folder, whichever program reads it and whatever its
// working folder.
class FASDATA_EXPORT ConfigFile
{
public:
    // Throws FasError naming the file when it does not exist, cannot be read or
    // is malformed.
    explicit ConfigFile(const QString &path);

    QString filePath() const { return m_filePath; } // absolute
    bool contains(const QString &key) const;
    // "section/key", trimmed; empty when absent.
    QString text(const QString &key) const;
    // A file named by "section/key"; a relative path is resolved against the
    // configuration's folder. Empty when absent or blank.
    QString path(const QString &key) const;
    // [database] url: an address with a scheme (postgresql://, sqlite://) as it
    // is written, a bare file path resolved as path() does.
    QString databaseUrl() const;

private:
    QString resolved(const QString &path) const;

    QString m_filePath;
    QString m_folder;
    QSettings m_ini;
};
