#pragma once

#include <QString>

#include "pkg_fas09600_export.h"

class PreviewLink;
class TfrmFiltroFaturamento;

// The filter dialog's unit: its module-wide variables and its launch.
namespace Cli_fas09601 {

PKG_FAS09600_EXPORT extern TfrmFiltroFaturamento *frmFiltroFaturamento;
PKG_FAS09600_EXPORT extern bool boIdCriado;   // the dialog exists (never reset: it is only hidden)
PKG_FAS09600_EXPORT extern QString stEmpresa; // companies picked in the list picker
PKG_FAS09600_EXPORT extern QString stCliente; // clients picked in the list picker

// Where the dialog hands its confirmed filters to the preview: the preview's
// owner sets the loader; the dialog knows no more than this.
PKG_FAS09600_EXPORT PreviewLink &previewLink();

// Creates the filter dialog once and shows it modally; returns when it closes.
PKG_FAS09600_EXPORT void CriaFiltroFaturamento();

PKG_FAS09600_EXPORT void initialization();
PKG_FAS09600_EXPORT void Finalization();

} // namespace Cli_fas09601
