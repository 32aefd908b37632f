#pragma once

#include <QString>

#include "kor_export.h"

// The host's configuration: one INI file naming the database and the
// application server's address, and the client's credentials ([client]
// token_file, ca_file; a relative path lies beside the file). Environment
// variables override the file (FAS_DATABASE, FAS_WEB_URL, FAS_WEB_PORT,
// FAS_TOKEN_FILE, FAS_CA_FILE), and the host's command line overrides both
// through the setters.
namespace HostConfig {

KOR_EXPORT void load(const QString &iniPath); // a missing file throws FasError naming it
KOR_EXPORT QString iniPath();

KOR_EXPORT QString databaseUrl();
KOR_EXPORT QString webUrl();    // default "127.0.0.1"
KOR_EXPORT int webPort();       // default 9600
KOR_EXPORT QString tokenFile(); // the bearer token the client sends; empty: none
KOR_EXPORT QString caFile();    // the authority that signs an https server's certificate

KOR_EXPORT void setDatabaseUrl(const QString &url);
KOR_EXPORT void setWebUrl(const QString &host);
KOR_EXPORT void setWebPort(int port);

} // namespace HostConfig
