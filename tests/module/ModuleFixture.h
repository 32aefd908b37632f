#pragma once

#include <memory>

#include <QMainWindow>
#include <QMdiArea>
#include <QStringList>
#include <QTemporaryDir>

#include "tests/support/AppServerProcess.h"
#include "outside/services/MessageDialog.h"
#include "tests/support/ModalWatcher.h"
#include "outside/data/TdtmDBGeral.h"

// The module's environment in a test program: an MDI main form, the host's data
// module on a demo database, a real application server on that database, the
// host configuration pointing at it, and recorders for messages and errors.
class ModuleFixture
{
public:
    ModuleFixture();
    ~ModuleFixture();

    bool start(QString *why);

    // The user's settings (kept layout, filter options) live here for the run.
    QTemporaryDir settingsDir;
    QMainWindow mainForm;
    QMdiArea *mdiArea = nullptr;
    TdtmDBGeral dataModule;
    AppServerProcess server;
    ModalWatcher modals;
    QStringList messages; // information and error dialogs, in order
    QStringList errors;   // the application's error report

    void clearMessages()
    {
        messages.clear();
        errors.clear();
    }
};
