#include <QtTest>

#include <random>
#include <thread>

#include <httplib.h>
#include <openssl/ssl.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <QSqlError>
#include <QSettings>
#include <QSqlQuery>
#include <QUuid>

#include "tests/support/AppServerProcess.h"
#include "tests/support/BillingRows.h"
#include "tests/support/BooksInvariants.h"
#include "tests/support/ServerFixture.h"
#include "billing/BillingItemLayout.h"
#include "outside/services/Consiste.h"
#include "platform/data/DataPacket.h"
#include "platform/sql/DatabaseConnection.h"
#include "platform/sql/DatabaseUrl.h"
#include "outside/services/HostConfig.h"
#include "tests/support/RawHttp.h"
#include "outside/net/RemoteCallError.h"
#include "outside/net/TNetConnection.h"

// The shared installation for real: scripts/shared-install.sh starts PostgreSQL,
// two fas-appserver processes and nginx with TLS in front of them; the tests reach
// it as the desks would, and as slow or careless clients would.
namespace {

// A TLS connection spoken by hand, for requests no client library would send.
class TlsStream
{
public:
    ~TlsStream()
    {
        if (m_ssl)
            SSL_free(m_ssl);
        if (m_ctx)
            SSL_CTX_free(m_ctx);
        if (m_sock >= 0)
            ::close(m_sock);
    }
    bool open(int port, const QString &caFile)
    {
        m_sock = RawHttp::connectTo(port);
        m_ctx = SSL_CTX_new(TLS_client_method());
        if (m_sock < 0 || !m_ctx
            || SSL_CTX_load_verify_locations(m_ctx, caFile.toLocal8Bit().constData(), nullptr) != 1)
            return false;
        SSL_CTX_set_verify(m_ctx, SSL_VERIFY_PEER, nullptr);
        m_ssl = SSL_new(m_ctx);
        SSL_set_fd(m_ssl, m_sock);
        return SSL_connect(m_ssl) == 1;
    }
    bool send(const QByteArray &data)
    {
        for (qsizetype offset = 0; offset < data.size();) {
            const int sent = SSL_write(m_ssl, data.constData() + offset, int(data.size() - offset));
            if (sent <= 0)
                return false;
            offset += sent;
        }
        return true;
    }
    // Whether the server has answered already. Readable bytes may be TLS session
    // tickets only: peek without waiting to see whether data came.
    bool answerWaiting() const
    {
        pollfd fd{m_sock, POLLIN, 0};
        if (SSL_pending(m_ssl) == 0 && ::poll(&fd, 1, 0) <= 0)
            return false;
        const int flags = ::fcntl(m_sock, F_GETFL);
        ::fcntl(m_sock, F_SETFL, flags | O_NONBLOCK);
        char byte;
        const int peeked = SSL_peek(m_ssl, &byte, 1);
        ::fcntl(m_sock, F_SETFL, flags);
        return peeked > 0;
    }
    RawHttp::Answer read(int timeoutMs)
    {
        QByteArray received;
        QDeadlineTimer deadline(timeoutMs);
        char buffer[16384];
        while (!deadline.hasExpired()) {
            pollfd fd{m_sock, POLLIN, 0};
            if (SSL_pending(m_ssl) == 0 && ::poll(&fd, 1, int(qMax<qint64>(1, deadline.remainingTime()))) <= 0)
                break;
            const int got = SSL_read(m_ssl, buffer, sizeof buffer);
            if (got <= 0)
                break;
            received.append(buffer, got);
            if (received.contains("\r\n\r\n") && received.endsWith("}"))
                break;
        }
        RawHttp::Answer answer;
        const qsizetype end = received.indexOf("\r\n\r\n");
        answer.head = received.left(end);
        answer.body = end < 0 ? QByteArray() : received.mid(end + 4);
        if (received.startsWith("HTTP/1."))
            answer.status = received.mid(9, 3).toInt();
        return answer;
    }

private:
    int m_sock = -1;
    SSL_CTX *m_ctx = nullptr;
    SSL *m_ssl = nullptr;
};

// The host's connection, set up as the host sets it up from its configuration
// (HostConfig::load first).
void configureAsHost(TNetConnection &net)
{
    QObject::connect(&net, &TNetConnection::BeforeConnect, &net, [](TNetConnection *sender) {
        sender->SetHost(HostConfig::webUrl());
        sender->SetPort(HostConfig::webPort());
    });
}

// How a call ended: 0 a result, the error's code, or -1 without a JSON-RPC answer.
struct Outcome
{
    QString method;
    int code = -1;
    int rows = 0;
    QString message;
};

Outcome outcomeOf(const QString &method, const ServerTest::Answer &answer)
{
    Outcome outcome;
    outcome.method = method;
    if (answer.hasResult()) {
        outcome.code = 0;
        outcome.rows = answer.packet().rowCount();
    } else if (answer.errorCode() != 0) {
        outcome.code = answer.errorCode();
        outcome.message = answer.errorMessage();
    } else {
        outcome.message =
            QStringLiteral("HTTP %1: %2").arg(answer.status).arg(QString::fromUtf8(answer.body.left(300)));
    }
    return outcome;
}

// A bearer token and a fresh Idempotency-Key, as the host sends every call.
httplib::Headers callHeaders(const QString &token)
{
    httplib::Headers headers = ServerTest::bearer(token);
    headers.emplace("Idempotency-Key", QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString());
    return headers;
}

} // namespace

class TstSharedInstall : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QMap<QString, QString> m_settings;
    QString m_adminUrl;
    QString m_databaseName;
    bool m_started = false;
    // A server this test started in a slot's place (the script's own are not our children).
    std::unique_ptr<QProcess> m_servers[2];

    QString sharedDir() const { return m_dir.filePath(QStringLiteral("shared")); }
    int port() const { return m_settings.value(QStringLiteral("web_port")).toInt(); }
    QString caFile() const { return m_settings.value(QStringLiteral("ca_file")); }

    QProcess *script(const QStringList &arguments)
    {
        auto *process = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("FAS_SHARED_DIR"), sharedDir());
        env.insert(QStringLiteral("BUILD_DIR"), QStringLiteral(FAS_BIN_DIR "/.."));
        if (!m_databaseName.isEmpty())
            env.insert(QStringLiteral("FAS_SHARED_DATABASE_URL"), databaseUrl());
        process->setProcessEnvironment(env);
        process->start(QStringLiteral("bash"),
                       QStringList{QStringLiteral(FAS_SOURCE_DIR "/scripts/shared-install.sh")} + arguments);
        process->waitForFinished(300000);
        return process;
    }

    QString databaseUrl() const { return m_adminUrl.left(m_adminUrl.lastIndexOf(u'/') + 1) + m_databaseName; }

    // A client of nginx over TLS, checking its certificate against the installation's CA.
    std::unique_ptr<httplib::Client> proxyClient() const
    {
        auto client = std::make_unique<httplib::Client>(
            QStringLiteral("https://127.0.0.1:%1").arg(port()).toStdString());
        client->set_ca_cert_path(caFile().toStdString());
        client->enable_server_certificate_verification(true);
        client->set_read_timeout(120, 0);
        return client;
    }

    // The health entry through nginx over TLS; its time in ms, -1 when it failed.
    qint64 healthMs() const
    {
        QElapsedTimer timer;
        timer.start();
        auto answer = proxyClient()->Get("/health");
        return answer && answer->status == 200 ? timer.elapsed() : -1;
    }

    QStringList serverSlots() const
    {
        return m_settings.value(QStringLiteral("servers")).split(u' ', Qt::SkipEmptyParts);
    }

    QList<qint64> serverPids() const
    {
        QList<qint64> pids;
        for (const QString &entry : serverSlots())
            pids << entry.section(u':', 0, 0).toLongLong();
        return pids;
    }

    // Stops the server in `slot` (0 or 1); false when it did not end.
    bool stopServer(int slot)
    {
        if (auto &own = m_servers[slot]) {
            own->terminate();
            return own->waitForFinished(20000) || own->state() == QProcess::NotRunning;
        }
        const auto pid = pid_t(serverSlots().at(slot).section(u':', 0, 0).toLongLong());
        ::kill(pid, SIGTERM);
        for (int i = 0; i < 400 && ::kill(pid, 0) == 0; ++i)
            QThread::msleep(50);
        return ::kill(pid, 0) != 0;
    }

    // Starts a server in `slot`, on its port, as the script starts one; with
    // `exitAfterCommit`, one that ends right after a generation commits, before it
    // answers. Its process id stands in the slot and in the script's pid file, so
    // the script's stop ends it. False when it did not start.
    bool startServer(int slot, bool exitAfterCommit)
    {
        QStringList servers = serverSlots();
        const QString serverPort = servers.at(slot).section(u':', 1, 1);
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(exitAfterCommit ? AppServerProcess::endingAfterCommit()
                                                       : QProcessEnvironment::systemEnvironment());
        process->setStandardErrorFile(sharedDir() + QStringLiteral("/appserver-%1.log").arg(slot + 1),
                                      QIODevice::Append);
        process->start(QStringLiteral(FAS_BIN_DIR "/fas-appserver"),
                       {QStringLiteral("--database"), m_settings.value(QStringLiteral("server_database")),
                        QStringLiteral("--listen"), QStringLiteral("127.0.0.1:") + serverPort,
                        QStringLiteral("--token-file"), sharedDir() + QStringLiteral("/token")});
        if (!process->waitForStarted(10000) || AppServerProcess::readListeningPort(*process, 30000) <= 0)
            return false;
        servers[slot] = QString::number(process->processId()) + u':' + serverPort;
        m_settings.insert(QStringLiteral("servers"), servers.join(u' '));
        QFile pidFile(sharedDir() + QStringLiteral("/appserver-%1.pid").arg(slot + 1));
        if (!pidFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        pidFile.write(QByteArray::number(process->processId()) + '\n');
        m_servers[slot] = std::move(process);
        return true;
    }

    // The shared database as its owner sees it (the script's "database").
    QSqlDatabase sharedDb() const
    {
        const QString name = QStringLiteral("shared");
        if (QSqlDatabase::contains(name))
            return QSqlDatabase::database(name);
        return DatabaseConnection::open(DatabaseUrl::parse(m_settings.value(QStringLiteral("database"))), name);
    }

    // The first column of every row of `sql`; a failed statement is a test failure's
    // message in the first row.
    QStringList column(const QString &sql, const QVariantList &values = {}) const
    {
        QSqlQuery query(sharedDb());
        query.prepare(sql);
        for (const QVariant &value : values)
            query.addBindValue(value);
        if (!query.exec())
            return {QStringLiteral("falhou: ") + sql + u' ' + query.lastError().text()};
        QStringList rows;
        while (query.next())
            rows << query.value(0).toString();
        return rows;
    }
    QString scalar(const QString &sql, const QVariantList &values = {}) const { return column(sql, values).value(0); }

    // Pending calculations without an entry, of clients at home (GeraNF) or abroad
    // (GeraInvoice), in key order.
    std::vector<ServerTest::ItemKey> pendingItems(bool domestic, int limit) const
    {
        QSqlQuery pending(sharedDb());
        pending.prepare(
            QStringLiteral(
                "SELECT a.CDEMPRESA, a.CDFILIAL, a.CDCLIENTE, a.IDAPURFATFAS, a.DTMESAPURFAS FROM APURFATFAS a "
                "WHERE COALESCE(a.IDSTAPFATFAS, 'P') IN ('P', '') AND NOT EXISTS (SELECT 1 FROM ITEMLANCFAT "
                "i WHERE i.CDEMPRESA = a.CDEMPRESA AND i.CDFILIAL = a.CDFILIAL AND i.CDCLIENTE = "
                "a.CDCLIENTE AND i.DTMESAPURFAS = a.DTMESAPURFAS AND i.IDAPURFATFAS = a.IDAPURFATFAS) AND "
                "%1 EXISTS (SELECT 1 FROM ENDECLIE e WHERE e.CDCLIENTE = a.CDCLIENTE AND e.CDPAIS = '0055' "
                "AND e.IDTPENDECLIE = 'P') ORDER BY 1, 2, 3, 5, 4 LIMIT %2")
                .arg(domestic ? QString() : QStringLiteral("NOT"))
                .arg(limit));
        std::vector<ServerTest::ItemKey> items;
        if (!pending.exec())
            qWarning("%s", qPrintable(pending.lastError().text()));
        while (pending.next())
            items.push_back({pending.value(0).toString(), pending.value(1).toString(), pending.value(2).toString(),
                             pending.value(3).toString(), pending.value(4).toDate()});
        return items;
    }

    qsizetype nginxAnswers(const QByteArray &status) const
    {
        QFile log(sharedDir() + QStringLiteral("/nginx/access.log"));
        return log.open(QIODevice::ReadOnly)
                   ? log.readAll().count("\"POST /FAS09600.rdmFaturamento HTTP/1.1\" " + status + ' ')
                   : -1;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        if (QStandardPaths::findExecutable(QStringLiteral("nginx"),
                                           {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")})
                .isEmpty())
            QSKIP(
                "nginx is not installed (scripts/install-deps.sh installs it): the shared installation is not tried.");
        m_adminUrl = qEnvironmentVariable("FAS_TEST_PG_URL");
        if (!m_adminUrl.isEmpty()) {
            // A database of our own in the test cluster; without one the script starts a cluster.
            m_databaseName = QStringLiteral("fas_shared_%1").arg(QCoreApplication::applicationPid());
            {
                QSqlDatabase admin = DatabaseConnection::open(DatabaseUrl::parse(m_adminUrl), QStringLiteral("admin"));
                QSqlQuery(admin).exec(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(m_databaseName));
                QSqlQuery create(admin);
                QVERIFY2(create.exec(QStringLiteral("CREATE DATABASE %1").arg(m_databaseName)),
                         qPrintable(create.lastError().text()));
            }
            DatabaseConnection::close(QStringLiteral("admin"));
            QProcess demo;
            demo.setProcessChannelMode(QProcess::MergedChannels);
            demo.start(QStringLiteral(FAS_BIN_DIR "/fas-demo-data"), {QStringLiteral("--database"), databaseUrl()});
            QVERIFY(demo.waitForFinished(120000));
            QVERIFY2(demo.exitCode() == 0, demo.readAll().constData());
        }
        QProcess *start = script({QStringLiteral("start"), QStringLiteral("2")});
        const QByteArray out = start->readAllStandardOutput();
        if (start->exitCode() != 0)
            QSKIP(qPrintable(QStringLiteral("the shared installation could not start here (nginx or PostgreSQL): ")
                             + QString::fromLocal8Bit(start->readAllStandardError().right(800))));
        m_started = true;
        for (const QByteArray &line : out.split('\n')) {
            const qsizetype eq = line.indexOf('=');
            if (eq > 0)
                m_settings.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
        }
        QVERIFY2(port() > 0, out.constData());
        QCOMPARE(serverPids().size(), 2);
        QVERIFY(healthMs() >= 0);
    }

    void cleanupTestCase()
    {
        if (QSqlDatabase::contains(QStringLiteral("shared")))
            DatabaseConnection::close(QStringLiteral("shared"));
        for (int slot = 0; slot < 2; ++slot) {
            if (m_servers[slot] && stopServer(slot))
                QFile::remove(sharedDir() + QStringLiteral("/appserver-%1.pid").arg(slot + 1));
        }
        if (m_started)
            script({QStringLiteral("stop")});
        if (!m_databaseName.isEmpty()) {
            {
                QSqlDatabase admin = DatabaseConnection::open(DatabaseUrl::parse(m_adminUrl), QStringLiteral("admin"));
                QSqlQuery(admin).exec(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(m_databaseName));
            }
            DatabaseConnection::close(QStringLiteral("admin"));
        }
    }

    // How much later the health entry answers meanwhile is measured by
    // bench/bench_slow_clients.sh.
    void slowClientsDoNotDelayHealth()
    {
        std::vector<std::unique_ptr<TlsStream>> slow;
        for (int i = 0; i < 50; ++i) {
            slow.push_back(std::make_unique<TlsStream>());
            QVERIFY(slow.back()->open(port(), caFile()));
        }
        std::atomic<bool> stop{false};
        std::thread trickle([&] {
            const QByteArray start = "POST /FAS09600.rdmFaturamento HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ";
            for (int i = 0; i < 100 && !stop; ++i) {
                for (auto &stream : slow)
                    stream->send(i < start.size() ? start.mid(i, 1) : QByteArray("a"));
                QThread::msleep(100);
            }
        });
        const auto stopTrickle = qScopeGuard([&] {
            stop = true;
            trickle.join();
        });
        QThread::msleep(500);
        for (int i = 0; i < 5; ++i)
            QVERIFY(healthMs() >= 0);
    }

    // That the servers' memory stays flat meanwhile is measured by
    // bench/bench_server_memory.sh.
    void chunked512MbIsRefusedAndServersStayFlat()
    {
        TlsStream stream;
        QVERIFY(stream.open(port(), caFile()));
        QVERIFY(stream.send(
            "POST /FAS09600.rdmFaturamento HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
            "Transfer-Encoding: chunked\r\n\r\n"));
        const int chunkBytes = 65536;
        const QByteArray chunk = QByteArray::number(chunkBytes, 16) + "\r\n" + QByteArray(chunkBytes, ' ') + "\r\n";
        qint64 sent = 0;
        while (sent < (qint64(512) << 20) && !stream.answerWaiting() && stream.send(chunk))
            sent += chunkBytes;
        const RawHttp::Answer answer = stream.read(60000);
        QVERIFY2(answer.status == 413,
                 qPrintable(QStringLiteral("after %1 MB: %2").arg(sent >> 20).arg(QString::fromUtf8(answer.head))));
        QCOMPARE(QJsonDocument::fromJson(answer.body)
                     .object()
                     .value(QStringLiteral("error"))
                     .toObject()
                     .value(QStringLiteral("code"))
                     .toInt(),
                 -32003);
        QVERIFY(healthMs() >= 0);
    }

    // The real client, as the host configures it (the INI the script wrote: https
    // address, token file, CA file), four desks generating overlapping batches at
    // once through nginx and two servers: no item is billed twice.
    // The desks' role (the host's INI) reads the lookup tables and nothing else,
    // and writes nowhere: a row per table and statement.
    void deskRoleOnlyReadsTheLookups_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("column"); // its first column, for the UPDATE
        QTest::addColumn<QString>("statement");
        QTest::addColumn<bool>("allowed");
        const QStringList lookups{"EMPRESA", "CLIENTE", "ENDECLIE", "PARAMGERAL", "PRODUTO"};
        const QList<std::pair<const char *, const char *>> tables{
            {"EMPRESA", "CDEMPRESA"},       {"CLIENTE", "CDCLIENTE"},    {"ENDECLIE", "CDCLIENTE"},
            {"PARAMGERAL", "CDPARAMGERAL"}, {"PRODUTO", "CDPRODUTO"},    {"FILIAL", "CDEMPRESA"},
            {"OPERADOR", "CDOPERADOR"},     {"APURFATFAS", "CDEMPRESA"}, {"LANCFATFAS", "CDEMPRESA"},
            {"ITEMLANCFAT", "CDEMPRESA"},   {"NUMLANCFAT", "CDEMPRESA"}, {"SCHEMA_VERSION", "CDSCHEMA_VERSION"},
            {"USUARIOFAT", "NMUSUARIO"},    {"EXECFAT", "IDEXECFAT"},    {"CHAVEEXECFAT", "CHAVEREQ"}};
        for (const auto &[table, column] : tables) {
            for (const QString statement : {"SELECT", "INSERT", "UPDATE", "DELETE"})
                QTest::addRow("%s %s", qPrintable(statement), table)
                    << table << column << statement << (statement == u"SELECT" && lookups.contains(table));
        }
    }

    void deskRoleOnlyReadsTheLookups()
    {
        QFETCH(QString, table);
        QFETCH(QString, column);
        QFETCH(QString, statement);
        QFETCH(bool, allowed);
        const QString deskUrl = m_settings.value(QStringLiteral("desk_database"));
        QVERIFY2(deskUrl.contains(QStringLiteral("fas_mesa")), qPrintable(deskUrl));
        QVERIFY(QSettings(m_settings.value(QStringLiteral("config")), QSettings::IniFormat)
                    .value(QStringLiteral("database/url"))
                    .toString()
                == deskUrl);
        QSqlDatabase db = DatabaseConnection::open(DatabaseUrl::parse(deskUrl), QStringLiteral("desk"));
        const auto closeDb = qScopeGuard([&db] {
            db = QSqlDatabase();
            DatabaseConnection::close(QStringLiteral("desk"));
        });
        const QString sql = statement == u"SELECT"   ? QStringLiteral("SELECT COUNT(*) FROM %1").arg(table)
                            : statement == u"INSERT" ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table)
                            : statement == u"UPDATE" ? QStringLiteral("UPDATE %1 SET %2 = %2").arg(table, column)
                                                     : QStringLiteral("DELETE FROM %1").arg(table);
        QSqlQuery query(db);
        const bool ran = query.exec(sql);
        QVERIFY2(ran == allowed, qPrintable(sql + ": " + query.lastError().text()));
        if (!allowed)
            QCOMPARE(query.lastError().nativeErrorCode(), QStringLiteral("42501")); // insufficient privilege
    }

    void realClientGeneratesThroughNginx()
    {
        const std::vector<ServerTest::ItemKey> keys = pendingItems(true, 40);
        QVERIFY2(keys.size() >= 20, "the demo data has too few pending domestic items");

        const int desks = 4;
        std::vector<QByteArray> batches;
        for (int d = 0; d < desks; ++d) {
            std::vector<ServerTest::ItemKey> batch;
            for (int k = 0; k < 10; ++k)
                batch.push_back(keys[size_t((d * 5 + k) % int(keys.size()))]);
            batches.push_back(ServerTest::batchOfKeys(batch));
        }

        HostConfig::load(m_settings.value(QStringLiteral("config")));
        QCOMPARE(HostConfig::webUrl(), QStringLiteral("https://127.0.0.1"));
        std::vector<int> billed(static_cast<size_t>(desks), -1);
        std::vector<QString> failures(static_cast<size_t>(desks));
        std::vector<std::thread> threads;
        for (int d = 0; d < desks; ++d)
            threads.emplace_back([&, d] {
                TNetConnection net;
                configureAsHost(net);
                try {
                    net.Open();
                    const QByteArray packet = Consiste::CheckResultServ(
                        net.Call(QStringLiteral("GeraNF"), {RemoteArgument::packet(batches[size_t(d)])}), true, 0);
                    billed[size_t(d)] = DataPacket::decode(packet).rowCount();
                } catch (const RemoteCallError &error) {
                    failures[size_t(d)] = QString::number(error.serverCode()) + u' ' + error.message();
                } catch (const FasError &error) {
                    failures[size_t(d)] = error.message();
                }
            });
        for (std::thread &t : threads)
            t.join();
        int successes = 0;
        for (int d = 0; d < desks; ++d) {
            if (billed[size_t(d)] >= 0) {
                ++successes;
                QCOMPARE(billed[size_t(d)], 10);
            } else {
                // Only a clash with another desk may refuse a batch.
                QVERIFY2(failures[size_t(d)].startsWith(QStringLiteral("-32011")), qPrintable(failures[size_t(d)]));
            }
        }
        QVERIFY(successes >= 1);
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM (SELECT CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, "
                                       "IDAPURFATFAS FROM ITEMLANCFAT GROUP BY 1, 2, 3, 4, 5 HAVING COUNT(*) > 1) x")),
                 QStringLiteral("0"));
        // Both servers took calls.
        for (int i = 1; i <= 2; ++i) {
            QFile log(sharedDir() + QStringLiteral("/appserver-%1.log").arg(i));
            QVERIFY(log.open(QIODevice::ReadOnly));
            QVERIFY2(log.readAll().contains("POST /FAS09600.rdmFaturamento"), qPrintable(log.fileName()));
        }
    }

    // A server ends right after its generation commits, before it answers, as one
    // killed at that moment would. nginx does not pass a call that reached a server
    // on (its 502 comes back), so the host's own repeat, with the same key, is what
    // reaches the other server; that one answers the committed run's answer, and
    // nothing is billed twice.
    void serverGoneAfterCommitEndsAsItsSuccess_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<bool>("domestic");
        QTest::newRow("GeraNF") << QStringLiteral("GeraNF") << true;
        QTest::newRow("GeraInvoice") << QStringLiteral("GeraInvoice") << false;
    }

    void serverGoneAfterCommitEndsAsItsSuccess()
    {
        QFETCH(QString, method);
        QFETCH(bool, domestic);
        const std::vector<ServerTest::ItemKey> items = pendingItems(domestic, 8);
        QCOMPARE(items.size(), size_t(8));
        QVERIFY(stopServer(0));
        const auto serverAgain = qScopeGuard([this] {
            stopServer(0);
            startServer(0, false);
        });
        QVERIFY(startServer(0, true));
        QProcess &ending = *m_servers[0];

        HostConfig::load(m_settings.value(QStringLiteral("config")));
        TNetConnection net;
        configureAsHost(net);
        try {
            net.Open();
        } catch (const FasError &error) {
            QFAIL(qPrintable(error.message()));
        }
        const qsizetype gatewayErrors = nginxAnswers("502");
        // Round robin hands one of the first calls to the server that ends.
        TRecordStore answer;
        bool ended = false;
        for (size_t call = 0; call < 4 && !ended; ++call) {
            const std::vector<ServerTest::ItemKey> batch{items[2 * call], items[2 * call + 1]};
            try {
                answer = Consiste::CheckResultServ(
                             net.Call(method, {RemoteArgument::packet(ServerTest::batchOfKeys(batch))}), true, 0)
                             .decode();
            } catch (const FasError &error) {
                QFAIL(qPrintable(error.message()));
            }
            QCOMPARE(answer.rowCount(), 2);
            ended = ending.state() == QProcess::NotRunning || ending.waitForFinished(1000);
        }
        QVERIFY2(ended, "no call reached the server that ends after its commit");
        QCOMPARE(ending.exitCode(), 9);
        QCOMPARE(nginxAnswers("502"), gatewayErrors + 1);

        // The newest run of the method billed the batch: its key has that one run, the
        // answer stored with the key is, byte for byte, the one the host got, and the
        // run's entries hold the two items, each once.
        const QVariantList run{
            scalar(QStringLiteral("SELECT MAX(IDEXECFAT) FROM EXECFAT WHERE NMMETODO = ? AND IDEXECORIGEM IS NULL"),
                   {method})
                .toLongLong()};
        // The host's repeat got the stored answer: journaled as a repeat of the run.
        QCOMPARE(column(QStringLiteral("SELECT r.NMMETODO || '/' || COALESCE(r.CDERRO::text, '-') || '/' || "
                                       "COALESCE(r.IDEXECORIGEM::text, '-') FROM EXECFAT r JOIN EXECFAT x ON "
                                       "x.CHAVEREQ = r.CHAVEREQ WHERE x.IDEXECFAT = ? ORDER BY r.IDEXECFAT"),
                        run),
                 (QStringList{method + QStringLiteral("/-/-"), method + QStringLiteral("/-/") + run[0].toString()}));
        QCOMPARE(scalar(QStringLiteral("SELECT TXRESPOSTA FROM CHAVEEXECFAT WHERE IDEXECFAT = ?"), run).toUtf8(),
                 DataPacket::encode(answer));
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM ITEMLANCFAT l JOIN LANCFATFAS e USING (CDEMPRESA, "
                                       "IDTPLANCFAT, NRLANCFAT) WHERE e.IDEXECFAT = ?"),
                        run),
                 QStringLiteral("2"));
        QStringList answered;
        for (int row = 0; row < answer.rowCount(); ++row)
            answered << BillingRows::cell(answer, row, domestic ? "NRLANCTONF" : "NRLANCINVOICE");
        answered.removeDuplicates();
        std::sort(answered.begin(), answered.end(),
                  [](const QString &a, const QString &b) { return a.toInt() < b.toInt(); });
        QCOMPARE(column(QStringLiteral("SELECT NRLANCFAT FROM LANCFATFAS WHERE IDEXECFAT = ? ORDER BY 1"), run),
                 answered);
    }

    // Eight desks tick and generate overlapping batches, notes and invoices, while two
    // supervisors reverse the runs and entries they see appear, all through nginx
    // and both servers. Every call ends in its success or a refusal the protocol
    // names for a race; the books are checked next (booksHoldAfterTheRaces).
    void generatorsAndReversersAtOnce()
    {
        const QString url = m_settings.value(QStringLiteral("database"));
        const QString biller = ServerTest::addUser(url, QStringLiteral("mesa"), QStringLiteral("faturamento"));
        const QString supervisor = ServerTest::addUser(url, QStringLiteral("chefe"), QStringLiteral("supervisor"));
        // The later tests call with the token file, which users set aside.
        const auto noUsers = qScopeGuard([this] { column(QStringLiteral("DELETE FROM USUARIOFAT")); });
        QVERIFY(!biller.isEmpty() && !supervisor.isEmpty());
        const std::vector<ServerTest::ItemKey> domestic = pendingItems(true, 24), foreign = pendingItems(false, 12);
        QCOMPARE(domestic.size() + foreign.size(), size_t(36));
        const qint64 firstRun =
            scalar(QStringLiteral("SELECT COALESCE(MAX(IDEXECFAT), 0) + 1 FROM EXECFAT")).toLongLong();
        QList<qint64> logStart;
        for (int i = 1; i <= 2; ++i)
            logStart << QFileInfo(sharedDir() + QStringLiteral("/appserver-%1.log").arg(i)).size();

        const int generators = 8, rounds = 12;
        std::vector<std::vector<Outcome>> outcomes(size_t(generators + 2));
        std::atomic<int> generating{generators};
        std::vector<std::thread> threads;
        for (int g = 0; g < generators; ++g)
            threads.emplace_back([&, g] {
                const auto client = proxyClient();
                const bool invoices = g % 4 == 3;
                const std::vector<ServerTest::ItemKey> &pool = invoices ? foreign : domestic;
                const QString method = invoices ? QStringLiteral("GeraInvoice") : QStringLiteral("GeraNF");
                for (int round = 0; round < rounds; ++round) {
                    std::vector<ServerTest::ItemKey> batch;
                    for (int k = 0; k < 3; ++k)
                        batch.push_back(pool[size_t(g * 5 + round * 7 + k) % pool.size()]);
                    outcomes[size_t(g)].push_back(outcomeOf(
                        method,
                        ServerTest::post(*client, ServerTest::generationRequest(method, ServerTest::batchOfKeys(batch)),
                                         callHeaders(biller))));
                }
                --generating;
            });
        for (int r = 0; r < 2; ++r)
            threads.emplace_back([&, r] {
                const auto client = proxyClient();
                std::mt19937 random(uint32_t(r + 1));
                std::vector<Outcome> &mine = outcomes[size_t(generators + r)];
                const auto call = [&](const QString &method, const QJsonArray &params) {
                    const ServerTest::Answer answer = ServerTest::post(*client, ServerTest::request(method, params),
                                                                       callHeaders(supervisor));
                    mine.push_back(outcomeOf(method, answer));
                    return answer.hasResult() ? answer.packet() : TRecordStore(TFieldDefs());
                };
                while (generating > 0) {
                    QThread::msleep(30);
                    // The runs of this test that made entries, newest first.
                    const TRecordStore runs = call(QStringLiteral("GetGeracoes"), {"", "", "", ""});
                    QList<qint64> made;
                    for (int row = 0; row < runs.rowCount() && made.size() < 5; ++row) {
                        const qint64 id = BillingRows::cell(runs, row, "IDGERACAO").toLongLong();
                        if (id >= firstRun && BillingRows::cell(runs, row, "NMMETODO").startsWith(u"Gera")
                            && BillingRows::cell(runs, row, "QTLANCAMENTOS").toInt() > 0)
                            made << id;
                    }
                    if (made.isEmpty())
                        continue;
                    const qint64 run = made.at(int(random() % uint32_t(made.size())));
                    const QString why = QStringLiteral("estorno durante a geração");
                    if (r == 0) {
                        call(QStringLiteral("EstornaGeracao"), {run, why});
                        continue;
                    }
                    const TRecordStore entries = call(QStringLiteral("GetLancamentosGeracao"), {run});
                    for (int row = 0; row < entries.rowCount(); ++row) {
                        if (BillingRows::cell(entries, row, "IDSITUACAO") == u"A") {
                            call(QStringLiteral("EstornaLancamento"),
                                 {BillingRows::cell(entries, row, "CDEMPRESA"),
                                  BillingRows::cell(entries, row, "IDTPLANCFAT"),
                                  BillingRows::cell(entries, row, "NRLANCFAT"), why});
                            break;
                        }
                    }
                }
            });
        for (std::thread &t : threads)
            t.join();

        // A generation may lose its items to another (-32011); a reversal may find its
        // run or entry reversed already by the other supervisor (-32016, -32015).
        const QMap<QString, QList<int>> refusals{{QStringLiteral("GeraNF"), {-32011}},
                                                 {QStringLiteral("GeraInvoice"), {-32011}},
                                                 {QStringLiteral("EstornaGeracao"), {-32015, -32016}},
                                                 {QStringLiteral("EstornaLancamento"), {-32015, -32016}}};
        QMap<QString, int> successes, rows;
        for (const std::vector<Outcome> &thread : outcomes) {
            for (const Outcome &o : thread) {
                QVERIFY2(o.code == 0 || refusals.value(o.method).contains(o.code),
                         qPrintable(QStringLiteral("%1: %2 %3").arg(o.method).arg(o.code).arg(o.message)));
                const QString kind = o.method.left(4); // Gera, Esto, GetG, GetL
                successes[kind] += o.code == 0 ? 1 : 0;
                rows[kind] += o.rows;
            }
        }
        qInfo("%d generations made %d items, %d reversals reversed %d entries", successes.value(QStringLiteral("Gera")),
              rows.value(QStringLiteral("Gera")), successes.value(QStringLiteral("Esto")),
              rows.value(QStringLiteral("Esto")));
        QVERIFY2(successes.value(QStringLiteral("Gera")) > 0 && successes.value(QStringLiteral("Esto")) > 0,
                 qPrintable(QStringLiteral("%1 generations and %2 reversals went through")
                                .arg(successes.value(QStringLiteral("Gera")))
                                .arg(successes.value(QStringLiteral("Esto")))));
        // What the answers said is what the database holds: the items the runs billed
        // (live, or in the history of an entry reversed since), and the entries reversed.
        QCOMPARE(scalar(QStringLiteral("SELECT (SELECT COUNT(*) FROM ITEMLANCFAT l JOIN LANCFATFAS e USING "
                                       "(CDEMPRESA, IDTPLANCFAT, NRLANCFAT) WHERE e.IDEXECFAT >= ?) + (SELECT COUNT(*) "
                                       "FROM ITEMLANCFATHIST h JOIN LANCFATFAS e USING (CDEMPRESA, IDTPLANCFAT, "
                                       "NRLANCFAT) WHERE e.IDEXECFAT >= ?)"),
                        {firstRun, firstRun})
                     .toInt(),
                 rows.value(QStringLiteral("Gera")));
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM LANCFATFAS WHERE IDEXECESTORNO >= ?"), {firstRun}).toInt(),
                 rows.value(QStringLiteral("Esto")));
        // Both servers generated.
        for (int i = 1; i <= 2; ++i) {
            QFile log(sharedDir() + QStringLiteral("/appserver-%1.log").arg(i));
            QVERIFY(log.open(QIODevice::ReadOnly) && log.seek(logStart.at(i - 1)));
            QVERIFY2(log.readAll().contains(" method=Gera"), qPrintable(log.fileName()));
        }
    }

    // The books after the races above, read straight from PostgreSQL: each row
    // counts what must not be there.
    void booksHoldAfterTheRaces_data()
    {
        QTest::addColumn<QString>("sql");
        for (const BooksInvariants::Rule &rule : BooksInvariants::rules())
            QTest::newRow(qPrintable(rule.name)) << rule.sql;
    }

    void booksHoldAfterTheRaces()
    {
        QFETCH(QString, sql);
        QCOMPARE(column(sql), QStringList{"0"});
    }

    // Restarts, one server after the other (as an upgrade does), never leave
    // nginx without a server it will try: while one is down, every call is
    // answered by the other, even right after the first came back. Runs last:
    // it leaves the second server stopped.
    void restartsOneAfterTheOtherKeepAnswering()
    {
        QCOMPARE(serverSlots().size(), 2);
        QVERIFY(stopServer(0));
        for (int i = 0; i < 6; ++i)
            QVERIFY2(healthMs() >= 0, "a call failed while the first server was down");
        QVERIFY(startServer(0, false));
        QVERIFY(stopServer(1));
        for (int i = 0; i < 6; ++i)
            QVERIFY2(healthMs() >= 0, "a call failed while the restarted first server was the only one up");
    }
};

QTEST_GUILESS_MAIN(TstSharedInstall)
#include "tst_sharedinstall.moc"
