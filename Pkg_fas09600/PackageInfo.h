#pragma once

// The package description the host's loader reads: the package is run-only and
// never rebuilt on demand, the runtime packages it requires (in order), the
// units it contains and its version.
extern "C" {

struct PackageInfoTable
{
    int runOnly;    // 1
    int neverBuild; // 1
    int requiresCount;
    const char *const *requiresList; // "_kor", "_rtl", "_qr", "_lib", "_ger", "_frm", "_db", "_vcl"
    int unitCount;
    const char *const *unitList; // "Pkg_FAS09600", "Cli_FAS09601", "Cli_FAS09600", start-up unit
    int versionMajor;            // 6
    int versionMinor;            // 10
    int versionRelease;          // 38
    int versionBuild;            // 0
    const char *versionText;     // "6.10.038"
    const char *language;        // "pt-BR"
    int codePage;                // 1252
};
}
