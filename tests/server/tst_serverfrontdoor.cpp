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
#include "tests/support/SlowClients.h"
#include "server/billing/PreviewQuery.h"
#include "server/sql/ThreadDatabase.h"

// The server's front door: JSON-RPC errors and batches, ids, bodies too large or
// malformed, slow and half-closed clients, unknown paths, the health entry and the
// bearer token.
using namespace ServerTest;

class TstServerFrontDoor : public ServerFixture
{
    Q_OBJECT

public:
    // The shared server's header deadline is short: "header block never ends" waits
    // for it; no other request of the shared server sends its headers in pieces.
    explicit TstServerFrontDoor(Backend backend)
        : ServerFixture(backend)
    {
        m_serverArgs = {QStringLiteral("--deadline"), QStringLiteral("header_deadline_s=1500ms")};
    }

private slots:
    void protocolErrors_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("code");
        auto gf = [](const QJsonArray &params) { return request(QStringLiteral("GetFaturamento"), params); };
        const QJsonArray good = Filter().params();
        auto with = [&good](int index, const QJsonValue &value) {
            QJsonArray p = good;
            p[index] = value;
            return p;
        };
        QTest::newRow("malformed JSON") << QByteArray(R"({"jsonrpc":"2.0","id":1,"method":)") << -32700;
        QTest::newRow("not JSON at all") << QByteArray("GetFaturamento") << -32700;
        QTest::newRow("a bare string") << QByteArray(R"("GetFaturamento")") << -32600;
        QTest::newRow("no version") << QByteArray(R"({"id":1,"method":"GetFaturamento","params":[]})") << -32600;
        QTest::newRow("old version") << QByteArray(R"({"jsonrpc":"1.0","id":1,"method":"GetFaturamento"})") << -32600;
        QTest::newRow("method not a text") << QByteArray(R"({"jsonrpc":"2.0","id":1,"method":5})") << -32600;
        QTest::newRow("id an object") << QByteArray(R"({"jsonrpc":"2.0","id":{},"method":"GetFaturamento"})") << -32600;
        QTest::newRow("unknown method") << request(QStringLiteral("ApagaTudo"), {}) << -32601;
        QTest::newRow("named params") << QByteArray(
            R"({"jsonrpc":"2.0","id":1,"method":"GetFaturamento","params":{"a":1}})")
                                      << -32602;
        QTest::newRow("too few params") << gf({QStringLiteral("2024-01-01"), QStringLiteral("2024-01-31")}) << -32602;
        QTest::newRow("too many params") << gf(QJsonArray(good) << QStringLiteral("x")) << -32602;
        QTest::newRow("date as a number") << gf(with(0, 20240101)) << -32602;
        QTest::newRow("no such date") << gf(with(0, QStringLiteral("2024-02-30"))) << -32602;
        QTest::newRow("date in another format") << gf(with(1, QStringLiteral("30/04/2024"))) << -32602;
        QTest::newRow("end before start") << gf(with(1, QStringLiteral("2024-03-31"))) << -32602;
        QTest::newRow("no service type") << gf(with(2, QString())) << -32602;
        QTest::newRow("unknown service type") << gf(with(2, QStringLiteral("_6__8_"))) << -32602;
        QTest::newRow("service types without underscores") << gf(with(2, QStringLiteral("56"))) << -32602;
        QTest::newRow("client list not JSON") << gf(with(3, QStringLiteral("[\"C1\""))) << -32602;
        QTest::newRow("client list of numbers") << gf(with(3, QStringLiteral("[1,2]"))) << -32602;
        QTest::newRow("NUL in a client") << gf(with(3, QStringLiteral("[\"C1\\u0000\"]"))) << -32602;
        QTest::newRow("NUL in a company") << gf(with(5, QStringLiteral("[\"\\u0000\"]"))) << -32602;
        QTest::newRow("client list of the old kind") << gf(with(4, QString())) << -32602;
        QTest::newRow("flag neither T nor empty") << gf(with(6, QStringLiteral("S"))) << -32602;
        QTest::newRow("unknown situation") << gf(with(7, QStringLiteral("_P__X_"))) << -32602;
        QTest::newRow("situation empty") << gf(with(7, QString())) << -32602;
        QTest::newRow("unknown note state") << gf(with(8, QStringLiteral("_R_"))) << -32602;
    }

    void protocolErrors()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, code);
        const Answer answer = post(m_server.port(), body);
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.errorCode(), code);
        QVERIFY(!answer.errorMessage().isEmpty());
        QVERIFY(answer.json.object().contains(QStringLiteral("id")));
        QCOMPARE(answer.json.object().value(QStringLiteral("jsonrpc")).toString(), QStringLiteral("2.0"));
        QVERIFY(serverServes());
    }

    void idIsEchoed_data()
    {
        QTest::addColumn<QByteArray>("id");
        QTest::newRow("number") << QByteArray("42");
        QTest::newRow("text") << QByteArray(R"("pedido-ç")");
        QTest::newRow("null") << QByteArray("null");
    }

    void idIsEchoed()
    {
        QFETCH(QByteArray, id);
        const Answer answer = post(m_server.port(), R"({"jsonrpc":"2.0","id":)" + id + R"(,"method":"Nada"})");
        QCOMPARE(
            QJsonDocument(QJsonArray{answer.json.object().value(QStringLiteral("id"))}).toJson(QJsonDocument::Compact),
            QByteArray("[" + id + "]"));
    }

    void batchAndNotification()
    {
        const QByteArray good = request(QStringLiteral("GetFaturamento"), Filter().params(), 1);
        const Answer batch = post(m_server.port(), "[" + good
                                                       + R"(,{"jsonrpc":"2.0","id":2,"method":"Nada"},)"
                                                         R"({"jsonrpc":"2.0","method":"Nada"}])");
        QVERIFY2(batch.json.isArray(), batch.body.constData());
        const QJsonArray replies = batch.json.array();
        QCOMPARE(replies.size(), 2); // the notification gets no answer
        QCOMPARE(replies.at(0).toObject().value(QStringLiteral("id")).toInt(), 1);
        QVERIFY(replies.at(0).toObject().contains(QStringLiteral("result")));
        QCOMPARE(
            replies.at(1).toObject().value(QStringLiteral("error")).toObject().value(QStringLiteral("code")).toInt(),
            -32601);

        const Answer empty = post(m_server.port(), "[]");
        QCOMPARE(empty.errorCode(), -32600);

        const Answer notification = post(m_server.port(), R"({"jsonrpc":"2.0","method":"GetFaturamento","params":[]})");
        QCOMPARE(notification.status, 204);
        QVERIFY(notification.body.isEmpty());
    }

    // A batch whose answers would pass 16 MB: the first preview is answered in
    // full, the ones that would take the batch over the limit are answered -32006
    // instead of their rows, and the server goes on.
    void batchStopsAtItsAnswerLimit()
    {
        QVERIFY(insertMonthlyRows(20000, QString(300, u'b'))); // one preview > 8 MB
        Filter filter;
        filter.dtIni = QStringLiteral("2100-01-01");
        filter.dtFin = QStringLiteral("9999-12-31");
        filter.situations = QStringLiteral("T");
        const QByteArray preview = request(QStringLiteral("GetFaturamento"), filter.params(), 1);
        const Answer batch = post(m_server.port(), "[" + preview + "," + preview + "," + preview + "]");
        QVERIFY2(batch.json.isArray(), batch.body.left(300).constData());
        QVERIFY2(batch.body.size() < 16 * 1024 * 1024, QByteArray::number(batch.body.size()).constData());
        const QJsonArray replies = batch.json.array();
        QCOMPARE(replies.size(), 3);
        QVERIFY(replies.at(0).toObject().contains(QStringLiteral("result")));
        for (int i = 1; i < 3; ++i)
            QCOMPARE(replies.at(i)
                         .toObject()
                         .value(QStringLiteral("error"))
                         .toObject()
                         .value(QStringLiteral("code"))
                         .toInt(),
                     -32006);
        QVERIFY(serverServes());
    }

    void oversizeBodyIsRefusedAndServingGoesOn()
    {
        QByteArray body = request(QStringLiteral("GetFaturamento"), Filter().params());
        body.insert(1, R"("padding":")" + QByteArray(2 * 1024 * 1024, 'x') + R"(",)");
        const Answer answer = post(m_server.port(), body);
        QCOMPARE(answer.status, 413);
        QCOMPARE(answer.errorCode(), -32003);
        QVERIFY(answer.errorMessage().contains(QStringLiteral("1 MB")));
        QVERIFY(serverServes());
    }

    // Every way a request can be malformed, oversized or forged. Each is answered with
    // its status and JSON-RPC code, changes nothing, does not grow the server, and
    // the server goes on serving.
    void badRequests_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<bool>("halfClose");
        QTest::addColumn<bool>("tokenServer");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("notLogged");
        const QByteArray json = "Content-Type: application/json\r\n";
        const QByteArray good = request(QStringLiteral("GetFaturamento"), Filter().params());
        const QByteArray twoMb = paddedGeneration(2 * 1024 * 1024);
        const QByteArray generation = paddedGeneration(0);
        static const QByteArray bomb = gzipped(generation + QByteArray(64 * 1024 * 1024, ' ')); // made once
        QByteArray calls17 = "[";
        for (int i = 0; i < 17; ++i)
            calls17 += (i ? "," : "") + request(QStringLiteral("GetFaturamento"), Filter().params(), i + 1);
        calls17 += "]";
        QByteArray calls500 = "[";
        for (int i = 0; i < 500; ++i)
            calls500 += (i ? "," : "") + generation;
        calls500 += "]";
        QByteArray manyHeaders;
        for (int i = 0; i < 100; ++i)
            manyHeaders += "X-Extra-" + QByteArray::number(i) + ": a\r\n";
        auto row = [](const char *name, const QByteArray &req, int status, int code, bool halfClose = false,
                      bool token = false, const QByteArray &notLogged = {}) {
            QTest::newRow(name) << req << halfClose << token << status << code << notLogged;
        };
        const auto length = [](const QByteArray &body) {
            return "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        };
        const QByteArray te = "Transfer-Encoding: chunked\r\n";

        row("chunked body above the limit", rawPost(json + te, chunked(twoMb, 65536)), 413, -32003);
        row("chunked in one-byte chunks", rawPost(json + te, chunked(twoMb.left(600 * 1024), 1)), 413, -32003);
        row("chunk size line without end", rawPost(json + te, QByteArray(3 * 1024 * 1024, 'f')), 413, -32003);
        row("chunk size not hexadecimal", rawPost(json + te, "zz\r\nabc\r\n0\r\n\r\n"), 400, -32600);
        row("chunked body cut short", rawPost(json + te, "10\r\n{\"jsonrpc\""), 400, -32600, true);
        row("gzip bomb", rawPost(json + "Content-Encoding: gzip\r\n" + length(bomb), bomb), 415, -32004);
        row("brotli body", rawPost(json + "Content-Encoding: br\r\n" + length(generation), generation), 415, -32004);
        row("Content-Length above the limit", rawPost(json + "Content-Length: 536870912\r\n"), 413, -32003);
        row("Content-Length not a number", rawPost(json + "Content-Length: 12abc\r\n", generation), 400, -32600);
        row("two Content-Length headers", rawPost(json + length(generation) + length(generation), generation), 400,
            -32600);
        row("Content-Length and chunked together", rawPost(json + te + length(generation), chunked(generation, 100)),
            400, -32600);
        row("another transfer coding", rawPost(json + "Transfer-Encoding: gzip, chunked\r\n", chunked(generation, 64)),
            400, -32600);
        row("body shorter than its length", rawPost(json + "Content-Length: 5000\r\n", generation.left(100)), 400,
            -32600, true);
        row("too many headers", rawPost(json + manyHeaders + length(generation), generation), 431, -32600);
        row("one huge header", rawPost(json + "X-Big: " + QByteArray(20000, 'a') + "\r\n" + length(good), good), 431,
            -32600);
        row("huge request line",
            rawPost(json + length(good), good, "/FAS09600.rdmFaturamento?" + QByteArray(20000, 'q')), 431, -32600);
        row("header block never ends", rawPost(json + "X-Slow: " + QByteArray(100, 'a')).chopped(4), 408, -32600);
        row("batch above the call limit", rawPost(json + length(calls17), calls17), 200, -32005);
        row("batch of 500 generations", rawPost(json + length(calls500), calls500), 200, -32005);
        row("wrong content type", rawPost("Content-Type: text/plain\r\n" + length(generation), generation), 415,
            -32004);
        row("no content type", rawPost(length(generation), generation), 415, -32004);
        row("form post",
            rawPost("Content-Type: application/x-www-form-urlencoded\r\n" + length(generation), generation), 415,
            -32004);
        row("no token", rawPost(json + length(generation), generation), 401, -32001, false, true);
        row("wrong token", rawPost(json + "Authorization: Bearer errado\r\n" + length(generation), generation), 401,
            -32001, false, true);
        row("forged log line in the path", "GET /x%0A2024-01-01T00:00:00.000%20POST%20/FORJADA HTTP/1.1\r\n\r\n", 404,
            -32600, false, false, "\n2024-01-01T00:00:00.000 POST /FORJADA");
        const QByteArray forgedMethod = R"({"jsonrpc":"2.0","id":1,"method":"Nada\nFORJADA status=200"})";
        row("forged log line in the method", rawPost(json + length(forgedMethod), forgedMethod), 200, -32601, false,
            false, "\nFORJADA");
        row("not HTTP at all", "HELLO\r\n\r\n", 400, -32600);
        row("header folded onto the line before", rawPost(json + " X-More: a\r\n" + length(good), good), 400, -32600);
        row("space before a header's colon", rawPost(json + "Content-Length : 5\r\n", "{\"a\":"), 400, -32600);
        row("Content-Length percent-escaped", rawPost(json + "Content-Length: %35\r\n", "[1,2]"), 400, -32600);
        row("chunk size after a space", rawPost(json + te, " 0\r\n\r\n"), 400, -32600);
        row("unreadable range", rawPost(json + "Range: bytes=z-\r\n" + length(good), good), 416, -32600);
        row("empty body", rawPost(json + "Content-Length: 0\r\n"), 200, -32700);
        // The call's path is one exact path: with a token configured, none of these runs the generation.
        for (const char *path : {"/FAS09600/rdmFaturamento", "/FAS09600XrdmFaturamento", "/FAS09600%2FrdmFaturamento",
                                 "/FAS09600%2ErdmFaturamento"})
            row(path, rawPost(json + length(generation), generation, path), 404, -32600, false, true);
        row("gzip bomb on a path like the call's",
            rawPost(json + "Content-Encoding: gzip\r\n" + length(bomb), bomb, "/FAS09600/rdmFaturamento"), 404, -32600);
        row("GET on the call's path", "GET /FAS09600.rdmFaturamento HTTP/1.1\r\n\r\n", 404, -32600);
        row("expect continue above the limit", rawPost(json + "Expect: 100-continue\r\nContent-Length: 536870912\r\n"),
            413, -32003);
    }

    void badRequests()
    {
        QFETCH(QByteArray, request);
        QFETCH(bool, halfClose);
        QFETCH(bool, tokenServer);
        QFETCH(int, status);
        QFETCH(int, code);
        QFETCH(QByteArray, notLogged);
        if (tokenServer)
            startTokenServer();
        AppServerProcess &server = tokenServer ? m_tokenServer : m_server;
        server.newLog(); // what came before this row
        const RawHttp::Answer answer = RawHttp::exchange(server.port(), request, halfClose);
        QVERIFY2(answer.status == status, answer.head + "\n" + answer.body.left(300));
        const QJsonObject error =
            QJsonDocument::fromJson(answer.body).object().value(QStringLiteral("error")).toObject();
        QCOMPARE(error.value(QStringLiteral("code")).toInt(), code);
        QVERIFY(!error.value(QStringLiteral("message")).toString().isEmpty());
        expectUnchangedBilling();
        QCOMPARE(statusOf(*fixture(QStringLiteral("c1-6-04"))), QStringLiteral("P"));
        QVERIFY(serverServes());
        httplib::Client client("127.0.0.1", server.port());
        auto health = client.Get("/health");
        QVERIFY(health && health->status == 200);
        if (!notLogged.isEmpty()) {
            QByteArray log;
            QTRY_VERIFY2((log += server.newLog()).contains("\\x0a"), log.constData());
            QVERIFY2(!log.contains(notLogged), log.constData());
            QVERIFY2(log.contains("\\x0a"), log.constData());
        }
    }

    // Clients that send their headers, or a body of any size, a byte at a time hold no
    // thread that serves calls, nor do more idle kept-alive connections than the
    // server has connection threads: the health entry and calls are answered
    // meanwhile. Each slow client is answered 408 when its deadline passes; the idle
    // connections that waited longest are closed; bodies beyond the memory the
    // server gives to bodies being received are refused with 503; a client that does
    // not read its answer is cut off when its writes' allowance runs out, and the
    // serving thread it held serves again. The slow clients stop sending a second
    // in, well before the deadlines waited for (2 s): a client still sending when its
    // connection is closed gets a reset, which can destroy the 408 before it is read.
    void slowClientsDoNotStopTheServer_data()
    {
        QTest::addColumn<QByteArray>("start"); // sent a byte at a time, or at once, then `more` each round
        QTest::addColumn<bool>("headersAtOnce");
        QTest::addColumn<QByteArray>("more");
        QTest::addColumn<int>("clients");
        QTest::addColumn<QStringList>("serverArgs"); // the options of the row's server; none: the fixture's
        QTest::addColumn<int>("answeredWithinMs");   // a liveness bound, far above a free server's time
        QTest::addColumn<QString>("then");           // what the slow clients meet; empty: not waited for
        const QByteArray json = "Content-Type: application/json\r\n";
        const QByteArray te = "Transfer-Encoding: chunked\r\n";
        const QByteArray large = QByteArray(1200 * 1024, 'x'); // above what a serving thread once waited for
        const QStringList twoMb = {QStringLiteral("--max-body-mb"), QStringLiteral("2")};
        // Deadlines short enough to wait for, beyond the second the slow clients send.
        const QStringList deadlines = twoMb
                                      + QStringList{QStringLiteral("--deadline"), QStringLiteral("header_deadline_s=2"),
                                                    QStringLiteral("--deadline"), QStringLiteral("body_deadline_s=2")};
        Filter years;
        years.dtIni = QStringLiteral("2100-01-01");
        years.dtFin = QStringLiteral("9999-12-31");
        years.situations = QStringLiteral("T");
        const QByteArray longPreview = request(QStringLiteral("GetFaturamento"), years.params());
        auto row = [](const char *name, const QByteArray &start, bool atOnce, const QByteArray &more, int clients,
                      const QStringList &serverArgs, int within, const char *then) {
            QTest::newRow(name) << start << atOnce << more << clients << serverArgs << within
                                << QString::fromLatin1(then);
        };
        row("headers", "POST /FAS09600.rdmFaturamento HTTP/1.1\r\nX-Slow: ", false, "a", 24, deadlines, 5000, "408");
        row("small body", rawPost(json + "Content-Length: 5000\r\n"), true, "a", 24, {}, 5000, "");
        row("small chunked body", rawPost(json + te) + "1388\r\n", true, "a", 24, {}, 5000, "");
        row("large body", rawPost(json + "Content-Length: 1572864\r\n") + large, true, "a", 24, deadlines, 5000,
            "408 body");
        row("large chunked body",
            rawPost(json + te) + QByteArray::number(large.size(), 16) + "\r\n" + large + "\r\n1388\r\n", true, "a", 24,
            twoMb, 5000, "");
        row("large bodies beyond the memory for bodies", rawPost(json + "Content-Length: 1572864\r\n") + large, true,
            "a", 1, twoMb + QStringList{QStringLiteral("--body-memory-mb"), QStringLiteral("2")}, 5000, "503");
        // 8 serving threads and 128 connection threads beyond them.
        row("idle connections above the connection threads", "GET /health HTTP/1.1\r\nHost: a\r\n\r\n", true, {}, 140,
            {}, 5000, "closed");
        // The one serving thread answers the health entry once the reader is cut off:
        // after the answer's wait (1 s here), and a second for each 64 KB the system
        // took of the answer (little: the reader's window is small), not after the
        // wait for one write (120 s by default): no write waits inside the system.
        row("answer not read",
            rawPost(json + "Content-Length: " + QByteArray::number(longPreview.size()) + "\r\n", longPreview), true, {},
            1,
            {QStringLiteral("--threads"), QStringLiteral("1"), QStringLiteral("--deadline"),
             QStringLiteral("answer_wait_s=1")},
            60000, "cut");
    }

    void slowClientsDoNotStopTheServer()
    {
        QFETCH(QByteArray, start);
        QFETCH(bool, headersAtOnce);
        QFETCH(QByteArray, more);
        QFETCH(int, clients);
        QFETCH(QStringList, serverArgs);
        QFETCH(int, answeredWithinMs);
        QFETCH(QString, then);
        if (then == QLatin1String("cut")) {
            if (m_backend != Backend::Sqlite)
                QSKIP("the writes' allowance does not depend on the database kind: covered by the SQLite run");
            QVERIFY(insertMonthlyRows(20000, QString(300, u'b'))); // an answer of more than 8 MB
        }
        AppServerProcess *server = serverArgs.isEmpty() ? &m_server : serverWith(serverArgs);
        QVERIFY(server);
        const int port = server->port();
        std::vector<int> sockets;
        for (int i = 0; i < clients; ++i) {
            const int sock = RawHttp::connectTo(port, then == QLatin1String("cut"));
            QVERIFY(sock >= 0);
            sockets.push_back(sock);
        }
        const auto closeAll = qScopeGuard([&sockets] {
            for (int sock : sockets)
                ::close(sock);
        });
        SlowClients trickle(
            sockets,
            [&](int i) {
                return headersAtOnce ? (i == 0 ? start : more) : (i < start.size() ? start.mid(i, 1) : more);
            },
            std::chrono::seconds(1));
        // The slow clients have begun: several rounds have reached the server (on a
        // loaded machine, their second may be over first).
        QTRY_VERIFY(trickle.rounds() >= 3 || trickle.ended());
        for (int i = 0; i < 5; ++i) {
            QElapsedTimer timer;
            timer.start();
            httplib::Client client("127.0.0.1", port);
            client.set_read_timeout(answeredWithinMs / 1000 + 30, 0);
            auto health = client.Get("/health");
            QVERIFY(health && health->status == 200);
            // Generous for a loaded machine; a blocked server waits for the slow clients (10 s or more).
            QVERIFY2(timer.elapsed() < answeredWithinMs, qPrintable(QString::number(timer.elapsed())));
            QVERIFY(post(port, request(QStringLiteral("GetFaturamento"), Filter().params())).hasResult());
        }
        trickle.stop();
        if (then == QLatin1String("408")) {
            QCOMPARE(RawHttp::readAnswer(sockets.front(), 30000).status, 408);
        } else if (then == QLatin1String("408 body") && m_backend == Backend::Sqlite) {
            const RawHttp::Answer late = RawHttp::readAnswer(sockets.front(), 30000);
            QCOMPARE(late.status, 408);
            QVERIFY2(QJsonDocument::fromJson(late.body)
                         .object()
                         .value(QStringLiteral("error"))
                         .toObject()
                         .value(QStringLiteral("message"))
                         .toString()
                         .contains(QStringLiteral("não chegou inteiro em 2 segundos")),
                     late.body.constData());
        } else if (then == QLatin1String("closed")) {
            const int connectionThreads = 8 + 128;
            int closed = 0;
            for (int sock : sockets)
                closed += RawHttp::closedByPeer(sock) ? 1 : 0;
            QVERIFY2(closed >= clients - connectionThreads, qPrintable(QString::number(closed)));
        } else if (then == QLatin1String("cut")) {
            const RawHttp::Answer cut = RawHttp::readAnswer(sockets.front(), 30000);
            QCOMPARE(cut.status, 200);
            QVERIFY2(cut.body.size() > 0 && !cut.body.endsWith("0\r\n\r\n"),
                     qPrintable(QString::number(cut.body.size())));
            QVERIFY(RawHttp::closedByPeer(sockets.front()));
        } else if (then == QLatin1String("503")) {
            const QByteArray body = paddedGeneration(1024 * 1024);
            const RawHttp::Answer refused = RawHttp::exchange(
                port,
                rawPost("Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n",
                        body));
            QCOMPARE(refused.status, 503);
            const QJsonObject error =
                QJsonDocument::fromJson(refused.body).object().value(QStringLiteral("error")).toObject();
            QCOMPARE(error.value(QStringLiteral("code")).toInt(), -32020);
            QVERIFY2(error.value(QStringLiteral("message")).toString().contains(QStringLiteral("memória livre")),
                     refused.body.constData());
            expectUnchangedBilling();
        }
    }

    // 512 MB sent chunked, as a stream: the server stops reading at its limit and
    // answers 413 (bench/bench_server_memory.sh shows that it does not grow).
    void hugeChunkedStreamIsStoppedAtTheLimit()
    {
        const RawHttp::Answer answer = RawHttp::streamChunked(
            m_server.port(), rawPost("Content-Type: application/json\r\nTransfer-Encoding: chunked\r\n"),
            qint64(512) << 20, 65536);
        QCOMPARE(answer.status, 413);
        expectUnchangedBilling();
        QVERIFY(serverServes());
    }

    void halfClosedConnectionGetsItsAnswer()
    {
        const QByteArray body = request(QStringLiteral("GetFaturamento"), Filter().params());
        const RawHttp::Answer answer = RawHttp::exchange(
            m_server.port(),
            rawPost("Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n",
                    body),
            true);
        QCOMPARE(answer.status, 200);
        QVERIFY2(QJsonDocument::fromJson(answer.body).object().contains(QStringLiteral("result")),
                 answer.body.left(300));
    }

    void unknownPathAndHealth()
    {
        httplib::Client client("127.0.0.1", m_server.port());
        auto missing = client.Get("/outra-coisa");
        QVERIFY(missing);
        QCOMPARE(missing->status, 404);
        QVERIFY(QJsonDocument::fromJson(QByteArray::fromStdString(missing->body))
                    .object()
                    .contains(QStringLiteral("error")));
        auto health = client.Get("/health");
        QVERIFY(health);
        QCOMPARE(health->status, 200);
        const QJsonObject status = QJsonDocument::fromJson(QByteArray::fromStdString(health->body)).object();
        QCOMPARE(status.value(QStringLiteral("status")).toString(), QStringLiteral("ok"));
        QCOMPARE(status.value(QStringLiteral("database")).toString(),
                 m_backend == Backend::Sqlite ? QStringLiteral("sqlite") : QStringLiteral("postgresql"));
    }

    // The client a run names: the connection's peer, or behind a trusted proxy the
    // client the proxy names (the right-most address that is no trusted proxy).
    void clientAddress_data()
    {
        QTest::addColumn<QString>("trusted");
        QTest::addColumn<QByteArray>("headers");
        QTest::addColumn<QString>("client");
        const QString local = QStringLiteral("127.0.0.1");
        QTest::newRow("no trusted proxy") << "" << QByteArray("X-Forwarded-For: 203.0.113.7\r\n") << local;
        QTest::newRow("a peer not trusted") << "10.9.9.9" << QByteArray("X-Real-IP: 203.0.113.7\r\n") << local;
        QTest::newRow("trusted, forged hops on the left")
            << local << QByteArray("X-Forwarded-For: 198.51.100.1, 203.0.113.7\r\n") << "203.0.113.7";
        QTest::newRow("trusted, two proxies")
            << "127.0.0.1,10.0.0.2" << QByteArray("X-Forwarded-For: 203.0.113.7\r\nX-Forwarded-For: 10.0.0.2\r\n")
            << "203.0.113.7";
        QTest::newRow("trusted, X-Real-IP") << local << QByteArray("X-Real-IP: 2001:db8::9\r\n") << "2001:db8::9";
        QTest::newRow("trusted, not an address") << local << QByteArray("X-Forwarded-For: nao-e-ip\r\n") << local;
    }

    void clientAddress()
    {
        QFETCH(QString, trusted);
        QFETCH(QByteArray, headers);
        QFETCH(QString, client);
        AppServerProcess *server = serverWith(
            trusted.isEmpty() ? QStringList{} : QStringList{QStringLiteral("--trusted-proxies"), trusted});
        QVERIFY(server);
        const QByteArray refused = R"({"jsonrpc":"2.0","id":1,"method":"GeraNF","params":[]})";
        RawHttp::exchange(server->port(), rawPost("Content-Type: application/json\r\n" + headers + "Content-Length: "
                                                      + QByteArray::number(refused.size()) + "\r\n",
                                                  refused));
        QCOMPARE(scalar(QStringLiteral("SELECT NRIPCLIENTE FROM EXECFAT")).toString(), client);
    }

    void bearerToken_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("right token") << QByteArray("Bearer c3rto-Tok3n%41") << true;
        QTest::newRow("no header") << QByteArray() << false;
        QTest::newRow("wrong token") << QByteArray("Bearer errado") << false;
        QTest::newRow("token with a tail") << QByteArray("Bearer c3rto-Tok3n%41X") << false;
        QTest::newRow("token cut short") << QByteArray("Bearer c3rto-Tok3n%4") << false;
        QTest::newRow("other scheme") << QByteArray("Basic c3rto-Tok3n%41") << false;
        QTest::newRow("escape decoded by the client") << QByteArray("Bearer c3rto-Tok3nA") << false;
        QTest::newRow("letter escaped by the client") << QByteArray("Bearer c3rto-Tok3%6E%41") << false;
        QTest::newRow("scheme in lower case") << QByteArray("bearer c3rto-Tok3n%41") << true;
        QTest::newRow("scheme in capitals, two spaces") << QByteArray("BEARER  c3rto-Tok3n%41") << true;
        QTest::newRow("scheme alone") << QByteArray("Bearer ") << false;
    }

    void bearerToken()
    {
        AppServerProcess &guarded = m_tokenServer; // started at the first row, stopped at the end
        startTokenServer();
        QFETCH(QByteArray, header);
        QFETCH(bool, accepted);
        httplib::Headers headers;
        if (!header.isEmpty())
            headers.emplace("Authorization", header.toStdString());
        const Answer answer = post(guarded.port(), request(QStringLiteral("GetFaturamento"), Filter().params()),
                                   headers);
        if (accepted) {
            QCOMPARE(answer.status, 200);
            QVERIFY(answer.hasResult());
        } else {
            QCOMPARE(answer.status, 401);
            QCOMPARE(answer.errorCode(), -32001);
        }
        // The health entry needs no token, but tells a caller without a valid one
        // only that the server answers; with one, what it runs on.
        httplib::Client client("127.0.0.1", guarded.port());
        auto health = header.isEmpty() ? client.Get("/health")
                                       : client.Get("/health", {{"Authorization", header.toStdString()}});
        QVERIFY(health && health->status == 200);
        const QJsonObject status = QJsonDocument::fromJson(QByteArray::fromStdString(health->body)).object();
        QCOMPARE(status.value(QStringLiteral("status")).toString(), QStringLiteral("ok"));
        QCOMPARE(status.contains(QStringLiteral("database")), accepted);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    return runOnBothDatabases<TstServerFrontDoor>(argc, argv);
}

#include "tst_serverfrontdoor.moc"
