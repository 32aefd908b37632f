#pragma once

#include "documents/InvoiceDocument.h"

class TDataPacket;

// GetFaturaDocumento's packet (billing/InvoiceLayout) as the document it prints:
// the header from the first row, one line per row.
namespace InvoiceFromPacket {

InvoiceDocument read(const TDataPacket &packet);

} // namespace InvoiceFromPacket
