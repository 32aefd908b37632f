// fas-admin and the schema migrations, on SQLite and (when a cluster runs) on
// PostgreSQL: upgrading a database of the first release, a migration that fails,
// two migrating processes, the check's findings, backup while the server writes.

#include <atomic>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QProcess>
#include <QSettings>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

#include "tests/support/AppServerProcess.h"
#include "platform/sql/DatabaseConnection.h"
#include "platform/sql/DatabaseError.h"
#include "db/MigrationCatalog.h"
#include "tests/support/RawHttp.h"
#include "db/SchemaGate.h"
#include "db/SchemaMigrator.h"
#include "db/SchemaScript.h"
#include "tests/support/ScratchDatabase.h"
#include "tests/support/TestSql.h"

using namespace Qt::StringLiterals;

namespace {

// The schema version these programs create and migrate to: one per built-in migration.
int newestVersion()
{
    return int(MigrationCatalog::forKind(DatabaseUrl::Kind::Sqlite).size());
}

struct Run
{
    int code = -1;
    QString out;
    QString err;
};

// `unprivileged`: as a user without any rights of its own (nobody), so that file
// permissions bind even when the test runs as root. An argument "fas-demo-data"
// runs that program instead; "<full disk>" runs fas-admin with files limited to
// 32 KiB, as on a disk that fills up.
Run runAdmin(QStringList arguments, bool unprivileged = false)
{
    QString program = QStringLiteral(FAS_BIN_DIR "/fas-admin");
    if (arguments.removeAll(QStringLiteral("fas-demo-data")) > 0)
        program = QStringLiteral(FAS_BIN_DIR "/fas-demo-data");
    if (arguments.removeAll(QStringLiteral("<full disk>")) > 0) {
        arguments = QStringList{QStringLiteral("-c"), QStringLiteral("trap '' XFSZ; ulimit -f 64; exec \"$0\" \"$@\""),
                                program}
                    + arguments;
        program = QStringLiteral("/bin/sh");
    }
    QStringList all = arguments;
    if (unprivileged && ::geteuid() == 0) {
        all = QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                          QStringLiteral("--clear-groups"), program}
              + arguments;
        program = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    }
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("FAS_CONFIG"));
    process.setProcessEnvironment(env);
    process.start(program, all);
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// Every row of our tables as text, sorted: equal before and after a migration
// when every row was kept as it was. `columns`: how many columns of a table to
// read (those it had before; a migration adds new ones at the end); all when absent.
QStringList allRows(const QSqlDatabase &db, const QHash<QString, int> &columns = {})
{
    QStringList rows;
    for (const QString &table : SchemaScript::tables()) {
        QSqlQuery query(QStringLiteral("SELECT * FROM %1").arg(table), db);
        const int read = columns.value(table, query.record().count());
        while (query.next()) {
            QStringList cells{table};
            for (int i = 0; i < read; ++i)
                cells << (query.isNull(i) ? QStringLiteral("<null>") : query.value(i).toString());
            rows << cells.join(u'|');
        }
    }
    rows.sort();
    return rows;
}

} // namespace

class TstAdmin : public QObject
{
    Q_OBJECT
public:
    explicit TstAdmin(ScratchDatabase::Kind kind)
        : m_scratch(kind, QStringLiteral("admin"))
    {
    }

private:
    ScratchDatabase m_scratch;
    const QString m_connection = QStringLiteral("tst-admin");
    int m_fixtureRows = 0;

    QStringList withDatabase(QStringList arguments) const
    {
        return QStringList{QStringLiteral("--database"), m_scratch.url()} + arguments;
    }

    // A database as the first release made it: the first schema, the fixture's rows.
    bool makeReleaseOne()
    {
        if (!m_scratch.recreate())
            return false;
        QSqlDatabase db = m_scratch.open(m_connection);
        SchemaMigrator(db).migrate(1);
        QFile fixture(QStringLiteral(FAS_ADMIN_FIXTURES "/release-1-data.sql"));
        if (!fixture.open(QIODevice::ReadOnly))
            return false;
        const QStringList rows = SchemaScript::parseStatements(QString::fromUtf8(fixture.readAll()));
        m_fixtureRows = int(rows.size());
        for (const QString &statement : rows)
            if (!TestSql::exec(db, statement))
                return false;
        return SchemaMigrator(db).currentVersion() == 1;
    }

    bool makeCurrent()
    {
        if (!makeReleaseOne())
            return false;
        QSqlDatabase db = QSqlDatabase::database(m_connection);
        SchemaMigrator migrator(db);
        migrator.migrate();
        return migrator.currentVersion() == migrator.newestVersion();
    }

private slots:
    void initTestCase()
    {
        if (!m_scratch.unavailableReason().isEmpty())
            QSKIP(qPrintable(m_scratch.unavailableReason()));
    }

    void cleanup() { DatabaseConnection::close(m_connection); }

    void upgradeKeepsEveryRow()
    {
        QVERIFY(makeReleaseOne());
        QSqlDatabase db = QSqlDatabase::database(m_connection);
        const QStringList before = allRows(db);
        QCOMPARE(before.size(), m_fixtureRows);
        QHash<QString, int> columns;
        for (const QString &table : SchemaScript::tables())
            columns[table] = QSqlQuery(QStringLiteral("SELECT * FROM %1 WHERE 1 = 0").arg(table), db).record().count();
        QVERIFY_THROWS_EXCEPTION(DatabaseError, SchemaGate::requireCurrent(DatabaseUrl::parse(m_scratch.url())));

        const Run migrate = runAdmin(withDatabase({QStringLiteral("migrate")}));
        QCOMPARE(migrate.code, 0);
        QVERIFY2(migrate.out.contains(QStringLiteral("Migração 0002-schema-version aplicada.")),
                 qPrintable(migrate.out));
        // Open again: SQLite's driver mis-sizes a row whose table another process
        // altered under a statement prepared before.
        db.close();
        QVERIFY(db.open());
        QCOMPARE(allRows(db, columns), before);
        QCOMPARE(SchemaMigrator(db).currentVersion(), SchemaMigrator(db).newestVersion());
        SchemaGate::requireCurrent(DatabaseUrl::parse(m_scratch.url()));

        const Run again = runAdmin(withDatabase({QStringLiteral("migrate")}));
        QCOMPARE(again.code, 0);
        QVERIFY2(again.out.contains(QStringLiteral("nada a fazer")), qPrintable(again.out));
        const Run check = runAdmin(withDatabase({QStringLiteral("check")}));
        QVERIFY2(check.code == 0, qPrintable(check.out + check.err));
    }

    void failedMigrationLeavesDatabaseAsItWas_data()
    {
        QTest::addColumn<QStringList>("statements");
        QTest::addColumn<bool>("foreignKeysOff");
        QTest::newRow("second statement fails")
            << QStringList{"CREATE TABLE HALFWAY (ID INTEGER)", "UPDATE EMPRESA SET NMEMPRESA = 'x'",
                           "INSERT INTO NO_SUCH_TABLE VALUES (1)"}
            << false;
        QTest::newRow("table rebuild that would orphan rows")
            << QStringList{"CREATE TABLE HALFWAY (ID INTEGER)", "DELETE FROM LANCFATFAS"} << true;
    }

    void failedMigrationLeavesDatabaseAsItWas()
    {
        QFETCH(QStringList, statements);
        QFETCH(bool, foreignKeysOff);
        QVERIFY(makeCurrent());
        QSqlDatabase db = QSqlDatabase::database(m_connection);
        const QStringList before = allRows(db);
        QList<Migration> migrations = MigrationCatalog::forKind(SchemaScript::kindOf(db));
        const int version = int(migrations.size());
        migrations.append({version + 1, QStringLiteral("%1-broken").arg(version + 1, 4, 10, QChar(u'0')), statements,
                           foreignKeysOff});
        SchemaMigrator migrator(db, migrations);
        try {
            migrator.migrate();
            QFAIL("the broken migration was applied");
        } catch (const DatabaseError &error) {
            QVERIFY2(error.message().contains(QStringLiteral("-broken")), qPrintable(error.message()));
        }
        QCOMPARE(migrator.currentVersion(), version);
        QVERIFY(!SchemaScript::hasTable(db, QStringLiteral("HALFWAY")));
        QCOMPARE(allRows(db), before);
        if (m_scratch.isSqlite()) // switched on again after the rebuild
            QCOMPARE(TestSql::column(db, QStringLiteral("PRAGMA foreign_keys")), QStringList{QStringLiteral("1")});
    }

    void concurrentMigratesApplyEachMigrationOnce()
    {
        QVERIFY(makeReleaseOne());
        QProcess first;
        QProcess second;
        for (QProcess *process : {&first, &second})
            process->start(QStringLiteral(FAS_BIN_DIR "/fas-admin"), withDatabase({QStringLiteral("migrate")}));
        QStringList outputs;
        for (QProcess *process : {&first, &second}) {
            QVERIFY(process->waitForFinished(60000));
            QCOMPARE(process->exitCode(), 0);
            outputs << QString::fromUtf8(process->readAllStandardOutput());
        }
        // Each migration after the first schema, once in all.
        QSqlDatabase db = QSqlDatabase::database(m_connection);
        QCOMPARE(outputs.join(QString()).count(QStringLiteral("aplicada")), SchemaMigrator(db).newestVersion() - 1);
        for (const Migration &migration : MigrationCatalog::forKind(DatabaseUrl::parse(m_scratch.url()).kind()))
            if (migration.version > 1)
                QVERIFY2(outputs.join(QString()).count(migration.name + QStringLiteral(" aplicada")) == 1,
                         qPrintable(outputs.join(u'\n')));
    }

    void checkFindsEachBrokenRule_data()
    {
        QTest::addColumn<QStringList>("sqlite");
        QTest::addColumn<QStringList>("postgresql");
        QTest::addColumn<QString>("finding");
        const QStringList same;
        QTest::newRow("sound") << QStringList{} << same << "nenhum problema encontrado";
        QTest::newRow("entry total") << QStringList{"UPDATE LANCFATFAS SET VRTOTLANCFAT = 1600 WHERE NRLANCFAT = 1 "
                                                    "AND IDTPLANCFAT = 'N'"}
                                     << same
                                     << "O lançamento de nota fiscal 01/1 registra 2 itens no total de "
                                        "1.600,00, mas tem 2 itens somando 1.599,99.";
        QTest::newRow("item count") << QStringList{"UPDATE LANCFATFAS SET QTITEMLANCFAT = 3 WHERE IDTPLANCFAT = 'I'"}
                                    << same << "invoice 01/1 registra 3 itens";
        QTest::newRow("item changed after billing")
            << QStringList{"UPDATE APURFATFAS SET VRTOTAFATFAS = 260 WHERE CDCLIENTE = 'C002' AND CDEMPRESA = '01'"}
            << same << "nota fiscal 01/2 registra 1 itens no total de 250,00, mas tem 1 itens somando 260,00";
        QTest::newRow("counter behind") << QStringList{"UPDATE NUMLANCFAT SET NRULTLANCFAT = 1 WHERE IDTPLANCFAT = 'N' "
                                                       "AND CDEMPRESA = '01'"}
                                        << same
                                        << "O contador de notas fiscais da empresa 01 está em 1, mas o maior "
                                           "número usado é 2.";
        QTest::newRow("counter ahead of unused")
            << QStringList{"UPDATE NUMLANCFAT SET NRULTLANCFAT = 4 WHERE "
                           "CDEMPRESA = '02'"}
            << same << "O contador de notas fiscais da empresa 02 está em 4, mas nenhum número foi usado.";
        QTest::newRow("counter missing")
            << QStringList{"DELETE FROM NUMLANCFAT WHERE IDTPLANCFAT = 'I'"} << same
            << "A empresa 01 tem lançamentos de invoices até o número 1, mas nenhum contador";
        const QString dps = QStringLiteral(
            "INSERT INTO NFSEDPS (CDEMPRESA, IDTPLANCFAT, NRLANCFAT, NRSERIEDPS, NRDPS, IDDPS, DSXMLDPS, DTCRIACAO) "
            "VALUES ('01', 'N', 2, '1', 7, 'DPS-7', '<DPS/>', '2024-05-02 10:00:00')");
        QTest::newRow("DPS counter behind")
            << QStringList{dps, "INSERT INTO NUMDPS (CDEMPRESA, NRSERIEDPS, NRULTDPS) VALUES ('01', '1', 6)"} << same
            << "O contador de DPS da empresa 01, série 1, está em 6, mas o maior número usado é 7";
        QTest::newRow("DPS counter missing") << QStringList{dps} << same
                                             << "A empresa 01 tem DPS da série 1 até o número 7, mas nenhum contador";
        // A reversed entry keeps its links in the history and reopens its calculations:
        // sound, unless they are lost.
        const QStringList freeing{
            "INSERT INTO ITEMLANCFATHIST (CDEMPRESA, IDTPLANCFAT, NRLANCFAT, CDFILIAL, CDCLIENTE, "
            "DTMESAPURFAS, IDAPURFATFAS) SELECT CDEMPRESA, IDTPLANCFAT, NRLANCFAT, CDFILIAL, "
            "CDCLIENTE, DTMESAPURFAS, IDAPURFATFAS FROM ITEMLANCFAT WHERE IDTPLANCFAT = 'I'",
            "DELETE FROM ITEMLANCFAT WHERE IDTPLANCFAT = 'I'",
            "UPDATE LANCFATFAS SET DTESTORNO = '2024-05-02 10:00:00', DSMOTIVOESTORNO = 'erro' "
            "WHERE IDTPLANCFAT = 'I'"};
        const QStringList reversal = freeing
                                     + QStringList{"UPDATE APURFATFAS SET IDSTAPFATFAS = 'P' WHERE CDCLIENTE = 'X001'"};
        QTest::newRow("reversed entry") << reversal << same << "nenhum problema encontrado";
        QTest::newRow("reversed entry without its links")
            << reversal + QStringList{"DELETE FROM ITEMLANCFATHIST"} << same << "invoice 01/1 registra";
        QTest::newRow("reversed entry, its calculation imported again with a new value")
            << reversal + QStringList{"UPDATE APURFATFAS SET VRTOTAFATFAS = 3300 WHERE CDCLIENTE = 'X001'"} << same
            << "nenhum problema encontrado";
        QTest::newRow("calculation freed by a reversal left realized")
            << freeing << same << "A apuração 01/0001/X001/2024-02-01/1 foi liberada por um estorno";
        QTest::newRow("calculation of a live entry pending")
            << QStringList{"UPDATE APURFATFAS SET IDSTAPFATFAS = 'P' WHERE CDCLIENTE = 'C002' AND CDEMPRESA = '01'"}
            << same
            << "A apuração 01/0001/C002/2024-02-01/1 está no lançamento de nota fiscal 01/2, mas a sua situação é P";
        // Company 01 sends its notes as national NFS-e: its pending note for C001
        // needs the company, the client and the product registered.
        const QStringList national{"UPDATE EMPRESA SET IDNFSEEMPRESA = 'S' WHERE CDEMPRESA = '01'"};
        const QStringList company{"UPDATE EMPRESA SET NRINSCMUNEMPRESA = '123', CDMUNIBGEEMPRESA = '3550308', "
                                  "IDREGTRIBEMPRESA = '1', NRSERIEDPS = '1' WHERE CDEMPRESA = '01'"};
        const QStringList registered =
            national + company
            + QStringList{"UPDATE CLIENTE SET NRINSJURCLIE = '44555666000181' WHERE CDCLIENTE = 'C001'",
                          "UPDATE ENDECLIE SET CDMUNIBGE = '3550308' WHERE CDCLIENTE = 'C001'",
                          "UPDATE PRODUTO SET CDSERVNACPRODUTO = '160201', PCALIQISSPRODUTO = 2"};
        QTest::newRow("national notes: the company's registration")
            << national << same
            << "A empresa 01 emite NFS-e, mas falta a inscrição municipal (NRINSCMUNEMPRESA); falta o código IBGE do "
               "município (CDMUNIBGEEMPRESA)";
        QTest::newRow("national notes: the client's")
            << national + company << same
            << "O cliente C001 tem apurações pendentes de NFS-e, mas o CNPJ 44555666000199 tem dígito verificador "
               "errado; falta o código IBGE do município do endereço principal no Brasil (CDMUNIBGE).";
        QTest::newRow("national notes: everything registered") << registered << same << "nenhum problema encontrado";
        QTest::newRow("national notes: the product's ISS rate")
            << registered + QStringList{"UPDATE PRODUTO SET PCALIQISSPRODUTO = NULL"} << same
            << "O produto FRETE tem apurações pendentes de NFS-e, mas falta a alíquota de ISS (PCALIQISSPRODUTO).";
        QTest::newRow("schema older than the programs")
            << QStringList{"UPDATE SCHEMA_VERSION SET NRVERSION = 3"} << same
            << QStringLiteral("está na versão 3 e estes programas usam a versão %1: atualize-o com fas-admin migrate")
                   .arg(newestVersion());
        const QString secondLink = "INSERT INTO ITEMLANCFAT VALUES ('01', '0001', 'C002', '2024-02-01', '1', 'I', 1)";
        QTest::newRow("item in two entries")
            << QStringList{"CREATE TABLE LOOSE AS SELECT * FROM ITEMLANCFAT", "DROP TABLE ITEMLANCFAT",
                           "ALTER TABLE LOOSE RENAME TO ITEMLANCFAT", secondLink}
            << QStringList{"ALTER TABLE ITEMLANCFAT DROP CONSTRAINT itemlancfat_pkey", secondLink}
            << "A apuração 01/0001/C002/2024-02-01/1 está em 2 lançamentos.";
        QTest::newRow("database integrity")
            << QStringList{"PRAGMA foreign_keys = OFF", "DELETE FROM LANCFATFAS WHERE IDTPLANCFAT = 'I'"}
            << QStringList{"ALTER TABLE LANCFATFAS ADD CONSTRAINT ck_total CHECK (VRTOTLANCFAT > 5000) NOT VALID"}
            << (m_scratch.isSqlite() ? "aponta para um registro inexistente de LANCFATFAS"
                                     : "Restrição ck_total de lancfatfas não validada.");
    }

    void checkFindsEachBrokenRule()
    {
        QFETCH(QStringList, sqlite);
        QFETCH(QStringList, postgresql);
        QFETCH(QString, finding);
        QVERIFY(makeCurrent());
        QSqlDatabase db = QSqlDatabase::database(m_connection);
        const QStringList corruption = m_scratch.isSqlite() || postgresql.isEmpty() ? sqlite : postgresql;
        for (const QString &statement : corruption) // DDL among them: run as they are, not prepared
            QVERIFY2(QSqlQuery(db).exec(statement), qPrintable(statement));
        db = QSqlDatabase();
        DatabaseConnection::close(m_connection);
        const Run check = runAdmin(withDatabase({QStringLiteral("check")}));
        QVERIFY2(check.out.contains(finding), qPrintable(check.out + check.err));
        QCOMPARE(check.code, finding == u"nenhum problema encontrado" ? 0 : 1);
    }

    void commandLine_data()
    {
        // none, empty, current, missing, unreadable, closed; open: current, named by a
        // configuration whose server listens beyond loopback without a token
        QTest::addColumn<QString>("database");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("no command") << "current" << QStringList{} << 2 << "Informe um comando";
        QTest::newRow("no command: every command named")
            << "current" << QStringList{} << 2 << "init, migrate, backup, check, import ou user";
        QTest::newRow("database option after the command")
            << "current" << QStringList{"migrate", "--database", "<database>"} << 0 << "nada a fazer";
        QTest::newRow("import into a missing database")
            << "missing" << QStringList{"import", "empresas", FAS_SOURCE_DIR "/docs/examples/import/empresas.csv"} << 1
            << "o arquivo não existe";
        QTest::newRow("backup readable by no other user")
            << "current" << QStringList{"backup", "<target>"} << 0 << "gravada em";
        QTest::newRow("backup onto the database's -wal")
            << "current" << QStringList{"backup", "<database>-wal"} << 1 << "é o arquivo -wal do próprio banco";
        QTest::newRow("backup onto a link to the database's -shm")
            << "current" << QStringList{"backup", "<link>"} << 1 << "é o arquivo -shm do próprio banco";
        QTest::newRow("backup on a full disk")
            << "current" << QStringList{"<full disk>", "backup", "<target>"} << 1 << "Não foi possível gravar a cópia";
        QTest::newRow("demo data replacing a database of these programs")
            << "current" << QStringList{"fas-demo-data", "--replace", "--rows", "20"} << 0 << "20 apurações";
        QTest::newRow("unknown command") << "current" << QStringList{"migrar"} << 2 << "Comando desconhecido: migrar";
        QTest::newRow("unknown option") << "current" << QStringList{"--banco", "x"} << 2
                                        << "fas-admin: opção desconhecida: --banco. Veja fas-admin --help.";
        QTest::newRow("command help") << "none" << QStringList{"backup", "--help"} << 0 << "fas-admin backup ARQUIVO";
        QTest::newRow("no database") << "none" << QStringList{"check"} << 2 << "Banco de dados não informado";
        QTest::newRow("backup without a file") << "current" << QStringList{"backup"} << 2 << "fas-admin backup ARQUIVO";
        QTest::newRow("init on a database with tables") << "current" << QStringList{"init"} << 3 << "já tem tabelas";
        QTest::newRow("init") << "empty" << QStringList{"init"} << 0
                              << QStringLiteral("esquema criado na versão %1").arg(newestVersion());
        QTest::newRow("migrate an empty database") << "empty" << QStringList{"migrate"} << 1 << "fas-admin init";
        QTest::newRow("database file missing") << "missing" << QStringList{"check"} << 1 << "o arquivo não existe";
        QTest::newRow("database file unreadable")
            << "unreadable" << QStringList{"check"} << 1 << "sem permissão para ler o arquivo";
        QTest::newRow("database folder closed")
            << "closed" << QStringList{"check"} << 1 << "sem permissão para chegar ao arquivo";
        QTest::newRow("configuration of a server open without a token")
            << "open" << QStringList{"check"} << 0 << "nenhum problema encontrado";
        QTest::newRow("user add") << "current" << QStringList{"user", "add", "ana", "--right", "faturamento"} << 0
                                  << "criado com o direito faturamento";
        QTest::newRow("user add without a right")
            << "current" << QStringList{"user", "add", "ana"} << 2 << "--right consulta|faturamento|supervisor";
        QTest::newRow("user add an unknown right") << "current" << QStringList{"user", "add", "ana", "--right", "chefe"}
                                                   << 2 << "Direito desconhecido \"chefe\"";
        QTest::newRow("user add a name ending in a line feed")
            << "current" << QStringList{"user", "add", "ana\n", "--right", "consulta"} << 1
            << "Nome de usuário inválido";
        QTest::newRow("user add a name with a space")
            << "current" << QStringList{"user", "add", "a b", "--right", "consulta"} << 1
            << "Nome de usuário inválido \"a b\"";
        QTest::newRow("user list without users") << "current" << QStringList{"user", "list"} << 0 << "Nenhum usuário";
        QTest::newRow("user disable of nobody")
            << "current" << QStringList{"user", "disable", "ninguem"} << 1 << "O usuário ninguem não existe";
        QTest::newRow("user token of nobody")
            << "current" << QStringList{"user", "token", "ninguem"} << 1 << "O usuário ninguem não existe";
        QTest::newRow("user without an action") << "current" << QStringList{"user"} << 2 << "Informe a ação: add, list";
    }

    // The token is printed once, alone on the last line, and kept only as its
    // SHA-256; a new token replaces it and enables a disabled user again.
    void userTokenIsShownOnceAndReplaced()
    {
        QVERIFY(makeCurrent());
        const auto lastLine = [](const Run &run) { return run.out.trimmed().split(u'\n').constLast(); };
        const auto storedHash = [this] {
            QSqlQuery query(QStringLiteral("SELECT HASHTOKEN, IDATIVO FROM USUARIOFAT WHERE NMUSUARIO = 'ana'"),
                            QSqlDatabase::database(m_connection));
            return query.next() ? query.value(0).toString() + u'/' + query.value(1).toString() : QString();
        };
        const auto sha = [](const QString &token) {
            return QString::fromLatin1(QCryptographicHash::hash(token.toLatin1(), QCryptographicHash::Sha256).toHex());
        };
        const Run added = runAdmin(withDatabase({"user", "add", "ana", "--right", "consulta"}));
        QCOMPARE(added.code, 0);
        const QString token = lastLine(added);
        QVERIFY2(QRegularExpression(QStringLiteral("^[A-Za-z0-9_-]{43}$")).match(token).hasMatch(), qPrintable(token));
        QCOMPARE(storedHash(), sha(token) + QStringLiteral("/S"));
        QCOMPARE(runAdmin(withDatabase({"user", "disable", "ana"})).code, 0);
        QCOMPARE(storedHash(), sha(token) + QStringLiteral("/N"));
        QVERIFY(runAdmin(withDatabase({"user", "list"})).out.contains(QStringLiteral("desativado")));
        const Run renewed = runAdmin(withDatabase({"user", "token", "ana"}));
        QCOMPARE(renewed.code, 0);
        QVERIFY(lastLine(renewed) != token);
        QCOMPARE(storedHash(), sha(lastLine(renewed)) + QStringLiteral("/S"));
        QCOMPARE(runAdmin(withDatabase({"user", "add", "ana", "--right", "consulta"})).code, 1);
    }

    void commandLine()
    {
        QFETCH(QString, database);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, mentions);
        const bool fileCase = QStringList{"missing", "unreadable", "closed"}.contains(database);
        const bool copyCase = arguments.contains(u"backup"_s) && !arguments.filter(u"<"_s).isEmpty();
        if ((fileCase || copyCase) && !m_scratch.isSqlite())
            QSKIP("a file's presence and rights, and the copy, are SQLite matters");
        if (database == QLatin1String("current") || database == QLatin1String("open"))
            QVERIFY(makeCurrent());
        else
            QVERIFY(m_scratch.recreate());
        if (arguments.contains(u"<full disk>"_s)) // more pages than SQLite caches: the copy writes its file mid-way
            QVERIFY(TestSql::exec(QSqlDatabase::database(m_connection),
                                  QStringLiteral("CREATE TABLE PADDING AS SELECT randomblob(1000000) AS B FROM (WITH "
                                                 "RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
                                                 "10) SELECT i FROM n)")));
        DatabaseConnection::close(m_connection);
        if (database == QLatin1String("empty") && m_scratch.isSqlite()) {
            QFile file(m_scratch.url());
            QVERIFY(file.open(QIODevice::WriteOnly)); // zero bytes: a valid, empty SQLite database
        }
        // A file of no rights in an open folder, or any file in a folder of no rights.
        QTemporaryDir folder;
        const QString file = folder.filePath(QStringLiteral("fas.sqlite"));
        QVERIFY(QFile(file).open(QIODevice::WriteOnly));
        QVERIFY(::chmod(QFile::encodeName(folder.path()).constData(), database == QLatin1String("closed") ? 0 : 0755)
                == 0);
        QVERIFY(::chmod(QFile::encodeName(file).constData(), database == QLatin1String("unreadable") ? 0 : 0644) == 0);
        const auto reopen = qScopeGuard([&folder] { ::chmod(QFile::encodeName(folder.path()).constData(), 0700); });
        const QString path = database == QLatin1String("missing") ? folder.filePath(QStringLiteral("absent.sqlite"))
                             : fileCase                           ? file
                                                                  : m_scratch.url();
        const QString copy = folder.filePath(QStringLiteral("copy.sqlite"));
        QVERIFY(QFile::link(path + QStringLiteral("-shm"), folder.filePath(QStringLiteral("link"))));
        arguments.replaceInStrings(u"<database>"_s, path)
            .replaceInStrings(u"<target>"_s, copy)
            .replaceInStrings(u"<link>"_s, folder.filePath(QStringLiteral("link")));
        if (database == QLatin1String("open")) {
            const QString ini = folder.filePath(QStringLiteral("fas.ini"));
            QSettings settings(ini, QSettings::IniFormat);
            settings.setValue(QStringLiteral("database/url"), path);
            settings.setValue(QStringLiteral("appserver/listen"), QStringLiteral("0.0.0.0:9600"));
            settings.sync();
            arguments = QStringList{QStringLiteral("--config"), ini} + arguments;
        } else if (database != QLatin1String("none") && !arguments.contains(u"--database"_s)) {
            arguments = QStringList{QStringLiteral("--database"), path} + arguments;
        }
        const Run run = runAdmin(arguments, fileCase);
        QVERIFY2(run.code == exitCode, qPrintable(QString::number(run.code) + run.out + run.err));
        QVERIFY2((run.out + run.err).contains(mentions), qPrintable(run.out + run.err));
        // A copy leaves no temporary file behind, and is readable by no other user.
        QCOMPARE(QDir(folder.path()).entryList({QStringLiteral("copy.sqlite.tmp*")}, QDir::Files | QDir::Hidden),
                 QStringList());
        struct stat copyStatus = {};
        if (::stat(QFile::encodeName(copy).constData(), &copyStatus) == 0)
            QCOMPARE(copyStatus.st_mode & S_IRWXO, 0u);
    }

    void backupIsPgDumpAdviceOnPostgresql()
    {
        if (m_scratch.isSqlite())
            QSKIP("PostgreSQL only");
        const Run run = runAdmin(withDatabase({QStringLiteral("backup"), QStringLiteral("/tmp/fas.dump")}));
        QCOMPARE(run.code, 3);
        QVERIFY2(run.out.contains(QStringLiteral("pg_dump --format=custom --file='/tmp/fas.dump' 'postgresql://")),
                 qPrintable(run.out));
        QVERIFY(!QFile::exists(QStringLiteral("/tmp/fas.dump")));
    }

    // Backups taken while a server generates fiscal notes, one item per call:
    // each copy is a whole database that passes the check.
    void backupWhileTheServerGenerates()
    {
        if (!m_scratch.isSqlite())
            QSKIP("the online backup is SQLite's");
        QVERIFY(makeCurrent());
        QSqlDatabase db = QSqlDatabase::database(m_connection);
        const int items = 300;
        for (int n = 0; n < items; ++n)
            QVERIFY(TestSql::exec(
                db,
                QStringLiteral("INSERT INTO APURFATFAS (CDEMPRESA, CDFILIAL, CDCLIENTE, "
                               "DTMESAPURFAS, IDAPURFATFAS, IDSTAPFATFAS, CDTIPOSERV, "
                               "VRTOTAFATFAS) VALUES ('01', '0001', 'C001', ?, '6', 'P', '6', ?)"),
                {QStringLiteral("%1-%2-01").arg(2100 + n / 12).arg(n % 12 + 1, 2, 10, QChar(u'0')), 10 + n}));
        db = QSqlDatabase();
        DatabaseConnection::close(m_connection);
        AppServerProcess server;
        server.setDatabaseUrl(m_scratch.url());
        QVERIFY2(server.start(), qPrintable(server.errorText()));

        std::atomic<int> generated{0};
        std::thread caller([&server, &generated, items] {
            for (int n = 0; n < items; ++n) {
                const QByteArray body = QStringLiteral(
                                            R"({"jsonrpc":"2.0","id":1,"method":"GeraNF","params":[{"fields":[)"
                                            R"({"name":"CDEMPRESA","type":"string","size":2,"fixed":false},)"
                                            R"({"name":"CDFILIAL","type":"string","size":4,"fixed":false},)"
                                            R"({"name":"CDCLIENTE","type":"string","size":21,"fixed":false},)"
                                            R"({"name":"IDAPURFATFAS","type":"string","size":1,"fixed":false},)"
                                            R"({"name":"DTMESAPURFAS","type":"datetime","size":0,"fixed":false}],)"
                                            R"("rows":[["01","0001","C001","6","%1-%2-01T00:00:00.000"]]}]})")
                                            .arg(2100 + n / 12)
                                            .arg(n % 12 + 1, 2, 10, QChar(u'0'))
                                            .toUtf8();
                const RawHttp::Answer answer = RawHttp::exchange(
                    server.port(), "POST /FAS09600.rdmFaturamento HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                                   "Content-Type: application/json\r\nContent-Length: "
                                       + QByteArray::number(body.size()) + "\r\n\r\n" + body);
                if (answer.body.contains("\"result\""))
                    ++generated;
            }
        });
        const auto joinCaller = qScopeGuard([&caller] {
            if (caller.joinable())
                caller.join();
        });
        QTRY_VERIFY_WITH_TIMEOUT(generated.load() > 0, 60000); // the backups overlap the writes
        QStringList copies;
        for (int i = 0; i < 3; ++i) {
            copies << m_scratch.tempPath(QStringLiteral("copy-%1.sqlite").arg(i));
            const Run backup = runAdmin(withDatabase({QStringLiteral("backup"), copies.last()}));
            QVERIFY2(backup.code == 0, qPrintable(backup.out + backup.err));
        }
        caller.join();
        server.stop();
        QCOMPARE(generated.load(), items);
        for (const QString &copy : copies) {
            const Run check = runAdmin({QStringLiteral("--database"), copy, QStringLiteral("check")});
            QVERIFY2(check.code == 0, qPrintable(copy + check.out + check.err));
            QVERIFY(
                !QFile::exists(copy + QStringLiteral(".tmp-") + QString::number(QCoreApplication::applicationPid())));
        }
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int status = 0;
    for (const auto kind : {ScratchDatabase::Kind::Sqlite, ScratchDatabase::Kind::Postgres}) {
        TstAdmin test(kind);
        status |= QTest::qExec(&test, argc, argv);
    }
    return status;
}

#include "tst_admin.moc"
