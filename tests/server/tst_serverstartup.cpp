#include <QtTest>

#include <sys/stat.h>

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
#include "tests/support/NotifySocket.h"
#include "tests/support/RawHttp.h"
#include "tests/support/SecretFile.h"
#include "tests/support/ServerFixture.h"
#include "server/billing/PreviewQuery.h"
#include "server/sql/ThreadDatabase.h"

// The server as it starts and runs: refusals to start, the configuration file, the
// log rules, connections the database dropped, and each thread's own connections.
using namespace ServerTest;

class TstServerStartup : public ServerFixture
{
    Q_OBJECT

public:
    using ServerFixture::ServerFixture;

private slots:
    void brokenConnectionsRecover()
    {
        if (m_backend != Backend::Postgres)
            QSKIP("only a database server can break the connections: covered by the PostgreSQL run");
        for (int i = 0; i < 16; ++i)
            QVERIFY(preview(Filter()).hasResult());
        // The database server drops every connection of the application server, as
        // after a restart.
        QSqlQuery drop(db());
        QVERIFY2(drop.exec(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                                          "WHERE datname = current_database() AND pid <> pg_backend_pid()")),
                 qPrintable(drop.lastError().text()));
        int dropped = 0;
        while (drop.next())
            dropped += drop.value(0).toBool() ? 1 : 0;
        QVERIFY(dropped >= 1);
        for (int i = 0; i < 16; ++i) {
            const Answer answer = preview(Filter());
            QVERIFY2(answer.hasResult(), answer.body.constData());
            QCOMPARE(answer.packet().rowCount(), 4);
        }
        httplib::Client client("127.0.0.1", m_server.port());
        auto health = client.Get("/health");
        QVERIFY(health && health->status == 200);
    }

    // Two databases served from one thread: each keeps its own connection, and one
    // discarding its connection leaves the other's open.
    void threadDatabasesKeepTheirOwnConnections()
    {
        if (m_backend != Backend::Sqlite)
            QSKIP("the connections' bookkeeping does not depend on the database kind: covered by the SQLite run");
        const QString first = m_dir.filePath(QStringLiteral("first.sqlite"));
        const QString second = m_dir.filePath(QStringLiteral("second.sqlite"));
        for (const QString &path : {first, second}) {
            QFile file(path); // an empty file is an empty SQLite database
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        ThreadDatabase a(DatabaseUrl::parse(first));
        ThreadDatabase b(DatabaseUrl::parse(second));
        QCOMPARE(a.connection().databaseName(), first);
        QCOMPARE(b.connection().databaseName(), second);
        QCOMPARE(a.connection().connectionName(), a.connection().connectionName());
        const QString kept = b.connection().connectionName();
        a.discard();
        QVERIFY(b.connection().isOpen());
        QCOMPARE(b.connection().connectionName(), kept);
        QCOMPARE(a.connection().databaseName(), first);
        a.discard();
        b.discard();
    }

    void startupRefusals_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("mentions");
        QTest::addColumn<QString>("users"); // made before the start: "enabled", "disabled" or none
        QTest::newRow("no database") << QStringList{} << 2 << "Banco de dados não informado" << QString();
        QTest::newRow("unknown option") << QStringList{"--porta", "1"} << 2
                                        << "fas-appserver: opção desconhecida: --porta. Veja fas-appserver --help."
                                        << QString();
        QTest::newRow("option without its value")
            << QStringList{"--database", "DB", "--threads"} << 2 << "falta o valor de --threads" << QString();
        QTest::newRow("configuration file missing")
            << QStringList{"--config", "/nao/existe.ini"} << 2 << "/nao/existe.ini" << QString();
        QTest::newRow("listen without a port")
            << QStringList{"--database", "x.sqlite", "--listen", "localhost"} << 2 << "HOST:PORTA" << QString();
        QTest::newRow("port out of range")
            << QStringList{"--database", "x.sqlite", "--listen", "127.0.0.1:70000"} << 2 << "65535" << QString();
        QTest::newRow("database file missing")
            << QStringList{"--database", "/nao/existe/fas.sqlite"} << 1 << "/nao/existe/fas.sqlite" << QString();
        QTest::newRow("database of another kind")
            << QStringList{"--database", "mysql://u@h/d"} << 2 << "não suportado" << QString();
        QTest::newRow("database without the billing tables")
            << QStringList{"--database", "EMPTY"} << 1 << "fas-demo-data" << QString();
        QTest::newRow("database of an older schema")
            << QStringList{"--database", "OLDER"} << 1 << "atualize o banco com fas-admin migrate" << QString();
        QTest::newRow("database of a newer schema") << QStringList{"--database", "NEWER"} << 1
                                                    << "este servidor é mais antigo que o banco de dados" << QString();
        QTest::newRow("token file empty")
            << QStringList{"--database", "DB", "--token-file", "EMPTYTOKEN"} << 2 << "vazio" << QString();
        QTest::newRow("token file others may read")
            << QStringList{"--database", "DB", "--token-file", "READABLETOKEN"} << 2 << "chmod 600" << QString();
        QTest::newRow("token file the group may write")
            << QStringList{"--database", "DB", "--token-file", "GROUPTOKEN"} << 2 << "chmod 600" << QString();
        QTest::newRow("token file a FIFO") << QStringList{"--database", "DB", "--token-file", "FIFOTOKEN"} << 2
                                           << "não é um arquivo comum" << QString();
        QTest::newRow("trusted proxy not an address")
            << QStringList{"--database", "DB", "--trusted-proxies", "127.0.0.1,nginx"} << 2 << "\"nginx\" não é um "
            << QString();
        QTest::newRow("deadline of no name") << QStringList{"--database", "DB", "--deadline", "corpo=60"} << 2
                                             << "prazo desconhecido \"corpo\"" << QString();
        QTest::newRow("deadline of no seconds")
            << QStringList{"--database", "DB", "--deadline", "body_deadline_s=0"} << 2 << "de 1 a 86400" << QString();
        QTest::newRow("address in use") << QStringList{"--database", "DB", "--listen", "BUSY"} << 1
                                        << "Não foi possível escutar" << QString();
        QTest::newRow("every IPv4 address without a token")
            << QStringList{"--database", "DB", "--listen", "0.0.0.0:0"} << 2 << "0.0.0.0 sem token" << QString();
        QTest::newRow("every IPv6 address without a token")
            << QStringList{"--database", "DB", "--listen", "[::]:0"} << 2 << ":: sem token" << QString();
        QTest::newRow("a host name without a token")
            << QStringList{"--database", "DB", "--listen", "fas.example.com:0"} << 2 << "token_file" << QString();
        QTest::newRow("every IPv4 address, only a disabled user")
            << QStringList{"--database", "DB", "--listen", "0.0.0.0:0"} << 2 << "fas-admin user add"
            << "disabled";
        // Users are authentication enough: such a server starts (exit code 0).
        QTest::newRow("every IPv4 address, an enabled user")
            << QStringList{"--database", "DB", "--listen", "0.0.0.0:0"} << 0 << QString() << "enabled";
        QTest::newRow("memory for bodies below the body limit")
            << QStringList{"--database", "DB", "--max-body-mb", "4", "--body-memory-mb", "2"} << 2 << "body_memory_mb"
            << QString();
    }

    void startupRefusals()
    {
        if (m_backend != Backend::Sqlite)
            QSKIP("start-up checks do not depend on the database kind: covered by the SQLite run");
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, mentions);
        QFETCH(QString, users);
        QString token;
        if (!users.isEmpty()) {
            token = addUser(QStringLiteral("ana"), QStringLiteral("consulta"));
            QVERIFY(!token.isEmpty());
            if (users == QLatin1String("disabled"))
                QVERIFY(admin({QStringLiteral("user"), QStringLiteral("disable"), QStringLiteral("ana")})
                            .contains(QStringLiteral("desativado")));
        }
        const QString empty = m_dir.filePath(QStringLiteral("empty.sqlite"));
        {
            QFile file(empty);
            QVERIFY(file.open(QIODevice::WriteOnly)); // a SQLite file of zero bytes is a valid, empty database
        }
        const QString emptyToken = m_dir.filePath(QStringLiteral("empty-token"));
        QVERIFY(writeSecretFile(emptyToken, " \n"));
        using P = QFileDevice;
        const QString readableToken = m_dir.filePath(QStringLiteral("readable-token"));
        QVERIFY(writeSecretFile(readableToken, "t0k3n\n", P::ReadOwner | P::WriteOwner | P::ReadGroup | P::ReadOther));
        const QString groupToken = m_dir.filePath(QStringLiteral("group-token"));
        QVERIFY(writeSecretFile(groupToken, "t0k3n\n", P::ReadOwner | P::WriteOwner | P::WriteGroup));
        // Copies of the database at the first schema (before versions were recorded)
        // and at a version newer than this build knows.
        const QString older = m_dir.filePath(QStringLiteral("older.sqlite"));
        const QString newer = m_dir.filePath(QStringLiteral("newer.sqlite"));
        for (const auto &[copy, change] :
             {std::pair{older, QStringLiteral("DROP TABLE SCHEMA_VERSION")},
              std::pair{newer, QStringLiteral("UPDATE SCHEMA_VERSION SET NRVERSION = 999")}}) {
            QFile::remove(copy);
            QVERIFY(exec(QStringLiteral("VACUUM INTO '%1'").arg(copy)));
            {
                QSqlDatabase db = DatabaseConnection::open(DatabaseUrl::parse(copy), QStringLiteral("tst-copy"));
                QVERIFY(QSqlQuery(db).exec(change));
            }
            DatabaseConnection::close(QStringLiteral("tst-copy"));
        }
        arguments.replaceInStrings(QRegularExpression(QStringLiteral("^OLDER$")), older);
        arguments.replaceInStrings(QRegularExpression(QStringLiteral("^NEWER$")), newer);
        arguments.replaceInStrings(QRegularExpression(QStringLiteral("^EMPTY$")), empty);
        arguments.replaceInStrings(QRegularExpression(QStringLiteral("^EMPTYTOKEN$")), emptyToken);
        arguments.replaceInStrings(QRegularExpression(QStringLiteral("^READABLETOKEN$")), readableToken);
        arguments.replaceInStrings(QRegularExpression(QStringLiteral("^GROUPTOKEN$")), groupToken);
        const QString fifoToken = m_dir.filePath(QStringLiteral("fifo-token"));
        QVERIFY(QFile::exists(fifoToken) || ::mkfifo(QFile::encodeName(fifoToken).constData(), 0600) == 0);
        arguments.replaceInStrings(QRegularExpression(QStringLiteral("^FIFOTOKEN$")), fifoToken);
        arguments.replaceInStrings(QRegularExpression(QStringLiteral("^DB$")), m_url);
        arguments.replaceInStrings(QRegularExpression(QStringLiteral("^BUSY$")),
                                   QStringLiteral("127.0.0.1:%1").arg(m_server.port()));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("FAS_CONFIG"));
        if (exitCode == 0) {
            AppServerProcess listening;
            listening.process().setProgram(QStringLiteral(FAS_BIN_DIR "/fas-appserver"));
            listening.process().setProcessEnvironment(environment);
            QVERIFY2(listening.startWith(arguments), listening.newLog().constData());
            const QByteArray call = request(QStringLiteral("GetFaturamento"), Filter().params());
            QCOMPARE(post(listening.port(), call).status, 401);
            QVERIFY(post(listening.port(), call, bearer(token)).hasResult());
            // Were the users to vanish, the server would not fall open.
            QVERIFY(exec(QStringLiteral("DELETE FROM USUARIOFAT")));
            QCOMPARE(post(listening.port(), call).errorCode(), -32001);
            return;
        }
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(FAS_BIN_DIR "/fas-appserver"), arguments);
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), exitCode);
        const QString error = QString::fromLocal8Bit(process.readAllStandardError());
        QVERIFY2(error.contains(mentions), qPrintable(error));
        QVERIFY(process.readAllStandardOutput().isEmpty());
        QVERIFY(exec(QStringLiteral("DELETE FROM USUARIOFAT"))); // the fixture's server asks no token again
        QVERIFY(serverServes());                                 // the server holding the port is not disturbed
    }

    // Under systemd (Type=notify) the server says it is ready once it listens,
    // and that it is stopping when it is told to end.
    void serviceManagerHearsReadyAndStopping()
    {
        if (m_backend != Backend::Sqlite)
            QSKIP("the notification does not depend on the database kind: covered by the SQLite run");
        NotifySocket manager(m_dir.path());
        QVERIFY(manager.isOpen());
        AppServerProcess server;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("NOTIFY_SOCKET"), manager.path());
        server.process().setProcessEnvironment(env);
        QVERIFY2(server.start(m_url, {}), server.newLog().constData());
        QCOMPARE(manager.receive(20000), QByteArray("READY=1"));
        QVERIFY(post(server.port(), request(QStringLiteral("GetFaturamento"), Filter().params())).hasResult());
        server.stop();
        QCOMPARE(manager.receive(20000), QByteArray("STOPPING=1"));
        QCOMPARE(server.process().exitCode(), 0);
    }

    void configurationFile()
    {
        if (m_backend != Backend::Sqlite)
            QSKIP("the configuration file does not depend on the database kind: covered by the SQLite run");
        // A SQLite file named relative to the configuration lies beside it.
        const QString ini = m_dir.filePath(QStringLiteral("fas.ini"));
        {
            QSettings settings(ini, QSettings::IniFormat);
            settings.setValue(QStringLiteral("database/url"), QFileInfo(m_url).fileName());
            settings.setValue(QStringLiteral("appserver/listen"), QStringLiteral("127.0.0.1:0"));
        }
        AppServerProcess configured;
        configured.process().setProgram(QStringLiteral(FAS_BIN_DIR "/fas-appserver"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("FAS_CONFIG"), ini);
        configured.process().setProcessEnvironment(env);
        QVERIFY2(configured.startWith({}), configured.newLog().constData());
        const Answer answer = post(configured.port(), request(QStringLiteral("GetFaturamento"), Filter().params()));
        QVERIFY2(answer.hasResult(), answer.body.constData());
        QCOMPARE(answer.packet().rowCount(), 4);
        configured.stop();

        // Options override the file.
        QProcess overridden;
        overridden.setProcessEnvironment(env);
        overridden.start(QStringLiteral(FAS_BIN_DIR "/fas-appserver"),
                         {QStringLiteral("--database"), m_dir.filePath(QStringLiteral("outro.sqlite"))});
        QVERIFY(overridden.waitForFinished(20000));
        QCOMPARE(overridden.exitCode(), 1);
        QVERIFY(QString::fromLocal8Bit(overridden.readAllStandardError()).contains(QStringLiteral("outro.sqlite")));
    }

    // The log's categories follow QT_LOGGING_RULES; the address line on standard
    // output (read by start) is printed whatever the rules say.
    void logRules_data()
    {
        QTest::addColumn<QString>("rules");
        QTest::addColumn<bool>("requestLogged");
        QTest::addColumn<bool>("stopLogged");
        QTest::newRow("default") << "" << true << true;
        QTest::newRow("request lines off") << "fas.server.http.info=false" << false << true;
        QTest::newRow("all server categories off") << "fas.server*=false" << false << false;
    }

    void logRules()
    {
        if (m_backend != Backend::Sqlite)
            QSKIP("the log does not depend on the database kind: covered by the SQLite run");
        QFETCH(QString, rules);
        QFETCH(bool, requestLogged);
        QFETCH(bool, stopLogged);
        AppServerProcess server;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_LOGGING_RULES"), rules);
        env.remove(QStringLiteral("QT_MESSAGE_PATTERN"));
        server.process().setProcessEnvironment(env);
        QVERIFY2(server.start(m_url, {}), server.newLog().constData());
        httplib::Client client("127.0.0.1", server.port());
        auto health = client.Get("/health");
        QVERIFY(health && health->status == 200);
        server.stop();
        const QByteArray log = server.newLog();
        QVERIFY2(log.contains(" info fas.server.http: GET /health method=- ") == requestLogged, log.constData());
        QVERIFY2(log.contains(" info fas.server: encerrado.") == stopLogged, log.constData());
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    return runOnBothDatabases<TstServerStartup>(argc, argv);
}

#include "tst_serverstartup.moc"
