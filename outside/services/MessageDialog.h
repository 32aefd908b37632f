#pragma once

#include <functional>

#include <QString>

#include "kor_export.h"

// The suite's modal message dialogs. Tests route them to a recorder with
// setRecorder, so that no dialog blocks an offscreen run.
namespace MessageDialog {

enum class Kind { Information, Error };
using Recorder = std::function<void(Kind kind, const QString &text)>;

KOR_EXPORT void information(const QString &text);
KOR_EXPORT void error(const QString &text);
KOR_EXPORT void setRecorder(Recorder recorder);

} // namespace MessageDialog
