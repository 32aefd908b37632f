#pragma once

#include <functional>

#include <QList>
#include <QStringList>

#include "tests/support/BillingRows.h"

class ModuleFixture;
class QWidget;
class TDBGrid;
class TfrmFaturamento;

// The preview screen as the export, find, layout, keyboard and result tests
// drive it: opened through the module's real entries, loaded with three sample
// rows whose "Valor Total" column has been dragged in front of "Cliente".
class PreviewScreenDriver
{
public:
    explicit PreviewScreenDriver(ModuleFixture &fixture)
        : m_fixture(fixture)
    {
    }

    // Initializes the module and opens the screen, closing the filter dialog.
    // Finding, exporting and moving columns also go through Qt's model checks.
    void open();
    // Closes the screen if it is open and finalizes the module.
    void close();

    // IniProc; `onDialog` answers the modal dialogs it opens.
    void launch(std::function<void(QWidget *)> onDialog = {});
    void closeScreen();
    void loadSample();
    void pressOnGrid(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

    // A real click on a column's title, as the user sorts or marks all.
    static void clickTitle(int column);

    static TfrmFaturamento *screen();
    static TDBGrid *grid();

    static QList<BillingRow> sampleRows();
    // The sample as the screen shows it, "Valor Total" in front of "Cliente".
    static const QStringList &shownTitles();
    static QList<QStringList> shownRows();

private:
    ModuleFixture &m_fixture;
};
