#pragma once

#include "platform/data/TFieldDef.h"
#include "fasbilling_export.h"

// The packet of GetFaturaDocumento: one row per calculation of the invoice, in month
// order, each carrying the entry's header (issuer, client and its address, number,
// date, total), so the packet alone makes the document. Defined once for the server
// and the module.
namespace InvoiceLayout {

FASBILLING_EXPORT const TFieldDefs &lines();

} // namespace InvoiceLayout
