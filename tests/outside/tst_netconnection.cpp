#include <QtTest>

#include <cmath>
#include <thread>

#include <httplib.h>

#include <QFile>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "tests/support/AppServerProcess.h"
#include "outside/services/Consiste.h"
#include "platform/data/DataPacket.h"
#include "platform/data/FasError.h"
#include "outside/services/HostConfig.h"
#include "outside/net/RemoteCallError.h"
#include "tests/support/SecretFile.h"
#include "platform/data/TClientDataSet.h"
#include "outside/net/TNetConnection.h"

// TNetConnection against a real application server process on loopback.
class TstNetConnection : public QObject
{
    Q_OBJECT

    AppServerProcess m_server;
    AppServerProcess m_tokenServer;
    QString m_token = QStringLiteral("s3cr3t-tok3n");
    QTemporaryDir m_pki;                       // a test CA, a certificate it signs for 127.0.0.1, and another CA
    std::unique_ptr<httplib::SSLServer> m_tls; // HTTPS in front of the token server
    std::thread m_tlsThread;
    int m_tlsPort = 0;
    std::unique_ptr<httplib::SSLServer> m_cnOnly; // a certificate of the right CA naming 127.0.0.1 only by its CN
    std::thread m_cnOnlyThread;
    int m_cnOnlyPort = 0;

    QString pki(const char *name) const { return m_pki.filePath(QString::fromLatin1(name)); }

    static bool openssl(const QStringList &arguments)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("openssl"), arguments);
        return process.waitForFinished(60000) && process.exitCode() == 0;
    }

    bool makeCertificates()
    {
        const auto ca = [this](const char *key, const char *cert, const QString &subject) {
            return openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", subject, "-keyout",
                            pki(key), "-out", pki(cert)});
        };
        QFile san(pki("san.ext"));
        if (!san.open(QIODevice::WriteOnly))
            return false;
        san.write("subjectAltName=IP:127.0.0.1\n");
        san.close();
        return ca("ca.key", "ca.crt", QStringLiteral("/CN=Teste CA"))
               && ca("other.key", "other.crt", QStringLiteral("/CN=Outra CA"))
               && openssl({"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout",
                           pki("server.key"), "-out", pki("server.csr")})
               && openssl({"x509", "-req", "-in", pki("server.csr"), "-CA", pki("ca.crt"), "-CAkey", pki("ca.key"),
                           "-CAcreateserial", "-days", "2", "-extfile", pki("san.ext"), "-out", pki("server.crt")})
               && openssl({"x509", "-req", "-in", pki("server.csr"), "-CA", pki("ca.crt"), "-CAkey", pki("ca.key"),
                           "-CAcreateserial", "-days", "2", "-out", pki("cn-only.crt")});
    }

    // An HTTPS server that hands each request, Authorization included, to the token server.
    bool startTlsFront()
    {
        m_tls = std::make_unique<httplib::SSLServer>(pki("server.crt").toLocal8Bit().constData(),
                                                     pki("server.key").toLocal8Bit().constData());
        if (!m_tls->is_valid())
            return false;
        const int backend = m_tokenServer.port();
        m_tls->Get("/health", [backend](const httplib::Request &, httplib::Response &res) {
            httplib::Client client("127.0.0.1", backend);
            if (auto answer = client.Get("/health")) {
                res.status = answer->status;
                res.set_content(answer->body, "application/json");
            }
        });
        m_tls->Post("/FAS09600.rdmFaturamento", [backend](const httplib::Request &req, httplib::Response &res) {
            httplib::Client client("127.0.0.1", backend);
            httplib::Headers headers;
            if (req.has_header("Authorization"))
                headers.emplace("Authorization", req.get_header_value("Authorization"));
            if (auto answer = client.Post("/FAS09600.rdmFaturamento", headers, req.body, "application/json")) {
                res.status = answer->status;
                res.set_content(answer->body, "application/json");
            }
        });
        m_tlsPort = m_tls->bind_to_any_port("127.0.0.1");
        m_tlsThread = std::thread([this] { m_tls->listen_after_bind(); });
        m_cnOnly = std::make_unique<httplib::SSLServer>(pki("cn-only.crt").toLocal8Bit().constData(),
                                                        pki("server.key").toLocal8Bit().constData());
        m_cnOnlyPort = m_cnOnly->bind_to_any_port("127.0.0.1");
        m_cnOnlyThread = std::thread([this] { m_cnOnly->listen_after_bind(); });
        return m_tlsPort > 0 && m_cnOnlyPort > 0;
    }

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
        const QString tokenFile = m_tokenServer.tempPath(QStringLiteral("token"));
        QVERIFY(writeSecretFile(tokenFile, m_token.toUtf8() + "\n"));
        QVERIFY2(m_tokenServer.start({QStringLiteral("--token-file"), tokenFile}),
                 qPrintable(m_tokenServer.errorText()));
        QVERIFY(m_pki.isValid());
        QVERIFY2(makeCertificates(), "openssl could not make the test certificates");
        QVERIFY(startTlsFront());
    }

    void cleanupTestCase()
    {
        if (m_tls) {
            m_tls->stop();
            m_tlsThread.join();
        }
        if (m_cnOnly) {
            m_cnOnly->stop();
            m_cnOnlyThread.join();
        }
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
        port = AppServerProcess::unusedPort(); // the configuration changed meanwhile
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
        const QByteArray packet = Consiste::CheckResultServ(net.Call(QStringLiteral("GetFaturamento"), defaultFilter()),
                                                            true, 0);
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
        expectError([&] { net.Call(method, args); }, RemoteCallError::Reason::ServerError, {net.Address(), method},
                    code);
        // The connection and the server go on serving.
        QVERIFY(!net.Call(QStringLiteral("GetFaturamento"), defaultFilter()).isEmpty());
    }

    void refusedConnectionNamesTheAddress()
    {
        TNetConnection net;
        net.SetHost(QStringLiteral("127.0.0.1"));
        net.SetPort(AppServerProcess::unusedPort());
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
                    {net.Address(), QStringLiteral("não respondeu à conexão")});
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
        QTest::addColumn<double>("value"); // VR of the packet's one row, when it loads
        QTest::addColumn<int>(
            "reason"); // -1: loads; -2: its packet is refused when loaded; else the RemoteCallError reason
        QTest::addColumn<QString>("mention");
        const auto answer = [](const QByteArray &number) {
            return QByteArray(R"({"jsonrpc":"2.0","id":1,"result":{"fields":[{"name":"VR","type":"float","size":0,)"
                              R"("fixed":false}],"rows":[[)")
                   + number + "]]}}";
        };
        using R = RemoteCallError::Reason;
        QTest::newRow("packet with a length") << answer("1234.5") << false << 1234.5 << -1 << "";
        QTest::newRow("packet in chunks") << answer("1234.5") << true << 1234.5 << -1 << "";
        QTest::newRow("result before id")
            << QByteArray(R"({"jsonrpc":"2.0","result":{"fields":[{"name":"VR","type":"float"}],)"
                          R"("rows":[[2]]},"id":1})")
            << false << 2.0 << -1 << "";
        // No writer of the system writes -0 any more; one from an earlier server reads as 0.
        QTest::newRow("negative zero reads as zero") << answer("-0") << false << 0.0 << -1 << "";
        QTest::newRow("negative zero in chunks") << answer("-0") << true << 0.0 << -1 << "";
        QTest::newRow("integer beyond 64 bits")
            << answer("123456789012345678901234567890") << false << 123456789012345678901234567890.0 << -1 << "";
        QTest::newRow("error object") << QByteArray(
            R"({"jsonrpc":"2.0","id":1,"error":{"code":-32001,"message":"Sem dados"}})")
                                      << false << 0.0 << int(R::ServerError) << "Sem dados";
        QTest::newRow("error object read as text") // an id beyond 64 bits sends the answer to the on-demand reader
            << QByteArray(
                   R"({"jsonrpc":"2.0","id":123456789012345678901,"error":{"code":-32010,"message":"Item inexistente"}})")
            << false << 0.0 << int(R::ServerError) << "Item inexistente";
        QTest::newRow("error without a message") << QByteArray(R"({"jsonrpc":"2.0","id":1,"error":{"code":-32001}})")
                                                 << false << 0.0 << int(R::BadAnswer) << "objeto de erro malformado";
        QTest::newRow("error as text, read as text")
            << QByteArray(R"({"jsonrpc":"2.0","id":123456789012345678901,"error":"falhou"})") << false << 0.0
            << int(R::BadAnswer) << "objeto de erro malformado";
        QTest::newRow("answer cut short")
            << answer("1").left(60) << true << 0.0 << int(R::BadAnswer) << "resposta inválida";
        QTest::newRow("error after the result")
            << answer("1").chopped(1) + R"(,"error":{"code":-32001,"message":"Sem dados"}})" << true << 0.0
            << int(R::ServerError) << "Sem dados";
        QTest::newRow("cut short inside a row")
            << answer("1234.5").chopped(5) << true << 0.0 << int(R::BadAnswer) << "resposta inválida";
        QTest::newRow("row of the wrong width")
            << answer("1,2") << true << 0.0 << -2 << "Pacote de dados inválido: linha 1: mais de 1 valores";
        QTest::newRow("row that is not JSON")
            << answer("1 2") << true << 0.0 << -2 << "Pacote de dados inválido: linha 1";
        QTest::newRow("not JSON") << QByteArray("<html>erro</html>") << false << 0.0 << int(R::BadAnswer) << "HTTP 200";
        QTest::newRow("no result") << QByteArray(R"({"jsonrpc":"2.0","id":1})") << false << 0.0 << int(R::BadAnswer)
                                   << "sem resultado";
        // Whole answers of a proxy in front (nginx's own pages); a row named "generation" calls GeraNF.
        const auto page = [](const QByteArray &status, const QByteArray &title) {
            const QByteArray html = "<html>\r\n<head><title>" + title + "</title></head>\r\n<body>\r\n<center><h1>"
                                    + title + "</h1></center>\r\n<hr><center>nginx</center>\r\n</body>\r\n</html>\r\n";
            return "HTTP/1.1 " + status + "\r\nServer: nginx\r\nContent-Type: text/html\r\nContent-Length: "
                   + QByteArray::number(html.size()) + "\r\n\r\n" + html;
        };
        QTest::newRow("proxy without its server")
            << page("502 Bad Gateway", "502 Bad Gateway") << false << 0.0 << int(R::Transport) << "através do proxy";
        QTest::newRow("generation through a proxy that gave up")
            << page("504 Gateway Time-out", "504 Gateway Time-out") << false << 0.0 << int(R::Transport)
            << "confira a prévia antes de repeti-la";
        QTest::newRow("plain http to a TLS port")
            << page("400 Bad Request", "400 The plain HTTP request was sent to HTTPS port") << false << 0.0
            << int(R::Configuration) << "use o endereço com https://";
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
                        if (body.startsWith("HTTP/")) {
                            socket->write(body);
                        } else if (!chunked) {
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
        const QString method = QString::fromLatin1(QTest::currentDataTag()).startsWith(QLatin1String("generation"))
                                   ? QStringLiteral("GeraNF")
                                   : QStringLiteral("GetFaturamento");
        if (reason >= 0) {
            expectError([&] { net.Call(method, defaultFilter()); }, RemoteCallError::Reason(reason),
                        {net.Address(), mention});
        } else if (reason == -2) {
            // Read as it arrived, refused with the words the whole packet's reader uses.
            const auto refusal = [](const TDataPacket &packet) {
                try {
                    packet.decode();
                } catch (const PacketError &error) {
                    return error.message();
                }
                return QString();
            };
            const QString streamed = refusal(
                Consiste::CheckResultServ(net.Call(QStringLiteral("GetFaturamento"), defaultFilter()), true, 0));
            QCOMPARE(streamed, refusal(TDataPacket(body.mid(body.indexOf("\"result\":") + 9).chopped(1))));
            QVERIFY2(streamed.startsWith(mention), qPrintable(streamed));
        } else {
            TClientDataSet dataSet;
            dataSet.SetData(
                Consiste::CheckResultServ(net.Call(QStringLiteral("GetFaturamento"), defaultFilter()), true, 0));
            QCOMPARE(dataSet.RecordCount(), 1);
            const double got = dataSet.Fields(0)->AsFloat();
            QCOMPARE(got, value);
            QCOMPARE(std::signbit(got), std::signbit(value));
        }
        qDeleteAll(sockets);
    }

    // A call whose answer is lost after it was sent is sent again with the same
    // Idempotency-Key, and the answer that then comes is the call's; every call
    // gets a key of its own.
    void unknownOutcomeIsSentAgainWithTheSameKey_data()
    {
        QTest::addColumn<QByteArray>("firstAnswer"); // empty: the connection is dropped
        QTest::newRow("connection dropped") << QByteArray();
        QTest::newRow("502 from a proxy") << QByteArray("HTTP/1.1 502 Bad Gateway\r\nContent-Length: 3\r\n\r\nbad");
        QTest::newRow("504 from a proxy") << QByteArray("HTTP/1.1 504 Gateway Timeout\r\nContent-Length: 3\r\n\r\nbad");
    }

    void unknownOutcomeIsSentAgainWithTheSameKey()
    {
        QFETCH(QByteArray, firstAnswer);
        const QByteArray body =
            R"({"jsonrpc":"2.0","id":1,"result":{"fields":[{"name":"VR","type":"float"}],"rows":[[7]]}})";
        QTcpServer peer;
        QVERIFY(peer.listen(QHostAddress::LocalHost, 0));
        QList<QTcpSocket *> sockets;
        QByteArrayList keys;
        connect(&peer, &QTcpServer::newConnection, this, [&] {
            while (QTcpSocket *socket = peer.nextPendingConnection()) {
                sockets << socket;
                connect(socket, &QTcpSocket::readyRead, socket, [&, socket] {
                    const QByteArray data = socket->readAll();
                    if (data.startsWith("GET ")) {
                        socket->write("HTTP/1.1 200 OK\r\nContent-Length: 15\r\n\r\n{\"status\":\"ok\"}");
                        return;
                    }
                    if (!data.startsWith("POST "))
                        return; // the rest of a request's body
                    const QRegularExpressionMatch key = QRegularExpression(QStringLiteral("Idempotency-Key: ([^\r]+)"))
                                                            .match(QString::fromLatin1(data));
                    keys << key.captured(1).toLatin1();
                    if (keys.size() % 2 == 1 && firstAnswer.isEmpty())
                        socket->abort();
                    else if (keys.size() % 2 == 1)
                        socket->write(firstAnswer);
                    else
                        socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: "
                                      + QByteArray::number(body.size()) + "\r\n\r\n" + body);
                });
            }
        });
        TNetConnection net;
        net.SetHost(QStringLiteral("127.0.0.1"));
        net.SetPort(peer.serverPort());
        net.SetTimeoutMs(10000);
        net.Open();
        for (int call = 0; call < 2; ++call) {
            TClientDataSet dataSet;
            dataSet.SetData(Consiste::CheckResultServ(net.Call(QStringLiteral("GeraNF"), {}), true, 0));
            QCOMPARE(dataSet.Fields(0)->AsFloat(), 7.0);
        }
        QCOMPARE(keys.size(), 4);
        QVERIFY(!keys.at(0).isEmpty());
        QCOMPARE(keys.at(1), keys.at(0));
        QCOMPARE(keys.at(3), keys.at(2));
        QVERIFY(keys.at(2) != keys.at(0));
        qDeleteAll(sockets);
    }

    void callWithoutConnectionIsRefused()
    {
        TNetConnection net;
        pointAt(net, m_server);
        expectError([&] { net.Call(QStringLiteral("GetFaturamento"), defaultFilter()); },
                    RemoteCallError::Reason::NotConnected, {net.Address(), QStringLiteral("GetFaturamento")});
    }

    // The HTTPS address with the token: each wrong piece is named so that the user
    // knows what to fix, and nothing reaches the server without it.
    void tls_data()
    {
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<bool>("plainPort");
        QTest::addColumn<QString>("caFile");
        QTest::addColumn<QString>("token");
        QTest::addColumn<int>("reason"); // -1: the call is served
        QTest::addColumn<QString>("mentions");
        using R = RemoteCallError::Reason;
        QTest::newRow("right CA and token") << "https://" << false << "ca.crt" << m_token << -1 << "";
        QTest::newRow("no token") << "https://" << false << "ca.crt"
                                  << "" << int(R::Unauthorized) << "token_file";
        QTest::newRow("wrong token") << "https://" << false << "ca.crt"
                                     << "outro" << int(R::Unauthorized) << "não é o configurado";
        QTest::newRow("certificate of another CA")
            << "https://" << false << "other.crt" << m_token << int(R::Certificate)
            << "não foi assinado pela autoridade certificadora";
        QTest::newRow("CA file missing") << "https://" << false << "nao-existe.crt" << m_token << int(R::Configuration)
                                         << "nao-existe.crt";
        QTest::newRow("https to a plain server")
            << "https://" << true << "ca.crt" << m_token << int(R::Certificate) << "conexão segura";
        QTest::newRow("scheme http to the plain server") << "http://" << true << "" << m_token << -1 << "";
        QTest::newRow("certificate with only a CN") // served on its own port
            << "https://" << false << "ca.crt" << m_token << int(R::Certificate) << "não é do endereço configurado";
        QTest::newRow("scheme http to the TLS port")
            << "http://" << false << "" << m_token << int(R::Transport) << "use https:// em web_url";
    }

    void tls()
    {
        QFETCH(QString, scheme);
        QFETCH(bool, plainPort);
        QFETCH(QString, caFile);
        QFETCH(QString, token);
        QFETCH(int, reason);
        QFETCH(QString, mentions);
        TNetConnection net;
        net.SetTimeoutMs(20000);
        net.SetHost(scheme + QStringLiteral("127.0.0.1/"));
        const bool cnOnly = QTest::currentDataTag() == QByteArray("certificate with only a CN");
        net.SetPort(plainPort ? m_tokenServer.port() : cnOnly ? m_cnOnlyPort : m_tlsPort);
        net.SetCaFile(caFile.isEmpty() ? QString() : m_pki.filePath(caFile));
        net.SetBearerToken(token);
        try {
            net.Open();
            const QByteArray packet = Consiste::CheckResultServ(
                net.Call(QStringLiteral("GetFaturamento"), defaultFilter()), true, 0);
            QVERIFY2(reason == -1, "the call was served");
            QCOMPARE(DataPacket::decode(packet).fieldCount(), 28);
        } catch (const RemoteCallError &error) {
            QVERIFY2(reason != -1, qPrintable(error.message()));
            QCOMPARE(int(error.reason()), reason);
            QVERIFY2(error.message().contains(mentions), qPrintable(error.message()));
            QVERIFY2(error.message().contains(net.Address()), qPrintable(error.message()));
        }
    }

    // A packet answer sent in pieces over time: one that keeps coming at a steady
    // rate outlives the call's deadline and loads; one that stops half way is
    // stopped by the user (Cancel, as "Cancelar" or Escape do) and leaves the rows
    // loaded before exactly as they were.
    void answerOverTime_data()
    {
        QTest::addColumn<int>("piecesSent"); // of 20, one more each 100 ms tick
        QTest::addColumn<bool>("cancelOnRows");
        QTest::newRow("slow but steady, past the deadline") << 20 << false;
        QTest::newRow("stalls half way, cancelled") << 10 << true;
    }

    void answerOverTime()
    {
        QFETCH(int, piecesSent);
        QFETCH(bool, cancelOnRows);
        // 20 pieces of 2,000 rows (about 1.2 MB a second while it flows).
        QList<QByteArray> pieces;
        for (int p = 0; p < 20; ++p) {
            QByteArray rows;
            for (int r = 0; r < 2000; ++r)
                rows += (p || r ? ",[\"" : "[\"") + QByteArray::number(p * 2000 + r).rightJustified(6, '0') + "\",1.5]";
            pieces << rows;
        }
        pieces.front().prepend(R"({"jsonrpc":"2.0","id":1,"result":{"fields":[{"name":"CD","type":"string","size":6},)"
                               R"({"name":"VR","type":"float"}],"rows":[)");
        pieces.back().append("]}}");
        QTcpServer peer;
        QVERIFY(peer.listen(QHostAddress::LocalHost, 0));
        QList<QTcpSocket *> posted;
        connect(&peer, &QTcpServer::newConnection, this, [&] {
            while (QTcpSocket *socket = peer.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [socket, &posted] {
                    const QByteArray data = socket->readAll();
                    if (data.startsWith("GET "))
                        socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 15\r\n\r\n"
                                      "{\"status\":\"ok\"}");
                    else if (data.startsWith("POST "))
                        posted << socket;
                });
            }
        });
        int next = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, this, [&] {
            for (QTcpSocket *socket : std::as_const(posted)) {
                if (next == 0)
                    socket->write(
                        "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n");
                if (next < piecesSent)
                    socket->write(QByteArray::number(pieces[next].size(), 16) + "\r\n" + pieces[next] + "\r\n");
                if (next + 1 == pieces.size() && piecesSent == pieces.size())
                    socket->write("0\r\n\r\n");
            }
            if (!posted.isEmpty())
                ++next;
        });
        tick.start(100);

        TNetConnection net;
        net.SetHost(QStringLiteral("127.0.0.1"));
        net.SetPort(peer.serverPort());
        net.SetTimeoutMs(cancelOnRows ? 60000 : 500);
        net.Open();
        TClientDataSet dataSet;
        dataSet.SetData(QByteArray(R"({"fields":[{"name":"CD","type":"string","size":6},{"name":"VR","type":"float"}],)"
                                   R"("rows":[["antes",2.5]]})"));
        int rowsSeen = 0;
        connect(&net, &TNetConnection::ReceivingRows, this, [&](int rows) {
            rowsSeen = rows;
            if (cancelOnRows && rows >= 2000 * piecesSent - 1) // the last row sent waits for its comma
                net.Cancel();
        });
        const auto load = [&] {
            dataSet.SetData(Consiste::CheckResultServ(
                net.Call(QStringLiteral("GetFaturamento"), defaultFilter(), TNetConnection::CallKind::UserMayCancel),
                true, 0));
        };
        if (cancelOnRows) {
            expectError(load, RemoteCallError::Reason::Cancelled, {net.Address(), QStringLiteral("cancelada")});
            QCOMPARE(dataSet.RecordCount(), 1);
            QCOMPARE(dataSet.Fields(0)->AsString(), QStringLiteral("antes"));
        } else {
            load();
            QCOMPARE(dataSet.RecordCount(), 40000);
            dataSet.Last();
            QCOMPARE(dataSet.Fields(0)->AsString(), QStringLiteral("039999"));
        }
        QVERIFY(rowsSeen > 0); // the rows were counted while they arrived
        net.Cancel();          // after the call: nothing to stop
    }

    // A server that answers a byte at a time never lets a call outlive its deadline,
    // and the message names that deadline.
    void tricklingServerMeetsTheWholeCallDeadline()
    {
        QTcpServer trickling;
        QVERIFY(trickling.listen(QHostAddress::LocalHost, 0));
        QList<QTcpSocket *> peers;
        QTimer drip;
        connect(&trickling, &QTcpServer::newConnection, this, [&] {
            while (QTcpSocket *peer = trickling.nextPendingConnection()) {
                peers << peer;
                connect(peer, &QTcpSocket::readyRead, peer, [peer] {
                    const bool health = peer->peek(4) == "GET ";
                    peer->readAll();
                    if (health)
                        peer->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 15\r\n\r\n"
                                    "{\"status\":\"ok\"}");
                    else
                        peer->write(
                            "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 100000\r\n\r\n");
                });
            }
        });
        connect(&drip, &QTimer::timeout, this, [&] {
            for (QTcpSocket *peer : std::as_const(peers))
                peer->write(" ");
        });
        drip.start(200);
        TNetConnection net;
        net.SetHost(QStringLiteral("127.0.0.1"));
        net.SetPort(trickling.serverPort());
        net.SetTimeoutMs(2000);
        net.Open();
        // Each byte comes well within any per-read time-out: only a deadline for the
        // whole call ends it (100 000 bytes would take over five hours); when, is
        // measured by bench/bench_slow_clients.sh.
        expectError([&] { net.Call(QStringLiteral("GetFaturamento"), defaultFilter()); },
                    RemoteCallError::Reason::TimedOut,
                    {net.Address(), QStringLiteral("GetFaturamento"), QStringLiteral("2 segundos")});
        qDeleteAll(peers);
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

    // Last: it loads a host configuration for the rest of the process. The token and
    // the CA come from its [client] section, relative to the file.
    void configurationGivesTokenAndCa()
    {
        QFile token(m_pki.filePath(QStringLiteral("client-token")));
        QVERIFY(writeSecretFile(token.fileName(), m_token.toUtf8() + "\n"));
        const QString ini = m_pki.filePath(QStringLiteral("fas.ini"));
        {
            QSettings settings(ini, QSettings::IniFormat);
            settings.setValue(QStringLiteral("client/web_url"), QStringLiteral("https://127.0.0.1"));
            settings.setValue(QStringLiteral("client/web_port"), m_tlsPort);
            settings.setValue(QStringLiteral("client/token_file"), QStringLiteral("client-token"));
            settings.setValue(QStringLiteral("client/ca_file"), QStringLiteral("ca.crt"));
        }
        HostConfig::load(ini);
        QCOMPARE(HostConfig::caFile(), pki("ca.crt"));
        TNetConnection net;
        net.SetHost(HostConfig::webUrl());
        net.SetPort(HostConfig::webPort());
        net.Open();
        QVERIFY(
            !Consiste::CheckResultServ(net.Call(QStringLiteral("GetFaturamento"), defaultFilter()), true, 0).isEmpty());

        // A token file others may read is refused, naming the chmod that fixes it;
        // one that cannot be read is named too; both before anything is sent.
        QVERIFY(token.setPermissions(token.permissions() | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        TNetConnection loose;
        loose.SetHost(HostConfig::webUrl());
        loose.SetPort(HostConfig::webPort());
        expectError([&] { loose.Open(); }, RemoteCallError::Reason::Configuration,
                    {token.fileName(), QStringLiteral("chmod 600 ") + token.fileName()});
        QVERIFY(token.remove());
        TNetConnection unreadable;
        unreadable.SetHost(HostConfig::webUrl());
        unreadable.SetPort(HostConfig::webPort());
        expectError([&] { unreadable.Open(); }, RemoteCallError::Reason::Configuration,
                    {token.fileName(), QStringLiteral("token_file")});
    }
};

QTEST_GUILESS_MAIN(TstNetConnection)
#include "tst_netconnection.moc"
