#include <QtTest>

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>

#include "tests/support/BillingRows.h"
#include "Cli_fas09600/Cli_fas09600.h"
#include "platform/data/FormatSettings.h"
#include "tests/module/ModuleFixture.h"
#include "Pkg_fas09600/Pkg_fas09600.h"
#include "outside/forms/TApplication.h"
#include "outside/controls/TButtonFlat.h"
#include "platform/data/TClientDataSet.h"
#include "platform/ui/TDBGrid.h"
#include "platform/ui/TDataSource.h"
#include "Cli_fas09600/PreviewSorting.h"
#include "Cli_fas09600/TfrmFaturamento.h"

Q_DECLARE_METATYPE(BillingRow)

namespace {

constexpr int TickColumn = 0;
constexpr int ClientColumn = 2;
constexpr int MonthColumn = 5;
constexpr int TotalColumn = 6;

BillingRow item(const QString &status, const QString &tick, double total = 100.0)
{
    BillingRow row;
    row.status = status;
    row.tick = tick;
    row.total = total;
    return row;
}

} // namespace

// Ticking rows in the preview grid with real clicks and keys: one row at a
// time, all pending rows at once, the mark-all toggle, the cursor, the totals
// at the end of the legend, and the way out of a pass that fails.
class TstTicking : public QObject
{
    Q_OBJECT

    ModuleFixture m_fixture;
    QPointer<TfrmFaturamento> m_screen;
    QList<int> m_editedRows; // rows opened for editing (1-based), in order
    bool m_sawHourGlass = false;
    std::function<void()> m_onEdit;

    TClientDataSet *data() const { return m_screen->cdsFaturamento; }
    TDBGrid *grid() const { return m_screen->dbgPadrao; }
    QString totalsText() const { return m_screen->lblTotalMarcado->text(); }

    void load(const QList<BillingRow> &rows)
    {
        data()->SetData(BillingRows::packet(rows));
        m_editedRows.clear();
        m_sawHourGlass = false;
    }

    QStringList ticks() const
    {
        QStringList result;
        const TRecordStore &store = data()->Store();
        for (int row = 0; row < store.rowCount(); ++row)
            result << BillingRows::cell(store, row, "IDCHECK");
        return result;
    }

    void clickCell(int row, int column)
    {
        const QRect cell = grid()->visualRect(grid()->model()->index(row, column));
        QVERIFY(!cell.isEmpty());
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    }

    void clickTitle(int column)
    {
        QHeaderView *header = grid()->horizontalHeader();
        const QPoint centre(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                            header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    }

    void pressOnGrid(int row, int column, Qt::KeyboardModifiers modifiers)
    {
        QApplication::setActiveWindow(m_screen->window());
        grid()->setFocus();
        grid()->setCurrentIndex(grid()->model()->index(row, column));
        QTest::keyClick(grid(), Qt::Key_Space, modifiers);
    }

    // Runs the mark-all gesture named in the data rows.
    void markAll(const QString &gesture)
    {
        if (gesture == QLatin1String("title"))
            clickTitle(TickColumn);
        else if (gesture == QLatin1String("ctrl+space"))
            pressOnGrid(data()->RecNo() - 1, ClientColumn, Qt::ControlModifier);
        else if (gesture == QLatin1String("ctrl+shift+space"))
            pressOnGrid(data()->RecNo() - 1, ClientColumn, Qt::ControlModifier | Qt::ShiftModifier);
        else if (gesture == QLatin1String("ctrl+alt+space"))
            pressOnGrid(data()->RecNo() - 1, ClientColumn, Qt::ControlModifier | Qt::AltModifier);
        else
            QFAIL(qPrintable(gesture));
    }

private slots:
    void initTestCase()
    {
        QString why;
        QVERIFY2(m_fixture.start(&why), qPrintable(why));
        Initialize();
        // The screen as the module creates it, connected to the server; the
        // filter dialog plays no part here.
        m_screen = Application().CreateForm<TfrmFaturamento>();
        m_screen->ShowAsMdiChild();
        m_screen->SubWindow()->resize(m_fixture.mdiArea->size());
        QVERIFY(QTest::qWaitForWindowExposed(m_screen));
        // Every load, edit and tick below also goes through Qt's model checks.
        new QAbstractItemModelTester(grid()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest, m_screen);
        connect(data(), &TClientDataSet::StateChange, this, [this](TClientDataSet *dataSet) {
            if (dataSet->State() != TDataSetState::Edit)
                return;
            m_editedRows << dataSet->RecNo();
            if (m_onEdit)
                m_onEdit();
        });
        connect(data(), &TClientDataSet::AfterScroll, this,
                [this] { m_sawHourGlass = m_sawHourGlass || Screen::Cursor() == Screen::crHourGlass; });
    }

    void cleanupTestCase()
    {
        if (m_screen) {
            m_screen->sbtFechar->click();
            QTRY_VERIFY(m_screen.isNull());
        }
        Finalize();
    }

    void cleanup()
    {
        m_onEdit = {};
        m_fixture.clearMessages();
        Screen::SetCursor(Screen::crDefault);
        m_screen->previewSorting->Clear(); // each case starts on the rows as the server sent them
    }

    void toggle_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("gesture"); // "click" on the tick cell, "space", "shift+space", "client click"
        QTest::addColumn<QString>("after");

        QTest::newRow("P N click") << "P"
                                   << "N"
                                   << "click"
                                   << "S";
        QTest::newRow("P S click") << "P"
                                   << "S"
                                   << "click"
                                   << "N";
        QTest::newRow("C N click") << "C"
                                   << "N"
                                   << "click"
                                   << "S";
        QTest::newRow("N S click") << "N"
                                   << "S"
                                   << "click"
                                   << "N";
        QTest::newRow("unknown status N click") << "X"
                                                << "N"
                                                << "click"
                                                << "S";
        QTest::newRow("r (lower case) N click") << "r"
                                                << "N"
                                                << "click"
                                                << "S";
        QTest::newRow("R N click") << "R"
                                   << "N"
                                   << "click"
                                   << "D";
        QTest::newRow("R S click") << "R"
                                   << "S"
                                   << "click"
                                   << "D";
        QTest::newRow("R empty click") << "R"
                                       << ""
                                       << "click"
                                       << "D";
        QTest::newRow("R other click") << "R"
                                       << "X"
                                       << "click"
                                       << "D";
        QTest::newRow("P D click") << "P"
                                   << "D"
                                   << "click"
                                   << "D";
        QTest::newRow("P empty click") << "P"
                                       << ""
                                       << "click"
                                       << "";
        QTest::newRow("C other click") << "C"
                                       << "s"
                                       << "click"
                                       << "s";
        QTest::newRow("P N space on the client") << "P"
                                                 << "N"
                                                 << "space"
                                                 << "S";
        QTest::newRow("R S space on the client") << "R"
                                                 << "S"
                                                 << "space"
                                                 << "D";
        QTest::newRow("P S shift+space") << "P"
                                         << "S"
                                         << "shift+space"
                                         << "N";
        QTest::newRow("P N click on the client") << "P"
                                                 << "N"
                                                 << "client click"
                                                 << "N";
        QTest::newRow("P N click on the total") << "P"
                                                << "N"
                                                << "total click"
                                                << "N";
    }

    void toggle()
    {
        QFETCH(QString, status);
        QFETCH(QString, before);
        QFETCH(QString, gesture);
        QFETCH(QString, after);
        // The third row is ticked; the second counts while its tick is "S".
        const auto totals = [](const QString &tick) {
            return tick == QLatin1String("S") ? QStringLiteral("Marcados: 2   Total marcado: 1.244,50")
                                              : QStringLiteral("Marcados: 1   Total marcado: 10,00");
        };
        load({item("P", "N", 100.0), item(status, before, 1234.5), item("P", "S", 10.0)});
        QCOMPARE(totalsText(), totals(before));
        QCOMPARE(data()->RecNo(), 1);
        QSignalSpy stateReports(m_screen->dtsPadrao, &TDataSource::StateChange);
        QVERIFY(stateReports.isValid());

        if (gesture == QLatin1String("click"))
            clickCell(1, TickColumn);
        else if (gesture == QLatin1String("space"))
            pressOnGrid(1, ClientColumn, Qt::NoModifier);
        else if (gesture == QLatin1String("shift+space"))
            pressOnGrid(1, ClientColumn, Qt::ShiftModifier);
        else if (gesture == QLatin1String("client click"))
            clickCell(1, ClientColumn);
        else
            clickCell(1, TotalColumn);

        QCOMPARE(data()->RecNo(), 2); // the clicked row is current
        QCOMPARE(ticks(), QStringList({"N", after, "S"}));
        QCOMPARE(data()->State(), TDataSetState::Browse);
        QVERIFY(!data()->ControlsDisabled());
        QCOMPARE(stateReports.count(), 0);
        const bool onTick = !gesture.endsWith(QLatin1String("click")) || gesture == QLatin1String("click");
        // The row is opened and posted even when its tick stays as it was.
        QCOMPARE(m_editedRows, onTick ? QList<int>{2} : QList<int>{});
        QCOMPARE(totalsText(), totals(after));
        QVERIFY(!Cli_fas09600::boTodosServ);
        QVERIFY(m_fixture.errors.isEmpty());
        // The grid shows the new tick at once.
        QCOMPARE(grid()->model()->index(1, TickColumn).data().toString(), after);
    }

    void secondClickTogglesBack()
    {
        load({item("P", "N", 1234.5)});
        clickCell(0, TickColumn);
        QCOMPARE(ticks(), QStringList{"S"});
        QCOMPARE(totalsText(), QStringLiteral("Marcados: 1   Total marcado: 1.234,50"));
        clickCell(0, TickColumn);
        QCOMPARE(ticks(), QStringList{"N"});
        QCOMPARE(totalsText(), QStringLiteral("Marcados: 0   Total marcado: 0,00"));
    }

    void emptyPreviewOpensNothing_data()
    {
        QTest::addColumn<bool>("open");
        QTest::newRow("loaded, no rows") << true;
        QTest::newRow("never loaded") << false;
    }

    void emptyPreviewOpensNothing()
    {
        QFETCH(bool, open);
        data()->Close();
        if (open)
            load({});
        m_editedRows.clear();
        // Where the first row's tick cell would be, and the space bar.
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(grid()->columnViewportPosition(TickColumn) + 5, 5));
        grid()->setFocus();
        QTest::keyClick(grid(), Qt::Key_Space);
        QVERIFY(m_editedRows.isEmpty());
        QVERIFY(m_fixture.errors.isEmpty());
        QCOMPARE(data()->Active(), open);
        QCOMPARE(totalsText(), open ? QStringLiteral("Marcados: 0   Total marcado: 0,00") : QString());
    }

    void markAllPasses_data()
    {
        QTest::addColumn<QString>("gesture");
        QTest::newRow("title click") << "title";
        QTest::newRow("ctrl+space") << "ctrl+space";
        QTest::newRow("ctrl+shift+space") << "ctrl+shift+space";
        QTest::newRow("ctrl+alt+space") << "ctrl+alt+space";
    }

    // First pass ticks every pending row (also those ticked or not tickable by
    // hand), the second unticks them, the third ticks again; other rows are never
    // opened. Each pass ends on the first row with the default cursor.
    void markAllPasses()
    {
        QFETCH(QString, gesture);
        load({item("P", "N", 1000.0), item("P", "S", 200.0), item("R", "D", 30.0), item("C", "N", 4.0),
              item("N", "S", 0.5), item("P", "D", 0.25), item("X", "", 8.0), item("P", "", 16.0)});
        QCOMPARE(totalsText(), QStringLiteral("Marcados: 2   Total marcado: 200,50"));
        const QList<int> pendingRows = {1, 2, 6, 8};

        const QList<QStringList> expected = {
            {"S", "S", "D", "N", "S", "S", "", "S"},
            {"N", "N", "D", "N", "S", "N", "", "N"},
            {"S", "S", "D", "N", "S", "S", "", "S"},
        };
        const QStringList labels = {
            QStringLiteral("Marcados: 5   Total marcado: 1.216,75"),
            QStringLiteral("Marcados: 1   Total marcado: 0,50"),
            QStringLiteral("Marcados: 5   Total marcado: 1.216,75"),
        };
        for (int pass = 0; pass < expected.size(); ++pass) {
            data()->SetRecNo(5);
            Screen::SetCursor(Screen::crHourGlass); // the pass ends on the default cursor, whatever was shown
            m_editedRows.clear();
            m_sawHourGlass = false;
            QSignalSpy stateReports(m_screen->dtsPadrao, &TDataSource::StateChange);
            QVERIFY(stateReports.isValid());
            markAll(gesture);
            // The rows' edits are not reported to the tool bar one by one.
            QCOMPARE(stateReports.count(), 0);
            QCOMPARE(ticks(), expected[pass]);
            QCOMPARE(m_editedRows, pendingRows);
            QCOMPARE(data()->RecNo(), 1);
            QCOMPARE(grid()->currentIndex().row(), 0);
            QVERIFY(grid()->selectionModel()->isRowSelected(0, {}));
            QCOMPARE(Screen::Cursor(), Screen::crDefault);
            QVERIFY(m_sawHourGlass);
            QCOMPARE(Cli_fas09600::boTodosServ, pass % 2 == 0);
            QCOMPARE(totalsText(), labels[pass]);
            QVERIFY(!data()->ControlsDisabled());
            QCOMPARE(grid()->model()->index(0, TickColumn).data().toString(), expected[pass][0]);
        }
        QVERIFY(m_fixture.errors.isEmpty());
    }

    void reloadResetsTheToggle()
    {
        const QList<BillingRow> rows = {item("P", "N"), item("P", "N")};
        load(rows);
        clickTitle(TickColumn);
        clickTitle(TickColumn);
        QCOMPARE(ticks(), QStringList({"N", "N"}));
        clickTitle(TickColumn);
        QVERIFY(Cli_fas09600::boTodosServ);
        load(rows); // a new filter confirmed: the dataset opens anew
        QVERIFY(!Cli_fas09600::boTodosServ);
        clickTitle(TickColumn);
        QCOMPARE(ticks(), QStringList({"S", "S"}));
    }

    // The toggle flips after every complete pass, also one that changed nothing.
    void passWithoutPendingRowsStillFlips_data()
    {
        QTest::addColumn<QList<BillingRow>>("rows");
        QTest::newRow("empty preview") << QList<BillingRow>{};
        QTest::newRow("no pending row") << QList<BillingRow>{item("R", "D"), item("C", "N")};
    }

    void passWithoutPendingRowsStillFlips()
    {
        QFETCH(QList<BillingRow>, rows);
        load(rows);
        const QStringList before = ticks();
        clickTitle(TickColumn);
        QCOMPARE(ticks(), before);
        QVERIFY(m_editedRows.isEmpty());
        QVERIFY(Cli_fas09600::boTodosServ);
        // A pending row that arrives without a reload: the next pass unticks.
        data()->Append();
        data()->FieldByName(QStringLiteral("IDSTAPFATFAS"))->SetAsString(QStringLiteral("P"));
        data()->FieldByName(QStringLiteral("IDCHECK"))->SetAsString(QStringLiteral("S"));
        data()->Post();
        clickTitle(TickColumn);
        QCOMPARE(ticks().last(), QStringLiteral("N"));
        QVERIFY(!Cli_fas09600::boTodosServ);
    }

    void otherTitlesChangeNothing_data()
    {
        QTest::addColumn<int>("column");
        QTest::newRow("status") << 1;
        QTest::newRow("client") << ClientColumn;
        QTest::newRow("total") << TotalColumn;
    }

    void otherTitlesChangeNothing()
    {
        QFETCH(int, column);
        load({item("P", "N"), item("P", "S"), item("R", "N")});
        data()->SetRecNo(3);
        Screen::SetCursor(Screen::crHourGlass);
        clickTitle(column);
        QCOMPARE(ticks(), QStringList({"N", "S", "N"}));
        QVERIFY(m_editedRows.isEmpty());
        QCOMPARE(data()->RecNo(), 3);
        QVERIFY(!Cli_fas09600::boTodosServ);
        QCOMPARE(Screen::Cursor(), Screen::crDefault);
    }

    // A click on a title sorts the rows themselves (again: descending): the grid,
    // the cursor and the mark-all pass all follow that order; the tick column's
    // title marks all and leaves the order as it was.
    void titleClickSorts_data()
    {
        QTest::addColumn<QList<int>>("titles"); // clicked in turn
        QTest::addColumn<QString>("clients");   // the rows' clients, as the grid shows them
        QTest::addColumn<int>("indicator");     // the header's sorted section, -1 none
        QTest::addColumn<QString>("ticksAfterMarkAll");
        QTest::newRow("client") << QList<int>{ClientColumn} << "Ana,bia,Caio,Érico" << ClientColumn << "S,N,S,S";
        QTest::newRow("client, again: descending")
            << QList<int>{ClientColumn, ClientColumn} << "Érico,Caio,bia,Ana" << ClientColumn << "S,S,N,S";
        QTest::newRow("total") << QList<int>{TotalColumn} << "Érico,Caio,Ana,bia" << TotalColumn << "S,S,S,N";
        QTest::newRow("status, then the tick column keeps it")
            << QList<int>{1, TickColumn} << "Caio,Ana,Érico,bia" << 1 << "S,S,S,N";
        QTest::newRow("month: by date across years")
            << QList<int>{MonthColumn} << "Ana,Caio,bia,Érico" << MonthColumn << "S,S,N,S";
        QTest::newRow("month, again: descending")
            << QList<int>{MonthColumn, MonthColumn} << "Érico,bia,Caio,Ana" << MonthColumn << "S,N,S,S";
        QTest::newRow("tick column alone: no order")
            << QList<int>{TickColumn} << "Caio,Ana,bia,Érico" << -1 << "S,S,N,S";
    }

    void titleClickSorts()
    {
        QFETCH(QList<int>, titles);
        QFETCH(QString, clients);
        QFETCH(int, indicator);
        QFETCH(QString, ticksAfterMarkAll);
        const auto named = [](const char *client, const char *status, double total, QDate month) {
            BillingRow row = item(QString::fromLatin1(status), QStringLiteral("N"), total);
            row.client = QString::fromUtf8(client);
            row.month = month;
            return row;
        };
        // As texts the months would sort bia (01/2024), Ana (02/2023), Érico (11/2024), Caio (12/2023).
        load({named("Caio", "P", 20, QDate(2023, 12, 1)), named("Ana", "P", 30, QDate(2023, 2, 1)),
              named("bia", "R", 40, QDate(2024, 1, 1)), named("Érico", "P", 10, QDate(2024, 11, 1))});
        for (int title : std::as_const(titles))
            clickTitle(title);
        QStringList shown;
        for (int row = 0; row < grid()->model()->rowCount(); ++row)
            shown << grid()->model()->index(row, ClientColumn).data().toString();
        QCOMPARE(shown.join(QLatin1Char(',')), clients);
        QCOMPARE(grid()->horizontalHeader()->sortIndicatorSection(), indicator);
        if (!titles.contains(TickColumn))
            clickTitle(TickColumn); // the pass walks the rows as they are shown
        QCOMPARE(ticks().join(QLatin1Char(',')), ticksAfterMarkAll);
        QCOMPARE(data()->RecNo(), 1);
        QCOMPARE(grid()->currentIndex().row(), 0);
        QCOMPARE(data()->FieldByName(QStringLiteral("NMFANTCLIE"))->AsString(),
                 clients.section(QLatin1Char(','), 0, 0));
        QCOMPARE(m_editedRows.first(), 1);
    }

    // A pass that cannot complete: the cursor comes back, the controls resume,
    // no row is left in edit and the toggle stays; the error is reported.
    void failedPass_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::newRow("write refused on the third row") << "refused";
        QTest::newRow("preview never loaded") << "closed";
    }

    void failedPass()
    {
        QFETCH(QString, failure);
        if (failure == QLatin1String("refused")) {
            load({item("P", "N", 1.0), item("R", "D"), item("P", "N", 2.0), item("P", "N", 4.0)});
            // Something cancels the edit under the pass as it opens the third row,
            // so the dataset refuses the tick written into it.
            m_onEdit = [this] {
                if (data()->RecNo() == 3)
                    data()->Cancel();
            };
        } else {
            data()->Close();
        }
        const bool toggle = Cli_fas09600::boTodosServ;

        clickTitle(TickColumn);

        QCOMPARE(m_fixture.errors.size(), 1);
        QCOMPARE(Screen::Cursor(), Screen::crDefault);
        QVERIFY(!data()->ControlsDisabled());
        QCOMPARE(Cli_fas09600::boTodosServ, toggle);
        if (failure == QLatin1String("refused")) {
            QCOMPARE(data()->State(), TDataSetState::Browse);
            QCOMPARE(ticks(), QStringList({"S", "D", "N", "N"})); // the rows before the failure keep their tick
            QCOMPARE(totalsText(), QStringLiteral("Marcados: 1   Total marcado: 1,00"));
            // The grid follows the dataset again.
            QCOMPARE(grid()->model()->rowCount(), 4);
            QCOMPARE(grid()->model()->index(0, TickColumn).data().toString(), QStringLiteral("S"));
            QCOMPARE(grid()->currentIndex().row(), data()->RecNo() - 1);
            // And the next gestures work as before.
            m_onEdit = {};
            m_fixture.clearMessages();
            clickTitle(TickColumn);
            QCOMPARE(ticks(), QStringList({"S", "D", "S", "S"}));
            QVERIFY(Cli_fas09600::boTodosServ);
            QVERIFY(m_fixture.errors.isEmpty());
        } else {
            QVERIFY(!data()->Active());
            QCOMPARE(totalsText(), QString());
        }
    }

    // After a pass the situation box shows the row the pass left current: the
    // first row, or the row where the pass failed.
    void situationAfterPass_data()
    {
        QTest::addColumn<QString>("firstStatus");
        QTest::addColumn<bool>("fails");
        QTest::addColumn<QString>("situation");
        QTest::newRow("ends on a pending first row") << "P" << false << "Pendente";
        QTest::newRow("ends on a cancelled first row") << "C" << false << "Cancelada";
        QTest::newRow("ends on a first row of no known status") << "X" << false << "";
        QTest::newRow("fails on the third row") << "C" << true << "Pendente";
    }

    void situationAfterPass()
    {
        QFETCH(QString, firstStatus);
        QFETCH(bool, fails);
        QFETCH(QString, situation);
        load({item(firstStatus, "N", 1.0), item("R", "D"), item("P", "N", 2.0), item("N", "N", 4.0)});
        data()->SetRecNo(4);
        QCOMPARE(m_screen->edtSituacao->text(), QStringLiteral("Não realizada pelo sistema"));
        if (fails) {
            m_onEdit = [this] {
                if (data()->RecNo() == 3)
                    data()->Cancel();
            };
        }

        clickTitle(TickColumn);
        m_onEdit = {};

        QCOMPARE(m_fixture.errors.size(), fails ? 1 : 0);
        QCOMPARE(m_screen->edtSituacao->text(), situation);
        QCOMPARE(data()->RecNo(), fails ? 3 : 1);
    }

    void failedToggle()
    {
        load({item("P", "N", 1.0), item("P", "N", 2.0)});
        m_onEdit = [this] { data()->Cancel(); };
        clickCell(1, TickColumn);
        QCOMPARE(m_fixture.errors.size(), 1);
        QCOMPARE(ticks(), QStringList({"N", "N"}));
        QCOMPARE(data()->State(), TDataSetState::Browse);
        QVERIFY(!data()->ControlsDisabled());
        QCOMPARE(totalsText(), QStringLiteral("Marcados: 0   Total marcado: 0,00"));
        m_onEdit = {};
        clickCell(1, TickColumn);
        QCOMPARE(ticks(), QStringList({"N", "S"}));
        QCOMPARE(totalsText(), QStringLiteral("Marcados: 1   Total marcado: 2,00"));
    }

    void totalsFollowTheHostNumberSettings()
    {
        const QLocale saved = FormatSettings::locale();
        const auto restore = qScopeGuard([&] { FormatSettings::setLocale(saved); });
        FormatSettings::setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        QList<BillingRow> rows;
        for (int i = 0; i < 1200; ++i)
            rows << item("P", "S", 1000.5);
        load(rows);
        QCOMPARE(totalsText(), QStringLiteral("Marcados: 1,200   Total marcado: 1,200,600.00"));
    }
};

QTEST_MAIN(TstTicking)
#include "tst_ticking.moc"
