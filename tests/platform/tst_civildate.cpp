#include <QTest>

#include "platform/data/CivilDate.h"

namespace {

// Milliseconds of a wall-clock date-time, computed by Qt independently of the module.
qint64 ms(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int z = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, z), Qt::UTC).toMSecsSinceEpoch();
}

// The reader of `form` on `text`.
template<typename View>
bool parse(View text, CivilDate::IsoForm form, std::int64_t &out)
{
    switch (form) {
    case CivilDate::IsoForm::Packet:
        return CivilDate::parseIso<CivilDate::IsoForm::Packet>(text, out);
    case CivilDate::IsoForm::Database:
        return CivilDate::parseIso<CivilDate::IsoForm::Database>(text, out);
    case CivilDate::IsoForm::Request:
        return CivilDate::parseIso<CivilDate::IsoForm::Request>(text, out);
    }
    return false;
}

} // namespace

class TestCivilDate : public QObject
{
    Q_OBJECT

private slots:
    void parseIso_data();
    void parseIso();
    void formatIso_data();
    void formatIso();
};

// `forms` lists the forms that accept the text: P(acket), D(atabase), R(equest).
void TestCivilDate::parseIso_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("forms");
    QTest::addColumn<qint64>("expected");

    QTest::newRow("first supported day") << "0001-01-01"
                                         << "PDR" << ms(1, 1, 1);
    QTest::newRow("zero date") << "1899-12-30"
                               << "PDR" << ms(1899, 12, 30);
    QTest::newRow("1900-02-28") << "1900-02-28"
                                << "PDR" << ms(1900, 2, 28);
    QTest::newRow("1900 is not leap") << "1900-02-29"
                                      << "" << qint64(0);
    QTest::newRow("2000 is leap") << "2000-02-29"
                                  << "PDR" << ms(2000, 2, 29);
    QTest::newRow("2100 is not leap") << "2100-02-29"
                                      << "" << qint64(0);
    QTest::newRow("last supported instant") << "9999-12-31T23:59:59.999"
                                            << "PDR" << ms(9999, 12, 31, 23, 59, 59, 999);
    QTest::newRow("year zero") << "0000-12-31"
                               << "" << qint64(0);
    QTest::newRow("month 13") << "2024-13-01"
                              << "" << qint64(0);
    QTest::newRow("month 0") << "2024-00-10"
                             << "" << qint64(0);
    QTest::newRow("day 31 of a 30-day month") << "2024-04-31"
                                              << "" << qint64(0);
    QTest::newRow("before 1970") << "1969-12-31T23:59:59.999"
                                 << "PDR" << ms(1969, 12, 31, 23, 59, 59, 999);
    QTest::newRow("seconds") << "2024-05-06T07:08:09"
                             << "PDR" << ms(2024, 5, 6, 7, 8, 9);
    QTest::newRow("space before the time") << "2024-05-06 07:08:09"
                                           << "DR" << ms(2024, 5, 6, 7, 8, 9);
    QTest::newRow("no seconds") << "2024-05-06T07:08"
                                << "DR" << ms(2024, 5, 6, 7, 8);
    QTest::newRow("one fraction digit") << "2024-05-06T07:08:09.5"
                                        << "DR" << ms(2024, 5, 6, 7, 8, 9, 500);
    QTest::newRow("microseconds: the first three count") << "2024-05-06 07:08:09.123999"
                                                         << "DR" << ms(2024, 5, 6, 7, 8, 9, 123);
    QTest::newRow("nine fraction digits") << "2024-05-06T07:08:09.123456789"
                                          << "DR" << ms(2024, 5, 6, 7, 8, 9, 123);
    QTest::newRow("ten fraction digits") << "2024-05-06T07:08:09.1234567890"
                                         << "D" << ms(2024, 5, 6, 7, 8, 9, 123);
    QTest::newRow("point without digits") << "2024-05-06T07:08:09."
                                          << "" << qint64(0);
    QTest::newRow("zone Z: wall clock kept") << "2024-05-06T07:08:09Z"
                                             << "R" << ms(2024, 5, 6, 7, 8, 9);
    QTest::newRow("zone -03:00") << "2024-05-06T07:08:09.123-03:00"
                                 << "R" << ms(2024, 5, 6, 7, 8, 9, 123);
    QTest::newRow("zone +0130 after minutes") << "2024-05-06 07:08+0130"
                                              << "R" << ms(2024, 5, 6, 7, 8);
    QTest::newRow("zone without a time") << "2024-05-06Z"
                                         << "" << qint64(0);
    QTest::newRow("short zone") << "2024-05-06T07:08:09+3"
                                << "" << qint64(0);
    QTest::newRow("hour 24") << "2024-05-06T24:00:00"
                             << "" << qint64(0);
    QTest::newRow("minute 60") << "2024-05-06T23:60:00"
                               << "" << qint64(0);
    QTest::newRow("second 60") << "2024-05-06T23:59:60"
                               << "" << qint64(0);
    QTest::newRow("lower-case t") << "2024-05-06t07:08:09"
                                  << "" << qint64(0);
    QTest::newRow("one-digit month and day") << "2024-5-6"
                                             << "" << qint64(0);
    QTest::newRow("two-digit year") << "24-05-06"
                                    << "" << qint64(0);
    QTest::newRow("leading space") << " 2024-05-06"
                                   << "" << qint64(0);
    QTest::newRow("trailing text") << "2024-05-06x"
                                   << "" << qint64(0);
    QTest::newRow("hour without minutes") << "2024-05-06T07"
                                          << "" << qint64(0);
    QTest::newRow("empty") << ""
                           << "" << qint64(0);
    QTest::newRow("words") << "amanhã"
                           << "" << qint64(0);
    QTest::newRow("full-width digits") << "２０２４-05-06"
                                       << "" << qint64(0);
    QTest::newRow("Arabic-Indic digits in the time") << "2024-05-06T٠٧:08:09"
                                                     << "" << qint64(0);
}

// Both kinds of text read alike: UTF-8 from packets and databases, QString from Qt.
void TestCivilDate::parseIso()
{
    QFETCH(QString, text);
    QFETCH(QString, forms);
    QFETCH(qint64, expected);
    const QByteArray utf8 = text.toUtf8();
    const std::pair<CivilDate::IsoForm, QChar> all[] = {
        {CivilDate::IsoForm::Packet, u'P'}, {CivilDate::IsoForm::Database, u'D'}, {CivilDate::IsoForm::Request, u'R'}};
    for (const auto &[form, letter] : all) {
        const bool accepted = forms.contains(letter);
        std::int64_t fromUtf8 = -1;
        std::int64_t fromQString = -1;
        QCOMPARE(parse(std::string_view(utf8.constData(), std::size_t(utf8.size())), form, fromUtf8), accepted);
        QCOMPARE(parse(QStringView(text), form, fromQString), accepted);
        QCOMPARE(fromUtf8, accepted ? expected : -1); // untouched when refused
        QCOMPARE(fromQString, accepted ? expected : -1);
    }
}

void TestCivilDate::formatIso_data()
{
    QTest::addColumn<qint64>("value");
    QTest::addColumn<QString>("expected"); // empty: refused

    QTest::newRow("first supported instant") << qint64(CivilDate::MinMs) << "0001-01-01T00:00:00.000";
    QTest::newRow("zero date") << qint64(CivilDate::ZeroDateMs) << "1899-12-30T00:00:00.000";
    QTest::newRow("1900-02-28 noon") << ms(1900, 2, 28, 12) << "1900-02-28T12:00:00.000";
    QTest::newRow("1900-03-01 follows 02-28")
        << ms(1900, 2, 28) + qint64(CivilDate::MsPerDay) << "1900-03-01T00:00:00.000";
    QTest::newRow("last ms before 1970") << qint64(-1) << "1969-12-31T23:59:59.999";
    QTest::newRow("1970") << qint64(0) << "1970-01-01T00:00:00.000";
    QTest::newRow("2000-02-29") << ms(2000, 2, 29, 1, 2, 3, 4) << "2000-02-29T01:02:03.004";
    QTest::newRow("2100-02-28 is followed by 03-01")
        << ms(2100, 2, 28) + qint64(CivilDate::MsPerDay) << "2100-03-01T00:00:00.000";
    QTest::newRow("last supported instant") << qint64(CivilDate::MaxMs) << "9999-12-31T23:59:59.999";
    QTest::newRow("before year 1") << qint64(CivilDate::MinMs - 1) << "";
    QTest::newRow("after year 9999") << qint64(CivilDate::MaxMs + 1) << "";
}

// The packet's text of a date-time and its date agree with Qt's calendar, and the
// text and the civil parts both lead back to the same value.
void TestCivilDate::formatIso()
{
    QFETCH(qint64, value);
    QFETCH(QString, expected);
    char buffer[23] = {};
    QCOMPARE(CivilDate::formatIso(value, buffer), !expected.isEmpty());
    // SQL text: the same fields, a space before the time; nothing outside the years.
    const QDateTime wallClock = CivilDate::toQt(value);
    QCOMPARE(CivilDate::sqlDateTime(wallClock, CivilDate::SqlTime::Milliseconds),
             QString(expected).replace(u'T', u' '));
    QCOMPARE(CivilDate::sqlDateTime(wallClock), QString(expected).replace(u'T', u' ').left(19));
    QCOMPARE(CivilDate::sqlDate(wallClock.date()), expected.left(10));
    if (expected.isEmpty()) {
        QCOMPARE(CivilDate::sqlDate(QDate()), QString());
        QCOMPARE(CivilDate::sqlDateTime(QDateTime()), QString());
        return;
    }
    QCOMPARE(QString::fromLatin1(buffer, 23), expected);
    std::int64_t back = 0;
    QVERIFY(CivilDate::parseIso<CivilDate::IsoForm::Packet>(std::string_view(buffer, 23), back));
    QCOMPARE(back, value);

    const QDateTime qt = QDateTime::fromMSecsSinceEpoch(value, Qt::UTC);
    QCOMPARE(CivilDate::dateOf(value), qt.date());
    QCOMPARE(CivilDate::fromQt(qt), value);
    const CivilDate::Parts parts = CivilDate::split(value);
    QCOMPARE(qint64(CivilDate::msFromParts(
                 parts.date, unsigned(parts.time.hours().count()), unsigned(parts.time.minutes().count()),
                 unsigned(parts.time.seconds().count()), unsigned(parts.time.subseconds().count()))),
             value);
}

QTEST_GUILESS_MAIN(TestCivilDate)
#include "tst_civildate.moc"
