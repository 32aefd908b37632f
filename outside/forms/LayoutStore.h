#pragma once

#include <QSettings>

#include "kor_export.h"

// Where the suite's screens keep their layout per user: QSettings in INI
// format, organization "fas09600", application "layout", one group per screen
// code ("FAS09600", "FAS09601").
namespace LayoutStore {

KOR_EXPORT QSettings Open();

} // namespace LayoutStore
