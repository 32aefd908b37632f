#pragma once

#include "pkg_fas09600_export.h"

// The history screen's unit; the screen opens through TfrmHistorico::Abre.
namespace Cli_fas09602 {

PKG_FAS09600_EXPORT void initialization();
PKG_FAS09600_EXPORT void Finalization();

} // namespace Cli_fas09602
