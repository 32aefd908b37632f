#pragma once

#include "kor_export.h"

class QWidget;

// The busy animation shown over the main form during remote calls. It moves by
// itself (a timer), so it keeps moving while a call waits in a local event loop.
// Activating while it shows keeps it; deactivating when none shows does nothing.
namespace Showavi {

KOR_EXPORT void ActiveShowAvi(QWidget *mainForm, int kind);
KOR_EXPORT void DeactiveShowAvi();
KOR_EXPORT bool IsActive();
KOR_EXPORT int ActivationCount(); // how many times it has been shown, for tests

} // namespace Showavi
