#pragma once

#include "pkg_fas09600_export.h"

// The module's plain C entries, which the host binds to by name.
extern "C" {

// The host's entry: opens the billing preview screen (once) and its filter.
PKG_FAS09600_EXPORT void IniProc();

// Package initialization and finalization: the units' initialization in the
// package's unit order, and their finalization in reverse. Each unit counts
// its requests, so its body runs on the first initialization and on the last
// matching finalization only.
PKG_FAS09600_EXPORT void Initialize();
PKG_FAS09600_EXPORT void Finalize();

// The package description: see PackageInfo.
struct PackageInfoTable;
PKG_FAS09600_EXPORT const PackageInfoTable *GetPackageInfoTable();
}
