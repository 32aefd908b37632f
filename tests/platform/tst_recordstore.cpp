#include <algorithm>
#include <stdexcept>

#include <QTest>

#include "tests/platform/DataSetFixture.h"
#include "platform/data/PacketStream.h"
#include "platform/data/TRecordIndex.h"
#include "platform/data/TRecordStore.h"

namespace {

TFieldDefs threeFields()
{
    return {fixture::def("CODE", TFieldType::String, 8), fixture::def("WHEN", TFieldType::DateTime),
            fixture::def("VALUE", TFieldType::Float)};
}

// Row r of a store built by fill(): code "Rr", date r ms, value r + 0.5.
void setRow(TRecordStore &store, int row, int r)
{
    store.setText(row, 0, "R" + std::to_string(r));
    store.setDateTimeMs(row, 1, r);
    store.setNumber(row, 2, r + 0.5);
}

TRecordStore fill(int rows)
{
    TRecordStore store(threeFields());
    for (int r = 0; r < rows; ++r)
        setRow(store, store.appendRow(), r);
    return store;
}

// The row codes of a store, "R0,R2,-" with "-" for a null code.
QString codes(const TRecordStore &store)
{
    QStringList out;
    for (int r = 0; r < store.rowCount(); ++r)
        out << (store.isNull(r, 0) ? QStringLiteral("-") : QString::fromStdString(std::string(store.text(r, 0))));
    return out.join(QLatin1Char(','));
}

} // namespace

class TestRecordStore : public QObject
{
    Q_OBJECT

private slots:
    void newRowIsNull();
    void setNullResetsValue();
    void insertAndRemove_data();
    void insertAndRemove();
    void copyRow();
    void reordered();
    void reorderedRefusesBadMaps_data();
    void reorderedRefusesBadMaps();
    void wrongCellAccess_data();
    void wrongCellAccess();
    void indexOfIgnoresCase();
    void clearKeepsDefinitions();
    void textWrites_data();
    void textWrites();
    void acrossBlocks_data();
    void acrossBlocks();
};

void TestRecordStore::newRowIsNull()
{
    TRecordStore store(threeFields());
    const int row = store.appendRow();
    QCOMPARE(row, 0);
    for (int f = 0; f < 3; ++f)
        QVERIFY(store.isNull(row, f));
    store.setText(row, 0, "");
    QVERIFY(!store.isNull(row, 0)); // empty text is a value
    QCOMPARE(store.text(row, 0), std::string_view(""));
}

void TestRecordStore::setNullResetsValue()
{
    TRecordStore store = fill(1);
    for (int f = 0; f < 3; ++f)
        store.setNull(0, f);
    QVERIFY(store.isNull(0, 0));
    QCOMPARE(store.text(0, 0), std::string_view());
    QCOMPARE(store.dateTimeMs(0, 1), std::int64_t(0));
    QCOMPARE(store.number(0, 2), 0.0);
}

void TestRecordStore::insertAndRemove_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("at");
    QTest::addColumn<QString>("expected");

    QTest::newRow("insert at start") << "insert" << 0 << "-,R0,R1,R2";
    QTest::newRow("insert in the middle") << "insert" << 2 << "R0,R1,-,R2";
    QTest::newRow("insert at end") << "insert" << 3 << "R0,R1,R2,-";
    QTest::newRow("remove first") << "remove" << 0 << "R1,R2";
    QTest::newRow("remove middle") << "remove" << 1 << "R0,R2";
    QTest::newRow("remove last") << "remove" << 2 << "R0,R1";
    // After a sort the rows are read through a map: both follow it, and a row
    // appended afterwards goes last.
    QTest::newRow("sorted, insert in the middle") << "sorted insert" << 1 << "R2,-,R1,R0,-";
    QTest::newRow("sorted, remove first") << "sorted remove" << 0 << "R1,R0,-";
    QTest::newRow("sorted, remove middle") << "sorted remove" << 1 << "R2,R0,-";
}

void TestRecordStore::insertAndRemove()
{
    QFETCH(QString, operation);
    QFETCH(int, at);
    QFETCH(QString, expected);

    TRecordStore store = fill(3);
    const bool sorted = operation.startsWith(QLatin1String("sorted "));
    if (sorted) {
        store.permuteRows({2, 1, 0});
        store = TRecordStore(store); // a copy keeps the order
        operation.remove(0, 7);
    }
    if (operation == QLatin1String("insert")) {
        store.insertRow(at);
        QCOMPARE(store.rowCount(), 4);
        QVERIFY(store.isNull(at, 1));
        QVERIFY(store.isNull(at, 2));
    } else {
        store.removeRow(at);
        QCOMPARE(store.rowCount(), 2);
    }
    if (sorted)
        store.appendRow();
    QCOMPARE(codes(store), expected);
    // Every column moved together: each row's date and value still match its code.
    for (int r = 0; r < store.rowCount(); ++r) {
        if (store.isNull(r, 0))
            continue;
        const int n = std::stoi(std::string(store.text(r, 0).substr(1)));
        QCOMPARE(store.dateTimeMs(r, 1), std::int64_t(n));
        QCOMPARE(store.number(r, 2), n + 0.5);
    }
}

void TestRecordStore::copyRow()
{
    TRecordStore source = fill(3);
    source.setNull(1, 2);
    TRecordStore target = fill(2);
    target.copyRow(0, source, 1);
    QCOMPARE(target.text(0, 0), std::string_view("R1"));
    QCOMPARE(target.dateTimeMs(0, 1), std::int64_t(1));
    QVERIFY(target.isNull(0, 2));
    QCOMPARE(target.text(1, 0), std::string_view("R1")); // the other row is untouched
    QCOMPARE(target.number(1, 2), 1.5);
}

void TestRecordStore::reordered()
{
    TRecordStore store = fill(2);
    TFieldDefs defs = {fixture::def("VALUE", TFieldType::Float), fixture::def("CODE", TFieldType::String, 4),
                       fixture::def("WHEN", TFieldType::DateTime)};
    defs[0].displayFormat = QStringLiteral("#,##0.00");
    const TRecordStore result = std::move(store).reordered(defs, {2, 0, 1});
    QCOMPARE(result.rowCount(), 2);
    QCOMPARE(result.defs()[0].displayFormat, QStringLiteral("#,##0.00"));
    QCOMPARE(result.number(1, 0), 1.5);
    QCOMPARE(result.text(1, 1), std::string_view("R1"));
    QCOMPARE(result.dateTimeMs(1, 2), std::int64_t(1));
}

void TestRecordStore::reorderedRefusesBadMaps_data()
{
    QTest::addColumn<QList<int>>("map");
    QTest::addColumn<int>("firstType");

    QTest::newRow("column used twice") << QList<int>{0, 0, 2} << int(TFieldType::String);
    QTest::newRow("column out of range") << QList<int>{0, 1, 3} << int(TFieldType::String);
    QTest::newRow("too few columns") << QList<int>{0, 1} << int(TFieldType::String);
    QTest::newRow("type mismatch") << QList<int>{0, 1, 2} << int(TFieldType::Float);
}

void TestRecordStore::reorderedRefusesBadMaps()
{
    QFETCH(QList<int>, map);
    QFETCH(int, firstType);

    TRecordStore store = fill(2);
    TFieldDefs defs = threeFields();
    defs[0].type = TFieldType(firstType);
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument,
                             std::move(store).reordered(defs, std::vector<int>(map.begin(), map.end())));
    QCOMPARE(store.rowCount(), 2); // refused before anything moved
    QCOMPARE(codes(store), QStringLiteral("R0,R1"));
}

void TestRecordStore::wrongCellAccess_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("field");

    QTest::newRow("row past the end") << 2 << 0;
    QTest::newRow("negative row") << -1 << 0;
    QTest::newRow("field past the end") << 0 << 3;
    QTest::newRow("text into a date-time") << 0 << 1;
}

// Reading a wrong cell gives the empty value; writing one throws.
void TestRecordStore::wrongCellAccess()
{
    QFETCH(int, row);
    QFETCH(int, field);

    TRecordStore store = fill(2);
    QCOMPARE(store.text(row, field), std::string_view());
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, store.setText(row, field, "x"));
    QCOMPARE(codes(store), QStringLiteral("R0,R1"));
}

void TestRecordStore::indexOfIgnoresCase()
{
    const TRecordStore store(threeFields());
    QCOMPARE(store.indexOf(QStringLiteral("when")), 1);
    QCOMPARE(store.indexOf(QStringLiteral("Value")), 2);
    QCOMPARE(store.indexOf(QStringLiteral("WHE")), -1);
}

void TestRecordStore::clearKeepsDefinitions()
{
    TRecordStore store = fill(3);
    store.clear();
    QCOMPARE(store.rowCount(), 0);
    QCOMPARE(store.fieldCount(), 3);
    setRow(store, store.appendRow(), 7);
    QCOMPARE(codes(store), QStringLiteral("R7"));
}

// Text cells share one pool per column: writes over shorter and longer texts,
// texts taken from the same column, rows inserted and removed, and enough
// rewrites to compact the pool all leave every cell with its own text.
//   set R TEXT ("~" empty)  null R  copy TO FROM (whole row, same store)
//   own TO FROM (setText with a view of this column)  insert R  remove R
//   churn R N (N texts of 1 to 40 characters, the last 40 "p")
//   long R N (a text of N "L", longer than a pool chunk when N > 1 MiB)
void TestRecordStore::textWrites_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("expected");

    const QString churned = QString(40, QLatin1Char('p'));
    QTest::newRow("shorter over longer") << "set 1 A"
                                         << "R0,A,R2";
    QTest::newRow("longer over shorter") << "set 1 LONGERTEXT"
                                         << "R0,LONGERTEXT,R2";
    QTest::newRow("longer, then shorter, then longer") << "set 1 LONGERTEXT; set 1 B; set 1 CCCCCCCCCCCC"
                                                       << "R0,CCCCCCCCCCCC,R2";
    QTest::newRow("empty text is not null") << "set 1 ~"
                                            << "R0,,R2";
    QTest::newRow("null, then text") << "null 1; set 1 X"
                                     << "R0,X,R2";
    QTest::newRow("text, then null") << "set 1 LONGERTEXT; null 1"
                                     << "R0,-,R2";
    QTest::newRow("row copied within the store") << "copy 0 2"
                                                 << "R2,R1,R2";
    QTest::newRow("own text of another row") << "set 2 LONGERTEXT; own 0 2"
                                             << "LONGERTEXT,R1,LONGERTEXT";
    QTest::newRow("own text of the same row") << "own 1 1"
                                              << "R0,R1,R2";
    QTest::newRow("insert, then write the new row") << "insert 1; set 1 NEW"
                                                    << "R0,NEW,R1,R2";
    QTest::newRow("remove a long text's row") << "set 0 LONGERTEXT; remove 0; set 0 Z"
                                              << "Z,R2";
    QTest::newRow("rewrites compact the pool") << "churn 1 10000"
                                               << "R0," + churned + ",R2";
    QTest::newRow("rewrites, then a copy from the churned row") << "churn 1 10000; copy 2 1"
                                                                << "R0," + churned + "," + churned;
    QTest::newRow("rewrites around removed and inserted rows")
        << "remove 0; churn 0 5000; insert 0; set 0 A; churn 2 300"
        << "A," + QString(40, QLatin1Char('h')) + "," + QString(20, QLatin1Char('n'));
    const QString longText(3'000'000, QLatin1Char('L'));
    QTest::newRow("a text longer than a pool chunk, between short ones") << "set 0 A; long 1 3000000; set 2 LONGERTEXT"
                                                                         << "A," + longText + ",LONGERTEXT";
    QTest::newRow("a long text copied, then overwritten until compacted")
        << "long 1 3000000; copy 0 1; churn 1 10000" << longText + "," + QString(40, QLatin1Char('p')) + ",R2";
}

void TestRecordStore::textWrites()
{
    QFETCH(QString, script);
    QFETCH(QString, expected);

    TRecordStore store = fill(3);
    for (const QString &step : script.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList w = step.trimmed().split(QLatin1Char(' '));
        const int row = w.value(1).toInt();
        const int other = w.value(2).toInt();
        if (w[0] == QLatin1String("set"))
            store.setText(row, 0, w[2] == QLatin1String("~") ? std::string() : w[2].toStdString());
        else if (w[0] == QLatin1String("null"))
            store.setNull(row, 0);
        else if (w[0] == QLatin1String("copy"))
            store.copyRow(row, store, other);
        else if (w[0] == QLatin1String("own"))
            store.setText(row, 0, store.text(other, 0));
        else if (w[0] == QLatin1String("insert"))
            store.insertRow(row);
        else if (w[0] == QLatin1String("remove"))
            store.removeRow(row);
        else if (w[0] == QLatin1String("long"))
            store.setText(row, 0, std::string(std::size_t(other), 'L'));
        else if (w[0] == QLatin1String("churn")) {
            for (int i = 0; i < other; ++i)
                store.setText(row, 0, std::string(std::size_t(1 + i % 40), char('a' + i % 26)));
        } else
            QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
    }
    QCOMPARE(codes(store), expected);
    // Numbers are not touched by text writes: a row still coded "Rn" holds n + 0.5.
    for (int r = 0; r < store.rowCount(); ++r) {
        const std::string_view code = store.text(r, 0);
        if (code.size() == 2 && code[0] == 'R')
            QCOMPARE(store.number(r, 2), (code[1] - '0') + 0.5);
    }
}

// Columns are held in blocks of 65,536 cells: stores just below, at and past a
// block's end, and across two ends, sorted (index and permutation), with rows
// inserted and removed at a block's end, a tick rewritten in the last block, and
// copied whole; every row keeps its code, date and value together. A store read
// from a packet as it arrives (in pieces of 4,099 bytes) has given back its
// blocks' and pools' room at the end, and then grows again.
void TestRecordStore::acrossBlocks_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("streamed");
    QTest::newRow("one cell short of a block") << 65535 << false;
    QTest::newRow("exactly one block") << 65536 << false;
    QTest::newRow("one cell into the second block") << 65537 << false;
    QTest::newRow("one cell into the third block") << 131073 << false;
    QTest::newRow("streamed, exactly one block") << 65536 << true;
    QTest::newRow("streamed, one cell into the third block") << 131073 << true;
}

void TestRecordStore::acrossBlocks()
{
    QFETCH(int, rows);
    QFETCH(bool, streamed);

    TRecordStore store = fill(rows);
    if (streamed) {
        const QByteArray text = DataPacket::encode(store);
        PacketStream stream;
        for (qsizetype at = 0; at < text.size(); at += 4099)
            stream.feed(
                std::string_view(text.constData() + at, std::size_t(std::min<qsizetype>(4099, text.size() - at))));
        store = stream.finish();
        QCOMPARE(store.rowCount(), rows);
    }
    const auto rowMatches = [&store](int row, int r) {
        return store.text(row, 0) == "R" + std::to_string(r) && store.dateTimeMs(row, 1) == r
               && store.number(row, 2) == r + 0.5;
    };
    QVERIFY(rowMatches(rows - 1, rows - 1));
    QVERIFY(rowMatches(65535 % rows, 65535 % rows));

    store.permuteRows(TRecordIndex::Build(store, 2, true)); // by value, descending
    for (int row = 0; row < rows; ++row)
        QVERIFY2(rowMatches(row, rows - 1 - row), qPrintable(QString::number(row)));

    store.insertRow(65535);
    QCOMPARE(store.rowCount(), rows + 1);
    QVERIFY(store.isNull(65535, 0) && store.isNull(65535, 1) && store.isNull(65535, 2));
    QVERIFY(rowMatches(65534, rows - 1 - 65534));
    if (rows > 65535) // the rows after it moved one place on, across the block's end
        QVERIFY(rowMatches(65536, rows - 1 - 65535));
    store.removeRow(65535);
    store.removeRow(0);
    QCOMPARE(store.rowCount(), rows - 1);
    QVERIFY(rowMatches(0, rows - 2));
    QVERIFY(rowMatches(rows - 2, 0));

    store.setText(rows - 2, 0, "S");
    store.setText(rows - 2, 0, "LONGER");
    const TRecordStore copy = store;
    QCOMPARE(copy.rowCount(), rows - 1);
    QCOMPARE(copy.text(rows - 2, 0), std::string_view("LONGER"));
    QCOMPARE(copy.text(rows / 2, 0), store.text(rows / 2, 0));
    QCOMPARE(copy.number(rows - 2, 2), 0.5);
}

QTEST_GUILESS_MAIN(TestRecordStore)
#include "tst_recordstore.moc"
