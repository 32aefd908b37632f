#include <QtTest>

#include <QLabel>
#include <QLineEdit>
#include <QToolTip>

#include "FindBar.h"
#include "ModuleFixture.h"
#include "PreviewScreenDriver.h"
#include "TButtonFlat.h"
#include "TClientDataSet.h"
#include "TDBGrid.h"
#include "TfrmFaturamento.h"

// Reading the preview grid: find (Ctrl+F, F3) over the current column, and the
// calculation date shown as a date with the whole value in its tool tip.
class TstGridReading : public QObject
{
    Q_OBJECT

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

    // Find: Ctrl+F, the text, Enter, then F3; the current column only, case and
    // accents ignored, wrapping to the first row, a word when nothing matches.
    void find_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QList<int>>("rowsFound"); // after Enter, then after each F3
        QTest::addColumn<bool>("wrapsAtLast");
        QTest::newRow("accents and case") << 2 << "ACAO" << QList<int>{2, 2} << true;
        QTest::newRow("wraps to the first row") << 2 << "a" << QList<int>{1, 2, 0} << true;
        QTest::newRow("status caption") << 1 << "cancel" << QList<int>{2} << false;
        QTest::newRow("nothing matches") << 2 << "zeta" << QList<int>{0} << false;
        QTest::newRow("another column holds it") << 9 << "alfa" << QList<int>{0} << false;
    }

    void find()
    {
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(QList<int>, rowsFound);
        QFETCH(bool, wrapsAtLast);
        loadSample();
        grid()->setCurrentIndex(grid()->model()->index(0, column));
        pressOnGrid(Qt::Key_F, Qt::ControlModifier);
        FindBar *bar = screen()->findBar;
        QVERIFY(bar->isVisible());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(bar->edtProcurar));
        QTest::keyClicks(bar->edtProcurar, typed);
        QTest::keyClick(bar->edtProcurar, Qt::Key_Return);
        for (int i = 0; i < rowsFound.size(); ++i) {
            if (i > 0)
                pressOnGrid(Qt::Key_F3);
            QCOMPARE(grid()->currentIndex().row(), rowsFound.at(i));
            QCOMPARE(screen()->cdsFaturamento->RecNo(), rowsFound.at(i) + 1);
            QCOMPARE(grid()->currentIndex().column(), column);
        }
        const bool matches = rowsFound.first() != 0;
        QCOMPARE(bar->lblResultado->text().startsWith(QStringLiteral("Nenhuma linha contém \"%1\"").arg(typed)),
                 !matches);
        QCOMPARE(bar->lblResultado->text() == QStringLiteral("Procura reiniciada da primeira linha."),
                 matches && wrapsAtLast);
        QTest::keyClick(bar->edtProcurar, Qt::Key_Escape);
        QVERIFY(!bar->isVisible());
        QVERIFY(!screen()->mnuProcurar->isEnabled());
        screen()->sbtProcurar->click(); // the tool button opens the same bar
        QVERIFY(bar->isVisible());
    }

    // "Data da Apuração" shows the date in its designed width, the whole value
    // in the cell's tool tip.
    void calculationDateColumn()
    {
        loadSample();
        const QModelIndex cell = grid()->model()->index(0, 4);
        QCOMPARE(grid()->model()->data(cell).toString(), QStringLiteral("04/04/2024"));
        QCOMPARE(grid()->columnWidth(4), 93);
        const QRect rect = grid()->visualRect(cell);
        QHelpEvent help(QEvent::ToolTip, rect.center(), grid()->viewport()->mapToGlobal(rect.center()));
        QApplication::sendEvent(grid()->viewport(), &help);
        QCOMPARE(QToolTip::text(), QStringLiteral("04/04/2024 10:20:30"));
    }
};

QTEST_MAIN(TstGridReading)
#include "tst_gridreading.moc"
