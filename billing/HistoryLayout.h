#pragma once

#include "platform/data/TFieldDef.h"
#include "fasbilling_export.h"

// The layouts of the generation history's packets, defined once for the history
// screen and the application server alike (GetGeracoes, GetLancamentosGeracao and
// the reversals' answers).
namespace HistoryLayout {

// One row per run, key field IDGERACAO.
FASBILLING_EXPORT const TFieldDefs &runs();
// One row per entry a run made or reversed.
FASBILLING_EXPORT const TFieldDefs &entries();

} // namespace HistoryLayout
