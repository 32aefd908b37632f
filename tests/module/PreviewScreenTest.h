#pragma once

#include <QObject>

#include "Cli_fas09600/FindBar.h"
#include "tests/module/ModuleFixture.h"
#include "tests/module/PreviewScreenDriver.h"
#include "Cli_fas09600/TfrmFaturamento.h"

// The base of the tests that drive the preview screen with the three sample rows
// (export, find, kept layout, keyboard, result panel): the module opened once for
// the program, modal dialogs disarmed and the find bar closed after each test.
class PreviewScreenTest : public QObject
{
    Q_OBJECT

protected:
    ModuleFixture m_fixture;
    PreviewScreenDriver m_preview{m_fixture};

    static TfrmFaturamento *screen() { return PreviewScreenDriver::screen(); }
    static TDBGrid *grid() { return PreviewScreenDriver::grid(); }
    void loadSample() { m_preview.loadSample(); }
    void pressOnGrid(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        m_preview.pressOnGrid(key, modifiers);
    }

private slots:
    void initTestCase() { m_preview.open(); }

    void cleanup()
    {
        m_fixture.modals.disarm();
        m_fixture.clearMessages();
        if (screen() && screen()->findBar->isVisible())
            screen()->findBar->Close();
    }

    void cleanupTestCase() { m_preview.close(); }
};
