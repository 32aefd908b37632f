#pragma once

#include <functional>

#include "kor_export.h"

class QWidget;

// The busy animation shown over the main form during remote calls. It moves by
// itself (a timer), so it keeps moving while a call waits in a local event loop.
// Activating while it shows keeps it; deactivating when none shows does nothing.
namespace Showavi {

KOR_EXPORT void ActiveShowAvi(QWidget *mainForm, int kind);
KOR_EXPORT void DeactiveShowAvi();
// While a load's rows arrive: "N linhas recebidas" under the caption.
KOR_EXPORT void ShowReceivedRows(int rows);
// A "Cancelar" button on the animation that calls `cancel` (the call's own way
// to stop); the animation then takes the input the waiting call lets through.
KOR_EXPORT void OfferCancel(std::function<void()> cancel);
KOR_EXPORT bool IsActive();
// Told each time the animation is asked for (once per remote call), by whoever
// follows the calls; an empty function: no one.
KOR_EXPORT void SetActivationListener(std::function<void()> listener);

} // namespace Showavi
