#include <stdexcept>

#include <QTest>

#include "TRecordStore.h"

namespace {

TFieldDef field(const char *name, TFieldType type, int size = 0)
{
    TFieldDef def;
    def.name = QString::fromLatin1(name);
    def.type = type;
    def.size = size;
    return def;
}

TFieldDefs threeFields()
{
    return {field("CODE", TFieldType::String, 4), field("WHEN", TFieldType::DateTime), field("VALUE", TFieldType::Float)};
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
}

void TestRecordStore::insertAndRemove()
{
    QFETCH(QString, operation);
    QFETCH(int, at);
    QFETCH(QString, expected);

    TRecordStore store = fill(3);
    if (operation == QLatin1String("insert")) {
        store.insertRow(at);
        QCOMPARE(store.rowCount(), 4);
        QVERIFY(store.isNull(at, 1));
        QVERIFY(store.isNull(at, 2));
    } else {
        store.removeRow(at);
        QCOMPARE(store.rowCount(), 2);
    }
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
    TFieldDefs defs = {field("VALUE", TFieldType::Float), field("CODE", TFieldType::String, 4),
                       field("WHEN", TFieldType::DateTime)};
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

QTEST_GUILESS_MAIN(TestRecordStore)
#include "tst_recordstore.moc"
