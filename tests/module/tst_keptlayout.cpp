#include <QtTest>

#include <QHeaderView>
#include <QMdiSubWindow>

#include "Cli_fas09601/FilterDialogPlacement.h"
#include "Cli_fas09600/FindBar.h"
#include "Cli_fas09600/PreviewSorting.h"
#include "tests/module/ModuleFixture.h"
#include "Cli_fas09600/PreviewActions.h"
#include "tests/module/PreviewScreenTest.h"
#include "Cli_fas09600/ScreenLayout.h"
#include "platform/data/TClientDataSet.h"
#include "outside/controls/TButtonFlat.h"
#include "platform/ui/TDBGrid.h"
#include "Cli_fas09600/TfrmFaturamento.h"

// The layout kept per user: the grid's column widths and order, the screen's
// place and size and the filter dialog's place across closing and opening, and
// the menu entry that puts the design back.
class TstKeptLayout : public PreviewScreenTest
{
    Q_OBJECT

private slots:
    // Column widths and order, the screen's place and size and the filter
    // dialog's place survive closing and opening the screen; the menu entry
    // puts the design back.
    QList<int> widths() const
    {
        QList<int> result;
        for (int column = 0; column < grid()->horizontalHeader()->count(); ++column)
            result << grid()->horizontalHeader()->sectionSize(column);
        return result;
    }

    // Column widths (every one of them, "Valor Total" too) and order, the rows'
    // order, the screen's place and size and the filter dialog's place survive a
    // verify, closing and opening the screen; the menu entry puts the design back.
    void layoutKeptAcrossCloseAndReopen()
    {
        QHeaderView *header = grid()->horizontalHeader();
        const QRect designed = screen()->SubWindow()->geometry();
        loadSample();
        header->moveSection(header->visualIndex(9), 0);
        QList<int> kept;
        for (int column = 0; column < header->count(); ++column) {
            kept << header->sectionSize(column) + 40 + column;
            header->resizeSection(column, kept.last());
        }
        PreviewScreenDriver::clickTitle(2);
        PreviewScreenDriver::clickTitle(2); // the clients, descending
        screen()->SubWindow()->setGeometry(QRect(12, 14, 960, 520));
        screen()->sbtVerificar->click();
        QCOMPARE(widths(), kept);
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
        QCOMPARE(widths(), kept);
        screen()->cdsFaturamento->SetData(
            BillingRows::packet(PreviewScreenDriver::sampleRows())); // a load keeps them too
        QCOMPARE(header->logicalIndex(0), 9);
        QCOMPARE(widths(), kept);
        QCOMPARE(screen()->cdsFaturamento->IndexField(), QStringLiteral("NMFANTCLIE"));
        QVERIFY(screen()->cdsFaturamento->IndexDescending());
        QCOMPARE(header->sortIndicatorSection(), 2);
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);

        screen()->previewActions->mnuRestaurarLayout->trigger();
        QCOMPARE(header->logicalIndex(0), 0);
        QCOMPARE(header->sectionSize(2), 237);
        QCOMPARE(screen()->cdsFaturamento->IndexField(), QString());
        QCOMPARE(header->sortIndicatorSection(), -1);
        QCOMPARE(screen()->SubWindow()->geometry(), designed);
        QVERIFY(!ScreenLayout::Store().contains(QStringLiteral("FAS09601/posicao")));

        screen()->SubWindow()->showMaximized(); // closed maximized: the normal place is what stays
        m_preview.closeScreen();
        m_preview.launch();
        QCOMPARE(screen()->SubWindow()->geometry(), designed);
    }

    // A kept place of the filter dialog where no display shows it (a larger or a
    // second monitor since gone) is not used: the dialog opens where it can be seen.
    void keptDialogPlace_data()
    {
        QTest::addColumn<QPoint>("kept");
        QTest::addColumn<bool>("used");
        QTest::newRow("on the display") << QPoint(40, 30) << true;
        QTest::newRow("beyond a larger display") << QPoint(9000, 7000) << false;
        QTest::newRow("left of the display") << QPoint(-3000, 40) << false;
        QTest::newRow("title bar above the display") << QPoint(40, -400) << false;
        QTest::newRow("only a sliver on the right")
            << QPoint(QGuiApplication::primaryScreen()->availableGeometry().right() - 20, 40) << false;
    }

    void keptDialogPlace()
    {
        QFETCH(QPoint, kept);
        QFETCH(bool, used);
        ScreenLayout::Store().setValue(QStringLiteral("FAS09601/posicao"), kept);
        QPoint shownAt;
        int shownWidth = 0;
        m_fixture.modals.arm([&](QWidget *modal) {
            QCoreApplication::processEvents(); // the kept place comes just after the dialog's centring
            shownAt = modal->pos();
            shownWidth = modal->frameGeometry().width();
            ModalWatcher::closeModal(modal);
        });
        pressOnGrid(Qt::Key_L, Qt::ControlModifier);
        QCOMPARE(shownAt == kept, used);
        QVERIFY(FilterDialogPlacement::ShowsOnADisplay(
            QRect(shownAt, QSize(shownWidth, FilterDialogPlacement::TitleBarHeight))));
    }
};

QTEST_MAIN(TstKeptLayout)
#include "tst_keptlayout.moc"
