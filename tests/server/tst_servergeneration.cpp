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
#include "tests/support/BillingRows.h"
#include "platform/data/DataPacket.h"
#include "platform/sql/DatabaseConnection.h"
#include "platform/sql/DatabaseUrl.h"
#include "tests/support/RawHttp.h"
#include "tests/support/ServerFixture.h"
#include "server/billing/PreviewQuery.h"
#include "server/sql/ThreadDatabase.h"

// GeraNF and GeraInvoice: entries grouped and numbered, refused items and batches,
// a busy SQLite file, and two desks generating the same items at once.
using namespace ServerTest;

namespace {

// The call each rights row makes.
QByteArray rightsCall(const QString &method)
{
    if (method == u"GetFaturamento")
        return request(method, Filter().params());
    if (method == u"GetGeracoes")
        return request(method, {"", "", "", ""});
    if (method == u"GetLancamentosGeracao")
        return request(method, {1});
    if (method == u"EstornaGeracao")
        return request(method, {1, QStringLiteral("teste")});
    if (method == u"EstornaLancamento")
        return request(method, {"01", "N", 1, QStringLiteral("Nota em duplicidade")});
    return generationRequest(method, batchOf({method == u"GeraNF" ? "c1-6-04" : "f2-7-04"}));
}

} // namespace

class TstServerGeneration : public ServerFixture
{
    Q_OBJECT

public:
    using ServerFixture::ServerFixture;

private slots:
    void generationGroupsAndNumbers()
    {
        const QStringList items = {"c1-1-04", "c1-2-04", "c1-3-04", "c1-4-04", "odd1-6-04", "odd3-6-04"};
        const Answer answer = post(m_server.port(), generationRequest(QStringLiteral("GeraNF"), batchOf(items)));
        QVERIFY2(answer.hasResult(), answer.body.constData());
        const TRecordStore rows = answer.packet();
        QCOMPARE(rows.fieldCount(), 28);
        QCOMPARE(sorted(labelsOf(rows)), sorted(items));

        QMap<QString, QString> number;
        for (int r = 0; r < rows.rowCount(); ++r) {
            const QString label = labelsOf(rows).at(r);
            auto field = [&](const char *name) {
                const int f = rows.indexOf(QString::fromLatin1(name));
                return rows.isNull(r, f) ? QString()
                                         : QString::fromUtf8(rows.text(r, f).data(), qsizetype(rows.text(r, f).size()));
            };
            QCOMPARE(field("IDSTAPFATFAS"), QStringLiteral("R"));
            QCOMPARE(field("IDCHECK"), QStringLiteral("D"));
            QVERIFY(field("NRLANCINVOICE").isEmpty());
            number[label] = field("NRLANCTONF");
        }
        // Same company, branch, client and group: one entry; anything different: another.
        QCOMPARE(number["c1-1-04"], number["c1-2-04"]);
        const QSet<QString> company01 = {number["c1-1-04"], number["c1-3-04"], number["c1-4-04"], number["odd1-6-04"]};
        QCOMPARE(company01.size(), 4);
        // Numbers go on from the company's last one (2) without gaps; a company
        // without a counter starts at 1.
        QCOMPARE(company01, (QSet<QString>{"3", "4", "5", "6"}));
        QCOMPARE(number["odd3-6-04"], QStringLiteral("1"));

        // The database agrees: entries with their item count and total.
        QCOMPARE(count(QStringLiteral("LANCFATFAS")), 3 + 5);
        QCOMPARE(
            scalar(QStringLiteral("SELECT QTITEMLANCFAT FROM LANCFATFAS WHERE CDEMPRESA = '01' AND IDTPLANCFAT = 'N' "
                                  "AND NRLANCFAT = ?"),
                   {number["c1-1-04"].toInt()})
                .toInt(),
            2);
        QCOMPARE(
            scalar(QStringLiteral("SELECT VRTOTLANCFAT FROM LANCFATFAS WHERE CDEMPRESA = '01' AND IDTPLANCFAT = 'N' "
                                  "AND NRLANCFAT = ?"),
                   {number["c1-1-04"].toInt()})
                .toDouble(),
            30.75);
        QCOMPARE(
            scalar(QStringLiteral("SELECT NRULTLANCFAT FROM NUMLANCFAT WHERE CDEMPRESA = '01' AND IDTPLANCFAT = 'N'"))
                .toInt(),
            6);
        QCOMPARE(scalar(QStringLiteral("SELECT NRULTLANCFAT FROM NUMLANCFAT WHERE CDEMPRESA = ? AND IDTPLANCFAT = 'N'"),
                        {s(OddCompany)})
                     .toInt(),
                 1);
        for (const QString &label : items)
            QCOMPARE(statusOf(*fixture(label)), QStringLiteral("R"));
        // One run recorded with what it made, named by each of its entries.
        QCOMPARE(count(QStringLiteral("EXECFAT")), 1);
        QCOMPARE(
            scalar(QStringLiteral("SELECT QTITENS || '/' || QTLANCAMENTOS || '/' || NMMETODO || '/' || NRIPCLIENTE "
                                  "FROM EXECFAT WHERE CDERRO IS NULL AND DTFIM >= DTINICIO"))
                .toString(),
            QStringLiteral("6/5/GeraNF/127.0.0.1"));
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM LANCFATFAS l JOIN EXECFAT e ON e.IDEXECFAT = l.IDEXECFAT"))
                     .toInt(),
                 5);

        // The next note of company 01 continues the count; invoices count apart.
        const Answer next = post(m_server.port(), generationRequest(QStringLiteral("GeraNF"), batchOf({"c1-6-05"})));
        QVERIFY2(next.hasResult(), next.body.constData());
        const TRecordStore nextRows = next.packet();
        QCOMPARE(nextRows.rowCount(), 1);
        QCOMPARE(nextRows.text(0, nextRows.indexOf(QStringLiteral("NRLANCTONF"))), std::string_view("7"));

        const Answer invoices = post(
            m_server.port(), generationRequest(QStringLiteral("GeraInvoice"), batchOf({"f2-7-04", "odd2-6-04"})));
        QVERIFY2(invoices.hasResult(), invoices.body.constData());
        const TRecordStore invoiceRows = invoices.packet();
        QSet<QString> invoiceNumbers;
        for (int r = 0; r < invoiceRows.rowCount(); ++r) {
            QVERIFY(invoiceRows.isNull(r, invoiceRows.indexOf(QStringLiteral("NRLANCTONF"))));
            const std::string_view n = invoiceRows.text(r, invoiceRows.indexOf(QStringLiteral("NRLANCINVOICE")));
            invoiceNumbers.insert(QString::fromUtf8(n.data(), qsizetype(n.size())));
        }
        QCOMPARE(invoiceNumbers, (QSet<QString>{"2", "3"}));
    }

    void generationRefusals_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("mentions"); // "!text": a text the message must not hold
        QTest::addColumn<QStringList>("stored");   // "label=value": VRTOTAFATFAS set before the call
        const QString nf = QStringLiteral("GeraNF");
        const QString inv = QStringLiteral("GeraInvoice");
        QTest::newRow("note already issued")
            << nf << QStringList{"c2-6-04"} << -32011
            << QStringList{"C2", "Bar do Zé", "04/2024", "Manutenção", "Nota Fiscal"} << QStringList{};
        QTest::newRow("invoice already issued")
            << inv << QStringList{"f1-2-04"} << -32011 << QStringList{"F1", "04/2024", "Service Desk", "Invoice"}
            << QStringList{};
        QTest::newRow("cancelled") << inv << QStringList{"f1-3-04"} << -32012
                                   << QStringList{"F1", "04/2024", "Customização", "cancelada"} << QStringList{};
        QTest::newRow("not by the system") << inv << QStringList{"f2-6-04"} << -32013
                                           << QStringList{"F2", "Não realizada pelo sistema"} << QStringList{};
        QTest::newRow("domestic client in an invoice")
            << inv << QStringList{"c1-6-04"} << -32014 << QStringList{"C1", "04/2024", "nacional"} << QStringList{};
        QTest::newRow("foreign client in a note")
            << nf << QStringList{"f2-7-04"} << -32014 << QStringList{"F2", "Locação", "estrangeiro"} << QStringList{};
        QTest::newRow("foreign odd key in a note")
            << nf << QStringList{"odd2-6-04"} << -32014 << QStringList{s(OddClient2), "estrangeiro"} << QStringList{};
        QTest::newRow("unknown item") << nf << QStringList{"nobody"} << -32010
                                      << QStringList{"C9", "04/2024", "não existe"} << QStringList{};
        QTest::newRow("one bad item spoils the batch")
            << nf << QStringList{"c1-6-04", "c1-6-05", "c2-6-04", "odd1-6-04"} << -32011
            << QStringList{"C2", "Nenhuma Nota Fiscal"} << QStringList{};
        QTest::newRow("a realized item without its entry")
            << nf << QStringList{"c1-6-03"} << -32011 << QStringList{"C1", "03/2024", "realizado"} << QStringList{};
        // Totals the entry column (NUMERIC(15,2)) cannot hold are refused, never rounded
        // into another number; code 0: the run goes through and keeps the total exactly.
        QTest::newRow("entry total over the column") << nf << QStringList{"c1-1-04", "c1-2-04"} << -32007
                                                     << QStringList{"C1", "04/2024", "não cabe", "Nenhuma Nota Fiscal"}
                                                     << QStringList{"c1-1-04=6000000000000", "c1-2-04=5000000000000"};
        QTest::newRow("stored value beyond 64-bit cents")
            << nf << QStringList{"c1-6-04"} << -32007 << QStringList{"C1", "Manutenção", "não cabe"}
            << QStringList{"c1-6-04=92233720368547760"};
        QTest::newRow("stored NaN") << nf << QStringList{"c1-6-04", "c1-6-05"} << -32007
                                    << QStringList{"C1", "05/2024", "NaN"} << QStringList{"c1-6-05=NaN"};
        // The connection is lost during COMMIT: whether the run was written cannot be
        // known, so the answer says so instead of "nothing was changed".
        QTest::newRow("commit lost with the connection")
            << nf << QStringList{"c1-6-04"} << -32002
            << QStringList{"Não foi possível confirmar", "consulte a prévia antes de repetir", "!Nada foi alterado"}
            << QStringList{};
        QTest::newRow("largest total that fits")
            << nf << QStringList{"c1-6-04"} << 0 << QStringList{} << QStringList{"c1-6-04=9999999999999.99"};
    }

    void generationRefusals()
    {
        QFETCH(QString, method);
        QFETCH(QStringList, items);
        QFETCH(int, code);
        QFETCH(QStringList, mentions);
        QFETCH(QStringList, stored);
        const bool commitLost = QByteArray(QTest::currentDataTag()) == "commit lost with the connection";
        if (commitLost && m_backend != Backend::Postgres)
            QSKIP("a connection lost during COMMIT needs a database server");
        // A deferred trigger ends the server's own session when the run commits.
        const auto dropTrigger = qScopeGuard([this, commitLost] {
            if (commitLost)
                QSqlQuery(db()).exec(QStringLiteral("DROP FUNCTION IF EXISTS tst_lose_commit() CASCADE"));
        });
        if (commitLost) {
            QSqlQuery ddl(db());
            QVERIFY2(ddl.exec(QStringLiteral("CREATE FUNCTION tst_lose_commit() RETURNS trigger LANGUAGE plpgsql AS "
                                             "$$ BEGIN PERFORM pg_terminate_backend(pg_backend_pid()); RETURN NULL; "
                                             "END $$"))
                         && ddl.exec(QStringLiteral("CREATE CONSTRAINT TRIGGER tst_lose_commit AFTER INSERT ON "
                                                    "LANCFATFAS DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE "
                                                    "FUNCTION tst_lose_commit()")),
                     qPrintable(ddl.lastError().text()));
        }
        for (const QString &assignment : stored) {
            const QString label = assignment.section(u'=', 0, 0), value = assignment.section(u'=', 1);
            if (!setValue(*fixture(label), value))
                QSKIP("this database cannot store the value");
        }
        if (QByteArray(QTest::currentDataTag()) == "a realized item without its entry") {
            QVERIFY(exec(QStringLiteral("UPDATE APURFATFAS SET IDSTAPFATFAS = 'R' WHERE CDCLIENTE = 'C1' AND "
                                        "DTMESAPURFAS = %1 AND IDAPURFATFAS = '6'")
                             .arg(dateParam()),
                         {QStringLiteral("2024-03-01")}));
        }
        const QByteArray packet = batchOf(items);
        const Answer answer = post(m_server.port(), generationRequest(method, packet));
        QCOMPARE(answer.status, 200);
        if (code == 0) {
            QVERIFY2(answer.hasResult(), answer.body.constData());
            QCOMPARE(scalar(QStringLiteral("SELECT MAX(VRTOTLANCFAT) FROM LANCFATFAS")).toString(),
                     stored.first().section(u'=', 1));
            return;
        }
        QVERIFY2(!answer.hasResult(), answer.body.constData());
        QCOMPARE(answer.errorCode(), code);
        for (const QString &part : mentions) {
            if (part.startsWith(u'!'))
                QVERIFY2(!answer.errorMessage().contains(part.mid(1)),
                         qPrintable(answer.errorMessage() + " holds " + part.mid(1)));
            else
                QVERIFY2(answer.errorMessage().contains(part), qPrintable(answer.errorMessage() + " lacks " + part));
        }
        QVERIFY2(!answer.errorMessage().contains(QStringLiteral("SELECT"), Qt::CaseInsensitive), "SQL leaked");

        // Nothing was generated, and the pending items are still pending.
        QCOMPARE(count(QStringLiteral("LANCFATFAS")), 3);
        QCOMPARE(count(QStringLiteral("ITEMLANCFAT")), 3);
        QCOMPARE(
            scalar(QStringLiteral("SELECT NRULTLANCFAT FROM NUMLANCFAT WHERE CDEMPRESA = '01' AND IDTPLANCFAT = 'N'"))
                .toInt(),
            2);
        for (const QString &label : items)
            if (const Calc *c = fixture(label);
                c && c->status && QByteArray(c->status) == "P" && label != QLatin1String("c1-6-03"))
                QCOMPARE(statusOf(*c), QStringLiteral("P"));
        // The refused run is recorded with its code, and names no entry.
        QCOMPARE(count(QStringLiteral("EXECFAT")), 1);
        QCOMPARE(scalar(QStringLiteral("SELECT CDERRO FROM EXECFAT")).toInt(), code);
        QCOMPARE(scalar(QStringLiteral("SELECT NMMETODO FROM EXECFAT")).toString(), method);
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM LANCFATFAS WHERE IDEXECFAT IS NOT NULL")).toInt(), 0);
    }

    // Each right against each method, over HTTP: allowed, or refused with 403 and
    // -32008 (401 and -32001 without a valid user) and nothing changed. Without
    // users the server runs as before them; a token file alone grants every right.
    void rights_data()
    {
        QTest::addColumn<QString>("right"); // "": no users; "token file"; "desativado": a disabled user's token
        QTest::addColumn<QString>("method");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("code");
        const QString get = QStringLiteral("GetFaturamento");
        const QString nf = QStringLiteral("GeraNF");
        const QString inv = QStringLiteral("GeraInvoice");
        // The least right of each method: reading 0, generating 1, reversing 2. A
        // call that passes finds no run 1 where it needs one (-32015).
        const QList<std::tuple<QString, int, int>> methods{{get, 0, 0},
                                                           {nf, 1, 0},
                                                           {inv, 1, 0},
                                                           {QStringLiteral("GetGeracoes"), 0, 0},
                                                           {QStringLiteral("GetLancamentosGeracao"), 0, -32015},
                                                           {QStringLiteral("EstornaGeracao"), 2, -32015},
                                                           {QStringLiteral("EstornaLancamento"), 2, 0}};
        for (const auto &[method, needs, passes] : methods) {
            auto row = [&, m = method, n = needs, p = passes](const char *right, int rank) {
                QTest::addRow("%s, %s", right, qPrintable(m))
                    << QString::fromLatin1(right) << m << (rank >= n ? 200 : 403) << (rank >= n ? p : -32008);
            };
            row("consulta", 0);
            row("faturamento", 1);
            row("supervisor", 2);
            QTest::addRow("no users, %s", qPrintable(method)) << "" << method << 200 << passes;
            QTest::addRow("token file only, %s", qPrintable(method)) << "token file" << method << 200 << passes;
            QTest::addRow("disabled user, %s", qPrintable(method)) << "desativado" << method << 401 << -32001;
            QTest::addRow("no token once users exist, %s", qPrintable(method))
                << "sem token" << method << 401 << -32001;
        }
    }

    void rights()
    {
        QFETCH(QString, right);
        QFETCH(QString, method);
        QFETCH(int, status);
        QFETCH(int, code);
        int port = m_server.port();
        httplib::Headers headers;
        if (right == u"token file") {
            startTokenServer();
            port = m_tokenServer.port();
            headers = bearer(QStringLiteral("c3rto-Tok3n%41"));
        } else if (!right.isEmpty()) {
            const bool real = right != u"desativado" && right != u"sem token";
            const QString token = addUser(QStringLiteral("ana"), real ? right : QStringLiteral("supervisor"));
            QVERIFY(!token.isEmpty());
            if (right == u"desativado")
                QVERIFY(admin({QStringLiteral("user"), QStringLiteral("disable"), QStringLiteral("ana")})
                            .contains(QStringLiteral("desativado")));
            if (right != u"sem token")
                headers = bearer(token);
        }
        const Answer answer = post(port, rightsCall(method), headers);
        QCOMPARE(answer.status, status);
        QCOMPARE(answer.errorCode(), code);
        const bool reverses = method.startsWith(u"Estorna");
        if (code == -32008)
            QVERIFY2(
                answer.errorMessage().contains(reverses ? QStringLiteral("supervisor") : QStringLiteral("faturamento")),
                qPrintable(answer.errorMessage()));
        // A call that would write is journaled also when refused for its right.
        if (code == -32008 && !method.startsWith(u"Get"))
            QCOMPARE(scalar(QStringLiteral("SELECT NMMETODO || NMUSUARIO || CDERRO FROM EXECFAT")).toString(),
                     method + QStringLiteral("ana-32008"));
        if (code != 0 || method.startsWith(u"Get")) {
            expectUnchangedBilling();
            QCOMPARE(statusOf(*fixture(QStringLiteral("c1-6-04"))), QStringLiteral("P"));
            return;
        }
        if (reverses) {
            QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM LANCFATFAS WHERE DTESTORNO IS NOT NULL")).toInt(), 1);
            QCOMPARE(statusOf(*fixture(QStringLiteral("c2-6-04"))), QStringLiteral("P"));
        } else {
            QCOMPARE(count(QStringLiteral("LANCFATFAS")), 4);
        }
        // The run names its user (none without users or by the token file).
        const bool named = right != u"" && right != u"token file";
        QCOMPARE(scalar(QStringLiteral("SELECT NMUSUARIO FROM EXECFAT")).toString(),
                 named ? QStringLiteral("ana") : QString());
    }

    // A generation sent again with its Idempotency-Key gets the first answer, byte
    // for byte, and bills nothing more; the key with another call is refused.
    void idempotencyKey_data()
    {
        QTest::addColumn<QString>("method");    // of the second call
        QTest::addColumn<QStringList>("items"); // of the second call
        QTest::addColumn<bool>("sameKey");
        QTest::addColumn<int>("code"); // of the second call; 0: the first answer again
        QTest::addColumn<bool>("otherUser"); // the calls come from two users
        const QString nf = QStringLiteral("GeraNF");
        QTest::newRow("same key, same call") << nf << QStringList{"c1-6-04", "c1-6-05"} << true << 0 << false;
        QTest::newRow("same key, same call, another user")
            << nf << QStringList{"c1-6-04", "c1-6-05"} << true << -32011 << true;
        QTest::newRow("same key on a batch of two generations")
            << QStringLiteral("lote") << QStringList{"c1-6-06", "c1-6-07"} << true << -32600 << false;
        QTest::newRow("same key, another batch") << nf << QStringList{"c1-6-06"} << true << -32009 << false;
        QTest::newRow("same key, the batch in another order")
            << nf << QStringList{"c1-6-05", "c1-6-04"} << true << -32009 << false;
        QTest::newRow("same key, another method")
            << QStringLiteral("GeraInvoice") << QStringList{"c1-6-04", "c1-6-05"} << true << -32009 << false;
        QTest::newRow("no key: billed already") << nf << QStringList{"c1-6-04", "c1-6-05"} << false << -32011 << false;
    }

    void idempotencyKey()
    {
        QFETCH(QString, method);
        QFETCH(QStringList, items);
        QFETCH(bool, sameKey);
        QFETCH(int, code);
        QFETCH(bool, otherUser);
        httplib::Headers key{{"Idempotency-Key", "3f0c-chave-1"}};
        httplib::Headers secondKey = key;
        if (otherUser) {
            key.merge(bearer(addUser(QStringLiteral("ana"), QStringLiteral("faturamento"))));
            secondKey.merge(bearer(addUser(QStringLiteral("bia"), QStringLiteral("faturamento"))));
        }
        const QStringList firstItems{"c1-6-04", "c1-6-05"};
        const Answer first = post(m_server.port(), generationRequest(QStringLiteral("GeraNF"), batchOf(firstItems)),
                                  sameKey ? key : httplib::Headers{});
        QVERIFY2(first.hasResult(), first.body.constData());
        const int entries = count(QStringLiteral("LANCFATFAS"));
        const QByteArray batch = "[" + generationRequest(QStringLiteral("GeraNF"), batchOf({items.at(0)})) + ","
                                 + generationRequest(QStringLiteral("GeraNF"), batchOf({items.at(1)})) + "]";
        const Answer second = post(m_server.port(),
                                   method == u"lote" ? batch : generationRequest(method, batchOf(items)),
                                   sameKey ? secondKey : httplib::Headers{});
        QCOMPARE(second.errorCode(), code);
        // Every call is journaled: the run, then the repeat or each refused call.
        QCOMPARE(count(QStringLiteral("EXECFAT")), method == u"lote" ? 3 : 2);
        if (code == 0)
            QCOMPARE(second.body, first.body);
        QCOMPARE(count(QStringLiteral("LANCFATFAS")), entries);
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM ITEMLANCFAT WHERE CDCLIENTE = 'C1'")).toInt(), 2);
        QCOMPARE(statusOf(*fixture(QStringLiteral("c1-6-06"))), QStringLiteral("P"));
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM EXECFAT WHERE CDERRO IS NULL AND IDEXECORIGEM IS NULL"))
                     .toInt(),
                 1);
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM CHAVEEXECFAT")).toInt(), sameKey ? 1 : 0);
    }

    // Reversing a run, or one of its entries, keeps each entry with its reason and
    // frees its items: billed again, every item is in exactly one live entry under
    // a new number. The history lists the runs, newest first.
    void reverseThenBillAgain_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QStringList>("reversed"); // the items whose entries are reversed
        QTest::addColumn<QString>("reason");
        const QString reason = QStringLiteral("Cliente pediu nova nota com outro endereço");
        QTest::newRow("the whole run") << "EstornaGeracao" << QStringList{"c1-1-04", "c1-2-04", "c1-3-04"} << reason;
        QTest::newRow("one entry of the run") << "EstornaLancamento" << QStringList{"c1-3-04"} << reason;
        // The reason's limit counts characters as a reader does: 150 emoji are 150.
        QTest::newRow("a reason of 150 emoji") << "EstornaLancamento" << QStringList{"c1-3-04"}
                                               << QString::fromStdU32String(std::u32string(150, U'\U0001F4B0'));
    }

    void reverseThenBillAgain()
    {
        QFETCH(QString, method);
        QFETCH(QStringList, reversed);
        QFETCH(QString, reason);
        const httplib::Headers sara = bearer(addUser(QStringLiteral("sara"), QStringLiteral("supervisor")));
        const QStringList items{"c1-1-04", "c1-2-04", "c1-3-04"};
        const Answer made = post(m_server.port(), generationRequest(QStringLiteral("GeraNF"), batchOf(items)), sara);
        QVERIFY2(made.hasResult(), made.body.constData());

        const Answer listed = call(QStringLiteral("GetGeracoes"), {"2024-01-01", "", "sara", "01"}, sara);
        QVERIFY2(listed.hasResult(), listed.body.constData());
        const TRecordStore runs = listed.packet();
        QCOMPARE(runs.rowCount(), 1);
        const qint64 run = scalar(QStringLiteral("SELECT IDEXECFAT FROM EXECFAT")).toLongLong();
        QCOMPARE(BillingRows::cell(runs, 0, "IDGERACAO"), QString::number(run));
        QCOMPARE(BillingRows::cell(runs, 0, "NMMETODO") + BillingRows::cell(runs, 0, "CDEMPRESA"),
                 QStringLiteral("GeraNF01"));
        QCOMPARE(BillingRows::cell(runs, 0, "QTLANCAMENTOS") + '/' + BillingRows::cell(runs, 0, "QTITENS"),
                 QStringLiteral("2/3"));
        QCOMPARE(BillingRows::cell(runs, 0, "CDERRO"), QString());

        const int entry = scalar(QStringLiteral("SELECT NRLANCFAT FROM ITEMLANCFAT WHERE CDCLIENTE = 'C1' AND "
                                                "IDAPURFATFAS = '3'"))
                              .toInt();
        const Answer undone = call(
            method, method == u"EstornaGeracao" ? QJsonArray{run, reason} : QJsonArray{"01", "N", entry, reason}, sara);
        QVERIFY2(undone.hasResult(), undone.body.constData());
        const TRecordStore undoneRows = undone.packet();
        QCOMPARE(undoneRows.rowCount(), reversed.size() == 1 ? 1 : 2);
        for (int r = 0; r < undoneRows.rowCount(); ++r)
            QCOMPARE(BillingRows::cell(undoneRows, r, "IDSITUACAO") + BillingRows::cell(undoneRows, r, "NMUSUESTORNO")
                         + BillingRows::cell(undoneRows, r, "DSMOTIVOESTORNO"),
                     QStringLiteral("Esara") + reason);
        for (const QString &label : items)
            QCOMPARE(statusOf(*fixture(label)), reversed.contains(label) ? QStringLiteral("P") : QStringLiteral("R"));
        QCOMPARE(count(QStringLiteral("ITEMLANCFATHIST")), reversed.size());
        QCOMPARE(count(QStringLiteral("LANCFATFAS")), 5);
        QCOMPARE(scalar(QStringLiteral("SELECT NMMETODO || '/' || QTITENS FROM EXECFAT WHERE IDEXECFAT > ?"), {run})
                     .toString(),
                 method + '/' + QString::number(reversed.size()));

        const Answer again = post(m_server.port(), generationRequest(QStringLiteral("GeraNF"), batchOf(reversed)),
                                  sara);
        QVERIFY2(again.hasResult(), again.body.constData());
        for (const QString &label : items)
            QCOMPARE(
                scalar(QStringLiteral("SELECT COUNT(*) FROM ITEMLANCFAT l JOIN LANCFATFAS e ON e.CDEMPRESA = "
                                      "l.CDEMPRESA AND e.IDTPLANCFAT = l.IDTPLANCFAT AND e.NRLANCFAT = l.NRLANCFAT "
                                      "WHERE e.DTESTORNO IS NULL AND l.CDCLIENTE = 'C1' AND l.IDAPURFATFAS = ?"),
                       {QString::fromLatin1(fixture(label)->type)})
                    .toInt(),
                1);
        // Reversed numbers are never given again.
        QCOMPARE(scalar(QStringLiteral("SELECT MIN(NRLANCFAT) FROM LANCFATFAS WHERE IDEXECFAT = "
                                       "(SELECT MAX(IDEXECFAT) FROM EXECFAT)"))
                     .toInt(),
                 5);

        const TRecordStore entries =
            call(QStringLiteral("GetLancamentosGeracao"), {QString::number(run)}, sara).packet();
        QStringList states;
        for (int r = 0; r < entries.rowCount(); ++r)
            states << BillingRows::cell(entries, r, "IDSITUACAO");
        QCOMPARE(states, (reversed.size() == 1 ? QStringList{"E", "A"} : QStringList{"E", "E"}));
        const TRecordStore history = call(QStringLiteral("GetGeracoes"), {"", "", "", ""}, sara).packet();
        QStringList methods;
        for (int r = 0; r < history.rowCount(); ++r)
            methods << BillingRows::cell(history, r, "NMMETODO");
        QCOMPARE(methods, (QStringList{"GeraNF", method, "GeraNF"}));
    }

    // A reversal and a generation of the same items at the same moment: the
    // generation either comes first and is refused, or bills the items the reversal
    // set free; an item is pending without a live entry or realized in exactly one.
    void reversalRacesGeneration()
    {
        const QStringList items{"c1-6-02", "c1-6-03", "c1-6-04", "c1-6-05", "c1-6-06"};
        for (int round = 0; round < 4; ++round) {
            const Answer made = post(m_server.port(), generationRequest(QStringLiteral("GeraNF"), batchOf(items)));
            QVERIFY2(made.hasResult(), made.body.constData());
            const qint64 run = scalar(QStringLiteral("SELECT MAX(IDEXECFAT) FROM EXECFAT")).toLongLong();
            Answer reversal, generation;
            std::latch ready(2);
            std::thread reverser([&] {
                ready.arrive_and_wait();
                reversal = call(QStringLiteral("EstornaGeracao"), {run, QStringLiteral("corrida")});
            });
            ready.arrive_and_wait();
            generation = post(m_server.port(), generationRequest(QStringLiteral("GeraNF"), batchOf(items)));
            reverser.join();
            QVERIFY2(reversal.hasResult(), reversal.body.constData());
            QVERIFY2(generation.hasResult() || generation.errorCode() == -32011, generation.body.constData());
            const QString expected = generation.hasResult() ? QStringLiteral("R1") : QStringLiteral("P0");
            for (const QString &label : items)
                QCOMPARE(statusOf(*fixture(label))
                             + scalar(QStringLiteral("SELECT COUNT(*) FROM ITEMLANCFAT l JOIN LANCFATFAS e ON "
                                                     "e.CDEMPRESA = l.CDEMPRESA AND e.IDTPLANCFAT = l.IDTPLANCFAT AND "
                                                     "e.NRLANCFAT = l.NRLANCFAT WHERE e.DTESTORNO IS NULL AND "
                                                     "l.CDCLIENTE = 'C1' AND l.IDAPURFATFAS = '6' AND "
                                                     "l.DTMESAPURFAS = %1")
                                          .arg(dateParam()),
                                      {QString::fromLatin1(fixture(label)->month) + QStringLiteral("-01")})
                                   .toString(),
                         expected);
            if (generation.hasResult()) // free them for the next round
                QVERIFY(call(QStringLiteral("EstornaGeracao"),
                             {scalar(QStringLiteral("SELECT MAX(IDEXECFAT) FROM EXECFAT WHERE NMMETODO = 'GeraNF'"))
                                  .toLongLong(),
                              QStringLiteral("corrida")})
                            .hasResult());
        }
    }

    // A refused reversal names what it refused and leaves the database as it was
    // (the refusal itself is recorded as a run).
    void reversalRefusals_data()
    {
        QTest::addColumn<QString>("before"); // "": the fixture; "reversed": entry 01/N/1 reversed; "refused run"
        QTest::addColumn<QString>("method");
        QTest::addColumn<QJsonArray>("params"); // "$run": the newest run's id
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("mentions");
        const QString one = QStringLiteral("EstornaLancamento"), run = QStringLiteral("EstornaGeracao");
        const QString why = QStringLiteral("duplicada");
        QTest::newRow("unknown entry") << "" << one << QJsonArray{"01", "N", 99, why} << -32015 << "Nota Fiscal 99";
        QTest::newRow("unknown kind of entry") << "" << one << QJsonArray{"02", "I", 2, why} << -32015 << "Invoice 2";
        QTest::newRow("entry reversed already")
            << "reversed" << one << QJsonArray{"01", "N", 1, why} << -32016 << "já foi estornado";
        QTest::newRow("unknown run") << "" << run << QJsonArray{987, why} << -32015 << "987 não existe";
        QTest::newRow("a run that made nothing")
            << "refused run" << run << QJsonArray{"$run", why} << -32015 << "não gerou";
        QTest::newRow("no reason") << "" << one << QJsonArray{"01", "N", 1, ""} << -32602 << "motivo";
        QTest::newRow("a blank reason") << "" << run << QJsonArray{1, "   "} << -32602 << "motivo";
        QTest::newRow("a reason of 201 characters")
            << "" << one << QJsonArray{"01", "N", 1, QString(201, u'x')} << -32602 << "200";
        QTest::newRow("a NUL in the reason")
            << "" << one << QJsonArray{"01", "N", 1, QStringLiteral("duplicada\u0000x")} << -32602 << "controle";
        QTest::newRow("a line feed in the reason")
            << "" << run << QJsonArray{1, QStringLiteral("duplicada\nFORJADA")} << -32602 << "uma linha";
        QTest::newRow("a kind that is no kind") << "" << one << QJsonArray{"01", "X", 1, why} << -32602 << "N (Nota";
        QTest::newRow("entry number zero") << "" << one << QJsonArray{"01", "N", 0, why} << -32602 << "maior que zero";
    }

    void reversalRefusals()
    {
        QFETCH(QString, before);
        QFETCH(QString, method);
        QFETCH(QJsonArray, params);
        QFETCH(int, code);
        QFETCH(QString, mentions);
        if (before == u"reversed")
            QVERIFY(call(QStringLiteral("EstornaLancamento"), {"01", "N", 1, "antes"}).hasResult());
        if (before == u"refused run")
            QCOMPARE(
                post(m_server.port(), generationRequest(QStringLiteral("GeraNF"), batchOf({"f2-7-04"}))).errorCode(),
                -32014);
        for (qsizetype i = 0; i < params.size(); ++i)
            if (params.at(i).toString() == u"$run")
                params[i] = scalar(QStringLiteral("SELECT MAX(IDEXECFAT) FROM EXECFAT")).toLongLong();
        const QString state = billingState();
        const int runs = count(QStringLiteral("EXECFAT"));
        const Answer answer = call(method, params);
        QCOMPARE(answer.errorCode(), code);
        QVERIFY2(answer.errorMessage().contains(mentions), qPrintable(answer.errorMessage()));
        QCOMPARE(billingState(), state);
        QCOMPARE(count(QStringLiteral("EXECFAT")), runs + 1);
        QCOMPARE(scalar(QStringLiteral("SELECT NMMETODO || CDERRO FROM EXECFAT WHERE IDEXECFAT = "
                                       "(SELECT MAX(IDEXECFAT) FROM EXECFAT)"))
                     .toString(),
                 method + QString::number(code));
    }

    void generationBatchErrors_data()
    {
        QTest::addColumn<QByteArray>("params");
        QTest::addColumn<QString>("mentions");
        const QByteArray empty = DataPacket::encode(TRecordStore(BillingItemLayout::batch()));
        QTest::newRow("empty batch") << QByteArray("[" + empty + "]") << "vazio";
        QTest::newRow("no batch") << QByteArray("[]") << "1 parâmetro";
        QTest::newRow("batch as text") << QByteArray(R"(["lote"])") << "objeto";
        QTest::newRow("packet without rows") << QByteArray(R"([{"fields":[]}])") << "Lote";
        TFieldDefs partial;
        partial.append(BillingItemLayout::batch().at(0));
        TRecordStore keyless(partial);
        keyless.appendRow();
        keyless.setText(0, 0, "01");
        QTest::newRow("batch without the key fields")
            << QByteArray("[" + DataPacket::encode(keyless) + "]") << "CDFILIAL";
        TRecordStore noMonth(BillingItemLayout::batch());
        noMonth.appendRow();
        for (const char *f : {"CDEMPRESA", "CDFILIAL", "CDCLIENTE", "IDAPURFATFAS"})
            noMonth.setText(0, noMonth.indexOf(QString::fromLatin1(f)), "1");
        QTest::newRow("item without a month") << QByteArray("[" + DataPacket::encode(noMonth) + "]") << "mês";
        TRecordStore nulKey(BillingItemLayout::batch());
        nulKey.appendRow();
        for (const char *f : {"CDEMPRESA", "CDFILIAL", "CDCLIENTE", "IDAPURFATFAS"})
            nulKey.setText(0, nulKey.indexOf(QString::fromLatin1(f)), "1");
        nulKey.setText(0, nulKey.indexOf(QStringLiteral("MESAPURADO")), "04/2024");
        nulKey.setText(0, nulKey.indexOf(QStringLiteral("CDCLIENTE")), std::string_view("1\0", 2));
        QTest::newRow("NUL in an item's key") << QByteArray("[" + DataPacket::encode(nulKey) + "]") << "CDCLIENTE";
    }

    void generationBatchErrors()
    {
        QFETCH(QByteArray, params);
        QFETCH(QString, mentions);
        const Answer answer = post(m_server.port(),
                                   R"({"jsonrpc":"2.0","id":3,"method":"GeraNF","params":)" + params + "}");
        QCOMPARE(answer.errorCode(), -32602);
        QVERIFY2(answer.errorMessage().contains(mentions), qPrintable(answer.errorMessage()));
        expectUnchangedBilling();
    }

    // Another program holds SQLite's write lock: a generation waits once, then says
    // so; the server keeps its connection (no "lost connection", no second wait) and
    // generates as soon as the lock is gone.
    void busySqliteIsNoLostConnection()
    {
        if (m_backend != Backend::Sqlite)
            QSKIP("a writer's lock on the file is SQLite's");
        AppServerProcess server;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("FAS_SQLITE_BUSY_TIMEOUT_MS"), QStringLiteral("300"));
        server.process().setProcessEnvironment(environment);
        QVERIFY2(server.start(m_url, {}), server.newLog().constData());
        // The server's thread opens its connection before the lock is taken.
        QVERIFY(post(server.port(), request(QStringLiteral("GetFaturamento"), Filter().params())).hasResult());

        sqlite3 *writer = nullptr;
        QCOMPARE(sqlite3_open(m_url.toUtf8().constData(), &writer), SQLITE_OK);
        const auto closeWriter = qScopeGuard([writer] { sqlite3_close(writer); });
        QCOMPARE(sqlite3_exec(writer, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

        const QByteArray generation = generationRequest(QStringLiteral("GeraNF"), batchOf({"c1-6-04"}));
        const Answer busy = post(server.port(), generation);
        QCOMPARE(busy.status, 200);
        QCOMPARE(busy.errorCode(), -32020);
        QVERIFY2(busy.errorMessage().contains(QStringLiteral("Outro processo está gravando")),
                 qPrintable(busy.errorMessage()));
        QVERIFY(busy.errorMessage().contains(QStringLiteral("Nada foi alterado")));

        QCOMPARE(sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr), SQLITE_OK);
        const Answer done = post(server.port(), generation);
        QVERIFY2(done.hasResult(), done.body.constData());
        server.stop();
        const QByteArray log = server.newLog();
        QVERIFY2(!log.contains("perdida") && !log.contains("reconectando"), log.constData());
        QCOMPARE(log.count("erro do banco de dados"), 1);
        // The refusal's record did not wait for the lock a second time: it was kept,
        // and written once the database took writes again.
        QVERIFY2(!log.contains("não pôde ser registrada"), log.constData());
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) || NMMETODO || MIN(CDERRO) FROM EXECFAT WHERE CDERRO IS "
                                       "NOT NULL GROUP BY NMMETODO"))
                     .toString(),
                 QStringLiteral("1GeraNF-32020"));
    }

    // A generation that waits on an item another session has locked holds its thread
    // only until its client goes away or the statement time-out passes; the item
    // stays pending and the server's one thread serves again.
    void waitingGenerationLetsGo_data()
    {
        QTest::addColumn<bool>("clientLeaves");
        QTest::newRow("the client goes away") << true;
        QTest::newRow("the statement time-out passes") << false;
    }

    void waitingGenerationLetsGo()
    {
        if (m_backend != Backend::Postgres)
            QSKIP("a row locked by another session is PostgreSQL's");
        QFETCH(bool, clientLeaves);
        AppServerProcess server;
        QSettings ini(server.tempPath(QStringLiteral("server.ini")), QSettings::IniFormat);
        ini.setValue(QStringLiteral("database/statement_timeout_s"), clientLeaves ? 0 : 1);
        ini.sync();
        QVERIFY2(server.start(m_url, {QStringLiteral("--config"), ini.fileName(), QStringLiteral("--threads"),
                                      QStringLiteral("1")}),
                 server.newLog().constData());

        QSqlDatabase locker = QSqlDatabase::cloneDatabase(m_connection, QStringLiteral("locker"));
        const auto dropLocker = qScopeGuard([&locker] {
            locker.close();
            locker = QSqlDatabase();
            QSqlDatabase::removeDatabase(QStringLiteral("locker"));
        });
        QVERIFY(locker.open());
        QSqlQuery lock(locker);
        QVERIFY(lock.exec(QStringLiteral("BEGIN")));
        QVERIFY(lock.exec(QStringLiteral("SELECT 1 FROM APURFATFAS WHERE CDCLIENTE = 'C1' FOR UPDATE")));

        const QByteArray generation = generationRequest(QStringLiteral("GeraNF"), batchOf({"c1-6-04"}));
        if (clientLeaves) {
            const int sock = RawHttp::connectTo(server.port());
            QVERIFY(RawHttp::sendAll(sock, rawPost("Content-Type: application/json\r\nContent-Length: "
                                                       + QByteArray::number(generation.size()) + "\r\n",
                                                   generation)));
            QTRY_VERIFY_WITH_TIMEOUT(scalar(QStringLiteral("SELECT COUNT(*) FROM pg_stat_activity "
                                                           "WHERE wait_event_type = 'Lock'"))
                                             .toInt()
                                         > 0,
                                     60000); // it waits on the lock
            ::close(sock);
            QTRY_VERIFY_WITH_TIMEOUT(server.serverLog().contains("error=-32021"), 60000);
        } else {
            const Answer answer = post(server.port(), generation);
            QCOMPARE(answer.errorCode(), -32002);
            QVERIFY2(answer.errorMessage().contains(QStringLiteral("não respondeu a tempo")),
                     qPrintable(answer.errorMessage()));
        }
        // The one thread is free again while the lock is still held.
        QVERIFY(post(server.port(), request(QStringLiteral("GetFaturamento"), Filter().params())).hasResult());
        QVERIFY(lock.exec(QStringLiteral("ROLLBACK")));
        QCOMPARE(statusOf(*fixture(QStringLiteral("c1-6-04"))), QStringLiteral("P"));
        QCOMPARE(count(QStringLiteral("LANCFATFAS")), 3);
    }

    void concurrentGenerationBillsEveryItemOnce()
    {
        // 40 pending items of domestic clients, and 8 users generating overlapping
        // batches of 12 at the same moment.
        const int itemCount = 40;
        const int users = 8;
        QStringList clients = {"C1", "C2", s(OddClient1)};
        struct Item
        {
            QString client;
            QString branch;
            QDate month;
        };
        std::vector<Item> items;
        for (int i = 0; i < itemCount; ++i) {
            Item item{clients.at(i % 3), i % 2 ? QStringLiteral("0002") : QStringLiteral("0001"),
                      QDate(2020, 1, 1).addMonths(i)};
            items.push_back(item);
            QVERIFY(exec(QStringLiteral("INSERT INTO APURFATFAS (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, "
                                        "IDAPURFATFAS, IDSTAPFATFAS, CDGRUPONFAPUR, VRTOTAFATFAS) "
                                        "VALUES ('01', ?, ?, %1, '6', 'P', ?, 10)")
                             .arg(dateParam()),
                         {item.branch, item.client, item.month.toString(QStringLiteral("yyyy-MM-dd")),
                          i % 5 ? QStringLiteral("SERV") : QStringLiteral("LIC")}));
        }
        std::vector<QByteArray> batches;
        std::vector<std::vector<int>> batchItems;
        for (int u = 0; u < users; ++u) {
            TRecordStore store(BillingItemLayout::batch());
            std::vector<int> mine;
            for (int k = 0; k < 12; ++k) {
                const int i = (u * 5 + k) % itemCount;
                mine.push_back(i);
                const int row = store.appendRow();
                auto put = [&](const char *f, const QString &v) {
                    const QByteArray utf8 = v.toUtf8();
                    store.setText(row, store.indexOf(QString::fromLatin1(f)),
                                  std::string_view(utf8.constData(), size_t(utf8.size())));
                };
                put("CDEMPRESA", QStringLiteral("01"));
                put("CDFILIAL", items[size_t(i)].branch);
                put("CDCLIENTE", items[size_t(i)].client);
                put("IDAPURFATFAS", QStringLiteral("6"));
                store.setDateTimeMs(row, store.indexOf(QStringLiteral("DTMESAPURFAS")),
                                    (items[size_t(i)].month.toJulianDay() - 2440588) * 86400000LL);
            }
            batches.push_back(generationRequest(QStringLiteral("GeraNF"), DataPacket::encode(store), u));
            batchItems.push_back(mine);
        }

        std::vector<Answer> answers(static_cast<size_t>(users));
        std::latch ready(users);
        std::vector<std::thread> threads;
        const int port = m_server.port();
        for (int u = 0; u < users; ++u)
            threads.emplace_back([&, u] {
                ready.arrive_and_wait();
                answers[size_t(u)] = post(port, batches[size_t(u)]);
            });
        for (std::thread &t : threads)
            t.join();

        std::set<int> billedByAnswers;
        int successes = 0;
        for (int u = 0; u < users; ++u) {
            const Answer &a = answers[size_t(u)];
            if (a.hasResult()) {
                ++successes;
                QCOMPARE(a.packet().rowCount(), 12);
                for (int i : batchItems[size_t(u)])
                    QVERIFY2(billedByAnswers.insert(i).second, "an item was billed by two generations");
            } else {
                QVERIFY2(a.errorCode() == -32011, a.body.constData());
            }
        }
        QVERIFY(successes >= 1);

        // The database: each item at most once in an entry, exactly the answered ones.
        for (int i = 0; i < itemCount; ++i) {
            const Item &item = items[size_t(i)];
            const QVariantList key = {item.branch, item.client, item.month.toString(QStringLiteral("yyyy-MM-dd"))};
            const int links = scalar(QStringLiteral("SELECT COUNT(*) FROM ITEMLANCFAT WHERE CDEMPRESA = '01' AND "
                                                    "CDFILIAL = ? AND CDCLIENTE = ? AND DTMESAPURFAS = %1 AND "
                                                    "IDAPURFATFAS = '6'")
                                         .arg(dateParam()),
                                     key)
                                  .toInt();
            const QString status = scalar(QStringLiteral("SELECT IDSTAPFATFAS FROM APURFATFAS WHERE CDEMPRESA = '01' "
                                                         "AND CDFILIAL = ? AND CDCLIENTE = ? AND DTMESAPURFAS = %1 "
                                                         "AND IDAPURFATFAS = '6'")
                                              .arg(dateParam()),
                                          key)
                                       .toString();
            const bool billed = billedByAnswers.count(i) > 0;
            QCOMPARE(links, billed ? 1 : 0);
            QCOMPARE(status, billed ? QStringLiteral("R") : QStringLiteral("P"));
        }
        // Entry numbers of company 01 run from 1 without gaps or repeats.
        const int entries = scalar(QStringLiteral("SELECT COUNT(*) FROM LANCFATFAS WHERE CDEMPRESA = '01' AND "
                                                  "IDTPLANCFAT = 'N'"))
                                .toInt();
        QCOMPARE(scalar(QStringLiteral("SELECT MAX(NRLANCFAT) FROM LANCFATFAS WHERE CDEMPRESA = '01' AND "
                                       "IDTPLANCFAT = 'N'"))
                     .toInt(),
                 entries);
        QCOMPARE(scalar(QStringLiteral("SELECT NRULTLANCFAT FROM NUMLANCFAT WHERE CDEMPRESA = '01' AND "
                                       "IDTPLANCFAT = 'N'"))
                     .toInt(),
                 entries);
        QCOMPARE(scalar(QStringLiteral("SELECT SUM(QTITEMLANCFAT) FROM LANCFATFAS WHERE CDEMPRESA = '01' AND "
                                       "IDTPLANCFAT = 'N'"))
                     .toInt(),
                 scalar(QStringLiteral("SELECT COUNT(*) FROM ITEMLANCFAT WHERE CDEMPRESA = '01' AND "
                                       "IDTPLANCFAT = 'N'"))
                     .toInt());
        QVERIFY(serverServes());
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    return runOnBothDatabases<TstServerGeneration>(argc, argv);
}

#include "tst_servergeneration.moc"
