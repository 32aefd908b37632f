#pragma once

#include <QString>

#include "kor_export.h"

// The host's configuration: one INI file naming the database and the
// application server's address. Environment variables override the file
// (FAS_DATABASE, FAS_WEB_URL, FAS_WEB_PORT), and the host's command line
// overrides both through the setters.
namespace HostConfig {

KOR_EXPORT void load(const QString &iniPath); // a missing file throws FasError naming it
KOR_EXPORT QString iniPath();

KOR_EXPORT QString databaseUrl();
KOR_EXPORT QString webUrl();  // default "127.0.0.1"
KOR_EXPORT int webPort();     // default 9600
KOR_EXPORT QString tokenFile();

KOR_EXPORT void setDatabaseUrl(const QString &url);
KOR_EXPORT void setWebUrl(const QString &host);
KOR_EXPORT void setWebPort(int port);

} // namespace HostConfig
