#include <QSignalSpy>
#include <QTest>

#include "tests/platform/DataSetFixture.h"
#include "platform/data/FasError.h"
#include "platform/data/TJsonDocument.h"

using fixture::codes;
using fixture::packet;

namespace {

// Records the dataset's events and control notifications in order, as
// "StateChange:Browse", "AfterScroll:2" (with RecNo), "rowInserted:1"...
class EventLog : public QObject
{
public:
    explicit EventLog(TClientDataSet &dataSet)
    {
        const auto stateName = [](TDataSetState state) {
            switch (state) {
            case TDataSetState::Inactive:
                return QStringLiteral("Inactive");
            case TDataSetState::Browse:
                return QStringLiteral("Browse");
            case TDataSetState::Edit:
                return QStringLiteral("Edit");
            case TDataSetState::Insert:
                return QStringLiteral("Insert");
            }
            return QString();
        };
        connect(&dataSet, &TClientDataSet::StateChange, this, [this, stateName](TClientDataSet *ds) {
            events << QStringLiteral("StateChange:") + stateName(ds->State());
        });
        connect(&dataSet, &TClientDataSet::AfterOpen, this,
                [this](TClientDataSet *) { events << QStringLiteral("AfterOpen"); });
        connect(&dataSet, &TClientDataSet::AfterScroll, this,
                [this](TClientDataSet *ds) { events << QStringLiteral("AfterScroll:%1").arg(ds->RecNo()); });
        connect(&dataSet, &TClientDataSet::controlsReset, this, [this] { events << QStringLiteral("reset"); });
        connect(&dataSet, &TClientDataSet::controlsRowChanged, this,
                [this](int row) { events << QStringLiteral("rowChanged:%1").arg(row); });
        connect(&dataSet, &TClientDataSet::controlsRowInserted, this,
                [this](int row) { events << QStringLiteral("rowInserted:%1").arg(row); });
        connect(&dataSet, &TClientDataSet::controlsRowRemoved, this,
                [this](int row) { events << QStringLiteral("rowRemoved:%1").arg(row); });
        connect(&dataSet, &TClientDataSet::controlsCurrentChanged, this,
                [this](int row) { events << QStringLiteral("current:%1").arg(row); });
    }

    QStringList take()
    {
        QStringList out = events;
        events.clear();
        return out;
    }

    QStringList events;
};

// Runs one named operation on the dataset ("Next", "SetRecNo:2", "Set:XX" sets CODE).
void run(TClientDataSet &dataSet, const QString &operation)
{
    const QString name = operation.section(QLatin1Char(':'), 0, 0);
    const QString argument = operation.section(QLatin1Char(':'), 1);
    if (name == QLatin1String("First"))
        dataSet.First();
    else if (name == QLatin1String("Last"))
        dataSet.Last();
    else if (name == QLatin1String("Next"))
        dataSet.Next();
    else if (name == QLatin1String("Prior"))
        dataSet.Prior();
    else if (name == QLatin1String("SetRecNo"))
        dataSet.SetRecNo(argument.toInt());
    else if (name == QLatin1String("Edit"))
        dataSet.Edit();
    else if (name == QLatin1String("Insert"))
        dataSet.Insert();
    else if (name == QLatin1String("Append"))
        dataSet.Append();
    else if (name == QLatin1String("Post"))
        dataSet.Post();
    else if (name == QLatin1String("Cancel"))
        dataSet.Cancel();
    else if (name == QLatin1String("Delete"))
        dataSet.Delete();
    else if (name == QLatin1String("Set"))
        dataSet.FieldByName(QStringLiteral("CODE"))->SetAsString(argument);
    else if (name == QLatin1String("MergeChangeLog"))
        dataSet.MergeChangeLog();
    else if (name == QLatin1String("EmptyDataSet"))
        dataSet.EmptyDataSet();
    else if (name == QLatin1String("Close"))
        dataSet.Close();
    else if (name == QLatin1String("Open"))
        dataSet.Open();
    else if (name == QLatin1String("GetData"))
        dataSet.GetData();
    else if (name == QLatin1String("CreateDataSet"))
        dataSet.CreateDataSet();
    else if (name == QLatin1String("Index")) // "Index:CODE", "Index:CODE desc", "Index:" (the load order)
        dataSet.SetIndexField(argument.section(QLatin1Char(' '), 0, 0), argument.endsWith(QLatin1String(" desc")));
    else if (name == QLatin1String("Load")) // "Load:B;A;C"
        dataSet.SetData(packet(argument.split(QLatin1Char(';'))));
    else
        QTest::qFail(qPrintable(QStringLiteral("unknown operation ") + operation), __FILE__, __LINE__);
}

void runAll(TClientDataSet &dataSet, const QStringList &operations)
{
    for (const QString &operation : operations)
        run(dataSet, operation);
}

} // namespace

class TestClientDataSet : public QObject
{
    Q_OBJECT

private slots:
    void cursor_data();
    void cursor();
    void editing_data();
    void editing();
    void events_data();
    void events();
    void setDataEvents_data();
    void setDataEvents();
    void changeCount_data();
    void changeCount();
    void closedDataSetRefuses_data();
    void closedDataSetRefuses();
    void closedDataSetReadsAsEmpty();
    void disableControlsNests();
    void setDataFailureLeavesEverything_data();
    void setDataFailureLeavesEverything();
    void setDataMapsFieldsByName();
    void setDataAdoptsPacketFields();
    void loadStoreChecksLikeSetData();
    void getDataSetDataRoundTrip();
    void emptyDataSet();
    void createDataSetNeedsFields();
    void fieldDefsOnlyWhileClosed();
    void displayRow();
    void postWritesTheFieldsSet();
    void setDataFromAParsedAnswer();
};

// Cursor moves on three records A, B, C (or none): RecNo, Eof, Bof and how many
// AfterScroll events the moves gave.
void TestClientDataSet::cursor_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("operations");
    QTest::addColumn<int>("recNo");
    QTest::addColumn<bool>("eof");
    QTest::addColumn<bool>("bof");
    QTest::addColumn<int>("scrolls");

    const QStringList abc = {"A", "B", "C"};
    QTest::newRow("opened") << abc << QStringList{} << 1 << false << true << 0;
    QTest::newRow("next") << abc << QStringList{"Next"} << 2 << false << false << 1;
    QTest::newRow("to the last") << abc << QStringList{"Next", "Next"} << 3 << false << false << 2;
    QTest::newRow("next past the last") << abc << QStringList{"Next", "Next", "Next"} << 3 << true << false << 2;
    QTest::newRow("last") << abc << QStringList{"Last"} << 3 << true << false << 1;
    QTest::newRow("last then prior") << abc << QStringList{"Last", "Prior"} << 2 << false << false << 2;
    QTest::newRow("prior before the first") << abc << QStringList{"Prior"} << 1 << false << true << 0;
    QTest::newRow("first on the first") << abc << QStringList{"First"} << 1 << false << true << 0;
    QTest::newRow("first from the last") << abc << QStringList{"Last", "First"} << 1 << false << true << 2;
    QTest::newRow("locate") << abc << QStringList{"SetRecNo:3"} << 3 << false << false << 1;
    QTest::newRow("locate the current") << abc << QStringList{"SetRecNo:1"} << 1 << false << false << 0;
    QTest::newRow("one record, next") << QStringList{"A"} << QStringList{"Next"} << 1 << true << false << 0;
    QTest::newRow("empty") << QStringList{} << QStringList{} << 0 << true << true << 0;
    QTest::newRow("empty, moves") << QStringList{} << QStringList{"Next", "Last", "Prior", "First"} << 0 << true << true
                                  << 0;
}

void TestClientDataSet::cursor()
{
    QFETCH(QStringList, rows);
    QFETCH(QStringList, operations);
    QFETCH(int, recNo);
    QFETCH(bool, eof);
    QFETCH(bool, bof);
    QFETCH(int, scrolls);

    TClientDataSet dataSet;
    dataSet.SetData(packet(rows));
    QSignalSpy scrolled(&dataSet, &TClientDataSet::AfterScroll);
    QVERIFY(scrolled.isValid());
    runAll(dataSet, operations);
    QCOMPARE(dataSet.RecNo(), recNo);
    QCOMPARE(dataSet.Eof(), eof);
    QCOMPARE(dataSet.Bof(), bof);
    QCOMPARE(scrolled.count(), scrolls);
    QCOMPARE(dataSet.CurrentRow(), recNo - 1);
    QCOMPARE(dataSet.IsEmpty(), rows.isEmpty());
    if (recNo > 0)
        QCOMPARE(dataSet.FieldByName(QStringLiteral("CODE"))->AsString(), rows[recNo - 1]);
}

// Edit, Insert, Append, Post, Cancel, Delete and the post made by moving: the rows
// that result, where the cursor is and the state.
void TestClientDataSet::editing_data()
{
    QTest::addColumn<QStringList>("operations");
    QTest::addColumn<QString>("rows");
    QTest::addColumn<int>("recNo");
    QTest::addColumn<int>("state");

    const int browse = int(TDataSetState::Browse);
    QTest::newRow("edit, post") << QStringList{"Next", "Edit", "Set:X", "Post"} << "A,X,C" << 2 << browse;
    QTest::newRow("edit, cancel") << QStringList{"Next", "Edit", "Set:X", "Cancel"} << "A,B,C" << 2 << browse;
    QTest::newRow("edit shows the buffer, not yet the rows")
        << QStringList{"Edit", "Set:X"} << "A,B,C" << 1 << int(TDataSetState::Edit);
    QTest::newRow("insert before the current")
        << QStringList{"Next", "Insert", "Set:N", "Post"} << "A,N,B,C" << 2 << browse;
    QTest::newRow("insert at the first") << QStringList{"Insert", "Set:N", "Post"} << "N,A,B,C" << 1 << browse;
    QTest::newRow("insert at the last, after eof")
        << QStringList{"Last", "Next", "Insert", "Set:N", "Post"} << "A,B,N,C" << 3 << browse;
    QTest::newRow("append") << QStringList{"Append", "Set:N", "Post"} << "A,B,C,N" << 4 << browse;
    QTest::newRow("insert, cancel") << QStringList{"Next", "Insert", "Set:N", "Cancel"} << "A,B,C" << 2 << browse;
    QTest::newRow("append, cancel") << QStringList{"Last", "Append", "Cancel"} << "A,B,C" << 3 << browse;
    QTest::newRow("inserting: RecNo of the new record")
        << QStringList{"Last", "Insert"} << "A,B,C" << 3 << int(TDataSetState::Insert);
    QTest::newRow("edit, next posts") << QStringList{"Edit", "Set:X", "Next"} << "X,B,C" << 2 << browse;
    QTest::newRow("edit, prior posts") << QStringList{"Last", "Edit", "Set:X", "Prior"} << "A,B,X" << 2 << browse;
    QTest::newRow("edit, first posts") << QStringList{"Last", "Edit", "Set:X", "First"} << "A,B,X" << 1 << browse;
    QTest::newRow("edit, last posts") << QStringList{"Edit", "Set:X", "Last"} << "X,B,C" << 3 << browse;
    QTest::newRow("edit, locate posts") << QStringList{"Edit", "Set:X", "SetRecNo:3"} << "X,B,C" << 3 << browse;
    QTest::newRow("insert, next posts, then moves on")
        << QStringList{"Next", "Insert", "Set:N", "Next"} << "A,N,B,C" << 3 << browse;
    QTest::newRow("untouched insert, next drops it") << QStringList{"Next", "Insert", "Next"} << "A,B,C" << 3 << browse;
    QTest::newRow("insert while editing posts the edit")
        << QStringList{"Edit", "Set:X", "Insert", "Set:N", "Post"} << "N,X,B,C" << 1 << browse;
    QTest::newRow("explicit post of an untouched insert keeps it")
        << QStringList{"Append", "Post"} << "A,B,C,-" << 4 << browse;
    QTest::newRow("delete the first") << QStringList{"Delete"} << "B,C" << 1 << browse;
    QTest::newRow("delete the last") << QStringList{"Last", "Delete"} << "A,B" << 2 << browse;
    QTest::newRow("delete all") << QStringList{"Delete", "Delete", "Delete"} << "" << 0 << browse;
    QTest::newRow("delete while editing drops the edit")
        << QStringList{"Edit", "Set:X", "Delete"} << "B,C" << 1 << browse;
    QTest::newRow("delete while inserting cancels")
        << QStringList{"Next", "Insert", "Set:N", "Delete"} << "A,B,C" << 2 << browse;
    QTest::newRow("post and cancel in browse do nothing") << QStringList{"Post", "Cancel"} << "A,B,C" << 1 << browse;
    // One edit buffer serves edit after edit: each post writes only its own row.
    QTest::newRow("edits of two rows") << QStringList{"Edit", "Set:X", "Post", "Next", "Edit", "Set:Y", "Post"}
                                       << "X,Y,C" << 2 << browse;
    QTest::newRow("a cancelled edit leaves nothing for the next")
        << QStringList{"Edit", "Set:LONGER", "Cancel", "Next", "Edit", "Set:Y", "Post"} << "A,Y,C" << 2 << browse;
    QTest::newRow("longer text, then shorter, in one row")
        << QStringList{"Edit", "Set:LONGER", "Post", "Edit", "Set:Q", "Post"} << "Q,B,C" << 1 << browse;
    QTest::newRow("edit after an insert")
        << QStringList{"Insert", "Set:N", "Post", "Next", "Edit", "Set:X", "Post"} << "N,X,B,C" << 2 << browse;
    QTest::newRow("untouched edit posts nothing after a touched one")
        << QStringList{"Edit", "Set:X", "Post", "Next", "Edit", "Post"} << "X,B,C" << 2 << browse;
    // An index orders the rows themselves; the current record stays current.
    QTest::newRow("index descending") << QStringList{"Index:CODE desc"} << "C,B,A" << 3 << browse;
    QTest::newRow("index, then the load order") << QStringList{"Index:CODE desc", "Index:"} << "A,B,C" << 1 << browse;
    QTest::newRow("index kept over a load") << QStringList{"Index:CODE desc", "Load:B;A;C"} << "C,B,A" << 1 << browse;
    QTest::newRow("index ends an edit as a move does")
        << QStringList{"Edit", "Set:Z", "Index:CODE"} << "B,C,Z" << 3 << browse;
    QTest::newRow("a posted edit keeps its place")
        << QStringList{"Index:CODE desc", "First", "Edit", "Set:0", "Post"} << "0,B,A" << 1 << browse;
    QTest::newRow("blank first ascending, last descending")
        << QStringList{"Append", "Post", "Index:CODE", "Index:CODE desc"} << "C,B,A,-" << 4 << browse;
    QTest::newRow("accents and case sort as the language does")
        << QStringList{"Append", "Set:b", "Post", "Append", "Set:Ávila", "Post", "Index:CODE"} << "A,Ávila,B,b,C" << 2
        << browse;
    QTest::newRow("inserted under an index comes last in the load order")
        << QStringList{"Index:CODE desc", "Insert", "Set:N", "Post", "Index:"} << "A,B,C,N" << 4 << browse;
    QTest::newRow("deleted under an index, then the load order")
        << QStringList{"Index:CODE desc", "First", "Delete", "Index:"} << "A,B" << 2 << browse;
}

void TestClientDataSet::editing()
{
    QFETCH(QStringList, operations);
    QFETCH(QString, rows);
    QFETCH(int, recNo);
    QFETCH(int, state);

    TClientDataSet dataSet;
    dataSet.SetData(packet({"A", "B", "C"}));
    runAll(dataSet, operations);
    QCOMPARE(codes(dataSet), rows);
    QCOMPARE(dataSet.RecNo(), recNo);
    QCOMPARE(int(dataSet.State()), state);
    QCOMPARE(dataSet.RecordCount(), rows.isEmpty() ? 0 : int(rows.count(QLatin1Char(',')) + 1));
}

void TestClientDataSet::events_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("operations");
    QTest::addColumn<QStringList>("expected");

    const QStringList abc = {"A", "B", "C"};
    QTest::newRow("next") << abc << QStringList{"Next"} << QStringList{"current:1", "AfterScroll:2"};
    QTest::newRow("next at eof") << abc << QStringList{"Last", "Next"} << QStringList{"current:2", "AfterScroll:3"};
    QTest::newRow("edit, post") << abc << QStringList{"Edit", "Set:X", "Post"}
                                << QStringList{"StateChange:Edit", "StateChange:Browse", "rowChanged:0"};
    QTest::newRow("edit, post unchanged")
        << abc << QStringList{"Edit", "Post"} << QStringList{"StateChange:Edit", "StateChange:Browse"};
    QTest::newRow("edit, cancel") << abc << QStringList{"Edit", "Set:X", "Cancel"}
                                  << QStringList{"StateChange:Edit", "StateChange:Browse", "rowChanged:0"};
    QTest::newRow("insert, post") << abc << QStringList{"Next", "Insert", "Set:N", "Post"}
                                  << QStringList{"current:1",     "AfterScroll:2", "StateChange:Insert",
                                                 "current:-1",    "AfterScroll:2", "StateChange:Browse",
                                                 "rowInserted:1", "current:1"};
    QTest::newRow("insert, cancel") << abc << QStringList{"Next", "Insert", "Cancel"}
                                    << QStringList{"current:1",  "AfterScroll:2", "StateChange:Insert",
                                                   "current:-1", "AfterScroll:2", "StateChange:Browse",
                                                   "current:1",  "AfterScroll:2"};
    QTest::newRow("edit, next posts first")
        << abc << QStringList{"Edit", "Set:X", "Next"}
        << QStringList{"StateChange:Edit", "StateChange:Browse", "rowChanged:0", "current:1", "AfterScroll:2"};
    QTest::newRow("delete") << abc << QStringList{"Delete"}
                            << QStringList{"rowRemoved:0", "current:0", "AfterScroll:1"};
    QTest::newRow("delete the only record")
        << QStringList{"A"} << QStringList{"Delete"} << QStringList{"rowRemoved:0", "current:-1"};
    QTest::newRow("close") << abc << QStringList{"Close"} << QStringList{"StateChange:Inactive", "reset"};
    QTest::newRow("close, open") << abc << QStringList{"Close", "Open"}
                                 << QStringList{"StateChange:Inactive", "reset", "StateChange:Browse", "reset",
                                                "AfterOpen"};
    QTest::newRow("empty") << abc << QStringList{"Next", "EmptyDataSet"}
                           << QStringList{"current:1", "AfterScroll:2", "reset"};
    QTest::newRow("create") << abc << QStringList{"CreateDataSet"}
                            << QStringList{"StateChange:Inactive", "reset", "StateChange:Browse", "reset", "AfterOpen"};
}

void TestClientDataSet::events()
{
    QFETCH(QStringList, rows);
    QFETCH(QStringList, operations);
    QFETCH(QStringList, expected);

    TClientDataSet dataSet;
    dataSet.SetData(packet(rows));
    EventLog log(dataSet);
    runAll(dataSet, operations);
    QCOMPARE(log.take(), expected);
}

void TestClientDataSet::setDataEvents_data()
{
    QTest::addColumn<bool>("openFirst");
    QTest::addColumn<bool>("disabled");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("closed, rows") << false << false << QStringList{"A", "B"}
                                  << QStringList{"StateChange:Browse", "reset", "AfterOpen", "AfterScroll:1"};
    QTest::newRow("closed, no rows") << false << false << QStringList{}
                                     << QStringList{"StateChange:Browse", "reset", "AfterOpen"};
    QTest::newRow("open, rows") << true << false << QStringList{"A"}
                                << QStringList{"StateChange:Inactive", "StateChange:Browse", "reset", "AfterOpen",
                                               "AfterScroll:1"};
    QTest::newRow("controls disabled") << true << true << QStringList{"A"}
                                       << QStringList{"StateChange:Inactive", "StateChange:Browse", "AfterOpen",
                                                      "AfterScroll:1"};
}

void TestClientDataSet::setDataEvents()
{
    QFETCH(bool, openFirst);
    QFETCH(bool, disabled);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, expected);

    TClientDataSet dataSet;
    dataSet.SetFieldDefs(fixture::layout());
    if (openFirst)
        dataSet.SetData(packet({"X", "Y", "Z"}));
    if (disabled)
        dataSet.DisableControls();
    EventLog log(dataSet);
    dataSet.SetData(packet(rows));
    QCOMPARE(log.take(), expected);
    QCOMPARE(codes(dataSet), rows.join(QLatin1Char(',')));
    QCOMPARE(dataSet.RecNo(), rows.isEmpty() ? 0 : 1);
}

void TestClientDataSet::changeCount_data()
{
    QTest::addColumn<QStringList>("operations");
    QTest::addColumn<int>("expected");

    QTest::newRow("loaded") << QStringList{} << 0;
    QTest::newRow("edit and post") << QStringList{"Edit", "Set:X", "Post"} << 1;
    QTest::newRow("edit without change") << QStringList{"Edit", "Post"} << 0;
    QTest::newRow("edit cancelled") << QStringList{"Edit", "Set:X", "Cancel"} << 0;
    QTest::newRow("insert and post") << QStringList{"Insert", "Set:N", "Post"} << 1;
    QTest::newRow("append posted by a move") << QStringList{"Append", "Set:N", "First"} << 1;
    QTest::newRow("delete") << QStringList{"Delete"} << 1;
    QTest::newRow("three changes") << QStringList{"Edit", "Set:X", "Next", "Edit", "Set:Y", "Post", "Delete"} << 3;
    QTest::newRow("merged") << QStringList{"Edit", "Set:X", "Post", "MergeChangeLog"} << 0;
    QTest::newRow("after merge") << QStringList{"Delete", "MergeChangeLog", "Delete"} << 1;
    QTest::newRow("emptied") << QStringList{"Delete", "EmptyDataSet"} << 0;
    QTest::newRow("not counted while pending") << QStringList{"Edit", "Set:X"} << 0;
}

void TestClientDataSet::changeCount()
{
    QFETCH(QStringList, operations);
    QFETCH(int, expected);

    TClientDataSet dataSet;
    dataSet.SetData(packet({"A", "B", "C"}));
    runAll(dataSet, operations);
    QCOMPARE(dataSet.ChangeCount(), expected);
    dataSet.Cancel();
    dataSet.SetData(packet({"A"}));
    QCOMPARE(dataSet.ChangeCount(), 0);
}

void TestClientDataSet::closedDataSetRefuses_data()
{
    QTest::addColumn<QString>("operation");
    for (const char *name : {"First", "Last", "Next", "Prior", "SetRecNo:1", "Edit", "Insert", "Append", "Post",
                             "Cancel", "Delete", "GetData", "EmptyDataSet", "MergeChangeLog"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestClientDataSet::closedDataSetRefuses()
{
    QFETCH(QString, operation);

    TClientDataSet dataSet;
    dataSet.SetFieldDefs(fixture::layout());
    QSignalSpy states(&dataSet, &TClientDataSet::StateChange);
    try {
        run(dataSet, operation);
        QFAIL("the closed dataset accepted the operation");
    } catch (const DataSetError &error) {
        QCOMPARE(error.message(), QStringLiteral("Operação não permitida: o conjunto de dados está fechado."));
    }
    QCOMPARE(dataSet.State(), TDataSetState::Inactive);
    QCOMPARE(states.count(), 0);
}

void TestClientDataSet::closedDataSetReadsAsEmpty()
{
    TClientDataSet dataSet;
    dataSet.SetData(packet({"A", "B"}));
    dataSet.Close();
    QCOMPARE(dataSet.RecordCount(), 0);
    QCOMPARE(dataSet.RecNo(), 0);
    QVERIFY(dataSet.Eof());
    QVERIFY(dataSet.IsEmpty());
    QVERIFY(dataSet.FieldByName(QStringLiteral("CODE"))->IsNull());
    dataSet.Open(); // the rows were dropped with Close
    QVERIFY(dataSet.Active());
    QCOMPARE(dataSet.RecordCount(), 0);
}

void TestClientDataSet::disableControlsNests()
{
    TClientDataSet dataSet;
    dataSet.SetData(packet({"A", "B", "C"}));
    EventLog log(dataSet);

    dataSet.EnableControls(); // nothing disabled: no effect
    QVERIFY(!dataSet.ControlsDisabled());
    QCOMPARE(log.take(), QStringList{});

    dataSet.DisableControls();
    dataSet.DisableControls();
    QVERIFY(dataSet.ControlsDisabled());
    runAll(dataSet, {"Next", "Edit", "Set:X", "Post", "Append", "Set:N", "Post", "Delete"});
    // Events still come; control notifications do not.
    QCOMPARE(log.take(), (QStringList{"AfterScroll:2", "StateChange:Edit", "StateChange:Browse", "StateChange:Insert",
                                      "AfterScroll:4", "StateChange:Browse", "AfterScroll:3"}));
    dataSet.EnableControls();
    QVERIFY(dataSet.ControlsDisabled());
    QCOMPARE(log.take(), QStringList{});
    dataSet.EnableControls();
    QVERIFY(!dataSet.ControlsDisabled());
    QCOMPARE(log.take(), QStringList{"reset"});
    dataSet.EnableControls();
    QCOMPARE(log.take(), QStringList{});
    QCOMPARE(codes(dataSet), QStringLiteral("A,X,C"));

    dataSet.First();
    QCOMPARE(log.take(), (QStringList{"current:0", "AfterScroll:1"}));
}

// A packet SetData refuses leaves the dataset exactly as it was: state, rows,
// cursor and a pending edit.
void TestClientDataSet::setDataFailureLeavesEverything_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("mention");

    TRecordStore wrongType({fixture::def("CODE", TFieldType::String, 6), fixture::def("FLAG", TFieldType::FixedChar, 1),
                            fixture::def("WHEN", TFieldType::String, 10), fixture::def("VALUE", TFieldType::Float)});
    TRecordStore wrongSize({fixture::def("CODE", TFieldType::String, 7), fixture::def("FLAG", TFieldType::FixedChar, 1),
                            fixture::def("WHEN", TFieldType::DateTime), fixture::def("VALUE", TFieldType::Float)});
    TRecordStore notFixed({fixture::def("CODE", TFieldType::String, 6), fixture::def("FLAG", TFieldType::String, 1),
                           fixture::def("WHEN", TFieldType::DateTime), fixture::def("VALUE", TFieldType::Float)});
    TRecordStore missing({fixture::def("CODE", TFieldType::String, 6), fixture::def("FLAG", TFieldType::FixedChar, 1),
                          fixture::def("VALUE", TFieldType::Float)});
    TFieldDefs extraDefs = fixture::layout();
    extraDefs.append(fixture::def("EXTRA", TFieldType::Float));
    TRecordStore extra(extraDefs);

    QTest::newRow("bad JSON") << QByteArray("{\"fields\":") << "JSON malformado";
    QTest::newRow("bad row") << QByteArray(packet({"A"}).replace("\"A\"", "\"ABCDEFG\"")) << "linha 1, campo \"CODE\"";
    QTest::newRow("other type") << DataPacket::encode(wrongType)
                                << "campo \"WHEN\" é texto de 10 caracteres no pacote e data e hora";
    QTest::newRow("other size") << DataPacket::encode(wrongSize) << "campo \"CODE\" é texto de 7 caracteres";
    QTest::newRow("not fixed") << DataPacket::encode(notFixed) << "campo \"FLAG\"";
    QTest::newRow("missing field") << DataPacket::encode(missing) << "falta o campo \"WHEN\"";
    QTest::newRow("unknown field") << DataPacket::encode(extra) << "campo \"EXTRA\" não existe no conjunto de dados";
}

void TestClientDataSet::setDataFailureLeavesEverything()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, mention);

    TClientDataSet dataSet;
    dataSet.SetFieldDefs(fixture::layout());
    TField *code = dataSet.FieldByName(QStringLiteral("CODE"));
    dataSet.SetData(packet({"A", "B", "C"}));
    runAll(dataSet, {"Next", "Edit", "Set:X"});
    EventLog log(dataSet);

    try {
        dataSet.SetData(json);
        QFAIL("the packet was accepted");
    } catch (const PacketError &error) {
        QVERIFY2(error.message().contains(mention), qPrintable(error.message()));
    }
    QCOMPARE(log.take(), QStringList{});
    QCOMPARE(dataSet.State(), TDataSetState::Edit);
    QCOMPARE(dataSet.RecNo(), 2);
    QCOMPARE(code->AsString(), QStringLiteral("X"));
    QCOMPARE(dataSet.FieldByName(QStringLiteral("CODE")), code);
    dataSet.Post();
    QCOMPARE(codes(dataSet), QStringLiteral("A,X,C"));
}

void TestClientDataSet::setDataMapsFieldsByName()
{
    // The packet carries the fields in another order and other letter case.
    TRecordStore store({fixture::def("value", TFieldType::Float), fixture::def("When", TFieldType::DateTime),
                        fixture::def("CODE", TFieldType::String, 6), fixture::def("FLAG", TFieldType::FixedChar, 1)});
    const int row = store.appendRow();
    store.setNumber(row, 0, 1234.5);
    store.setDateTimeMs(row, 1, QDateTime(QDate(2024, 5, 6), QTime(7, 8), Qt::UTC).toMSecsSinceEpoch());
    store.setText(row, 2, "K1");

    TClientDataSet dataSet;
    dataSet.SetFieldDefs(fixture::layout());
    dataSet.SetData(DataPacket::encode(store));
    QCOMPARE(dataSet.FieldDefs()[3].displayFormat, QStringLiteral("#,##0.00")); // the dataset's own definitions stay
    QCOMPARE(dataSet.FieldByName(QStringLiteral("CODE"))->AsString(), QStringLiteral("K1"));
    QVERIFY(dataSet.FieldByName(QStringLiteral("FLAG"))->IsNull());
    QCOMPARE(dataSet.FieldByName(QStringLiteral("WHEN"))->AsString(), QStringLiteral("06/05/2024 07:08:00"));
    QCOMPARE(dataSet.FieldByName(QStringLiteral("VALUE"))->DisplayText(), QStringLiteral("1.234,50"));

    // GetData writes the dataset's own order.
    const TRecordStore back = DataPacket::decode(dataSet.GetData());
    QStringList names;
    for (const TFieldDef &def : back.defs())
        names << def.name;
    QCOMPARE(names, (QStringList{"CODE", "FLAG", "WHEN", "VALUE"}));
    QCOMPARE(back.number(0, 3), 1234.5);
}

void TestClientDataSet::setDataAdoptsPacketFields()
{
    TClientDataSet dataSet;
    dataSet.SetData(packet({"A"}));
    QCOMPARE(dataSet.FieldCount(), 4);
    TField *code = dataSet.FieldByName(QStringLiteral("code"));
    QCOMPARE(code->Size(), 6);
    QCOMPARE(dataSet.FieldByName(QStringLiteral("FLAG"))->DataType(), TFieldType::FixedChar);
    dataSet.SetData(packet({"B"}));
    QCOMPARE(dataSet.FieldByName(QStringLiteral("CODE")), code); // same fields: same objects

    TRecordStore other({fixture::def("OTHER", TFieldType::Float)});
    dataSet.SetData(DataPacket::encode(other));
    QCOMPARE(dataSet.FieldCount(), 1);
    QVERIFY(!dataSet.FindField(QStringLiteral("CODE")));
    QVERIFY_THROWS_EXCEPTION(DataSetError, dataSet.FieldByName(QStringLiteral("CODE")));
}

// Rows read elsewhere (a query) load through the same checks as a packet.
void TestClientDataSet::loadStoreChecksLikeSetData()
{
    TClientDataSet dataSet;
    dataSet.SetFieldDefs(fixture::layout());
    dataSet.SetData(packet({"A", "B"}));

    TRecordStore wrong({fixture::def("CODE", TFieldType::String, 6)});
    wrong.setText(wrong.appendRow(), 0, "Z");
    QVERIFY_THROWS_EXCEPTION(PacketError, dataSet.LoadStore(std::move(wrong)));
    QCOMPARE(codes(dataSet), QStringLiteral("A,B"));

    TRecordStore rows = DataPacket::decode(packet({"C"}));
    dataSet.LoadStore(std::move(rows));
    QCOMPARE(codes(dataSet), QStringLiteral("C"));
    QCOMPARE(dataSet.State(), TDataSetState::Browse);
}

void TestClientDataSet::getDataSetDataRoundTrip()
{
    TClientDataSet source;
    source.SetFieldDefs(fixture::layout());
    source.CreateDataSet();
    const QStringList texts = {QStringLiteral("Não"), QString(), QStringLiteral(""), QStringLiteral("ção\"\\")};
    for (int i = 0; i < texts.size(); ++i) {
        source.Append();
        if (!texts[i].isNull())
            source.Fields(0)->SetAsString(texts[i]);
        if (i % 2 == 0)
            source.Fields(1)->SetAsString(QStringLiteral("N"));
        if (i != 1)
            source.Fields(2)->SetAsDateTime(QDateTime(QDate(1899 + i * 100, 12, 30), QTime(23, 59, 59, 999), Qt::UTC));
        if (i != 2)
            source.Fields(3)->SetAsFloat(i == 3 ? -0.0 : 0.1 * i);
        source.Post();
    }
    const QByteArray data = source.GetData();

    TClientDataSet target;
    target.SetFieldDefs(fixture::layout());
    target.SetData(data);
    QCOMPARE(target.RecordCount(), texts.size());
    QCOMPARE(target.GetData(), data);
    source.First();
    for (; !target.Eof(); target.Next(), source.Next()) {
        for (int f = 0; f < 4; ++f) {
            QCOMPARE(target.Fields(f)->IsNull(), source.Fields(f)->IsNull());
            QCOMPARE(target.Fields(f)->Value(), source.Fields(f)->Value());
        }
    }
    QVERIFY(source.Eof());
}

void TestClientDataSet::emptyDataSet()
{
    TClientDataSet dataSet;
    dataSet.SetData(packet({"A", "B"}));
    runAll(dataSet, {"Delete", "Edit", "Set:X"});
    EventLog log(dataSet);
    dataSet.EmptyDataSet();
    QCOMPARE(log.take(), (QStringList{"StateChange:Browse", "reset"}));
    QVERIFY(dataSet.Active());
    QVERIFY(dataSet.IsEmpty());
    QCOMPARE(dataSet.ChangeCount(), 0);
    QVERIFY(dataSet.Eof());
    dataSet.Append();
    dataSet.Fields(0)->SetAsString(QStringLiteral("N"));
    dataSet.Post();
    QCOMPARE(codes(dataSet), QStringLiteral("N"));
}

void TestClientDataSet::createDataSetNeedsFields()
{
    TClientDataSet dataSet;
    QVERIFY_THROWS_EXCEPTION(DataSetError, dataSet.CreateDataSet());
    QVERIFY_THROWS_EXCEPTION(DataSetError, dataSet.Open());
    QVERIFY(!dataSet.Active());
    dataSet.SetFieldDefs(fixture::layout());
    dataSet.CreateDataSet();
    QVERIFY(dataSet.Active());
    QVERIFY(dataSet.IsEmpty());
    QCOMPARE(dataSet.RecNo(), 0);
}

void TestClientDataSet::fieldDefsOnlyWhileClosed()
{
    TClientDataSet dataSet;
    TFieldDefs duplicate = fixture::layout();
    duplicate.append(fixture::def("code", TFieldType::Float));
    QVERIFY_THROWS_EXCEPTION(DataSetError, dataSet.SetFieldDefs(duplicate));
    QVERIFY_THROWS_EXCEPTION(DataSetError, dataSet.SetFieldDefs({fixture::def("T", TFieldType::String, 0)}));
    QCOMPARE(dataSet.FieldCount(), 0);

    dataSet.SetFieldDefs(fixture::layout());
    TField *code = dataSet.Fields(0);
    dataSet.AddFieldDef(fixture::def("MORE", TFieldType::DateTime, 8));
    QCOMPARE(dataSet.Fields(0), code);
    QCOMPARE(dataSet.FieldByName(QStringLiteral("MORE"))->Size(), 0);
    dataSet.CreateDataSet();
    QVERIFY_THROWS_EXCEPTION(DataSetError, dataSet.AddFieldDef(fixture::def("LATE", TFieldType::Float)));
    QVERIFY_THROWS_EXCEPTION(DataSetError, dataSet.SetFieldDefs(fixture::layout()));
    QCOMPARE(dataSet.FieldCount(), 5);
}

void TestClientDataSet::displayRow()
{
    TClientDataSet dataSet;
    dataSet.SetData(packet({"A", "B", "C"}));
    TField *code = dataSet.Fields(0);
    QSignalSpy scrolled(&dataSet, &TClientDataSet::AfterScroll);
    QCOMPARE(dataSet.SetDisplayRow(2), -1);
    QCOMPARE(code->AsString(), QStringLiteral("C"));
    QCOMPARE(dataSet.RecNo(), 1); // the cursor did not move
    QCOMPARE(dataSet.SetDisplayRow(-1), 2);
    QCOMPARE(code->AsString(), QStringLiteral("A"));

    // While editing, the current row shows the edit buffer, the others their rows.
    runAll(dataSet, {"Edit", "Set:X"});
    dataSet.SetDisplayRow(0);
    QCOMPARE(code->AsString(), QStringLiteral("X"));
    dataSet.SetDisplayRow(1);
    QCOMPARE(code->AsString(), QStringLiteral("B"));
    dataSet.SetDisplayRow(-1);
    QCOMPARE(scrolled.count(), 0);
}

// An edit posts the fields that were set; the others keep what the row holds,
// null included.
void TestClientDataSet::postWritesTheFieldsSet()
{
    TClientDataSet dataSet;
    dataSet.SetData(packet({"A", "B"}));
    dataSet.Next();
    dataSet.Edit();
    dataSet.FieldByName(QStringLiteral("WHEN"))->Clear();
    dataSet.Post();
    dataSet.First();
    dataSet.Edit();
    dataSet.FieldByName(QStringLiteral("VALUE"))->SetAsFloat(7.25);
    dataSet.Post();
    const TRecordStore &rows = dataSet.Store();
    QCOMPARE(codes(dataSet), QStringLiteral("A,B"));
    QCOMPARE(rows.number(0, 3), 7.25);
    QCOMPARE(rows.text(0, 1), std::string_view("S"));
    QVERIFY(!rows.isNull(0, 2));
    QVERIFY(rows.isNull(1, 2));
    QCOMPARE(rows.number(1, 3), 1.5);
    QCOMPARE(dataSet.ChangeCount(), 2);
}

// A packet inside a parsed answer loads like its text, and a refused one is
// refused with the same words.
void TestClientDataSet::setDataFromAParsedAnswer()
{
    const auto answer = [](const QByteArray &packetJson) {
        auto document = std::make_shared<TJsonDocument>();
        const QByteArray text = R"({"jsonrpc":"2.0","id":7,"result":)" + packetJson + "}";
        if (document->parse(text) != simdjson::SUCCESS)
            qFatal("the answer does not parse");
        return TDataPacket(document, "result");
    };
    TClientDataSet fromText;
    fromText.SetData(packet({"A", "B", "C"}));
    TClientDataSet parsed;
    parsed.SetData(answer(packet({"A", "B", "C"})));
    QCOMPARE(codes(parsed), codes(fromText));
    QCOMPARE(parsed.GetData(), fromText.GetData());

    QByteArray tooLong = packet({"A"});
    tooLong.replace("\"A\"", "\"ABCDEFG\"");
    QString fromTextMessage;
    try {
        fromText.SetData(tooLong);
    } catch (const PacketError &error) {
        fromTextMessage = error.message();
    }
    QVERIFY(!fromTextMessage.isEmpty());
    QVERIFY_THROWS_EXCEPTION(PacketError, parsed.SetData(answer(tooLong)));
    try {
        parsed.SetData(answer(tooLong));
    } catch (const PacketError &error) {
        QCOMPARE(error.message(), fromTextMessage);
    }
    QCOMPARE(codes(parsed), QStringLiteral("A,B,C")); // a refused packet leaves the rows
}

QTEST_GUILESS_MAIN(TestClientDataSet)
#include "tst_clientdataset.moc"
