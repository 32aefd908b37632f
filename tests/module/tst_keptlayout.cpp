#include <QtTest>

#include <QHeaderView>
#include <QMdiSubWindow>

#include "FindBar.h"
#include "ModuleFixture.h"
#include "PreviewActions.h"
#include "PreviewScreenDriver.h"
#include "ScreenLayout.h"
#include "TClientDataSet.h"
#include "TDBGrid.h"
#include "TfrmFaturamento.h"

// The layout kept per user: the grid's column widths and order, the screen's
// place and size and the filter dialog's place across closing and opening, and
// the menu entry that puts the design back.
class TstKeptLayout : public QObject
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

    // Column widths and order, the screen's place and size and the filter
    // dialog's place survive closing and opening the screen; the menu entry
    // puts the design back.
    void layoutKeptAcrossCloseAndReopen()
    {
        QHeaderView *header = grid()->horizontalHeader();
        const QRect designed = screen()->SubWindow()->geometry();
        header->moveSection(header->visualIndex(9), 0);
        header->resizeSection(2, 301);
        screen()->SubWindow()->setGeometry(QRect(12, 14, 960, 520));
        QPoint dialogPlace;
        m_fixture.modals.arm([&](QWidget *modal) {
            modal->move(modal->pos() + QPoint(31, 17));
            dialogPlace = modal->pos();
            ModalWatcher::closeModal(modal);
        });
        pressOnGrid(Qt::Key_L, Qt::ControlModifier);
        m_preview.closeScreen();

        QPoint reopenedAt;
        m_preview.launch([&](QWidget *modal) {
            // The kept place is given back just after the dialog's own centring.
            if (QTest::qWaitFor([&] { return modal->pos() == dialogPlace; }))
                reopenedAt = modal->pos();
            ModalWatcher::closeModal(modal);
        });
        header = grid()->horizontalHeader();
        QCOMPARE(reopenedAt, dialogPlace);
        QCOMPARE(screen()->SubWindow()->geometry(), QRect(12, 14, 960, 520));
        screen()->cdsFaturamento->SetData(BillingRows::packet(PreviewScreenDriver::sampleRows())); // a load keeps them too
        QCOMPARE(header->logicalIndex(0), 9);
        QCOMPARE(header->sectionSize(2), 301);

        screen()->previewActions->mnuRestaurarLayout->trigger();
        QCOMPARE(header->logicalIndex(0), 0);
        QCOMPARE(header->sectionSize(2), 237);
        QCOMPARE(screen()->SubWindow()->geometry(), designed);
        QVERIFY(!ScreenLayout::Store().contains(QStringLiteral("FAS09601/posicao")));

        screen()->SubWindow()->showMaximized(); // closed maximized: the normal place is what stays
        m_preview.closeScreen();
        m_preview.launch();
        QCOMPARE(screen()->SubWindow()->geometry(), designed);
    }
};

QTEST_MAIN(TstKeptLayout)
#include "tst_keptlayout.moc"
