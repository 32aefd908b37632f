#pragma once

#include <httplib.h>

#include <map>
#include <memory>
#include <vector>

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>
#include <QTest>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include "tests/support/AppServerProcess.h"
#include "platform/data/DataPacket.h"
#include "platform/data/TRecordStore.h"

// What the application server's test programs share: fas-appserver as a client sees
// it, the real program on a loopback port, real HTTP, against a database filled with
// known rows. Each program derives its test class from ServerFixture and runs it once
// on SQLite and once on PostgreSQL (when the test command started a cluster): see
// runOnBothDatabases.
namespace ServerTest {

enum class Backend { Sqlite, Postgres };

inline const QString Rpc = QStringLiteral("/FAS09600.rdmFaturamento");

// One billing calculation of the fixture, named by a short label the tests use.
struct Calc
{
    const char *label;
    const char *company;
    const char *branch;
    const char *client;
    const char *month; // yyyy-MM
    const char *type;
    const char *status; // nullptr: blank
    const char *group;
    const char *noteNumber;    // NRNOTAFISC
    const char *invoiceNumber; // NRINVOICE
    const char *entryKind;     // "N"/"I" with entryNumber, or nullptr
    int entryNumber;
    double value;
};

// Clients: C1 and C2 domestic (C2 with two main addresses in Brazil), F1 foreign,
// F2 foreign with a billing address in Brazil, and three keys with characters that
// break naive list handling.
inline const char *const OddClient1 = "A;B,'x'";
inline const char *const OddClient2 = "Q\"[1]";
inline const char *const OddClient3 = "João, Ção";
inline const char *const OddCompany = "\"'";

inline const Calc Fixture[] = {
    {"c1-6-02", "01", "0001", "C1", "2024-02", "6", "P", "SERV", nullptr, nullptr, nullptr, 0, 100.0},
    {"c1-6-03", "01", "0001", "C1", "2024-03", "6", "P", "SERV", nullptr, nullptr, nullptr, 0, 100.0},
    {"c1-6-04", "01", "0001", "C1", "2024-04", "6", "P", "SERV", nullptr, nullptr, nullptr, 0, 1234.5},
    {"c1-6-05", "01", "0001", "C1", "2024-05", "6", "P", "SERV", nullptr, nullptr, nullptr, 0, 100.0},
    {"c1-6-06", "01", "0001", "C1", "2024-06", "6", "P", "SERV", nullptr, nullptr, nullptr, 0, 100.0},
    {"c1-5-04", "01", "0001", "C1", "2024-04", "5", "P", "LIC", nullptr, nullptr, nullptr, 0, 500.0},
    {"c1-1-04", "01", "0001", "C1", "2024-04", "1", "P", "SERV", nullptr, nullptr, nullptr, 0, 10.25},
    {"c1-2-04", "01", "0001", "C1", "2024-04", "2", "P", "SERV", nullptr, nullptr, nullptr, 0, 20.5},
    {"c1-3-04", "01", "0001", "C1", "2024-04", "3", "P", "CUST", nullptr, nullptr, nullptr, 0, 30.0},
    {"c1-4-04", "01", "0002", "C1", "2024-04", "4", "P", "SERV", nullptr, nullptr, nullptr, 0, 40.0},
    {"c2-6-04", "01", "0001", "C2", "2024-04", "6", "R", "SERV", "000123", nullptr, "N", 1, 60.0},
    {"c2-1-04", "01", "0001", "C2", "2024-04", "1", "R", "SERV", nullptr, nullptr, "N", 2, 61.0},
    {"f1-2-04", "02", "0001", "F1", "2024-04", "2", "R", "SERV", nullptr, "INV1", "I", 1, 70.0},
    {"f1-3-04", "02", "0001", "F1", "2024-04", "3", "C", "SERV", nullptr, nullptr, nullptr, 0, 71.0},
    {"f2-6-04", "02", "0001", "F2", "2024-04", "6", "N", "SERV", nullptr, nullptr, nullptr, 0, 72.0},
    {"f2-7-04", "02", "0001", "F2", "2024-04", "7", nullptr, "LOC", nullptr, nullptr, nullptr, 0, 73.0},
    {"odd1-6-04", "01", "0001", OddClient1, "2024-04", "6", "P", "SERV", nullptr, nullptr, nullptr, 0, 80.0},
    {"odd2-6-04", "02", "0001", OddClient2, "2024-04", "6", "P", "SERV", nullptr, nullptr, nullptr, 0, 81.0},
    {"odd3-6-04", OddCompany, "0001", OddClient3, "2024-04", "6", "P", "SERV", nullptr, nullptr, nullptr, 0, 82.0},
    {"c1-6-9999-12", "01", "0001", "C1", "9999-12", "6", "P", "SERV", nullptr, nullptr, nullptr, 0, 99.0},
};

struct Answer
{
    int status = 0;
    QByteArray body;
    QJsonDocument json;
    int errorCode() const
    {
        return json.object().value(QStringLiteral("error")).toObject().value(QStringLiteral("code")).toInt();
    }
    QString errorMessage() const
    {
        return json.object().value(QStringLiteral("error")).toObject().value(QStringLiteral("message")).toString();
    }
    bool hasResult() const { return json.object().contains(QStringLiteral("result")); }
    TRecordStore packet() const
    {
        const QJsonObject result = json.object().value(QStringLiteral("result")).toObject();
        return DataPacket::decode(QJsonDocument(result).toJson(QJsonDocument::Compact));
    }
};

// GetFaturamento's nine arguments; April 2024 unless told otherwise.
struct Filter
{
    QString dtIni = QStringLiteral("2024-04-01T00:00:00.000");
    QString dtFin = QStringLiteral("2024-04-30T00:00:00.000");
    QString types = QStringLiteral("_6_");
    QString clients;
    QString allClients = QStringLiteral("T");
    QString companies;
    QString allCompanies = QStringLiteral("T");
    QString situations = QStringLiteral("_P_");
    QString noteStates = QStringLiteral("T");

    QJsonArray params() const
    {
        return {dtIni, dtFin, types, clients, allClients, companies, allCompanies, situations, noteStates};
    }
};

const Calc *fixture(const QString &label);

QString s(const char *utf8);

QString jsonList(const QStringList &items);

Answer post(int port, const QByteArray &body, const httplib::Headers &headers = {});
// The same through a client the caller set up (TLS, a proxy's port, kept alive).
Answer post(httplib::Client &client, const QByteArray &body, const httplib::Headers &headers = {});

QByteArray request(const QString &method, const QJsonArray &params, int id = 1);

// The labels of the rows of a preview packet, in the packet's order.
QStringList labelsOf(const TRecordStore &rows);

QStringList sorted(QStringList list);

// A batch packet (27-field layout) holding the named fixture items, as the module
// builds it from preview rows.
QByteArray batchOf(const QStringList &labels);

// A calculation's key, as a batch names it.
struct ItemKey
{
    QString company, branch, client, type;
    QDate month; // its first day
};

// A batch packet naming `items` by their keys alone.
QByteArray batchOfKeys(const std::vector<ItemKey> &items);

QByteArray generationRequest(const QString &method, const QByteArray &packet, int id = 7);

// A request as the wire carries it, with the headers given (each ending in CRLF).
QByteArray rawPost(const QByteArray &headers, const QByteArray &body = {},
                   const QByteArray &target = "/FAS09600.rdmFaturamento");

QByteArray chunked(const QByteArray &body, int chunkBytes);

// GeraNF of a pending item, padded with a member the server ignores to `size` bytes:
// a refused body must leave that item pending.
QByteArray paddedGeneration(qsizetype size);

QByteArray gzipped(const QByteArray &data);

// fas-admin on the database `url`: its output (standard output, then errors).
QString adminTool(const QString &url, const QStringList &arguments, int *exitCode = nullptr);
// A user made by "fas-admin user add" in the database `url`; its token, empty when it failed.
QString addUser(const QString &url, const QString &name, const QString &right);
httplib::Headers bearer(const QString &token);

// The fixture's database and server (a 1 MB body limit keeps the oversize tests
// small), made in initTestCase; every test starts from the fixture's rows (init).
class ServerFixture : public QObject
{
    Q_OBJECT

public:
    explicit ServerFixture(Backend backend)
        : m_backend(backend)
    {
    }

protected:
    Backend m_backend;
    QTemporaryDir m_dir;
    QString m_url;
    QString m_adminUrl; // PostgreSQL: the database the cluster gave us, to create ours in
    QString m_databaseName;
    QString m_connection;
    QString m_demoUrl;
    QString m_demoDatabaseName;
    AppServerProcess m_server;
    AppServerProcess m_tokenServer;
    QStringList m_serverArgs; // more options for m_server, set before initTestCase
    std::map<QStringList, std::unique_ptr<AppServerProcess>> m_serversByOptions;

    QSqlDatabase db() const { return QSqlDatabase::database(m_connection); }

    bool exec(const QString &sql, const QVariantList &values = {});

    QVariant scalar(const QString &sql, const QVariantList &values = {});

    QString monthParam(const char *month) const;

    QString statusOf(const Calc &c);
    // Stores `value` (a number's text, or NaN) as the calculation's total; false
    // when the database refuses it.
    bool setValue(const Calc &c, const QString &value);

    QString dateParam() const;

    int count(const QString &table) { return scalar(QStringLiteral("SELECT COUNT(*) FROM %1").arg(table)).toInt(); }

    Answer preview(const Filter &filter)
    {
        return post(m_server.port(), request(QStringLiteral("GetFaturamento"), filter.params()));
    }

    // Any remote method on the main server.
    Answer call(const QString &method, const QJsonArray &params, const httplib::Headers &headers = {})
    {
        return post(m_server.port(), request(method, params), headers);
    }

    // What a refused reversal must leave as it was: entries and reversed entries,
    // links and their history, calculations per status, and the counters.
    QString billingState();

    bool insertCalc(const Calc &c);

    bool fillLookups();

    // The fixture's calculations and entries, as every test starts from them; no
    // users, runs or idempotency keys.
    bool resetBilling();

    // Switches the national note (NFS-e) on for `company`, with a sound registration
    // for it, every client and address in Brazil, and the product; resetBilling
    // switches it off again.
    bool registerNationalNotes(const QString &company = QStringLiteral("01"));

    void expectUnchangedBilling();

    // `count` calculations of client C1, one a month from January 2100 on, with a
    // long text, in one statement.
    bool insertMonthlyRows(int count, const QString &text);

    // Calculations whose values sit at the edges of what the reading has to get
    // right: escapes, multi-byte texts at and beyond their field's size, fractions
    // of seconds, and on SQLite what its loose typing lets in (invalid UTF-8, a date
    // that is no date, a text where a number belongs).
    bool insertEdgeValues();

    // A database filled by fas-demo-data (a few thousand rows), made once.
    QString demoDatabase();

    // fas-admin on the fixture's database: its output (standard output, then errors).
    QString admin(const QStringList &arguments, int *exitCode = nullptr);
    // A user made by "fas-admin user add"; its token, empty when it failed. The
    // users go at the next test's start (resetBilling), with the runs and keys.
    QString addUser(const QString &name, const QString &right);

    // The server that asks for the token "c3rto-Tok3n%41", started once.
    void startTokenServer();

    // A server of the fixture's database with `options`, started at its first use and
    // stopped at the end: the rows that need the same options share it. nullptr when
    // it did not start (a test failure says why).
    AppServerProcess *serverWith(const QStringList &options);

    // The main server still answers its health entry and a preview.
    bool serverServes();

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
};

// Runs the test class `T` on SQLite, then on PostgreSQL; the exit status of a test program.
template<typename T>
int runOnBothDatabases(int argc, char **argv)
{
    int status = 0;
    {
        T sqlite(Backend::Sqlite);
        status |= QTest::qExec(&sqlite, argc, argv);
    }
    {
        T postgres(Backend::Postgres);
        status |= QTest::qExec(&postgres, argc, argv);
    }
    return status;
}

} // namespace ServerTest
