#pragma once

#include <QByteArray>

namespace BenchPreviewRows {

// A preview packet (the 28-field layout) of `rows` rows like a month's preview:
// mostly pending, some done, cancelled or not by the system, a quarter of them
// ticked; names and texts of realistic length. The same rows on every call.
QByteArray previewPacket(int rows);

} // namespace BenchPreviewRows
