#include <limits>

#include <QTest>

#include "tests/platform/DataSetFixture.h"
#include "platform/data/FasError.h"
#include "platform/data/FormatSettings.h"

namespace {

QDateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}

// An open dataset of fixture::layout() with one empty record in Edit state.
struct Editing
{
    Editing()
    {
        dataSet.SetFieldDefs(fixture::layout());
        dataSet.CreateDataSet();
        dataSet.Append();
        dataSet.Post();
        dataSet.Edit();
    }
    TField *field(const char *name) { return dataSet.FieldByName(QString::fromLatin1(name)); }
    TClientDataSet dataSet;
};

} // namespace

class TestField : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void asString_data();
    void asString();
    void setAsString_data();
    void setAsString();
    void refusedText_data();
    void refusedText();
    void nullReads();
    void emptyTextIsNotNull();
    void fixedCharKeepsText();
    void displayText_data();
    void displayText();
    void getTextHandler();
    void setValue_data();
    void setValue();
    void dateTimeAsDays_data();
    void dateTimeAsDays();
    void setAsDateTimeTakesWallClock();
    void writeNeedsEditing();
    void definitionAccessors();
};

void TestField::init()
{
    FormatSettings::setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
}

// AsString of each type, from a value stored with the typed setter.
void TestField::asString_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("text") << "CODE" << QVariant(QStringLiteral("Manutenção").left(6)) << "Manute";
    QTest::newRow("date at midnight") << "WHEN" << QVariant(at(2024, 3, 5)) << "05/03/2024";
    QTest::newRow("date with time") << "WHEN" << QVariant(at(2024, 3, 5, 14, 7, 9)) << "05/03/2024 14:07:09";
    QTest::newRow("zero date") << "WHEN" << QVariant(at(1899, 12, 30)) << "30/12/1899";
    QTest::newRow("float") << "VALUE" << QVariant(1234.5) << "1234,5";
    QTest::newRow("negative float") << "VALUE" << QVariant(-0.25) << "-0,25";
    QTest::newRow("null") << "VALUE" << QVariant() << "";
}

void TestField::asString()
{
    QFETCH(QString, field);
    QFETCH(QVariant, value);
    QFETCH(QString, expected);

    Editing e;
    TField *f = e.dataSet.FieldByName(field);
    f->SetValue(value);
    QCOMPARE(f->AsString(), expected);
    e.dataSet.Post();
    QCOMPARE(f->AsString(), expected);
}

// SetAsString parses each type's text form; AsString / AsDateTime / AsFloat read back.
void TestField::setAsString_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("expected"); // null QVariant: the field is null

    QTest::newRow("short date") << "WHEN"
                                << "05/03/2024" << QVariant(at(2024, 3, 5));
    QTest::newRow("short date and time") << "WHEN"
                                         << "05/03/2024 14:07:09" << QVariant(at(2024, 3, 5, 14, 7, 9));
    QTest::newRow("ISO with ms") << "WHEN"
                                 << "2024-03-05T14:07:09.250" << QVariant(at(2024, 3, 5, 14, 7, 9, 250));
    QTest::newRow("empty date clears") << "WHEN"
                                       << "" << QVariant();
    QTest::newRow("blank date clears") << "WHEN"
                                       << "  " << QVariant();
    QTest::newRow("decimal comma") << "VALUE"
                                   << "1234,5" << QVariant(1234.5);
    QTest::newRow("grouped") << "VALUE"
                             << "1.234,56" << QVariant(1234.56);
    QTest::newRow("empty float clears") << "VALUE"
                                        << "" << QVariant();
    QTest::newRow("text") << "CODE"
                          << "Não" << QVariant(QStringLiteral("Não"));
    QTest::newRow("text at size, accented") << "CODE"
                                            << "çãéíóú" << QVariant(QStringLiteral("çãéíóú"));
}

void TestField::setAsString()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QVariant, expected);

    Editing e;
    TField *f = e.dataSet.FieldByName(field);
    f->SetAsFloat(0); // not null before, where the type allows it
    if (f->DataType() == TFieldType::DateTime)
        f->SetAsDateTime(at(2000, 1, 1));
    f->SetAsString(text);
    e.dataSet.Post();
    QCOMPARE(f->IsNull(), !expected.isValid());
    if (expected.isValid())
        QCOMPARE(f->Value(), expected);
    // The text form reads back to the same text (milliseconds are not shown).
    if (expected.isValid()) {
        e.dataSet.Edit();
        const QString before = f->AsString();
        f->SetAsString(before);
        QCOMPARE(f->AsString(), before);
    }
}

void TestField::refusedText_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");

    QTest::newRow("text too long") << "CODE"
                                   << "Manutenção"
                                   << "Campo \"CODE\": texto com 10 caracteres excede o tamanho 6.";
    QTest::newRow("fixed too long") << "FLAG"
                                    << "SN"
                                    << "Campo \"FLAG\": texto com 2 caracteres excede o tamanho 1.";
    QTest::newRow("not a date") << "WHEN"
                                << "31/02/2024"
                                << "Campo \"WHEN\": \"31/02/2024\" não é uma data válida.";
    QTest::newRow("not a number") << "VALUE"
                                  << "12,3x"
                                  << "Campo \"VALUE\": \"12,3x\" não é um valor numérico válido.";
    QTest::newRow("point is not the decimal separator")
        << "VALUE"
        << "1234.5"
        << "Campo \"VALUE\": \"1234.5\" não é um valor numérico válido.";
}

void TestField::refusedText()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, message);

    Editing e;
    TField *f = e.dataSet.FieldByName(field);
    try {
        f->SetAsString(text);
        QFAIL("the text was accepted");
    } catch (const DataSetError &error) {
        QCOMPARE(error.message(), message);
    }
    QVERIFY(f->IsNull()); // nothing was written
}

void TestField::nullReads()
{
    Editing e;
    for (int i = 0; i < e.dataSet.FieldCount(); ++i) {
        TField *f = e.dataSet.Fields(i);
        QVERIFY(f->IsNull());
        QCOMPARE(f->AsString(), QString());
        QVERIFY(f->Value().isNull());
        QVERIFY(!f->Value().isValid());
    }
    QCOMPARE(e.field("VALUE")->AsFloat(), 0.0);
    const QDateTime zero = e.field("WHEN")->AsDateTime();
    QCOMPARE(zero, at(1899, 12, 30));
    QCOMPARE(zero.timeSpec(), Qt::UTC);
    QCOMPARE(e.field("VALUE")->DisplayText(), QString());
}

void TestField::emptyTextIsNotNull()
{
    Editing e;
    TField *code = e.field("CODE");
    code->SetAsString(QString());
    QVERIFY(!code->IsNull());
    QVERIFY(code->Value().isValid());
    QCOMPARE(code->Value().toString(), QString());
    code->Clear();
    QVERIFY(code->IsNull());
    QVERIFY(!code->Value().isValid());

    // And both survive the packet.
    e.dataSet.Post();
    e.dataSet.Append();
    e.field("CODE")->SetAsString(QStringLiteral(""));
    e.dataSet.Post();
    TClientDataSet copy;
    copy.SetData(e.dataSet.GetData());
    QVERIFY(copy.Fields(0)->IsNull());
    copy.Next();
    QVERIFY(!copy.Fields(0)->IsNull());
}

void TestField::fixedCharKeepsText()
{
    TClientDataSet dataSet;
    TFieldDef wide = fixture::def("IDX", TFieldType::FixedChar, 3);
    dataSet.SetFieldDefs({wide});
    dataSet.CreateDataSet();
    dataSet.Append();
    dataSet.Fields(0)->SetAsString(QStringLiteral("S"));
    dataSet.Post();
    QCOMPARE(dataSet.Fields(0)->AsString(), QStringLiteral("S"));
    QCOMPARE(dataSet.Store().text(0, 0), std::string_view("S"));
}

void TestField::displayText_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("expected");

    QTest::newRow("money") << "VALUE" << QVariant(1234.5) << "#,##0.00"
                           << "1.234,50";
    QTest::newRow("money zero") << "VALUE" << QVariant(0.0) << "#,##0.00"
                                << "0,00";
    QTest::newRow("money negative") << "VALUE" << QVariant(-1234567.891) << "#,##0.00"
                                    << "-1.234.567,89";
    QTest::newRow("money null") << "VALUE" << QVariant() << "#,##0.00"
                                << "";
    QTest::newRow("no format") << "VALUE" << QVariant(1234.5) << ""
                               << "1234,5";
    QTest::newRow("date") << "WHEN" << QVariant(at(2024, 3, 5, 9, 0)) << ""
                          << "05/03/2024 09:00:00";
    QTest::newRow("text") << "CODE" << QVariant(QStringLiteral("ab")) << ""
                          << "ab";
}

void TestField::displayText()
{
    QFETCH(QString, field);
    QFETCH(QVariant, value);
    QFETCH(QString, format);
    QFETCH(QString, expected);

    TFieldDefs defs = fixture::layout();
    defs[3].displayFormat = format;
    TClientDataSet dataSet;
    dataSet.SetFieldDefs(defs);
    dataSet.CreateDataSet();
    dataSet.Append();
    TField *f = dataSet.FieldByName(field);
    f->SetValue(value);
    dataSet.Post();
    QCOMPARE(f->DisplayText(), expected);
    QCOMPARE(f->Text(), f->AsString()); // the display format is not used for editing
}

void TestField::getTextHandler()
{
    Editing e;
    TField *code = e.field("CODE");
    code->SetAsString(QStringLiteral("6"));
    QList<bool> calls;
    code->SetOnGetText([&calls](const TField &field, bool displayText) {
        calls << displayText;
        return field.AsString() == QLatin1String("6") ? QStringLiteral("Manutenção") : QString();
    });
    QCOMPARE(code->DisplayText(), QStringLiteral("Manutenção"));
    QCOMPARE(code->Text(), QStringLiteral("Manutenção"));
    QCOMPARE(calls, (QList<bool>{true, false}));
    QCOMPARE(code->AsString(), QStringLiteral("6")); // the value itself is unchanged

    // A handler also replaces the display format.
    e.field("VALUE")->SetAsFloat(2.0);
    e.field("VALUE")->SetOnGetText([](const TField &, bool) { return QStringLiteral("dois"); });
    QCOMPARE(e.field("VALUE")->DisplayText(), QStringLiteral("dois"));
}

void TestField::setValue_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("double") << "VALUE" << QVariant(2.5) << QVariant(2.5);
    QTest::newRow("int into float") << "VALUE" << QVariant(7) << QVariant(7.0);
    QTest::newRow("text into float") << "VALUE" << QVariant(QStringLiteral("3,25")) << QVariant(3.25);
    QTest::newRow("QDate into date-time") << "WHEN" << QVariant(QDate(2024, 2, 29)) << QVariant(at(2024, 2, 29));
    QTest::newRow("text into date-time") << "WHEN" << QVariant(QStringLiteral("29/02/2024 10:00"))
                                         << QVariant(at(2024, 2, 29, 10));
    QTest::newRow("number into text") << "CODE" << QVariant(12.5) << QVariant(QStringLiteral("12,5"));
    QTest::newRow("null") << "CODE" << QVariant() << QVariant();
    QTest::newRow("null of a type") << "VALUE" << QVariant(QMetaType::fromType<double>()) << QVariant();
}

void TestField::setValue()
{
    QFETCH(QString, field);
    QFETCH(QVariant, value);
    QFETCH(QVariant, expected);

    Editing e;
    TField *f = e.dataSet.FieldByName(field);
    if (f->DataType() == TFieldType::DateTime)
        f->SetAsDateTime(at(2000, 1, 1));
    else
        f->SetAsString(QStringLiteral("1"));
    f->SetValue(value);
    QCOMPARE(f->Value(), expected);
    QCOMPARE(f->IsNull(), !expected.isValid());
}

// Date-times read as numbers count days since 1899-12-30, the time as the fraction.
void TestField::dateTimeAsDays_data()
{
    QTest::addColumn<QDateTime>("value");
    QTest::addColumn<double>("days");

    QTest::newRow("zero") << at(1899, 12, 30) << 0.0;
    QTest::newRow("noon of the next day") << at(1899, 12, 31, 12) << 1.5;
    QTest::newRow("2000-01-01") << at(2000, 1, 1) << 36526.0;
    QTest::newRow("2024-03-05 06:00") << at(2024, 3, 5, 6) << 45356.25;
    QTest::newRow("before zero: the fraction keeps the sign") << at(1899, 12, 29, 6) << -1.25;
}

void TestField::dateTimeAsDays()
{
    QFETCH(QDateTime, value);
    QFETCH(double, days);

    Editing e;
    TField *when = e.field("WHEN");
    when->SetAsDateTime(value);
    QCOMPARE(when->AsFloat(), days);
    when->Clear();
    when->SetAsFloat(days);
    QCOMPARE(when->AsDateTime(), value);
}

void TestField::setAsDateTimeTakesWallClock()
{
    Editing e;
    TField *when = e.field("WHEN");
    // A value in another zone keeps its own wall-clock fields.
    const QDateTime offset(QDate(2024, 6, 1), QTime(23, 30), Qt::OffsetFromUTC, -3 * 3600);
    when->SetAsDateTime(offset);
    QCOMPARE(when->AsDateTime(), at(2024, 6, 1, 23, 30));
    when->SetAsDateTime(QDateTime());
    QVERIFY(when->IsNull());
    QVERIFY_THROWS_EXCEPTION(DataSetError, when->SetAsDateTime(at(10000, 1, 1)));
    QVERIFY_THROWS_EXCEPTION(DataSetError, e.field("VALUE")->SetAsFloat(std::numeric_limits<double>::quiet_NaN()));
    QVERIFY_THROWS_EXCEPTION(DataSetError, e.field("VALUE")->SetAsFloat(std::numeric_limits<double>::infinity()));
    QVERIFY(e.field("VALUE")->IsNull());
}

void TestField::writeNeedsEditing()
{
    TClientDataSet dataSet;
    dataSet.SetData(fixture::packet({"A"}));
    TField *code = dataSet.Fields(0);
    try {
        code->SetAsString(QStringLiteral("B"));
        QFAIL("a field was written in Browse state");
    } catch (const DataSetError &error) {
        QVERIFY2(error.message().contains(QStringLiteral("não está em edição")), qPrintable(error.message()));
    }
    QVERIFY_THROWS_EXCEPTION(DataSetError, code->Clear());
    QCOMPARE(code->AsString(), QStringLiteral("A"));
}

void TestField::definitionAccessors()
{
    TFieldDefs defs = fixture::layout();
    defs[0].displayLabel = QStringLiteral("Código");
    defs[0].visible = false;
    TClientDataSet dataSet;
    dataSet.SetFieldDefs(defs);
    QCOMPARE(dataSet.Fields(0)->DisplayLabel(), QStringLiteral("Código"));
    QCOMPARE(dataSet.Fields(1)->DisplayLabel(), QStringLiteral("FLAG")); // no label: the name
    QVERIFY(!dataSet.Fields(0)->Visible());
    QCOMPARE(dataSet.Fields(3)->DisplayFormat(), QStringLiteral("#,##0.00"));
    QCOMPARE(dataSet.Fields(3)->Index(), 3);
    QCOMPARE(dataSet.Fields(0)->DataSet(), &dataSet);
    QVERIFY(!dataSet.Fields(4));
}

QTEST_GUILESS_MAIN(TestField)
#include "tst_field.moc"
