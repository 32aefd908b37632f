#pragma once

#include <functional>

#include <QString>

#include "fasui_export.h"

class QWidget;

// The application's standard error report: a modal error dialog showing the
// message. Tests and hosts may route it elsewhere with setSink.
namespace ErrorReport {

using Sink = std::function<void(const QString &message)>;

FASUI_EXPORT void show(const QString &message);
FASUI_EXPORT void setSink(Sink sink); // an empty sink restores the dialog
FASUI_EXPORT void setDialogParent(QWidget *parent);

} // namespace ErrorReport
