#pragma once

#include <QString>

class TClientDataSet;

// The tick gestures of the preview grid, on a dataset of billing items
// (IDCHECK, IDSTAPFATFAS, VRTOTAFATFAS). Each change is posted to the dataset at
// once. The dataset's control updates are suspended while a command runs and
// resumed on every way out; a command that fails leaves no row in edit.
namespace TickCommands {

// What a toggle did to the current row, for keeping the ticked totals.
struct TickChange
{
    QString before;
    QString after;
    double total = 0.0; // the row's VRTOTAFATFAS
};

// Toggles the current row's tick: status "R" forces "D"; on any other status "N"
// becomes "S" and "S" becomes "N"; any other tick stays as it is. The row is
// opened and posted in every case. Nothing happens on an empty dataset (the
// result then has before == after).
TickChange ToggleCurrent(TClientDataSet &dataSet);

// Writes "N" (untick) or "S" into every row whose status is "P", from the first
// row to the last, and ends on the first row. Rows of any other status are not
// opened. Throws the dataset's error when it is closed or refuses a write.
void MarkAll(TClientDataSet &dataSet, bool untick);

} // namespace TickCommands
