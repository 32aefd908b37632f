#include <limits>

#include <QTest>

#include "platform/data/FormatSettings.h"

class TestFormatSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void formatFloat_data();
    void formatFloat();
    void formatFloatOtherLocale();
    void floatToString_data();
    void floatToString();
    void stringToFloat_data();
    void stringToFloat();
    void dateTimeToString_data();
    void dateTimeToString();
    void stringToDateTime_data();
    void stringToDateTime();
};

void TestFormatSettings::init()
{
    FormatSettings::setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
    FormatSettings::setShortDateFormat(QStringLiteral("dd/MM/yyyy"));
    FormatSettings::setLongTimeFormat(QStringLiteral("hh:mm:ss"));
}

void TestFormatSettings::formatFloat_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("expected");

    const QString money = QStringLiteral("#,##0.00");
    QTest::newRow("1234.5") << 1234.5 << money << "1.234,50";
    QTest::newRow("zero") << 0.0 << money << "0,00";
    QTest::newRow("negative zero") << -0.0 << money << "0,00";
    QTest::newRow("millions, negative") << -1234567.891 << money << "-1.234.567,89";
    QTest::newRow("tiny negative rounds to zero") << -0.004 << money << "0,00";
    QTest::newRow("negative rounding to a cent") << -0.005000001 << money << "-0,01";
    QTest::newRow("below a thousand") << 999.999 << money << "1.000,00";
    QTest::newRow("exactly a thousand") << 1000.0 << money << "1.000,00";
    QTest::newRow("rounds half up from exact binary") << 0.125 << money << "0,13";
    QTest::newRow("2.675 is below the half in binary") << 2.675 << money << "2,67";
    QTest::newRow("half of the last digit rounds up") << 2.5 << "0" << "3";
    QTest::newRow("half a cent on thousands, negative") << -1234.125 << money << "-1.234,13";
    QTest::newRow("large") << 1e15 << money << "1.000.000.000.000.000,00";
    QTest::newRow("no grouping") << 1234.5 << "0.00"
                                 << "1234,50";
    QTest::newRow("no decimals") << 1234.5 << "#,##0"
                                 << "1.235";
    QTest::newRow("optional decimals") << 1.5 << "0.##"
                                       << "1,5";
    QTest::newRow("optional decimals all zero") << 2.0 << "0.##"
                                                << "2";
    QTest::newRow("no required integer digit") << 0.5 << "#.00"
                                               << ",50";
    QTest::newRow("leading zeros") << 7.0 << "000"
                                   << "007";
    QTest::newRow("prefix and suffix") << 1234.5 << "R$ #,##0.00 líq."
                                       << "R$ 1.234,50 líq.";
    QTest::newRow("minus before prefix") << -5.0 << "R$ #,##0.00"
                                         << "-R$ 5,00";
    QTest::newRow("quoted literal") << 3.0 << "0 'kg, líq.'"
                                    << "3 kg, líq.";
    QTest::newRow("negative section") << -5.0 << "#,##0.00;(#,##0.00)"
                                      << "(5,00)";
    QTest::newRow("zero section") << 0.001 << "#,##0.00;-#,##0.00;'zero'"
                                  << "zero";
    QTest::newRow("empty format") << 1234.5 << ""
                                  << "1234,5";
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << money << "NaN";
    QTest::newRow("-Inf") << -std::numeric_limits<double>::infinity() << money << "-INF";
}

void TestFormatSettings::formatFloat()
{
    QFETCH(double, value);
    QFETCH(QString, format);
    QFETCH(QString, expected);
    QCOMPARE(FormatSettings::formatFloat(value, format), expected);
}

void TestFormatSettings::formatFloatOtherLocale()
{
    FormatSettings::setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(FormatSettings::formatFloat(-1234567.891, QStringLiteral("#,##0.00")), QStringLiteral("-1,234,567.89"));
    QCOMPARE(FormatSettings::floatToString(1234.5), QStringLiteral("1234.5"));
}

void TestFormatSettings::floatToString_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("1234.5") << 1234.5 << "1234,5";
    QTest::newRow("no grouping for millions") << 1234567.0 << "1234567";
    QTest::newRow("shortest digits") << 0.1 << "0,1";
    QTest::newRow("all digits that matter") << 0.1 + 0.2 << "0,30000000000000004";
    QTest::newRow("negative") << -2.5 << "-2,5";
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("small stays fixed") << 0.00001 << "0,00001";
    QTest::newRow("smaller uses exponent") << 0.000001 << "1E-06";
    QTest::newRow("large uses exponent") << 1.5e21 << "1,5E+21";
}

void TestFormatSettings::floatToString()
{
    QFETCH(double, value);
    QFETCH(QString, expected);
    const QString text = FormatSettings::floatToString(value);
    QCOMPARE(text, expected);
    double back = 0;
    QVERIFY(FormatSettings::stringToFloat(text, back));
    QCOMPARE(back, value);
}

void TestFormatSettings::stringToFloat_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("expected");

    QTest::newRow("decimal comma") << "1234,5" << true << 1234.5;
    QTest::newRow("grouping") << "1.234,5" << true << 1234.5;
    QTest::newRow("spaces around") << " 12,25 " << true << 12.25;
    QTest::newRow("negative") << "-0,5" << true << -0.5;
    QTest::newRow("decimal point is not the separator") << "1234.5" << false << 0.0;
    QTest::newRow("letters") << "12a" << false << 0.0;
    QTest::newRow("empty") << "" << false << 0.0;
}

void TestFormatSettings::stringToFloat()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(double, expected);
    double value = -99;
    QCOMPARE(FormatSettings::stringToFloat(text, value), ok);
    QCOMPARE(value, ok ? expected : -99.0);
}

void TestFormatSettings::dateTimeToString_data()
{
    QTest::addColumn<QDateTime>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("midnight: date only") << QDateTime(QDate(2024, 3, 5), QTime(0, 0), Qt::UTC) << "05/03/2024";
    QTest::newRow("with time") << QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9), Qt::UTC) << "05/03/2024 14:07:09";
    QTest::newRow("a millisecond past midnight shows the time")
        << QDateTime(QDate(2024, 3, 5), QTime(0, 0, 0, 1), Qt::UTC) << "05/03/2024 00:00:00";
    QTest::newRow("zero date") << QDateTime(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC) << "30/12/1899";
    QTest::newRow("invalid") << QDateTime() << "";
}

void TestFormatSettings::dateTimeToString()
{
    QFETCH(QDateTime, value);
    QFETCH(QString, expected);
    QCOMPARE(FormatSettings::dateTimeToString(value), expected);
}

void TestFormatSettings::stringToDateTime_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("expected"); // invalid: refused

    const auto at = [](int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
        return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
    };
    QTest::newRow("short date") << "05/03/2024" << at(2024, 3, 5);
    QTest::newRow("short date and time") << "05/03/2024 14:07:09" << at(2024, 3, 5, 14, 7, 9);
    QTest::newRow("without leading zeros") << "5/3/2024" << at(2024, 3, 5);
    QTest::newRow("short date, hours and minutes") << "05/03/2024 14:07" << at(2024, 3, 5, 14, 7);
    QTest::newRow("ISO date") << "2024-03-05" << at(2024, 3, 5);
    QTest::newRow("ISO date-time") << "2024-03-05T14:07:09" << at(2024, 3, 5, 14, 7, 9);
    QTest::newRow("ISO with ms") << "2024-03-05T14:07:09.123" << at(2024, 3, 5, 14, 7, 9, 123);
    // Midnight of the day Brazil's clocks once jumped from 00:00 to 01:00.
    QTest::newRow("skipped local hour") << "04/11/2018 00:30:00" << at(2018, 11, 4, 0, 30);
    QTest::newRow("day 31 of a 30-day month") << "31/04/2024" << QDateTime();
    QTest::newRow("month first") << "03/25/2024" << QDateTime();
    QTest::newRow("bad time") << "05/03/2024 25:00:00" << QDateTime();
    QTest::newRow("bad ISO") << "2024-02-30" << QDateTime();
    QTest::newRow("text") << "amanhã" << QDateTime();
}

void TestFormatSettings::stringToDateTime()
{
    QFETCH(QString, text);
    QFETCH(QDateTime, expected);
    QDateTime value;
    QCOMPARE(FormatSettings::stringToDateTime(text, value), expected.isValid());
    if (expected.isValid()) {
        QCOMPARE(value, expected);
        QCOMPARE(value.timeSpec(), Qt::UTC);
    }
}

QTEST_GUILESS_MAIN(TestFormatSettings)
#include "tst_formatsettings.moc"
