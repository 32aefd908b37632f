#include "outside/forms/LayoutStore.h"

namespace LayoutStore {

QSettings Open()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("fas09600"), QStringLiteral("layout"));
}

} // namespace LayoutStore
