#pragma once

#include "platform/data/TFieldDef.h"
#include "fasbilling_export.h"

// The billing item's field layouts, defined once for the screens and the
// application server alike. The field names are the server's column names.
namespace BillingItemLayout {

// The preview's 28 fields (cdsFaturamento and every packet loaded into it).
FASBILLING_EXPORT const TFieldDefs &faturamento();
// The 27 fields of a generation batch (cdsNota and cdsInv): no NRSOLISERV,
// MESAPURADO ahead of DTMESAPURFAS.
FASBILLING_EXPORT const TFieldDefs &batch();

} // namespace BillingItemLayout
