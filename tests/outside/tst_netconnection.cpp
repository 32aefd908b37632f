#include <QtTest>

#include <cmath>

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "AppServerProcess.h"
#include "Consiste.h"
#include "DataPacket.h"
#include "RemoteCallError.h"
#include "TClientDataSet.h"
#include "TNetConnection.h"

// TNetConnection against a real application server process on loopback.
class TstNetConnection : public QObject
{
    Q_OBJECT

    AppServerProcess m_server;
    AppServerProcess m_tokenServer;
    QString m_token = QStringLiteral("s3cr3t-tok3n");

    static QList<RemoteArgument> defaultFilter()
    {
        return {RemoteArgument::date(QDateTime(QDate(2008, 1, 1), QTime(0, 0), Qt::UTC)),
                RemoteArgument::date(QDateTime(QDate::currentDate(), QTime(0, 0), Qt::UTC)),
                RemoteArgument::text(QStringLiteral("_6_")),
                RemoteArgument::text(QString()),
                RemoteArgument::text(QStringLiteral("T")),
                RemoteArgument::text(QString()),
                RemoteArgument::text(QStringLiteral("T")),
                RemoteArgument::text(QStringLiteral("_P_")),
                RemoteArgument::text(QStringLiteral("T"))};
    }

    void pointAt(TNetConnection &net, const AppServerProcess &server)
    {
        net.SetHost(server.host());
        net.SetPort(server.port());
    }

    static void expectError(const std::function<void()> &action, RemoteCallError::Reason reason,
                            const QStringList &mustContain, int serverCode = 0)
    {
        try {
            action();
            QFAIL("the call succeeded");
        } catch (const RemoteCallError &error) {
            QCOMPARE(int(error.reason()), int(reason));
            for (const QString &part : mustContain)
                QVERIFY2(error.message().contains(part), qPrintable(error.message() + " lacks " + part));
            if (serverCode != 0)
                QCOMPARE(error.serverCode(), serverCode);
        }
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_server.prepareDemoDatabase(), qPrintable(m_server.errorText()));
        QVERIFY2(m_server.start(), qPrintable(m_server.errorText()));

        m_tokenServer.setDatabaseUrl(m_server.databaseUrl());
        QFile tokenFile(m_tokenServer.tempPath(QStringLiteral("token")));
        QVERIFY(tokenFile.open(QIODevice::WriteOnly));
        tokenFile.write(m_token.toUtf8() + "\n");
        tokenFile.close();
        QVERIFY2(m_tokenServer.start({QStringLiteral("--token-file"), tokenFile.fileName()}),
                 qPrintable(m_tokenServer.errorText()));
    }

    void beforeConnectSetsTheAddressOnEveryConnect()
    {
        TNetConnection net;
        net.SetTimeoutMs(5000);
        int calls = 0;
        int port = m_server.port();
        connect(&net, &TNetConnection::BeforeConnect, this, [&](TNetConnection *sender) {
            ++calls;
            sender->SetHost(QStringLiteral("127.0.0.1"));
            sender->SetPort(port);
        });
        net.SetHost(QStringLiteral("designed.invalid"));
        net.SetConnected(true);
        QVERIFY(net.Connected());
        QCOMPARE(calls, 1);
        net.SetConnected(true); // already connected: no new connect
        QCOMPARE(calls, 1);

        net.SetConnected(false);
        QVERIFY(!net.Connected());
        port = AppServerProcess::freePort(); // the configuration changed meanwhile
        expectError([&] { net.SetConnected(true); }, RemoteCallError::Reason::Refused,
                    {QStringLiteral("127.0.0.1:%1").arg(port), QStringLiteral("recusada")});
        QCOMPARE(calls, 2);
        QVERIFY(!net.Connected());
    }

    void callReturnsAPacket()
    {
        TNetConnection net;
        pointAt(net, m_server);
        net.Open();
        const QByteArray packet = Consiste::CheckResultServ(net.Call(QStringLiteral("GetFaturamento"), defaultFilter()), true, 0);
        const TRecordStore rows = DataPacket::decode(packet);
        QCOMPARE(rows.fieldCount(), 28);
        QVERIFY(rows.rowCount() > 0);
        // The kept-alive connection serves a second call.
        const TRemoteValue again = net.Call(QStringLiteral("GetFaturamento"), defaultFilter());
        QCOMPARE(again.json(), packet);
    }

    void serverErrors_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<int>("argumentCount");
        QTest::addColumn<int>("code");
        QTest::newRow("unknown method") << "MetodoInexistente" << 0 << -32601;
        QTest::newRow("too few arguments") << "GetFaturamento" << 2 << -32602;
        QTest::newRow("batch missing") << "GeraNF" << 0 << -32602;
    }

    void serverErrors()
    {
        QFETCH(QString, method);
        QFETCH(int, argumentCount);
        QFETCH(int, code);
        TNetConnection net;
        pointAt(net, m_server);
        net.Open();
        const QList<RemoteArgument> args = defaultFilter().mid(0, argumentCount);
        expectError([&] { net.Call(method, args); }, RemoteCallError::Reason::ServerError,
                    {net.Address(), method}, code);
        // The connection and the server go on serving.
        QVERIFY(!net.Call(QStringLiteral("GetFaturamento"), defaultFilter()).isEmpty());
    }

    void refusedConnectionNamesTheAddress()
    {
        TNetConnection net;
        net.SetHost(QStringLiteral("127.0.0.1"));
        net.SetPort(AppServerProcess::freePort());
        expectError([&] { net.Open(); }, RemoteCallError::Reason::Refused,
                    {net.Address(), QStringLiteral("Verifique")});
    }

    void silentServerTimesOutWhileTheEventLoopRuns()
    {
        QTcpServer silent; // accepts connections and never answers
        QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
        TNetConnection net;
        net.SetHost(QStringLiteral("127.0.0.1"));
        net.SetPort(silent.serverPort());
        net.SetTimeoutMs(700);
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
        ticker.start(20);
        expectError([&] { net.Open(); }, RemoteCallError::Reason::TimedOut,
                    {net.Address(), QStringLiteral("não respondeu")});
        QVERIFY2(ticks > 3, "the caller's event loop stood still during the call");
    }

    void secondCallWhileOneWaitsIsRefused()
    {
        // A peer that is healthy but never answers a call.
        QTcpServer stalling;
        QVERIFY(stalling.listen(QHostAddress::LocalHost, 0));
        QList<QTcpSocket *> peers;
        connect(&stalling, &QTcpServer::newConnection, this, [&] {
            while (QTcpSocket *peer = stalling.nextPendingConnection()) {
                peers << peer;
                connect(peer, &QTcpSocket::readyRead, peer, [peer] {
                    if (peer->peek(4) == "GET ") {
                        peer->readAll();
                        peer->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 15\r\n\r\n"
                                    "{\"status\":\"ok\"}");
                    }
                });
            }
        });
        TNetConnection net;
        net.SetHost(QStringLiteral("127.0.0.1"));
        net.SetPort(stalling.serverPort());
        net.SetTimeoutMs(800);
        net.Open();

        bool secondRefused = false;
        QTimer::singleShot(100, this, [&] {
            try {
                net.Call(QStringLiteral("GetFaturamento"), defaultFilter());
            } catch (const RemoteCallError &error) {
                secondRefused = error.reason() == RemoteCallError::Reason::Busy
                                && error.message().contains(net.Address());
            }
        });
        expectError([&] { net.Call(QStringLiteral("GetFaturamento"), defaultFilter()); },
                    RemoteCallError::Reason::TimedOut, {net.Address(), QStringLiteral("GetFaturamento")});
        QVERIFY(secondRefused);
        qDeleteAll(peers);
    }

    // Answers as a server may send them, each read into the receive buffer and
    // parsed once; those the DOM cannot read faithfully are read as text.
    void answers_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("chunked");
        QTest::addColumn<double>("value");     // VR of the packet's one row, when it loads
        QTest::addColumn<int>("reason");       // -1: loads; else the RemoteCallError reason
        QTest::addColumn<QString>("mention");
        const auto answer = [](const QByteArray &number) {
            return QByteArray(R"({"jsonrpc":"2.0","id":1,"result":{"fields":[{"name":"VR","type":"float","size":0,)"
                              R"("fixed":false}],"rows":[[)") + number + "]]}}";
        };
        using R = RemoteCallError::Reason;
        QTest::newRow("packet with a length") << answer("1234.5") << false << 1234.5 << -1 << "";
        QTest::newRow("packet in chunks") << answer("1234.5") << true << 1234.5 << -1 << "";
        QTest::newRow("result before id") << QByteArray(R"({"jsonrpc":"2.0","result":{"fields":[{"name":"VR","type":"float"}],)"
                                                        R"("rows":[[2]]},"id":1})")
                                          << false << 2.0 << -1 << "";
        QTest::newRow("negative zero keeps its sign") << answer("-0") << false << -0.0 << -1 << "";
        QTest::newRow("negative zero in chunks") << answer("-0") << true << -0.0 << -1 << "";
        QTest::newRow("integer beyond 64 bits") << answer("123456789012345678901234567890") << false
                                                << 123456789012345678901234567890.0 << -1 << "";
        QTest::newRow("error object") << QByteArray(R"({"jsonrpc":"2.0","id":1,"error":{"code":-32001,"message":"Sem dados"}})")
                                      << false << 0.0 << int(R::ServerError) << "Sem dados";
        QTest::newRow("answer cut short") << answer("1").left(60) << true << 0.0 << int(R::BadAnswer) << "resposta inválida";
        QTest::newRow("not JSON") << QByteArray("<html>erro</html>") << false << 0.0 << int(R::BadAnswer) << "HTTP 200";
        QTest::newRow("no result") << QByteArray(R"({"jsonrpc":"2.0","id":1})") << false << 0.0 << int(R::BadAnswer)
                                   << "sem resultado";
    }

    void answers()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, chunked);
        QFETCH(double, value);
        QFETCH(int, reason);
        QFETCH(QString, mention);

        QTcpServer peer;
        QVERIFY(peer.listen(QHostAddress::LocalHost, 0));
        QList<QTcpSocket *> sockets;
        connect(&peer, &QTcpServer::newConnection, this, [&] {
            while (QTcpSocket *socket = peer.nextPendingConnection()) {
                sockets << socket;
                connect(socket, &QTcpSocket::readyRead, socket, [socket, &body, chunked] {
                    const QByteArray data = socket->readAll();
                    if (data.startsWith("GET ")) {
                        socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 15\r\n\r\n"
                                      "{\"status\":\"ok\"}");
                    } else if (data.startsWith("POST ")) {
                        if (!chunked) {
                            socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: "
                                          + QByteArray::number(body.size()) + "\r\n\r\n" + body);
                        } else {
                            socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                                          "Transfer-Encoding: chunked\r\n\r\n");
                            for (qsizetype at = 0; at < body.size(); at += 7) {
                                const QByteArray piece = body.mid(at, 7);
                                socket->write(QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n");
                            }
                            socket->write("0\r\n\r\n");
                        }
                    }
                });
            }
        });
        TNetConnection net;
        net.SetHost(QStringLiteral("127.0.0.1"));
        net.SetPort(peer.serverPort());
        net.SetTimeoutMs(5000);
        net.Open();
        if (reason >= 0) {
            expectError([&] { net.Call(QStringLiteral("GetFaturamento"), defaultFilter()); },
                        RemoteCallError::Reason(reason), {net.Address(), mention});
        } else {
            TClientDataSet dataSet;
            dataSet.SetData(Consiste::CheckResultServ(net.Call(QStringLiteral("GetFaturamento"), defaultFilter()), true, 0));
            QCOMPARE(dataSet.RecordCount(), 1);
            const double got = dataSet.Fields(0)->AsFloat();
            QCOMPARE(got, value);
            QCOMPARE(std::signbit(got), std::signbit(value));
        }
        qDeleteAll(sockets);
    }

    void callWithoutConnectionIsRefused()
    {
        TNetConnection net;
        pointAt(net, m_server);
        expectError([&] { net.Call(QStringLiteral("GetFaturamento"), defaultFilter()); },
                    RemoteCallError::Reason::NotConnected, {net.Address(), QStringLiteral("GetFaturamento")});
    }

    void bearerToken_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("right") << m_token << true;
        QTest::newRow("wrong") << "outro" << false;
        QTest::newRow("none") << "" << false;
    }

    void bearerToken()
    {
        QFETCH(QString, token);
        QFETCH(bool, accepted);
        TNetConnection net;
        pointAt(net, m_tokenServer);
        net.SetBearerToken(token);
        try {
            net.Open();
            const QByteArray packet = Consiste::CheckResultServ(
                net.Call(QStringLiteral("GetFaturamento"), defaultFilter()), true, 0);
            QVERIFY2(accepted, "a call without the right token was served");
            QVERIFY(!packet.isEmpty());
        } catch (const RemoteCallError &error) {
            QVERIFY2(!accepted, qPrintable(error.message()));
            QVERIFY(error.message().contains(net.Address()));
        }
    }
};

QTEST_GUILESS_MAIN(TstNetConnection)
#include "tst_netconnection.moc"
