#include <QtTest>

#include <atomic>
#include <latch>

#include <unistd.h>
#include <set>
#include <thread>

#include <httplib.h>
#include <sqlite3.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QSettings>

#include "billing/BillingItemLayout.h"
#include "platform/data/DataPacket.h"
#include "platform/sql/DatabaseConnection.h"
#include "platform/sql/DatabaseUrl.h"
#include "tests/support/RawHttp.h"
#include "tests/support/ServerFixture.h"
#include "platform/data/CivilDate.h"
#include "server/billing/ItemRowReader.h"
#include "server/billing/PreviewQuery.h"
#include "server/billing/SqlText.h"
#include "server/sql/SqlStatement.h"
#include "server/sql/ThreadDatabase.h"

// The preview as a client asks for it: GetFaturamento's filters, periods and odd
// keys, the rows it carries, the streamed answer against the encoder's packet, a
// failure in mid-answer and large answers at once.
using namespace ServerTest;

class TstServerPreview : public ServerFixture
{
    Q_OBJECT

public:
    using ServerFixture::ServerFixture;

private slots:
    void filters_data()
    {
        QTest::addColumn<QString>("types");
        QTest::addColumn<QString>("situations");
        QTest::addColumn<QString>("noteStates");
        QTest::addColumn<QString>("clients");
        QTest::addColumn<QString>("allClients");
        QTest::addColumn<QString>("companies");
        QTest::addColumn<QString>("allCompanies");
        QTest::addColumn<QStringList>("expected");

        const QString T = QStringLiteral("T");
        QTest::newRow("pending maintenance of everybody")
            << "_6_"
            << "_P_" << T << "" << T << "" << T << QStringList{"c1-6-04", "odd1-6-04", "odd2-6-04", "odd3-6-04"};
        QTest::newRow("blank status counts as pending") << "_7_"
                                                        << "_P_" << T << "" << T << "" << T << QStringList{"f2-7-04"};
        QTest::newRow("all situations") << "_6_" << T << T << "" << T << "" << T
                                        << QStringList{"c1-6-04",   "c2-6-04",   "f2-6-04",
                                                       "odd1-6-04", "odd2-6-04", "odd3-6-04"};
        QTest::newRow("realized with a number issued") << "_1__2__6_"
                                                       << "_R_"
                                                       << "_E_"
                                                       << "" << T << "" << T << QStringList{"c2-6-04", "f1-2-04"};
        QTest::newRow("realized without a number") << "_1__2__6_"
                                                   << "_R_"
                                                   << "_N_"
                                                   << "" << T << "" << T << QStringList{"c2-1-04"};
        QTest::newRow("realized, both note states")
            << "_1__2__6_"
            << "_R_"
            << "_E__N_"
            << "" << T << "" << T << QStringList{"c2-1-04", "c2-6-04", "f1-2-04"};
        QTest::newRow("note state leaves pending rows alone")
            << "_1__2__6_"
            << "_P__R_"
            << "_E_"
            << "" << T << "" << T << QStringList{"c1-1-04", "c1-2-04",   "c1-6-04",   "c2-6-04",
                                                 "f1-2-04", "odd1-6-04", "odd2-6-04", "odd3-6-04"};
        QTest::newRow("cancelled and not by the system")
            << "_3__6_"
            << "_C__N_" << T << "" << T << "" << T << QStringList{"f1-3-04", "f2-6-04"};
        QTest::newRow("type 4 is a type like any other")
            << "_4_" << T << T << "" << T << "" << T << QStringList{"c1-4-04"};
        QTest::newRow("several types in the client's order")
            << "_5__6_"
            << "_P_" << T << "" << T << "" << T
            << QStringList{"c1-5-04", "c1-6-04", "odd1-6-04", "odd2-6-04", "odd3-6-04"};
        QTest::newRow("company list") << "_2__3__6__7_" << T << T << "" << T << jsonList({"02"}) << ""
                                      << QStringList{"f1-2-04", "f1-3-04", "f2-6-04", "f2-7-04", "odd2-6-04"};
        QTest::newRow("client list") << "_1__2__3__6_" << T << T << jsonList({"C2", "F1"}) << ""
                                     << "" << T << QStringList{"c2-1-04", "c2-6-04", "f1-2-04", "f1-3-04"};
        QTest::newRow("client list ignored under T") << "_6_"
                                                     << "_P_" << T << jsonList({"C2"}) << T << "" << T
                                                     << QStringList{"c1-6-04", "odd1-6-04", "odd2-6-04", "odd3-6-04"};
        QTest::newRow("client and company lists together")
            << "_1__6_" << T << T << jsonList({"C1", "C2", "F1"}) << "" << jsonList({"01"}) << ""
            << QStringList{"c1-1-04", "c1-6-04", "c2-1-04", "c2-6-04"};
    }

    void filters()
    {
        QFETCH(QString, types);
        QFETCH(QString, situations);
        QFETCH(QString, noteStates);
        QFETCH(QStringList, expected);
        Filter filter;
        filter.types = types;
        filter.situations = situations;
        filter.noteStates = noteStates;
        QFETCH(QString, clients);
        QFETCH(QString, allClients);
        QFETCH(QString, companies);
        QFETCH(QString, allCompanies);
        filter.clients = clients;
        filter.allClients = allClients;
        filter.companies = companies;
        filter.allCompanies = allCompanies;
        const Answer answer = preview(filter);
        QVERIFY2(answer.hasResult(), answer.body.constData());
        QCOMPARE(sorted(labelsOf(answer.packet())), sorted(expected));
    }

    void periodBoundaries_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QStringList>("months");
        QTest::newRow("mid-month to mid-month takes whole months")
            << "2024-03-15T00:00:00.000"
            << "2024-05-10T00:00:00.000" << QStringList{"03", "04", "05"};
        QTest::newRow("one day") << "2024-04-30"
                                 << "2024-04-30" << QStringList{"04"};
        QTest::newRow("first to last day") << "2024-03-01"
                                           << "2024-05-31" << QStringList{"03", "04", "05"};
        QTest::newRow("last day to first day") << "2024-02-29"
                                               << "2024-06-01" << QStringList{"02", "03", "04", "05", "06"};
        QTest::newRow("last millisecond and first instant") << "2024-03-31T23:59:59.999"
                                                            << "2024-04-01T00:00:00.000" << QStringList{"03", "04"};
        QTest::newRow("across the year") << "2023-12-15"
                                         << "2024-02-01" << QStringList{"02"};
        QTest::newRow("before any calculation") << "2008-01-01"
                                                << "2024-01-31" << QStringList{};
        QTest::newRow("December 9999 alone") << "9999-12-01"
                                             << "9999-12-31" << QStringList{"9999-12"};
        QTest::newRow("up to December 9999") << "2024-06-30"
                                             << "9999-12-31T23:59:59.999" << QStringList{"06", "9999-12"};
    }

    void periodBoundaries()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QStringList, months);
        Filter filter;
        filter.dtIni = from;
        filter.dtFin = to;
        filter.clients = jsonList({"C1"});
        filter.allClients.clear();
        const Answer answer = preview(filter);
        QVERIFY2(answer.hasResult(), answer.body.constData());
        QStringList expected;
        for (const QString &m : months)
            expected.append(QStringLiteral("c1-6-") + m);
        // Ordered by month within the one client.
        QCOMPARE(labelsOf(answer.packet()), expected);
    }

    void oddKeys_data()
    {
        QTest::addColumn<QString>("clients");
        QTest::addColumn<QString>("companies");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("semicolon, comma, apostrophe") << jsonList({s(OddClient1)}) << "" << QStringList{"odd1-6-04"};
        QTest::newRow("quote and brackets") << jsonList({s(OddClient2)}) << "" << QStringList{"odd2-6-04"};
        QTest::newRow("accents and comma") << jsonList({s(OddClient3)}) << "" << QStringList{"odd3-6-04"};
        QTest::newRow("company of quotes") << "" << jsonList({s(OddCompany)}) << QStringList{"odd3-6-04"};
        QTest::newRow("pieces of a key match nothing")
            << jsonList({"A;B", "x'", "A", "B", "'x'"}) << "" << QStringList{};
        QTest::newRow("odd key beside a plain one")
            << jsonList({s(OddClient1), "C1"}) << "" << QStringList{"c1-6-04", "odd1-6-04"};
        QTest::newRow("written with escapes") << QStringLiteral("[\"Q\\\"[1]\", \"Jo\\u00e3o, \\u00c7\\u00e3o\"]") << ""
                                              << QStringList{"odd2-6-04", "odd3-6-04"};
        QTest::newRow("SQL in a key is only text")
            << jsonList({"C1') OR ('1'='1", "C1\" OR 1=1 --"}) << "" << QStringList{};
    }

    void oddKeys()
    {
        QFETCH(QString, clients);
        QFETCH(QString, companies);
        QFETCH(QStringList, expected);
        Filter filter;
        filter.situations = QStringLiteral("T");
        if (!clients.isEmpty()) {
            filter.clients = clients;
            filter.allClients.clear();
        }
        if (!companies.isEmpty()) {
            filter.companies = companies;
            filter.allCompanies.clear();
        }
        const Answer answer = preview(filter);
        QVERIFY2(answer.hasResult(), answer.body.constData());
        QCOMPARE(sorted(labelsOf(answer.packet())), sorted(expected));
    }

    void previewRowsCarryTheItem()
    {
        Filter filter;
        filter.types = QStringLiteral("_1__2__6__7_");
        filter.situations = QStringLiteral("T");
        const Answer answer = preview(filter);
        QVERIFY2(answer.hasResult(), answer.body.constData());
        const TRecordStore rows = answer.packet();

        // The preview's layout, field by field.
        const TFieldDefs &layout = BillingItemLayout::faturamento();
        QCOMPARE(rows.fieldCount(), layout.size());
        for (int f = 0; f < layout.size(); ++f)
            QVERIFY2(rows.defs().at(f).sameShape(layout.at(f)), qPrintable(layout.at(f).name));

        // Ordered by client name (byte order: "Ímpar" after "Zurich"), then month, then service type.
        QCOMPARE(labelsOf(rows), (QStringList{"c1-1-04", "c1-2-04", "c1-6-04", "c2-1-04", "c2-6-04", "odd2-6-04",
                                              "odd3-6-04", "f2-6-04", "f2-7-04", "f1-2-04", "odd1-6-04"}));

        auto text = [&rows](int row, const char *field) {
            const std::string_view v = rows.text(row, rows.indexOf(QString::fromLatin1(field)));
            return QString::fromUtf8(v.data(), qsizetype(v.size()));
        };
        auto isNull = [&rows](int row, const char *field) {
            return rows.isNull(row, rows.indexOf(QString::fromLatin1(field)));
        };
        const QStringList labels = labelsOf(rows);

        const int pending = int(labels.indexOf(QStringLiteral("c1-6-04")));
        QCOMPARE(text(pending, "IDCHECK"), QStringLiteral("N"));
        QCOMPARE(text(pending, "IDSTAPFATFAS"), QStringLiteral("P"));
        QCOMPARE(text(pending, "MESAPURADO"), QStringLiteral("04/2024"));
        QCOMPARE(text(pending, "NMFANTCLIE"), QStringLiteral("Açougue Bom Preço"));
        QCOMPARE(text(pending, "NMEMPRESA"), QStringLiteral("Alfa Serviços Ltda"));
        QCOMPARE(text(pending, "NMFILIAL"), QStringLiteral("Matriz Alfa"));
        QCOMPARE(text(pending, "NMPRODUTO"), QStringLiteral("Manutenção mensal"));
        QCOMPARE(text(pending, "NMOPERADOR"), QStringLiteral("Operadora Júlia"));
        QCOMPARE(text(pending, "DSBOLEFATFAS"), QStringLiteral("Não receber após o vencimento."));
        QCOMPARE(rows.number(pending, rows.indexOf(QStringLiteral("VRTOTAFATFAS"))), 1234.5);
        const std::int64_t april = (QDate(2024, 4, 1).toJulianDay() - 2440588) * 86400000LL;
        QCOMPARE(rows.dateTimeMs(pending, rows.indexOf(QStringLiteral("DTMESAPURFAS"))), april);
        QCOMPARE(rows.dateTimeMs(pending, rows.indexOf(QStringLiteral("DTAPURFATFAS"))),
                 april + (10 * 60 + 30) * 60000LL);
        QVERIFY(isNull(pending, "NRLANCTONF"));
        QVERIFY(isNull(pending, "NRLANCINVOICE"));
        QVERIFY(isNull(pending, "NRNOTAFISC"));

        const int blank = int(labels.indexOf(QStringLiteral("f2-7-04")));
        QVERIFY(isNull(blank, "IDSTAPFATFAS"));
        QCOMPARE(text(blank, "IDCHECK"), QStringLiteral("N"));

        const int note = int(labels.indexOf(QStringLiteral("c2-6-04")));
        QCOMPARE(text(note, "IDCHECK"), QStringLiteral("D"));
        QCOMPARE(text(note, "NRLANCTONF"), QStringLiteral("1"));
        QVERIFY(isNull(note, "NRLANCINVOICE"));
        QCOMPARE(text(note, "NRNOTAFISC"), QStringLiteral("000123"));

        const int invoice = int(labels.indexOf(QStringLiteral("f1-2-04")));
        QCOMPARE(text(invoice, "NRLANCINVOICE"), QStringLiteral("1"));
        QVERIFY(isNull(invoice, "NRLANCTONF"));
        QCOMPARE(text(invoice, "NRINVOICE"), QStringLiteral("INV1"));

        for (const char *label : {"f2-6-04"})
            QCOMPARE(text(int(labels.indexOf(s(label))), "IDCHECK"), QStringLiteral("D"));
    }

    // The streamed answer against the packet the encoder writes for the same rows
    // read through Qt: byte for byte, on the fixture, on values at the edges of what
    // the columns hold, and on generated demo data, whole and over HTTP.
    void streamedAnswerIsTheEncodersPacket_data()
    {
        QTest::addColumn<QString>("data");
        QTest::newRow("fixture") << "fixture";
        QTest::newRow("values at the edges") << "edges";
        QTest::newRow("demo data") << "demo";
    }

    void streamedAnswerIsTheEncodersPacket()
    {
        QFETCH(QString, data);
        QString connection = m_connection;
        AppServerProcess demoServer;
        AppServerProcess *server = &m_server;
        if (data == QLatin1String("edges")) {
            QVERIFY(insertEdgeValues());
        } else if (data == QLatin1String("demo")) {
            const QString url = demoDatabase();
            QVERIFY(!url.isEmpty());
            connection = QStringLiteral("tst-demo");
            DatabaseConnection::open(DatabaseUrl::parse(url), connection);
            QVERIFY2(demoServer.start(url, {}), demoServer.newLog().constData());
            server = &demoServer;
        }
        const auto closeDemo = qScopeGuard([&] {
            if (connection != m_connection)
                DatabaseConnection::close(connection);
        });

        PreviewFilter filter;
        filter.firstMonth = QDate(1, 1, 1);
        filter.endMonth = QDate(10000, 1, 1);
        filter.serviceTypes = {"1", "2", "3", "4", "5", "6", "7"};
        const DatabaseUrl::Kind kind = m_backend == Backend::Sqlite ? DatabaseUrl::Kind::Sqlite
                                                                    : DatabaseUrl::Kind::PostgreSql;
        const PreviewQuery query(filter, kind);
        const QSqlDatabase db = QSqlDatabase::database(connection);
        std::string encoded;
        DataPacket::encodeTo(query.run(db), encoded);
        std::string streamed;
        const std::unique_ptr<PreviewStream> stream = query.stream(db);
        while (stream->fill(streamed)) {
        }
        QVERIFY(encoded.size() > 1000);
        QCOMPARE(QByteArray::fromStdString(streamed), QByteArray::fromStdString(encoded));

        Filter everything;
        everything.dtIni = QStringLiteral("0001-01-01");
        everything.dtFin = QStringLiteral("9999-12-31");
        everything.types = QStringLiteral("_1__2__3__4__5__6__7_");
        everything.situations = QStringLiteral("T");
        const Answer answer = post(server->port(), request(QStringLiteral("GetFaturamento"), everything.params()));
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.body, R"({"jsonrpc":"2.0","id":1,"result":)" + QByteArray::fromStdString(encoded) + "}");
    }

    // The statement PreviewQuery writes for each combination of the "all" flags
    // against the one statement of every filter it replaced (kept in
    // tests/server/sql/preview-where-earlier.*.sql): the same rows in the same order
    // on demo data. The lists name the demo's first clients and companies and one
    // key that matches nothing; a list under "all" is ignored by both.
    void filterFormsAgree_data()
    {
        QTest::addColumn<int>("clients");
        QTest::addColumn<int>("companies");
        QTest::addColumn<QString>("situations");
        QTest::addColumn<QString>("noteStates");
        QTest::newRow("pending of a few clients") << 3 << 1 << "_P_" << "_E__N_";
        QTest::newRow("realized with a number") << 40 << 2 << "_R_" << "_E_";
        QTest::newRow("several situations, no number") << 60 << 1 << "_P__R__C_" << "_N_";
        QTest::newRow("lists naming nothing") << 0 << 0 << "_N_" << "_E_";
    }

    void filterFormsAgree()
    {
        QFETCH(int, clients);
        QFETCH(int, companies);
        QFETCH(QString, situations);
        QFETCH(QString, noteStates);
        const QString url = demoDatabase();
        QVERIFY(!url.isEmpty());
        const auto closeDemo = qScopeGuard([] { DatabaseConnection::close(QStringLiteral("tst-demo")); });
        const QSqlDatabase db = DatabaseConnection::open(DatabaseUrl::parse(url), QStringLiteral("tst-demo"));
        const DatabaseUrl::Kind kind = m_backend == Backend::Sqlite ? DatabaseUrl::Kind::Sqlite
                                                                    : DatabaseUrl::Kind::PostgreSql;
        QFile earlier(QStringLiteral(FAS_SOURCE_DIR "/tests/server/sql/preview-where-earlier.%1.sql")
                          .arg(QLatin1String(kind == DatabaseUrl::Kind::Sqlite ? "sqlite" : "postgresql")));
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        const QString earlierSql = SqlText::get("item-select", kind) + QString::fromUtf8(earlier.readAll())
                                   + SqlText::get("item-order", kind);
        auto firstKeys = [&db](const char *column, int count) {
            QStringList keys{QStringLiteral("nobody")};
            QSqlQuery q(db);
            q.exec(QStringLiteral("SELECT DISTINCT %1 FROM APURFATFAS ORDER BY 1").arg(QLatin1String(column)));
            while (keys.size() <= count && q.next())
                keys.append(q.value(0).toString());
            return keys;
        };
        PreviewFilter filter;
        filter.firstMonth = QDate(1, 1, 1);
        filter.endMonth = QDate(10000, 1, 1);
        filter.serviceTypes = {"1", "2", "3", "5", "6", "7"};
        filter.clients = firstKeys("CDCLIENTE", clients);
        filter.companies = firstKeys("CDEMPRESA", companies);
        filter.situations = PreviewFilter::parseTokens(situations, QStringLiteral("PRCN"), QStringLiteral("Situação"));
        if (filter.situations.contains(QStringLiteral("P")))
            filter.situations.append(QString());
        const QStringList states = PreviewFilter::parseTokens(noteStates, QStringLiteral("EN"), QStringLiteral("Nota"));
        filter.issuedWanted = states.contains(QStringLiteral("E"));
        filter.notIssuedWanted = states.contains(QStringLiteral("N"));
        int answered = 0;
        for (int all = 0; all < 8; ++all) {
            filter.allClients = (all & 1) != 0;
            filter.allCompanies = (all & 2) != 0;
            filter.allSituations = (all & 4) != 0;
            SqlStatement before(db, earlierSql, "earlier preview");
            before.exec({CivilDate::sqlDate(filter.firstMonth), CivilDate::sqlDate(filter.endMonth.addMonths(-1)),
                         jsonList(filter.serviceTypes), int(filter.allClients), jsonList(filter.clients),
                         int(filter.allCompanies), jsonList(filter.companies), int(filter.allSituations),
                         jsonList(filter.situations), int(filter.issuedWanted), int(filter.notIssuedWanted)});
            TRecordStore expected = ItemRowReader::emptyStore();
            ItemRowReader::appendAll(before.query(), expected);
            std::string was, now;
            DataPacket::encodeTo(expected, was);
            DataPacket::encodeTo(PreviewQuery(filter, kind).run(db), now);
            QVERIFY2(now == was, qPrintable(QStringLiteral("flags %1: %2 rows before").arg(all).arg(expected.rowCount())));
            answered += expected.rowCount() > 0 ? 1 : 0;
        }
        QVERIFY(answered > 0);
    }

    // A failure found while the answer is being written: before the first part is
    // sent it is an ordinary error answer; after it, the transfer breaks off, so the
    // client never takes a short packet for the whole one. The server goes on.
    void failureInMidAnswer_data()
    {
        QTest::addColumn<int>("rowsBefore");
        QTest::newRow("in the first part") << 0;
        QTest::newRow("after the first part") << 400;
    }

    void failureInMidAnswer()
    {
        QFETCH(int, rowsBefore);
        // Rows of client C1 from January 2100 on, then one whose value no packet can
        // carry, last in the answer's order.
        const QString poisonMonth = QStringLiteral("9000-01-01");
        QVERIFY(insertMonthlyRows(rowsBefore, QString(400, u'x')));
        QVERIFY(
            m_backend == Backend::Sqlite
                ? exec(QStringLiteral("INSERT INTO APURFATFAS (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, "
                                      "IDAPURFATFAS, IDSTAPFATFAS, VRTOTAFATFAS) VALUES ('01', '0001', 'C1', ?, '6', "
                                      "'P', 9e999)"),
                       {poisonMonth})
                : exec(QStringLiteral("INSERT INTO APURFATFAS (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, "
                                      "IDAPURFATFAS, IDSTAPFATFAS, VRTOTAFATFAS) VALUES ('01', '0001', 'C1', "
                                      "CAST(? AS DATE), '6', 'P', 'NaN')"),
                       {poisonMonth}));
        Filter filter;
        filter.dtIni = QStringLiteral("2100-01-01");
        filter.dtFin = QStringLiteral("9999-12-31");
        filter.situations = QStringLiteral("T");
        const QByteArray body = request(QStringLiteral("GetFaturamento"), filter.params());
        httplib::Client client("127.0.0.1", m_server.port());
        client.set_read_timeout(60, 0);
        auto result = client.Post(Rpc.toStdString(), body.constData(), size_t(body.size()), "application/json");
        if (rowsBefore == 0) {
            QVERIFY(result);
            QCOMPARE(result->status, 200);
            const QJsonObject answer = QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).object();
            QVERIFY2(answer.contains(QStringLiteral("error")), result->body.c_str());
            QVERIFY(!answer.contains(QStringLiteral("result")));
            // The stored value is at fault, not the request: the answer says which one.
            const QJsonObject error = answer.value(QStringLiteral("error")).toObject();
            QCOMPARE(error.value(QStringLiteral("code")).toInt(), -32007);
            QVERIFY2(error.value(QStringLiteral("message")).toString().contains(QStringLiteral("\"VRTOTAFATFAS\"")),
                     result->body.c_str());
        } else {
            QVERIFY2(!result, result ? result->body.substr(0, 200).c_str() : "");
            QCOMPARE(result.error(), httplib::Error::Read);
        }
        QVERIFY(serverServes());
    }

    // Sixteen large answers on eight connections at once all arrive whole. What the
    // server's memory does meanwhile is measured by bench/bench_server_memory.sh.
    void largeAnswersAtOnce()
    {
        const int rows = 20000;
        QVERIFY(insertMonthlyRows(rows, QString(200, u'm')));
        Filter filter;
        filter.dtIni = QStringLiteral("2100-01-01");
        filter.dtFin = QStringLiteral("9999-12-31");
        filter.situations = QStringLiteral("T");
        const QByteArray body = request(QStringLiteral("GetFaturamento"), filter.params());
        const Answer first = post(m_server.port(), body);
        QVERIFY2(first.status == 200 && first.body.size() > 8 * 1024 * 1024, first.body.left(300).constData());
        const qint64 answerBytes = first.body.size();

        std::vector<std::thread> threads;
        std::atomic<int> complete{0};
        const int port = m_server.port();
        for (int t = 0; t < 8; ++t)
            threads.emplace_back([&] {
                for (int k = 0; k < 2; ++k) {
                    const Answer answer = post(port, body);
                    if (answer.status == 200 && answer.body.size() == answerBytes)
                        ++complete;
                }
            });
        for (std::thread &t : threads)
            t.join();
        QCOMPARE(complete.load(), 16);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    return runOnBothDatabases<TstServerPreview>(argc, argv);
}

#include "tst_serverpreview.moc"
