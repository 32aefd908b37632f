#pragma once

#include "documents/InvoiceDocument.h"
#include "fasdocuments_export.h"

class TDataPacket;

// GetFaturaDocumento's packet (billing/InvoiceLayout) as the document it prints:
// the header from the first row, one line per row, in month order. The history and the preview's
// result panel read the packet the same way.
namespace InvoiceFromPacket {

FASDOCUMENTS_EXPORT InvoiceDocument read(const TDataPacket &packet);

} // namespace InvoiceFromPacket
