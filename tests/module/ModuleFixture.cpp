#include "tests/module/ModuleFixture.h"

#include <QSettings>

#include "platform/ui/ErrorReport.h"
#include "outside/services/HostConfig.h"
#include "outside/forms/TApplication.h"

ModuleFixture::ModuleFixture()
    : mdiArea(new QMdiArea(&mainForm))
{
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    mainForm.setCentralWidget(mdiArea);
    mainForm.resize(1100, 700);
    Application().SetMainForm(&mainForm, mdiArea);
    MessageDialog::setRecorder([this](MessageDialog::Kind, const QString &text) { messages << text; });
    ErrorReport::setSink([this](const QString &text) { errors << text; });
}

ModuleFixture::~ModuleFixture()
{
    MessageDialog::setRecorder({});
    ErrorReport::setSink({});
}

bool ModuleFixture::start(QString *why)
{
    if (!server.prepareDemoDatabase() || !server.start()) {
        *why = server.errorText();
        return false;
    }
    HostConfig::setDatabaseUrl(server.databaseUrl());
    HostConfig::setWebUrl(server.host());
    HostConfig::setWebPort(server.port());
    dataModule.Open(server.databaseUrl());
    mainForm.show();
    return true;
}
