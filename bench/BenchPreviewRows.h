#pragma once

#include <QByteArray>

namespace BenchPreviewRows {

struct Shape
{
    int clients = 0;    // rows spread over this many clients (C0, C1, ...); 0: one client per row
    bool ticked = true; // a quarter of the open rows ticked, else none
};

// A preview packet (the 28-field layout) of `rows` rows like a month's preview:
// mostly pending, some done, cancelled or not by the system; names and texts of
// realistic length. The same rows on every call.
QByteArray previewPacket(int rows, Shape shape = {});

// The rows a bench runs on: FAS_BENCH_ROWS when set (1000000 for a million-row
// preview), else `fallback`.
int rowsToRun(int fallback);

} // namespace BenchPreviewRows
