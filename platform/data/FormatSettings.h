#pragma once

#include <QLocale>
#include <QString>

#include "fasdata_export.h"

// The host's number and date settings, used by DisplayText and AsString.
// Brazilian Portuguese unless the host sets otherwise.
namespace FormatSettings {

FASDATA_EXPORT QLocale locale();
FASDATA_EXPORT void setLocale(const QLocale &locale);

// A number in a display format such as "#,##0.00" ("," asks for grouping, the
// digits after "." give the decimals), with the locale's separators.
FASDATA_EXPORT QString formatFloat(double value, const QString &displayFormat);

} // namespace FormatSettings
