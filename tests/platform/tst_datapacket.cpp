#include <cmath>
#include <cstring>
#include <limits>

#include <QTest>

#include "tests/platform/DataSetFixture.h"
#include "platform/data/DataPacket.h"
#include "platform/data/PacketStream.h"
#include "platform/data/TJsonDocument.h"
#include "platform/data/FasError.h"
#include "platform/data/TRecordStore.h"

namespace {

// Milliseconds of a wall-clock date-time, computed by Qt independently of the codec.
qint64 ms(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int z = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, z), Qt::UTC).toMSecsSinceEpoch();
}

std::uint64_t bits(double value)
{
    std::uint64_t out = 0;
    std::memcpy(&out, &value, sizeof out);
    return out;
}

// Compares two stores cell by cell; floats bit for bit.
void compareStores(const TRecordStore &actual, const TRecordStore &expected)
{
    QCOMPARE(actual.fieldCount(), expected.fieldCount());
    QCOMPARE(actual.rowCount(), expected.rowCount());
    for (int f = 0; f < expected.fieldCount(); ++f) {
        QVERIFY(actual.defs()[f].sameShape(expected.defs()[f]));
        QCOMPARE(actual.defs()[f].name, expected.defs()[f].name);
    }
    for (int r = 0; r < expected.rowCount(); ++r) {
        for (int f = 0; f < expected.fieldCount(); ++f) {
            QCOMPARE(actual.isNull(r, f), expected.isNull(r, f));
            switch (expected.defs()[f].type) {
            case TFieldType::String:
            case TFieldType::FixedChar:
                QCOMPARE(actual.text(r, f), expected.text(r, f));
                break;
            case TFieldType::DateTime:
                QCOMPARE(actual.dateTimeMs(r, f), expected.dateTimeMs(r, f));
                break;
            case TFieldType::Float:
                QCOMPARE(bits(actual.number(r, f)), bits(expected.number(r, f)));
                break;
            }
        }
    }
}

QByteArray packet(const QByteArray &fields, const QByteArray &rows)
{
    return "{\"fields\":[" + fields + "],\"rows\":[" + rows + "]}";
}

const QByteArray twoFields = R"({"name":"A","type":"string","size":2,"fixed":false},)"
                             R"({"name":"B","type":"float"})";

QString repeated(const QString &piece, int count)
{
    QString out;
    for (int i = 0; i < count; ++i)
        out += piece;
    return out;
}

// The packet read as it arrives, in pieces of `piece` bytes.
TRecordStore streamed(const QByteArray &json, qsizetype piece, qsizetype maxBytes = DataPacket::DefaultMaxBytes)
{
    PacketStream stream(maxBytes);
    for (qsizetype at = 0; at < json.size(); at += piece)
        stream.feed(std::string_view(json.constData() + at, std::size_t(qMin(piece, json.size() - at))));
    return stream.finish();
}

// A GetFaturamento answer carrying `packetJson` as its result.
QByteArray inAnswer(const QByteArray &packetJson)
{
    return R"({"jsonrpc":"2.0","id":1,"result":)" + packetJson + "}";
}

} // namespace

class TestDataPacket : public QObject
{
    Q_OBJECT

private slots:
    void roundTripCell_data();
    void roundTripCell();
    void roundTripTable();
    void fieldsHeader();
    void acceptedInput_data();
    void acceptedInput();
    void textSizeCountsCharacters_data();
    void textSizeCountsCharacters();
    void malformed_data();
    void malformed();
    void notEncodable_data();
    void notEncodable();
    void encodeToAppends();
};

// One cell of each kind: encoded, the cell's JSON text is pinned; decoded, the
// value comes back exactly.
void TestDataPacket::roundTripCell_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("isNull");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("dateTime");
    QTest::addColumn<double>("number");
    QTest::addColumn<QByteArray>("json");

    const int str = int(TFieldType::String);
    const int fixed = int(TFieldType::FixedChar);
    const int dt = int(TFieldType::DateTime);
    const int fl = int(TFieldType::Float);

    QTest::newRow("text") << str << 10 << false << "ABC" << qint64(0) << 0.0 << QByteArray(R"("ABC")");
    QTest::newRow("empty text is not null") << str << 10 << false << "" << qint64(0) << 0.0 << QByteArray(R"("")");
    QTest::newRow("null text") << str << 10 << true << "" << qint64(0) << 0.0 << QByteArray("null");
    QTest::newRow("fixed text keeps spaces")
        << fixed << 3 << false << "S " << qint64(0) << 0.0 << QByteArray(R"("S ")");
    QTest::newRow("Portuguese") << str << 10 << false << "Manutenção" << qint64(0) << 0.0
                                << QByteArray("\"Manuten\xC3\xA7\xC3\xA3o\"");
    QTest::newRow("Portuguese 2") << str << 13 << false << "Não realizada" << qint64(0) << 0.0
                                  << QByteArray("\"N\xC3\xA3o realizada\"");
    QTest::newRow("escapes") << str << 20 << false << QString::fromUtf8("a\"b\\c/\n\r\t\b\f") << qint64(0) << 0.0
                             << QByteArray(R"("a\"b\\c/\n\r\t\b\f")");
    QTest::newRow("control characters") << str << 5 << false << QString(QChar(1)) + QChar(0x1f) + QChar(0) + QChar(0x7f)
                                        << qint64(0) << 0.0 << QByteArray("\"\\u0001\\u001f\\u0000\x7f\"");
    QTest::newRow("astral plane") << str << 1 << false << QString::fromUtf8("\xF0\x9F\x98\x80") << qint64(0) << 0.0
                                  << QByteArray("\"\xF0\x9F\x98\x80\"");

    QTest::newRow("date-time with ms") << dt << 0 << false << "" << ms(2024, 2, 29, 23, 59, 59, 999) << 0.0
                                       << QByteArray(R"("2024-02-29T23:59:59.999")");
    QTest::newRow("zero date-time") << dt << 0 << false << "" << ms(1899, 12, 30) << 0.0
                                    << QByteArray(R"("1899-12-30T00:00:00.000")");
    QTest::newRow("epoch") << dt << 0 << false << "" << qint64(0) << 0.0 << QByteArray(R"("1970-01-01T00:00:00.000")");
    QTest::newRow("1 ms before epoch") << dt << 0 << false << "" << qint64(-1) << 0.0
                                       << QByteArray(R"("1969-12-31T23:59:59.999")");
    QTest::newRow("first supported") << dt << 0 << false << "" << ms(1, 1, 1) << 0.0
                                     << QByteArray(R"("0001-01-01T00:00:00.000")");
    QTest::newRow("last supported") << dt << 0 << false << "" << ms(9999, 12, 31, 23, 59, 59, 999) << 0.0
                                    << QByteArray(R"("9999-12-31T23:59:59.999")");
    QTest::newRow("1600 leap day") << dt << 0 << false << "" << ms(1600, 2, 29, 12) << 0.0
                                   << QByteArray(R"("1600-02-29T12:00:00.000")");
    QTest::newRow("null date-time") << dt << 0 << true << "" << qint64(0) << 0.0 << QByteArray("null");

    QTest::newRow("0.1") << fl << 0 << false << "" << qint64(0) << 0.1 << QByteArray("0.1");
    QTest::newRow("0.1+0.2") << fl << 0 << false << "" << qint64(0) << 0.1 + 0.2 << QByteArray("0.30000000000000004");
    QTest::newRow("zero") << fl << 0 << false << "" << qint64(0) << 0.0 << QByteArray("0");
    QTest::newRow("negative zero written 0") << fl << 0 << false << "" << qint64(0) << -0.0 << QByteArray("0");
    QTest::newRow("1234.5") << fl << 0 << false << "" << qint64(0) << 1234.5 << QByteArray("1234.5");
    QTest::newRow("1e308") << fl << 0 << false << "" << qint64(0) << 1e308 << QByteArray("1e+308");
    QTest::newRow("max") << fl << 0 << false << "" << qint64(0) << std::numeric_limits<double>::max()
                         << QByteArray("1.7976931348623157e+308");
    QTest::newRow("smallest normal") << fl << 0 << false << "" << qint64(0) << std::numeric_limits<double>::min()
                                     << QByteArray("2.2250738585072014e-308");
    QTest::newRow("smallest denormal") << fl << 0 << false << "" << qint64(0)
                                       << std::numeric_limits<double>::denorm_min() << QByteArray("5e-324");
    QTest::newRow("negative denormal") << fl << 0 << false << "" << qint64(0) << -4.9406564584124654e-322
                                       << QByteArray("-4.94e-322");
    QTest::newRow("2^53+2") << fl << 0 << false << "" << qint64(0) << 9007199254740994.0
                            << QByteArray("9007199254740994");
    QTest::newRow("null float") << fl << 0 << true << "" << qint64(0) << 0.0 << QByteArray("null");
}

void TestDataPacket::roundTripCell()
{
    QFETCH(int, type);
    QFETCH(int, size);
    QFETCH(bool, isNull);
    QFETCH(QString, text);
    QFETCH(qint64, dateTime);
    QFETCH(double, number);
    QFETCH(QByteArray, json);

    TRecordStore store({fixture::def("F", TFieldType(type), size)});
    const int row = store.appendRow();
    if (!isNull) {
        switch (TFieldType(type)) {
        case TFieldType::String:
        case TFieldType::FixedChar:
            store.setText(row, 0, text.toStdString());
            break;
        case TFieldType::DateTime:
            store.setDateTimeMs(row, 0, dateTime);
            break;
        case TFieldType::Float:
            store.setNumber(row, 0, number);
            break;
        }
    }
    const QByteArray encoded = DataPacket::encode(store);
    QVERIFY2(encoded.endsWith(",\"rows\":[[" + json + "]]}"), encoded.constData());

    if (json == "0")
        store.setNumber(row, 0, 0.0); // a negative zero reads back as the zero it was written as
    const TRecordStore decoded = DataPacket::decode(encoded);
    compareStores(decoded, store);
    // The parser of answers reads every cell the same way.
    TJsonDocument answer;
    QCOMPARE(answer.parse(inAnswer(encoded)), simdjson::SUCCESS);
    compareStores(DataPacket::decode(answer, "result"), store);
}

// A table with every type, nulls and long texts survives encode + decode, and
// encoding the decoded table gives the same bytes.
void TestDataPacket::roundTripTable()
{
    TRecordStore store(
        {fixture::def("CDEMPRESA", TFieldType::String, 2), fixture::def("IDCHECK", TFieldType::FixedChar, 1),
         fixture::def("DTMESAPURFAS", TFieldType::DateTime), fixture::def("VRTOTAFATFAS", TFieldType::Float),
         fixture::def("DSEMISSPRONF", TFieldType::String, 400)});
    const QString longText = repeated(QStringLiteral("ção "), 100);
    for (int r = 0; r < 50; ++r) {
        const int row = store.appendRow();
        if (r % 7 != 3)
            store.setText(row, 0, QString::number(r % 100).rightJustified(2, QLatin1Char('0')).toStdString());
        if (r % 5 != 1)
            store.setText(row, 1, r % 2 ? "S" : "N");
        if (r % 4 != 2)
            store.setDateTimeMs(row, 2,
                                ms(2008 + r % 17, 1 + r % 12, 1 + r % 28, r % 24, r % 60, r % 60, r * 7 % 1000));
        if (r % 6 != 5)
            store.setNumber(row, 3, (r - 25) * 1234.567 / 3.0);
        if (r % 3 == 0)
            store.setText(row, 4, longText.left(r * 8).toStdString());
    }
    const QByteArray encoded = DataPacket::encode(store);
    const TRecordStore decoded = DataPacket::decode(encoded);
    compareStores(decoded, store);
    QCOMPARE(DataPacket::encode(decoded), encoded);
    for (const qsizetype piece : {qsizetype(1), qsizetype(13), qsizetype(4096)})
        compareStores(streamed(encoded, piece), store);
    // Read as it arrives, a packet is refused past the rows a station takes.
    PacketStream limited(DataPacket::DefaultMaxBytes, store.rowCount() - 1);
    QVERIFY_THROWS_EXCEPTION(PacketError,
                             limited.feed(std::string_view(encoded.constData(), std::size_t(encoded.size()))));
}

void TestDataPacket::fieldsHeader()
{
    TRecordStore store({fixture::def("CDEMPRESA", TFieldType::String, 2),
                        fixture::def("IDCHECK", TFieldType::FixedChar, 1), fixture::def("DT", TFieldType::DateTime),
                        fixture::def("VR", TFieldType::Float)});
    QCOMPARE(DataPacket::encode(store),
             QByteArray(R"({"fields":[{"name":"CDEMPRESA","type":"string","size":2,"fixed":false},)"
                        R"({"name":"IDCHECK","type":"string","size":1,"fixed":true},)"
                        R"({"name":"DT","type":"datetime","size":0,"fixed":false},)"
                        R"({"name":"VR","type":"float","size":0,"fixed":false}],"rows":[]})"));
}

// Input the decoder accepts beyond what the encoder writes.
void TestDataPacket::acceptedInput_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("column");
    QTest::addColumn<QVariant>("expected");

    const QByteArray fields = R"({"name":"T","type":"string","size":3},{"name":"D","type":"datetime"},)"
                              R"({"name":"F","type":"float","size":0,"fixed":false})";
    QTest::newRow("date without ms") << packet(fields, R"([null,"2020-05-06T07:08:09",null])") << 1
                                     << QVariant(ms(2020, 5, 6, 7, 8, 9));
    QTest::newRow("plain date") << packet(fields, R"([null,"2020-05-06",null])") << 1 << QVariant(ms(2020, 5, 6));
    QTest::newRow("integer for a float") << packet(fields, R"([null,null,5])") << 2 << QVariant(5.0);
    QTest::newRow("exponent for a float") << packet(fields, R"([null,null,-1.5E3])") << 2 << QVariant(-1500.0);
    QTest::newRow("big integer for a float") << packet(fields, R"([null,null,123456789012345678901234567890])") << 2
                                             << QVariant(123456789012345678901234567890.0);
    QTest::newRow("negative integer beyond 64 bits") << packet(fields, R"([null,null,-123456789012345678901234567890])")
                                                     << 2 << QVariant(-123456789012345678901234567890.0);
    QTest::newRow("unicode escapes") << packet(fields, R"(["N\u00e3o",null,null])") << 0
                                     << QVariant(QStringLiteral("Não"));
    QTest::newRow("surrogate pair escape")
        << packet(fields, R"(["\ud83d\ude00",null,null])") << 0 << QVariant(QString::fromUtf8("\xF0\x9F\x98\x80"));
    QTest::newRow("escaped quote and backslash")
        << packet(fields, R"(["\"\\]",null,null])") << 0 << QVariant(QStringLiteral("\"\\]"));
    QTest::newRow("rows before fields") << QByteArray(R"({"rows":[["ab",null,1.25]],"fields":[)" + fields + "]}") << 2
                                        << QVariant(1.25);
    QTest::newRow("whitespace") << QByteArray(" {\n \"fields\" : [" + fields
                                              + "] ,\r\n\t\"rows\":[ [ \"x\" , null , null ] ] }\n ")
                                << 0 << QVariant(QStringLiteral("x"));
    QTest::newRow("field keys in any order")
        << QByteArray(R"({"fields":[{"fixed":true,"size":1,"type":"string","name":"T"}],"rows":[["S"]]})") << 0
        << QVariant(QStringLiteral("S"));
}

void TestDataPacket::acceptedInput()
{
    QFETCH(QByteArray, json);
    QFETCH(int, column);
    QFETCH(QVariant, expected);

    const TRecordStore store = DataPacket::decode(json);
    for (const qsizetype piece : {qsizetype(1), qsizetype(2), qsizetype(5)})
        compareStores(streamed(json, piece), store);
    // Read from a parsed remote answer, the packet gives the same rows. An integer
    // beyond 64 bits is refused by the parser of answers: the host then reads the
    // answer as text, as above.
    TJsonDocument answer;
    const simdjson::error_code parsed = answer.parse(inAnswer(json));
    if (json.contains("123456789012345678901234567890")) {
        QVERIFY(parsed != simdjson::SUCCESS);
    } else {
        QCOMPARE(parsed, simdjson::SUCCESS);
        compareStores(DataPacket::decode(answer, "result"), store);
    }
    QCOMPARE(store.rowCount(), 1);
    QVERIFY(!store.isNull(0, column));
    switch (store.defs()[column].type) {
    case TFieldType::String:
    case TFieldType::FixedChar:
        QCOMPARE(QString::fromStdString(std::string(store.text(0, column))), expected.toString());
        break;
    case TFieldType::DateTime:
        QCOMPARE(store.dateTimeMs(0, column), expected.toLongLong());
        break;
    case TFieldType::Float:
        QCOMPARE(store.number(0, column), expected.toDouble());
        break;
    }
}

// A text's size counts characters, not UTF-8 bytes.
void TestDataPacket::textSizeCountsCharacters_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("fits");

    QTest::newRow("3 characters, 4 bytes, size 3") << QStringLiteral("Não") << 3 << true;
    QTest::newRow("3 characters, size 2") << QStringLiteral("Não") << 2 << false;
    QTest::newRow("400 accented characters, size 400") << repeated(QStringLiteral("çã"), 200) << 400 << true;
    QTest::newRow("401 accented characters, size 400")
        << repeated(QStringLiteral("çã"), 200) + QStringLiteral("é") << 400 << false;
    QTest::newRow("emoji is one character") << QString::fromUtf8("\xF0\x9F\x98\x80") << 1 << true;
    QTest::newRow("ASCII exactly at size") << QStringLiteral("ABCD") << 4 << true;
    QTest::newRow("ASCII one over") << QStringLiteral("ABCDE") << 4 << false;
    QTest::newRow("-0 inside a text stays text") << QStringLiteral("a -0") << 4 << true;
}

void TestDataPacket::textSizeCountsCharacters()
{
    QFETCH(QString, text);
    QFETCH(int, size);
    QFETCH(bool, fits);

    const QByteArray json = packet(R"({"name":"DS","type":"string","size":)" + QByteArray::number(size)
                                       + ",\"fixed\":false}",
                                   "[\"" + text.toUtf8() + "\"]");
    TRecordStore store({fixture::def("DS", TFieldType::String, size)});
    store.setText(store.appendRow(), 0, text.toStdString());
    const qsizetype characters = text.toStdU32String().size();
    const QString expected =
        QStringLiteral("linha 1, campo \"DS\": texto com %1 caracteres excede o tamanho %2.").arg(characters).arg(size);
    if (fits) {
        QCOMPARE(DataPacket::decode(json).text(0, 0), std::string_view(text.toStdString()));
        QCOMPARE(DataPacket::encode(store), json);
        return;
    }
    try {
        DataPacket::decode(json);
        QFAIL("decode accepted an oversize text");
    } catch (const PacketError &error) {
        QCOMPARE(error.message(), QStringLiteral("Pacote de dados inválido: ") + expected);
    }
    try {
        DataPacket::encode(store);
        QFAIL("encode accepted an oversize text");
    } catch (const PacketError &error) {
        QVERIFY2(error.message().endsWith(expected), qPrintable(error.message()));
    }
}

// Every malformed packet gives a PacketError whose message names the problem and
// its place.
void TestDataPacket::malformed_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<qsizetype>("maxBytes");
    QTest::addColumn<QStringList>("mentions");

    const qsizetype noLimit = DataPacket::DefaultMaxBytes;
    const auto row2 = [](const QByteArray &cells) { return packet(twoFields, R"(["ab",1],)" + cells); };

    QTest::newRow("empty") << QByteArray() << noLimit << QStringList{"vazio"};
    QTest::newRow("truncated") << QByteArray(R"({"fields":[{"name":"A","type":"string","size":2}],"rows":[["ab")")
                               << noLimit << QStringList{"JSON malformado"};
    QTest::newRow("missing comma in a row")
        << row2(R"(["ab" 1])") << noLimit << QStringList{"linha 2", "JSON malformado"};
    QTest::newRow("not an object") << QByteArray("[1,2]") << noLimit << QStringList{"não é um objeto"};
    QTest::newRow("missing fields") << QByteArray(R"({"rows":[]})") << noLimit
                                    << QStringList{"falta a chave \"fields\""};
    QTest::newRow("missing rows") << QByteArray("{\"fields\":[" + twoFields + "]}") << noLimit
                                  << QStringList{"falta a chave \"rows\""};
    QTest::newRow("unknown top key") << QByteArray("{\"fields\":[" + twoFields + "],\"rows\":[],\"extra\":1}")
                                     << noLimit << QStringList{"chave \"extra\" desconhecida"};
    QTest::newRow("fields twice") << QByteArray("{\"fields\":[" + twoFields + "],\"fields\":[],\"rows\":[]}") << noLimit
                                  << QStringList{"\"fields\" aparece mais de uma vez"};
    QTest::newRow("fields not a list") << QByteArray(R"({"fields":{},"rows":[]})") << noLimit
                                       << QStringList{"\"fields\" não é uma lista"};
    QTest::newRow("no fields") << QByteArray(R"({"fields":[],"rows":[]})") << noLimit << QStringList{"nenhum campo"};
    QTest::newRow("unknown key in a field") << packet(R"({"name":"A","type":"string","sise":2})", "") << noLimit
                                            << QStringList{"campo \"A\"", "chave \"sise\" desconhecida"};
    QTest::newRow("field without name") << packet(R"({"name":"A","type":"string","size":2},{"type":"float"})", "")
                                        << noLimit
                                        << QStringList{"campo 2 da lista \"fields\"", "falta a chave \"name\""};
    QTest::newRow("field without type") << packet(R"({"name":"A","size":2})", "") << noLimit
                                        << QStringList{"campo \"A\"", "falta a chave \"type\""};
    QTest::newRow("text field without size") << packet(R"({"name":"A","type":"string"})", "") << noLimit
                                             << QStringList{"campo \"A\"", "falta a chave \"size\""};
    QTest::newRow("unknown type") << packet(R"({"name":"A","type":"integer"})", "") << noLimit
                                  << QStringList{"campo \"A\"", "tipo \"integer\" desconhecido"};
    QTest::newRow("duplicate name") << packet(R"({"name":"A","type":"float"},{"name":"a","type":"float"})", "")
                                    << noLimit << QStringList{"campo \"a\" aparece mais de uma vez"};
    QTest::newRow("size zero") << packet(R"({"name":"A","type":"string","size":0})", "") << noLimit
                               << QStringList{"campo \"A\"", "tamanho 0 inválido"};
    QTest::newRow("size not a number") << packet(R"({"name":"A","type":"string","size":"2"})", "") << noLimit
                                       << QStringList{"campo \"A\"", "\"size\" deve ser um número inteiro"};
    QTest::newRow("size on a float") << packet(R"({"name":"A","type":"float","size":8})", "") << noLimit
                                     << QStringList{"campo \"A\"", "não tem tamanho"};
    QTest::newRow("fixed date") << packet(R"({"name":"A","type":"datetime","fixed":true})", "") << noLimit
                                << QStringList{"campo \"A\"", "tamanho fixo"};
    QTest::newRow("empty name") << packet(R"({"name":"","type":"float"})", "") << noLimit
                                << QStringList{"campo 1 da lista", "nome do campo está vazio"};
    QTest::newRow("rows not a list") << QByteArray("{\"fields\":[" + twoFields + "],\"rows\":{}}") << noLimit
                                     << QStringList{"\"rows\" não é uma lista"};
    QTest::newRow("row not a list") << row2("{}") << noLimit << QStringList{"linha 2", "esperada uma lista"};
    QTest::newRow("row too short") << row2(R"(["ab"])") << noLimit
                                   << QStringList{"linha 2", "1 valores", "declara 2 campos"};
    QTest::newRow("row too long") << row2(R"(["ab",1,2])") << noLimit << QStringList{"linha 2", "mais de 2 valores"};
    QTest::newRow("empty row") << row2("[]") << noLimit << QStringList{"linha 2", "0 valores"};
    QTest::newRow("number in a text field")
        << row2("[12,1]") << noLimit
        << QStringList{"linha 2, campo \"A\"", "esperado um texto ou null, encontrado um número"};
    QTest::newRow("text in a float field")
        << row2(R"(["ab","1"])") << noLimit << QStringList{"linha 2, campo \"B\"", "encontrado um texto"};
    QTest::newRow("boolean in a float field")
        << row2(R"(["ab",true])") << noLimit << QStringList{"linha 2, campo \"B\"", "encontrado um valor lógico"};
    QTest::newRow("list in a text field")
        << row2("[[],1]") << noLimit << QStringList{"linha 2, campo \"A\"", "encontrado uma lista"};
    QTest::newRow("misspelt null") << row2(R"(["ab",nul])") << noLimit << QStringList{"linha 2, campo \"B\""};
    QTest::newRow("-0 in a text field") << row2("[-0,1]") << noLimit
                                        << QStringList{"linha 2, campo \"A\"", "encontrado um número"};
    QTest::newRow("missing comma after -0")
        << row2(R"(["ab" -0])") << noLimit << QStringList{"linha 2", "JSON malformado"};
    QTest::newRow("size -0") << packet(R"({"name":"A","type":"string","size":-0})", "") << noLimit
                             << QStringList{"campo \"A\"", "tamanho 0 inválido"};
    QTest::newRow("size beyond 64 bits") << packet(R"({"name":"A","type":"string","size":99999999999999999999})", "")
                                         << noLimit
                                         << QStringList{"campo \"A\"", "\"size\" deve ser um número inteiro"};
    QTest::newRow("number too big") << row2(R"(["ab",1e400])") << noLimit
                                    << QStringList{"linha 2, campo \"B\"", "número inválido"};
    QTest::newRow("text too long") << row2(R"(["abc",1])") << noLimit
                                   << QStringList{"linha 2, campo \"A\": texto com 3 caracteres excede o tamanho 2."};
    QTest::newRow("bad escape") << row2(R"(["a\x",1])") << noLimit << QStringList{"linha 2, campo \"A\"", "escape"};
    QTest::newRow("lone surrogate") << row2(R"(["\udc00",1])") << noLimit << QStringList{"linha 2, campo \"A\""};
    QTest::newRow("raw control character")
        << row2("[\"a\tb\",1]") << noLimit << QStringList{"linha 2, campo \"A\"", "caractere de controle"};
    QTest::newRow("invalid UTF-8 in a cell")
        << row2("[\"\xC3(\",1]") << noLimit << QStringList{"linha 2, campo \"A\"", "UTF-8 inválido"};
    QTest::newRow("truncated UTF-8 in a cell")
        << row2("[\"a\xE2\x82\",1]") << noLimit << QStringList{"linha 2, campo \"A\"", "UTF-8 inválido"};
    QTest::newRow("Latin-1 text") << row2("[\"\xE3o\",1]") << noLimit
                                  << QStringList{"linha 2, campo \"A\"", "UTF-8 inválido"};
    QTest::newRow("invalid UTF-8 in a field name") << packet("{\"name\":\"C\xFF\",\"type\":\"float\"}", "") << noLimit
                                                   << QStringList{"campo 1 da lista \"fields\"", "UTF-8 inválido"};
    QTest::newRow("comma after the last row") << row2("") << noLimit << QStringList{"linha 2", "JSON malformado"};
    QTest::newRow("comma before the first row")
        << packet(twoFields, R"(,["ab",1])") << noLimit << QStringList{"linha 1", "JSON malformado"};
    QTest::newRow("two commas between rows")
        << row2(R"(,["ab",1])") << noLimit << QStringList{"linha 2", "JSON malformado"};
    QTest::newRow("brace closing a row") << row2(R"(["ab",1})") << noLimit << QStringList{"linha 2", "JSON malformado"};
    QTest::newRow("rows without a comma")
        << packet(twoFields, R"(["ab",1] ["ab",1])") << noLimit << QStringList{"linha 2", "JSON malformado"};
    QTest::newRow("ends after a comma") << QByteArray("{\"fields\":[" + twoFields + R"(],"rows":[["ab",1],)") << noLimit
                                        << QStringList{"sem fechamento"};
    QTest::newRow("rows twice, after the rows")
        << QByteArray("{\"fields\":[" + twoFields + R"(],"rows":[["ab",1]],"rows":[]})") << noLimit
        << QStringList{"\"rows\" aparece mais de uma vez"};
    QTest::newRow("trailing content") << QByteArray("{\"fields\":[" + twoFields + "],\"rows\":[]} x") << noLimit
                                      << QStringList{"conteúdo após o fim"};

    const QByteArray dateField = R"({"name":"D","type":"datetime"})";
    const QStringList badDates = {"2020-02-30",
                                  "2021-02-29",
                                  "2020-13-01",
                                  "2020-00-10",
                                  "20-01-01",
                                  "2020-01-01T24:00:00",
                                  "2020-01-01T10:60:00",
                                  "2020-01-01 10:00:00",
                                  "2020-01-01T10:00:00.5",
                                  "2020-01-01T10:00:00Z",
                                  "0000-12-31",
                                  "",
                                  "31/12/2020"};
    for (const QString &date : badDates) {
        QTest::newRow(qPrintable(QStringLiteral("bad date '%1'").arg(date)))
            << packet(dateField, "[null],[\"" + date.toUtf8() + "\"]") << noLimit
            << QStringList{QStringLiteral("linha 2, campo \"D\": data inválida \"%1\"").arg(date)};
    }
    QTest::newRow("number in a date field")
        << packet(dateField, "[45000]") << noLimit << QStringList{"linha 1, campo \"D\"", "encontrado um número"};

    const QByteArray small = packet(twoFields, R"(["ab",1])");
    QTest::newRow("above the size limit") << small << small.size() - 1 << QStringList{"acima do limite"};
}

void TestDataPacket::malformed()
{
    QFETCH(QByteArray, json);
    QFETCH(qsizetype, maxBytes);
    QFETCH(QStringList, mentions);

    QString message;
    try {
        DataPacket::decode(json, maxBytes);
        QFAIL("the packet was accepted");
    } catch (const PacketError &error) {
        message = error.message();
        QVERIFY2(message.startsWith(QStringLiteral("Pacote de dados inválido: ")), qPrintable(message));
        for (const QString &mention : mentions)
            QVERIFY2(message.contains(mention), qPrintable(message));
    }
    // Read as it arrives, in pieces of any size, it is refused with the very same words.
    for (const qsizetype piece : {qsizetype(1), qsizetype(7), json.size() + 1}) {
        try {
            streamed(json, piece, maxBytes);
            QFAIL("the streamed packet was accepted");
        } catch (const PacketError &error) {
            QCOMPARE(error.message(), message);
        }
    }
    // As a remote call's parameter the server has parsed (a generation's batch), the
    // packet is refused with the words its text, as the parser gives it back, gets.
    simdjson::dom::parser parser;
    simdjson::dom::element parameter;
    if (maxBytes == DataPacket::DefaultMaxBytes && !json.isEmpty()
        && parser.parse(json.constData(), std::size_t(json.size())).get(parameter) == simdjson::SUCCESS) {
        const std::string text = simdjson::to_string(parameter);
        QString fromText;
        try {
            DataPacket::decode(QByteArrayView(text.data(), qsizetype(text.size())));
        } catch (const PacketError &error) {
            fromText = error.message();
        }
        try {
            DataPacket::decode(parameter);
            QFAIL("the packet was accepted as a parsed parameter");
        } catch (const PacketError &error) {
            QCOMPARE(error.message(), fromText);
        }
    }
    // Inside a remote answer that is good JSON, the packet is refused with the same
    // words (the answer's envelope counts towards the size limit).
    TJsonDocument answer;
    if (json.isEmpty() || answer.parse(inAnswer(json)) != simdjson::SUCCESS)
        return;
    try {
        DataPacket::decode(answer, "result", maxBytes);
        QFAIL("the packet was accepted from a parsed answer");
    } catch (const PacketError &error) {
        for (const QString &mention : mentions)
            QVERIFY2(error.message().contains(mention), qPrintable(error.message()));
    }
}

// Values that JSON or the packet cannot carry are refused when encoding, naming
// the cell, instead of writing a packet the other side cannot read.
void TestDataPacket::notEncodable_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint64>("dateTime");
    QTest::addColumn<double>("number");
    QTest::addColumn<QString>("mention");

    const int str = int(TFieldType::String);
    const int dt = int(TFieldType::DateTime);
    const int fl = int(TFieldType::Float);
    QTest::newRow("NaN") << fl << QByteArray() << qint64(0) << std::numeric_limits<double>::quiet_NaN() << "NaN";
    QTest::newRow("+Inf") << fl << QByteArray() << qint64(0) << std::numeric_limits<double>::infinity() << "+Inf";
    QTest::newRow("-Inf") << fl << QByteArray() << qint64(0) << -std::numeric_limits<double>::infinity() << "-Inf";
    QTest::newRow("before year 1") << dt << QByteArray() << ms(1, 1, 1) - 1 << 0.0 << "anos 1 a 9999";
    QTest::newRow("after year 9999") << dt << QByteArray() << ms(9999, 12, 31, 23, 59, 59, 999) + 1 << 0.0
                                     << "anos 1 a 9999";
    QTest::newRow("invalid UTF-8") << str << QByteArray("\xC3(") << qint64(0) << 0.0 << "UTF-8";
    QTest::newRow("text too long") << str << QByteArray("ABCDE") << qint64(0) << 0.0
                                   << "5 caracteres excede o tamanho 4";
}

void TestDataPacket::notEncodable()
{
    QFETCH(int, type);
    QFETCH(QByteArray, text);
    QFETCH(qint64, dateTime);
    QFETCH(double, number);
    QFETCH(QString, mention);

    TRecordStore store({fixture::def("OK", TFieldType::Float),
                        fixture::def("X", TFieldType(type), type == int(TFieldType::String) ? 4 : 0)});
    store.appendRow();
    const int row = store.appendRow();
    switch (TFieldType(type)) {
    case TFieldType::String:
    case TFieldType::FixedChar:
        store.setText(row, 1, text.toStdString());
        break;
    case TFieldType::DateTime:
        store.setDateTimeMs(row, 1, dateTime);
        break;
    case TFieldType::Float:
        store.setNumber(row, 1, number);
        break;
    }
    try {
        DataPacket::encode(store);
        QFAIL("the value was encoded");
    } catch (const PacketError &error) {
        QVERIFY2(error.message().contains(QStringLiteral("linha 2, campo \"X\"")), qPrintable(error.message()));
        QVERIFY2(error.message().contains(mention), qPrintable(error.message()));
    }
}

void TestDataPacket::encodeToAppends()
{
    TRecordStore store({fixture::def("A", TFieldType::String, 2)});
    store.setText(store.appendRow(), 0, "x");
    std::string out = R"({"result":)";
    DataPacket::encodeTo(store, out);
    QCOMPARE(QByteArray::fromStdString(out), R"({"result":)" + DataPacket::encode(store));

    // A refused packet leaves what was there before untouched.
    store.setText(store.appendRow(), 0, "xyz");
    std::string refused = "prefix";
    QVERIFY_THROWS_EXCEPTION(PacketError, DataPacket::encodeTo(store, refused));
    QCOMPARE(refused, std::string("prefix"));
}

QTEST_GUILESS_MAIN(TestDataPacket)
#include "tst_datapacket.moc"
