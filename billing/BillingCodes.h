#pragma once

#include <QString>

#include "fasbilling_export.h"

// The billing item's code sets and the texts the screens show for them.
namespace BillingCodes {

// Status (IDSTAPFATFAS).
inline constexpr char StatusPending = 'P';
inline constexpr char StatusNotBySystem = 'N';
inline constexpr char StatusRealized = 'R';
inline constexpr char StatusCancelled = 'C';

// Tick (IDCHECK).
inline constexpr char TickTicked = 'S';
inline constexpr char TickUnticked = 'N';
inline constexpr char TickNotTickable = 'D';

// "Mão de obra", "Service Desk", ... for "1", "2", "3", "5", "6", "7"; empty for
// any other value, "4" and empty included. The whole value is compared.
FASBILLING_EXPORT QString serviceTypeText(const QString &code);
// The detail page's situation text: "Pendente", "Não realizada pelo sistema",
// "Realizada", "Cancelada"; empty for any other value.
FASBILLING_EXPORT QString situationText(const QString &status);
// The legend's captions, which end differently for "N" and "C".
FASBILLING_EXPORT QString legendCaption(const QString &status);

} // namespace BillingCodes
