#pragma once

#include <functional>

#include "pkg_fas09600_export.h"

class RunResultPanel;
class TfrmFaturamento;

// The preview screen's unit: its module-wide variables and its launch.
namespace Cli_fas09600 {

PKG_FAS09600_EXPORT extern TfrmFaturamento *frmFaturamento;
PKG_FAS09600_EXPORT extern bool boIdCriado;  // the preview screen exists
PKG_FAS09600_EXPORT extern bool boTodosServ; // false: the next mark-all pass ticks

// Creates the preview screen once, shows it on its grid page as an MDI child,
// opens the filter dialog modally and gives the grid the focus.
PKG_FAS09600_EXPORT void CriaFaturamento();

// What "Histórico de gerações…" runs: opens the history screen, whose
// reversals the given result panel marks. The package sets it; the preview
// knows no more of the history screen than this.
using HistoryOpener = std::function<void(RunResultPanel &resultPanel)>;
PKG_FAS09600_EXPORT HistoryOpener &historyOpener();

PKG_FAS09600_EXPORT void initialization();
PKG_FAS09600_EXPORT void Finalization();

} // namespace Cli_fas09600
