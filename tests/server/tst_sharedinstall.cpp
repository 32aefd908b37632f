#include <QtTest>

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

#include "tests/support/AppServerProcess.h"
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

} // namespace

class TstSharedInstall : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QMap<QString, QString> m_settings;
    QString m_adminUrl;
    QString m_databaseName;
    bool m_started = false;

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

    // The health entry through nginx over TLS; its time in ms, -1 when it failed.
    qint64 healthMs() const
    {
        QElapsedTimer timer;
        timer.start();
        httplib::Client client(QStringLiteral("https://127.0.0.1:%1").arg(port()).toStdString());
        client.set_ca_cert_path(caFile().toStdString());
        client.enable_server_certificate_verification(true);
        auto answer = client.Get("/health");
        return answer && answer->status == 200 ? timer.elapsed() : -1;
    }

    QList<qint64> serverPids() const
    {
        QList<qint64> pids;
        for (const QString &entry : m_settings.value(QStringLiteral("servers")).split(u' ', Qt::SkipEmptyParts))
            pids << entry.section(u':', 0, 0).toLongLong();
        return pids;
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

    void slowClientsDoNotDelayHealth()
    {
        qint64 baseline = 0;
        for (int i = 0; i < 3; ++i)
            baseline = qMax(baseline, healthMs());
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
        for (int i = 0; i < 5; ++i) {
            const qint64 ms = healthMs();
            QVERIFY(ms >= 0);
            QVERIFY2(ms < baseline + 1000,
                     qPrintable(QStringLiteral("%1 ms with slow clients, %2 ms without").arg(ms).arg(baseline)));
        }
    }

    void chunked512MbIsRefusedAndServersStayFlat()
    {
        QList<qint64> before;
        for (qint64 pid : serverPids())
            before << RawHttp::residentKb(pid);
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
        const QList<qint64> pids = serverPids();
        for (int i = 0; i < pids.size(); ++i) {
            const qint64 after = RawHttp::residentKb(pids.at(i));
            QVERIFY2(after - before.at(i) < 32 * 1024,
                     qPrintable(QStringLiteral("server %1: %2 KB -> %3 KB").arg(i).arg(before.at(i)).arg(after)));
        }
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
        const QString url = m_settings.value(QStringLiteral("database"));
        QSqlDatabase db = DatabaseConnection::open(DatabaseUrl::parse(url), QStringLiteral("shared"));
        const auto closeDb = qScopeGuard([&db] {
            db = QSqlDatabase();
            DatabaseConnection::close(QStringLiteral("shared"));
        });
        QSqlQuery pending(db);
        QVERIFY2(pending.exec(QStringLiteral(
                     "SELECT a.CDEMPRESA, a.CDFILIAL, a.CDCLIENTE, a.DTMESAPURFAS, a.IDAPURFATFAS FROM APURFATFAS a "
                     "WHERE COALESCE(a.IDSTAPFATFAS, 'P') IN ('P', '') AND NOT EXISTS (SELECT 1 FROM ITEMLANCFAT i "
                     "WHERE i.CDEMPRESA = a.CDEMPRESA AND i.CDFILIAL = a.CDFILIAL AND i.CDCLIENTE = a.CDCLIENTE AND "
                     "i.DTMESAPURFAS = a.DTMESAPURFAS AND i.IDAPURFATFAS = a.IDAPURFATFAS) AND EXISTS (SELECT 1 FROM "
                     "ENDECLIE e WHERE e.CDCLIENTE = a.CDCLIENTE AND e.CDPAIS = '0055' AND e.IDTPENDECLIE = 'P') "
                     "ORDER BY 1, 2, 3, 4, 5 LIMIT 40")),
                 qPrintable(pending.lastError().text()));
        struct Key
        {
            QString company, branch, client, type;
            QDate month;
        };
        std::vector<Key> keys;
        while (pending.next())
            keys.push_back({pending.value(0).toString(), pending.value(1).toString(), pending.value(2).toString(),
                            pending.value(4).toString(), pending.value(3).toDate()});
        QVERIFY2(keys.size() >= 20, "the demo data has too few pending domestic items");

        const int desks = 4;
        std::vector<QByteArray> batches;
        for (int d = 0; d < desks; ++d) {
            TRecordStore store(BillingItemLayout::batch());
            for (int k = 0; k < 10; ++k) {
                const Key &key = keys[size_t((d * 5 + k) % int(keys.size()))];
                const int row = store.appendRow();
                const auto put = [&](const char *field, const QString &value) {
                    store.setText(row, store.indexOf(QString::fromLatin1(field)), value.toStdString());
                };
                put("CDEMPRESA", key.company);
                put("CDFILIAL", key.branch);
                put("CDCLIENTE", key.client);
                put("IDAPURFATFAS", key.type);
                store.setDateTimeMs(row, store.indexOf(QStringLiteral("DTMESAPURFAS")),
                                    (key.month.toJulianDay() - 2440588) * 86400000LL);
            }
            batches.push_back(DataPacket::encode(store));
        }

        HostConfig::load(m_settings.value(QStringLiteral("config")));
        QCOMPARE(HostConfig::webUrl(), QStringLiteral("https://127.0.0.1"));
        std::vector<int> billed(static_cast<size_t>(desks), -1);
        std::vector<QString> failures(static_cast<size_t>(desks));
        std::vector<std::thread> threads;
        for (int d = 0; d < desks; ++d)
            threads.emplace_back([&, d] {
                TNetConnection net;
                connect(&net, &TNetConnection::BeforeConnect, &net, [](TNetConnection *sender) {
                    sender->SetHost(HostConfig::webUrl());
                    sender->SetPort(HostConfig::webPort());
                });
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
        QSqlQuery twice(db);
        QVERIFY(
            twice.exec(QStringLiteral("SELECT COUNT(*) FROM (SELECT CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, "
                                      "IDAPURFATFAS FROM ITEMLANCFAT GROUP BY 1, 2, 3, 4, 5 HAVING COUNT(*) > 1) x")));
        QVERIFY(twice.next());
        QCOMPARE(twice.value(0).toInt(), 0);
        // Both servers took calls.
        for (int i = 1; i <= 2; ++i) {
            QFile log(sharedDir() + QStringLiteral("/appserver-%1.log").arg(i));
            QVERIFY(log.open(QIODevice::ReadOnly));
            QVERIFY2(log.readAll().contains("POST /FAS09600.rdmFaturamento"), qPrintable(log.fileName()));
        }
    }

    // Restarts, one server after the other (as an upgrade does), never leave
    // nginx without a server it will try: while one is down, every call is
    // answered by the other, even right after the first came back. Runs last:
    // it leaves the second server stopped.
    void restartsOneAfterTheOtherKeepAnswering()
    {
        const QStringList servers = m_settings.value(QStringLiteral("servers")).split(u' ', Qt::SkipEmptyParts);
        QCOMPARE(servers.size(), 2);
        const auto stopServer = [](qint64 pid) {
            ::kill(pid_t(pid), SIGTERM);
            for (int i = 0; i < 400 && ::kill(pid_t(pid), 0) == 0; ++i)
                QThread::msleep(50);
            return ::kill(pid_t(pid), 0) != 0;
        };
        QVERIFY(stopServer(servers.at(0).section(u':', 0, 0).toLongLong()));
        for (int i = 0; i < 6; ++i)
            QVERIFY2(healthMs() >= 0, "a call failed while the first server was down");

        QProcess restarted;
        restarted.setProgram(QStringLiteral(FAS_BIN_DIR "/fas-appserver"));
        restarted.setArguments({QStringLiteral("--database"), m_settings.value(QStringLiteral("server_database")),
                                QStringLiteral("--listen"),
                                QStringLiteral("127.0.0.1:") + servers.at(0).section(u':', 1, 1),
                                QStringLiteral("--token-file"), sharedDir() + QStringLiteral("/token")});
        restarted.start();
        QVERIFY(restarted.waitForStarted(10000));
        QVERIFY2(AppServerProcess::readListeningPort(restarted, 30000) > 0,
                 restarted.readAllStandardError().constData());
        QVERIFY(stopServer(servers.at(1).section(u':', 0, 0).toLongLong()));
        for (int i = 0; i < 6; ++i)
            QVERIFY2(healthMs() >= 0, "a call failed while the restarted first server was the only one up");
        restarted.terminate();
        QVERIFY(restarted.waitForFinished(20000));
    }
};

QTEST_GUILESS_MAIN(TstSharedInstall)
#include "tst_sharedinstall.moc"
