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

#include "AppServerProcess.h"
#include "BillingItemLayout.h"
#include "DataPacket.h"
#include "DatabaseConnection.h"
#include "DatabaseUrl.h"
#include "NotifySocket.h"
#include "PreviewQuery.h"
#include "RawHttp.h"
#include "ThreadDatabase.h"

// fas-appserver as a client sees it: the real program on a loopback port, real
// HTTP, against a database filled with known rows. The whole class runs once on
// SQLite and once on PostgreSQL (when the test command started a cluster).
namespace {

enum class Backend { Sqlite, Postgres };

const QString Rpc = QStringLiteral("/FAS09600.rdmFaturamento");

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
const char *const OddClient1 = "A;B,'x'";
const char *const OddClient2 = "Q\"[1]";
const char *const OddClient3 = "João, Ção";
const char *const OddCompany = "\"'";

const Calc Fixture[] = {
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

const Calc *fixture(const QString &label)
{
    for (const Calc &c : Fixture)
        if (label == QLatin1String(c.label))
            return &c;
    return nullptr;
}

QString s(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

QString jsonList(const QStringList &items)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(items)).toJson(QJsonDocument::Compact));
}

struct Answer
{
    int status = 0;
    QByteArray body;
    QJsonDocument json;
    int errorCode() const { return json.object().value(QStringLiteral("error")).toObject().value(QStringLiteral("code")).toInt(); }
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

Answer post(int port, const QByteArray &body, const httplib::Headers &headers = {})
{
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(60, 0);
    Answer answer;
    auto result = client.Post(Rpc.toStdString(), headers, body.constData(), size_t(body.size()), "application/json");
    if (!result)
        return answer;
    answer.status = result->status;
    answer.body = QByteArray::fromStdString(result->body);
    answer.json = QJsonDocument::fromJson(answer.body);
    return answer;
}

QByteArray request(const QString &method, const QJsonArray &params, int id = 1)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
                                     {QStringLiteral("id"), id},
                                     {QStringLiteral("method"), method},
                                     {QStringLiteral("params"), params}})
        .toJson(QJsonDocument::Compact);
}

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

// The labels of the rows of a preview packet, in the packet's order.
QStringList labelsOf(const TRecordStore &rows)
{
    const int company = rows.indexOf(QStringLiteral("CDEMPRESA"));
    const int branch = rows.indexOf(QStringLiteral("CDFILIAL"));
    const int client = rows.indexOf(QStringLiteral("CDCLIENTE"));
    const int type = rows.indexOf(QStringLiteral("IDAPURFATFAS"));
    const int month = rows.indexOf(QStringLiteral("MESAPURADO"));
    QStringList labels;
    for (int r = 0; r < rows.rowCount(); ++r) {
        QString label = QStringLiteral("?");
        for (const Calc &c : Fixture) {
            const QString shown = QStringLiteral("%1/%2").arg(s(c.month).mid(5, 2), s(c.month).left(4));
            if (rows.text(r, company) == c.company && rows.text(r, branch) == c.branch
                && rows.text(r, client) == c.client && rows.text(r, type) == c.type
                && QString::fromUtf8(rows.text(r, month).data(), qsizetype(rows.text(r, month).size())) == shown)
                label = s(c.label);
        }
        if (label == QLatin1String("?"))
            label = QString::fromUtf8(rows.text(r, client).data(), qsizetype(rows.text(r, client).size()));
        labels.append(label);
    }
    return labels;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

// A batch packet (27-field layout) holding the named fixture items, as the module
// builds it from preview rows.
QByteArray batchOf(const QStringList &labels)
{
    TRecordStore store(BillingItemLayout::batch());
    auto put = [&store](int row, const char *field, const QString &value) {
        const QByteArray utf8 = value.toUtf8();
        store.setText(row, store.indexOf(QString::fromLatin1(field)), std::string_view(utf8.constData(), size_t(utf8.size())));
    };
    for (const QString &label : labels) {
        const Calc *c = fixture(label);
        const int row = store.appendRow();
        if (!c) {
            // An item nobody has: client "C9".
            put(row, "CDEMPRESA", QStringLiteral("01"));
            put(row, "CDFILIAL", QStringLiteral("0001"));
            put(row, "CDCLIENTE", QStringLiteral("C9"));
            put(row, "IDAPURFATFAS", QStringLiteral("6"));
            put(row, "MESAPURADO", QStringLiteral("04/2024"));
            const QDate month(2024, 4, 1);
            store.setDateTimeMs(row, store.indexOf(QStringLiteral("DTMESAPURFAS")),
                                (month.toJulianDay() - 2440588) * 86400000LL);
            continue;
        }
        put(row, "CDEMPRESA", s(c->company));
        put(row, "CDFILIAL", s(c->branch));
        put(row, "CDCLIENTE", s(c->client));
        put(row, "IDAPURFATFAS", s(c->type));
        put(row, "IDCHECK", QStringLiteral("S"));
        if (c->status)
            put(row, "IDSTAPFATFAS", s(c->status));
        put(row, "MESAPURADO", s(c->month).mid(5, 2) + u'/' + s(c->month).left(4));
        const QDate month = QDate::fromString(s(c->month) + QStringLiteral("-01"), QStringLiteral("yyyy-MM-dd"));
        store.setDateTimeMs(row, store.indexOf(QStringLiteral("DTMESAPURFAS")),
                            (month.toJulianDay() - 2440588) * 86400000LL);
        store.setNumber(row, store.indexOf(QStringLiteral("VRTOTAFATFAS")), c->value);
    }
    return DataPacket::encode(store);
}

QByteArray generationRequest(const QString &method, const QByteArray &packet, int id = 7)
{
    return QByteArray(R"({"jsonrpc":"2.0","id":)") + QByteArray::number(id) + R"(,"method":")" + method.toUtf8()
           + R"(","params":[)" + packet + "]}";
}

// A request as the wire carries it, with the headers given (each ending in CRLF).
QByteArray rawPost(const QByteArray &headers, const QByteArray &body = {}, const QByteArray &target = "/FAS09600.rdmFaturamento")
{
    return "POST " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n" + body;
}

QByteArray chunked(const QByteArray &body, int chunkBytes)
{
    QByteArray out;
    for (qsizetype at = 0; at < body.size(); at += chunkBytes) {
        const QByteArray piece = body.mid(at, chunkBytes);
        out += QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n";
    }
    return out + "0\r\n\r\n";
}

// GeraNF of a pending item, padded with a member the server ignores to `size` bytes:
// a refused body must leave that item pending.
QByteArray paddedGeneration(qsizetype size)
{
    QByteArray body = generationRequest(QStringLiteral("GeraNF"), batchOf({QStringLiteral("c1-6-04")}));
    body.insert(1, R"("padding":")" + QByteArray(qMax<qsizetype>(0, size - body.size() - 14), 'x') + R"(",)");
    return body;
}

QByteArray gzipped(const QByteArray &data)
{
    QProcess gzip;
    gzip.start(QStringLiteral("gzip"), {QStringLiteral("-c")});
    gzip.waitForStarted();
    gzip.write(data);
    gzip.closeWriteChannel();
    gzip.waitForFinished(60000);
    return gzip.readAllStandardOutput();
}

// A fas-appserver process on a port of the system's choosing (--listen ...:0),
// read from the line it prints on standard output.
class ServerProcess
{
public:
    ~ServerProcess() { stop(); }

    bool start(const QString &databaseUrl, const QStringList &extra = {})
    {
        m_process.setProgram(QStringLiteral(FAS_BIN_DIR "/fas-appserver"));
        return startWith(QStringList{QStringLiteral("--database"), databaseUrl, QStringLiteral("--listen"),
                                     QStringLiteral("127.0.0.1:0")}
                         + extra);
    }
    bool startWith(const QStringList &arguments)
    {
        m_process.setArguments(arguments);
        m_process.start();
        if (!m_process.waitForStarted(10000))
            return false;
        m_port = AppServerProcess::readListeningPort(m_process, 30000);
        return m_port > 0;
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
        m_port = 0;
    }
    int port() const { return m_port; }
    QByteArray log() { return m_process.readAllStandardError(); }
    QProcess &process() { return m_process; }

private:
    QProcess m_process;
    int m_port = 0;
};

} // namespace

class TstAppServer : public QObject
{
    Q_OBJECT

public:
    explicit TstAppServer(Backend backend)
        : m_backend(backend)
    {
    }

private:
    Backend m_backend;
    QTemporaryDir m_dir;
    QString m_url;
    QString m_adminUrl;  // PostgreSQL: the database the cluster gave us, to create ours in
    QString m_databaseName;
    QString m_connection;
    QString m_demoUrl;
    QString m_demoDatabaseName;
    ServerProcess m_server;
    ServerProcess m_tokenServer;

    QSqlDatabase db() const { return QSqlDatabase::database(m_connection); }

    bool exec(const QString &sql, const QVariantList &values = {})
    {
        QSqlQuery query(db());
        if (!query.prepare(sql)) {
            qWarning() << "prepare" << sql << query.lastError().text();
            return false;
        }
        for (int i = 0; i < values.size(); ++i)
            query.bindValue(i, values.at(i));
        if (!query.exec()) {
            qWarning() << sql << query.lastError().text();
            return false;
        }
        return true;
    }

    QVariant scalar(const QString &sql, const QVariantList &values = {})
    {
        QSqlQuery query(db());
        query.prepare(sql);
        for (int i = 0; i < values.size(); ++i)
            query.bindValue(i, values.at(i));
        if (!query.exec() || !query.next()) {
            qWarning() << sql << query.lastError().text();
            return {};
        }
        return query.value(0);
    }

    QString monthParam(const char *month) const
    {
        return s(month) + QStringLiteral("-01");
    }

    QString statusOf(const Calc &c)
    {
        return scalar(QStringLiteral("SELECT COALESCE(IDSTAPFATFAS, '') FROM APURFATFAS WHERE CDEMPRESA = ? AND "
                                     "CDFILIAL = ? AND CDCLIENTE = ? AND DTMESAPURFAS = %1 AND IDAPURFATFAS = ?")
                          .arg(dateParam()),
                      {s(c.company), s(c.branch), s(c.client), monthParam(c.month), s(c.type)})
            .toString();
    }

    QString dateParam() const
    {
        return m_backend == Backend::Sqlite ? QStringLiteral("?") : QStringLiteral("CAST(? AS DATE)");
    }

    int count(const QString &table) { return scalar(QStringLiteral("SELECT COUNT(*) FROM %1").arg(table)).toInt(); }

    Answer preview(const Filter &filter) { return post(m_server.port(), request(QStringLiteral("GetFaturamento"), filter.params())); }

    bool insertCalc(const Calc &c)
    {
        const QString ts = m_backend == Backend::Sqlite ? QStringLiteral("?") : QStringLiteral("CAST(? AS TIMESTAMP)");
        auto text = [](const char *v) { return v ? QVariant(s(v)) : QVariant(QMetaType(QMetaType::QString)); };
        if (!exec(QStringLiteral("INSERT INTO APURFATFAS (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, IDAPURFATFAS, "
                                 "IDSTAPFATFAS, CDGRUPONFAPUR, DTAPURFATFAS, CDPRODUTO, CDOPERAPUR, CDTIPOSERV, "
                                 "IDCOMIFATFAS, DSEMISSPRONF, DSBOLEFATFAS, DSFATURCLIE, VRTOTAFATFAS, NRNOTAFISC, "
                                 "NRINVOICE, NRSOLISERV) VALUES (?, ?, ?, %1, ?, ?, ?, %2, 'P1', 'OP', 'MAN', 'N', "
                                 "?, 'Não receber após o vencimento.', 'Cobrança à vista', ?, ?, ?, 'SS1')")
                      .arg(dateParam(), ts),
                  {s(c.company), s(c.branch), s(c.client), monthParam(c.month), s(c.type), text(c.status),
                   text(c.group), monthParam(c.month) + QStringLiteral(" 10:30:00"),
                   QStringLiteral("Serviços de %1 – emissão").arg(s(c.label)), c.value, text(c.noteNumber),
                   text(c.invoiceNumber)}))
            return false;
        if (!c.entryKind)
            return true;
        if (!exec(QStringLiteral("INSERT INTO LANCFATFAS (CDEMPRESA, IDTPLANCFAT, NRLANCFAT, CDFILIAL, CDCLIENTE, "
                                 "CDGRUPONFAPUR, DTLANCFAT, QTITEMLANCFAT, VRTOTLANCFAT) VALUES (?, ?, ?, ?, ?, ?, %1, 1, ?)")
                      .arg(ts),
                  {s(c.company), s(c.entryKind), c.entryNumber, s(c.branch), s(c.client), s(c.group),
                   QStringLiteral("2024-05-10 09:00:00"), c.value}))
            return false;
        return exec(QStringLiteral("INSERT INTO ITEMLANCFAT (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, IDAPURFATFAS, "
                                   "IDTPLANCFAT, NRLANCFAT) VALUES (?, ?, ?, %1, ?, ?, ?)")
                        .arg(dateParam()),
                    {s(c.company), s(c.branch), s(c.client), monthParam(c.month), s(c.type), s(c.entryKind),
                     c.entryNumber});
    }

    bool fillLookups()
    {
        bool ok = exec(QStringLiteral("INSERT INTO PARAMGERAL (CDPARAMGERAL, DTINICIOAPUR) VALUES (1, %1)").arg(dateParam()),
                       {QStringLiteral("2008-01-01")});
        const QList<QStringList> companies = {{"01", "Alfa Serviços Ltda"}, {"02", "Beta Tecnologia S.A."},
                                              {s(OddCompany), "Gama \"Aspas\" Ltda"}};
        for (const QStringList &c : companies)
            ok = ok && exec(QStringLiteral("INSERT INTO EMPRESA (CDEMPRESA, NMEMPRESA) VALUES (?, ?)"), {c[0], c[1]});
        const QList<QStringList> branches = {{"01", "0001", "Matriz Alfa"}, {"01", "0002", "Filial Norte"},
                                             {"02", "0001", "Matriz Beta"}, {s(OddCompany), "0001", "Matriz Gama"}};
        for (const QStringList &b : branches)
            ok = ok && exec(QStringLiteral("INSERT INTO FILIAL (CDEMPRESA, CDFILIAL, NMFILIAL) VALUES (?, ?, ?)"),
                            {b[0], b[1], b[2]});
        // code, trade name, person type, then main/billing addresses as country codes
        struct Client
        {
            QString code, name, type;
            QStringList main, billing;
        };
        const QList<Client> clients = {
            {"C1", "Açougue Bom Preço", "J", {"0055"}, {}},
            {"C2", "Bar do Zé", "F", {"0055", "0055"}, {}},
            {"F1", "Zurich Trading AG", "J", {"0041"}, {}},
            {"F2", "Lisboa Consultoria Lda", "J", {"0351"}, {"0055"}},
            {s(OddClient1), "Ímpar; Vírgula, 'Apóstrofo'", "J", {"0055"}, {}},
            {s(OddClient2), "Colchete [1] \"Aspas\"", "J", {"0054"}, {}},
            {s(OddClient3), "João Ção", "F", {"0055"}, {}},
        };
        for (const Client &c : clients) {
            ok = ok && exec(QStringLiteral("INSERT INTO CLIENTE (CDCLIENTE, NMFANTCLIE, NMRAZSOCCLIE, NRINSJURCLIE, "
                                           "IDTPIJURCLIE) VALUES (?, ?, ?, '12345678901', ?)"),
                            {c.code, c.name, c.name, c.type});
            int seq = 0;
            auto address = [&](const QString &type, const QString &country) {
                ok = ok && exec(QStringLiteral("INSERT INTO ENDECLIE (CDCLIENTE, NRSEQENDECLIE, IDTPENDECLIE, CDPAIS) "
                                               "VALUES (?, ?, ?, ?)"),
                                {c.code, ++seq, type, country});
            };
            for (const QString &country : c.main)
                address(QStringLiteral("P"), country);
            for (const QString &country : c.billing)
                address(QStringLiteral("C"), country);
        }
        ok = ok && exec(QStringLiteral("INSERT INTO PRODUTO (CDPRODUTO, NMPRODUTO) VALUES ('P1', 'Manutenção mensal')"));
        ok = ok && exec(QStringLiteral("INSERT INTO OPERADOR (CDOPERADOR, NMOPERADOR) VALUES ('OP', 'Operadora Júlia')"));
        return ok;
    }

    // The fixture's calculations and entries, as every test starts from them.
    bool resetBilling()
    {
        bool ok = exec(QStringLiteral("DELETE FROM ITEMLANCFAT")) && exec(QStringLiteral("DELETE FROM LANCFATFAS"))
                  && exec(QStringLiteral("DELETE FROM NUMLANCFAT")) && exec(QStringLiteral("DELETE FROM APURFATFAS"));
        for (const Calc &c : Fixture)
            ok = ok && insertCalc(c);
        ok = ok && exec(QStringLiteral("INSERT INTO NUMLANCFAT (CDEMPRESA, IDTPLANCFAT, NRULTLANCFAT) VALUES "
                                       "('01', 'N', 2), ('02', 'I', 1)"));
        return ok;
    }

    void expectUnchangedBilling()
    {
        QCOMPARE(count(QStringLiteral("LANCFATFAS")), 3);
        QCOMPARE(count(QStringLiteral("ITEMLANCFAT")), 3);
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM APURFATFAS WHERE IDSTAPFATFAS = 'R'")).toInt(), 3);
        QCOMPARE(scalar(QStringLiteral("SELECT NRULTLANCFAT FROM NUMLANCFAT WHERE CDEMPRESA = '01' AND IDTPLANCFAT = 'N'"))
                     .toInt(),
                 2);
    }

    // `count` calculations of client C1, one a month from January 2100 on, with a
    // long text, in one statement.
    bool insertMonthlyRows(int count, const QString &text)
    {
        if (count == 0)
            return true;
        const QString sql = m_backend == Backend::Sqlite
                                ? QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < ?) "
                                                 "INSERT INTO APURFATFAS (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, "
                                                 "IDAPURFATFAS, IDSTAPFATFAS, DTAPURFATFAS, DSFATURCLIE, VRTOTAFATFAS) "
                                                 "SELECT '01', '0001', 'C1', date('2100-01-01', '+' || i || ' months'), '6', "
                                                 "'P', datetime('2100-01-01 08:00:00', '+' || i || ' hours'), ?, i * 0.25 FROM n")
                                : QStringLiteral("INSERT INTO APURFATFAS (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, "
                                                 "IDAPURFATFAS, IDSTAPFATFAS, DTAPURFATFAS, DSFATURCLIE, VRTOTAFATFAS) "
                                                 "SELECT '01', '0001', 'C1', CAST(DATE '2100-01-01' + i * INTERVAL '1 month' AS DATE), "
                                                 "'6', 'P', TIMESTAMP '2100-01-01 08:00:00' + i * INTERVAL '1 hour', "
                                                 "CAST(? AS VARCHAR), i * 0.25 FROM generate_series(0, CAST(? AS INTEGER) - 1) AS g(i)");
        return m_backend == Backend::Sqlite ? exec(sql, {count, text}) : exec(sql, {text, count});
    }

    // Calculations whose values sit at the edges of what the reading has to get
    // right: escapes, multi-byte texts at and beyond their field's size, fractions
    // of seconds, and on SQLite what its loose typing lets in (invalid UTF-8, a date
    // that is no date, a text where a number belongs).
    bool insertEdgeValues()
    {
        struct Edge
        {
            const char *month;
            const char *stamp;
            QString text; // DSFATURCLIE, 400
            QString group; // CDGRUPONFAPUR, 5
            const char *value;
        };
        const QList<Edge> edges = {
            {"2030-01-01", "2030-01-01 10:30:00.5", QStringLiteral("aspas \" barra \\ e\ttab\nlinha\x01\x1f"),
             QStringLiteral("ÇÃÕÉÍ"), "1234567890123.45"},
            {"2030-02-01", "2030-02-01 23:59:59.999", QString(400, QChar(0x00E7)), QStringLiteral("G1"), "-0.01"},
            {"2030-03-01", "2030-03-01T00:00:00", QStringLiteral("😀 fora do plano básico 😀"), QStringLiteral("x"), "0"},
        };
        bool ok = true;
        for (const Edge &e : edges)
            ok = ok && exec(QStringLiteral("INSERT INTO APURFATFAS (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, "
                                           "IDAPURFATFAS, IDSTAPFATFAS, DTAPURFATFAS, DSFATURCLIE, CDGRUPONFAPUR, "
                                           "VRTOTAFATFAS) VALUES ('01', '0001', 'C2', %1, '6', 'P', %2, ?, ?, %3)")
                                .arg(dateParam(),
                                     m_backend == Backend::Sqlite ? QStringLiteral("?") : QStringLiteral("CAST(? AS TIMESTAMP)"),
                                     m_backend == Backend::Sqlite ? QStringLiteral("?") : QStringLiteral("CAST(? AS NUMERIC)")),
                            {s(e.month), s(e.stamp), e.text, e.group, s(e.value)});
        if (m_backend == Backend::Sqlite) {
            // SQLite keeps what it is given: texts longer than their field, bytes
            // that are no UTF-8, dates and numbers that are only text.
            ok = ok && exec(QStringLiteral("INSERT INTO APURFATFAS (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, "
                                           "IDAPURFATFAS, DTAPURFATFAS, DSFATURCLIE, CDGRUPONFAPUR, NRSOLISERV, VRTOTAFATFAS) "
                                           "VALUES ('01', '0001', 'C2', '2030-04-01', '6', 'amanhã', ?, ?, "
                                           "CAST(X'41C328FF42' AS TEXT), 'muito')"),
                            {QString(401, u'y') + QStringLiteral("😀"), QStringLiteral("ab😀cdef")});
            ok = ok && exec(QStringLiteral("INSERT INTO APURFATFAS (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, "
                                           "IDAPURFATFAS, DTAPURFATFAS, DSFATURCLIE, CDGRUPONFAPUR, VRTOTAFATFAS) "
                                           "VALUES ('01', '0001', 'C2', '2030-05-01', '6', 20300501, 12345, 2.5, ' 7.5 ')"));
            ok = ok && exec(QStringLiteral("INSERT INTO APURFATFAS (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, "
                                           "IDAPURFATFAS, DTAPURFATFAS, CDGRUPONFAPUR) "
                                           "VALUES ('01', '0001', 'C2', '2030-06-01', '6', '2030-06-01 10:30:00.123456', "
                                           "'abcd😀')"));
        }
        return ok;
    }

    // A database filled by fas-demo-data (a few thousand rows), made once.
    QString demoDatabase()
    {
        if (!m_demoUrl.isEmpty())
            return m_demoUrl;
        QString url;
        if (m_backend == Backend::Sqlite) {
            url = m_dir.filePath(QStringLiteral("demo.sqlite"));
        } else {
            m_demoDatabaseName = m_databaseName + QStringLiteral("_demo");
            {
                QSqlDatabase admin = DatabaseConnection::open(DatabaseUrl::parse(m_adminUrl), QStringLiteral("tst-admin"));
                QSqlQuery(admin).exec(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(m_demoDatabaseName));
                QSqlQuery(admin).exec(QStringLiteral("CREATE DATABASE %1").arg(m_demoDatabaseName));
            }
            DatabaseConnection::close(QStringLiteral("tst-admin"));
            url = m_adminUrl.left(m_adminUrl.lastIndexOf(u'/') + 1) + m_demoDatabaseName;
        }
        QProcess demo;
        demo.setProcessChannelMode(QProcess::MergedChannels);
        demo.start(QStringLiteral(FAS_BIN_DIR "/fas-demo-data"),
                   {QStringLiteral("--database"), url, QStringLiteral("--rows"), QStringLiteral("3000")});
        if (!demo.waitForFinished(120000) || demo.exitCode() != 0) {
            qWarning() << demo.readAll();
            return {};
        }
        m_demoUrl = url;
        return url;
    }

    // A line of the server's /proc/<pid>/status, in kB.
    qint64 serverMemoryKb(const char *key)
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(m_server.process().processId()));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith(key))
                return line.mid(qsizetype(std::strlen(key))).trimmed().split(' ').first().toLongLong();
        return -1;
    }

    // The server that asks for the token "c3rto-Tok3n", started once.
    void startTokenServer()
    {
        if (m_tokenServer.port() != 0)
            return;
        QFile token(m_dir.filePath(QStringLiteral("token")));
        QVERIFY(token.open(QIODevice::WriteOnly));
        token.write("c3rto-Tok3n\n");
        token.close();
        QVERIFY(m_tokenServer.start(m_url, {QStringLiteral("--token-file"), token.fileName(), QStringLiteral("--max-body-mb"),
                                            QStringLiteral("1")}));
    }

    bool serverServes()
    {
        httplib::Client client("127.0.0.1", m_server.port());
        auto health = client.Get("/health");
        return health && health->status == 200 && preview(Filter()).hasResult();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_connection = m_backend == Backend::Sqlite ? QStringLiteral("tst-sqlite") : QStringLiteral("tst-pg");
        if (m_backend == Backend::Sqlite) {
            m_url = m_dir.filePath(QStringLiteral("fas.sqlite"));
        } else {
            m_adminUrl = qEnvironmentVariable("FAS_TEST_PG_URL");
            if (m_adminUrl.isEmpty())
                QSKIP("PostgreSQL: FAS_TEST_PG_URL is not set (scripts/test.sh sets it when a cluster starts); "
                      "the PostgreSQL run is skipped.");
            // A database of our own inside the cluster, dropped at the end.
            m_databaseName = QStringLiteral("fas_srv_%1").arg(QCoreApplication::applicationPid());
            {
                QSqlDatabase admin = DatabaseConnection::open(DatabaseUrl::parse(m_adminUrl), QStringLiteral("tst-admin"));
                QSqlQuery(admin).exec(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(m_databaseName));
                QSqlQuery create(admin);
                QVERIFY2(create.exec(QStringLiteral("CREATE DATABASE %1").arg(m_databaseName)),
                         qPrintable(create.lastError().text()));
            }
            DatabaseConnection::close(QStringLiteral("tst-admin"));
            const qsizetype slash = m_adminUrl.lastIndexOf(u'/');
            m_url = m_adminUrl.left(slash + 1) + m_databaseName;
        }

        QProcess demo;
        demo.setProcessChannelMode(QProcess::MergedChannels);
        demo.start(QStringLiteral(FAS_BIN_DIR "/fas-demo-data"),
                   {QStringLiteral("--database"), m_url, QStringLiteral("--schema-only")});
        QVERIFY(demo.waitForFinished(60000));
        QVERIFY2(demo.exitCode() == 0, demo.readAll().constData());

        DatabaseConnection::open(DatabaseUrl::parse(m_url), m_connection);
        QVERIFY(fillLookups());
        QVERIFY(resetBilling());
        // A 1 MB body limit keeps the oversize test small.
        QVERIFY2(m_server.start(m_url, {QStringLiteral("--max-body-mb"), QStringLiteral("1")}), m_server.log().constData());
    }

    void init()
    {
        QVERIFY(resetBilling());
    }

    void cleanupTestCase()
    {
        m_server.stop();
        m_tokenServer.stop();
        DatabaseConnection::close(m_connection);
        if (!m_databaseName.isEmpty()) {
            {
                QSqlDatabase admin = DatabaseConnection::open(DatabaseUrl::parse(m_adminUrl), QStringLiteral("tst-admin"));
                QSqlQuery(admin).exec(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(m_databaseName));
                if (!m_demoDatabaseName.isEmpty())
                    QSqlQuery(admin).exec(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(m_demoDatabaseName));
            }
            DatabaseConnection::close(QStringLiteral("tst-admin"));
        }
    }

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
            << "_6_" << "_P_" << T << "" << T << "" << T
            << QStringList{"c1-6-04", "odd1-6-04", "odd2-6-04", "odd3-6-04"};
        QTest::newRow("blank status counts as pending") << "_7_" << "_P_" << T << "" << T << "" << T
                                                        << QStringList{"f2-7-04"};
        QTest::newRow("all situations") << "_6_" << T << T << "" << T << "" << T
                                        << QStringList{"c1-6-04", "c2-6-04", "f2-6-04", "odd1-6-04", "odd2-6-04",
                                                       "odd3-6-04"};
        QTest::newRow("realized with a number issued") << "_1__2__6_" << "_R_" << "_E_" << "" << T << "" << T
                                                       << QStringList{"c2-6-04", "f1-2-04"};
        QTest::newRow("realized without a number") << "_1__2__6_" << "_R_" << "_N_" << "" << T << "" << T
                                                   << QStringList{"c2-1-04"};
        QTest::newRow("realized, both note states") << "_1__2__6_" << "_R_" << "_E__N_" << "" << T << "" << T
                                                    << QStringList{"c2-1-04", "c2-6-04", "f1-2-04"};
        QTest::newRow("note state leaves pending rows alone")
            << "_1__2__6_" << "_P__R_" << "_E_" << "" << T << "" << T
            << QStringList{"c1-1-04", "c1-2-04", "c1-6-04", "c2-6-04", "f1-2-04", "odd1-6-04", "odd2-6-04",
                           "odd3-6-04"};
        QTest::newRow("cancelled and not by the system") << "_3__6_" << "_C__N_" << T << "" << T << "" << T
                                                         << QStringList{"f1-3-04", "f2-6-04"};
        QTest::newRow("type 4 is a type like any other") << "_4_" << T << T << "" << T << "" << T
                                                         << QStringList{"c1-4-04"};
        QTest::newRow("several types in the client's order") << "_5__6_" << "_P_" << T << "" << T << "" << T
                                                             << QStringList{"c1-5-04", "c1-6-04", "odd1-6-04",
                                                                            "odd2-6-04", "odd3-6-04"};
        QTest::newRow("company list") << "_2__3__6__7_" << T << T << "" << T << jsonList({"02"}) << ""
                                      << QStringList{"f1-2-04", "f1-3-04", "f2-6-04", "f2-7-04", "odd2-6-04"};
        QTest::newRow("client list") << "_1__2__3__6_" << T << T << jsonList({"C2", "F1"}) << "" << "" << T
                                     << QStringList{"c2-1-04", "c2-6-04", "f1-2-04", "f1-3-04"};
        QTest::newRow("client list ignored under T") << "_6_" << "_P_" << T << jsonList({"C2"}) << T << "" << T
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
            << "2024-03-15T00:00:00.000" << "2024-05-10T00:00:00.000" << QStringList{"03", "04", "05"};
        QTest::newRow("one day") << "2024-04-30" << "2024-04-30" << QStringList{"04"};
        QTest::newRow("first to last day") << "2024-03-01" << "2024-05-31" << QStringList{"03", "04", "05"};
        QTest::newRow("last day to first day") << "2024-02-29" << "2024-06-01"
                                               << QStringList{"02", "03", "04", "05", "06"};
        QTest::newRow("last millisecond and first instant")
            << "2024-03-31T23:59:59.999" << "2024-04-01T00:00:00.000" << QStringList{"03", "04"};
        QTest::newRow("across the year") << "2023-12-15" << "2024-02-01" << QStringList{"02"};
        QTest::newRow("before any calculation") << "2008-01-01" << "2024-01-31" << QStringList{};
        QTest::newRow("December 9999 alone") << "9999-12-01" << "9999-12-31" << QStringList{"9999-12"};
        QTest::newRow("up to December 9999") << "2024-06-30" << "9999-12-31T23:59:59.999"
                                             << QStringList{"06", "9999-12"};
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
        QTest::newRow("pieces of a key match nothing") << jsonList({"A;B", "x'", "A", "B", "'x'"}) << ""
                                                       << QStringList{};
        QTest::newRow("odd key beside a plain one") << jsonList({s(OddClient1), "C1"}) << ""
                                                    << QStringList{"c1-6-04", "odd1-6-04"};
        QTest::newRow("written with escapes") << QStringLiteral("[\"Q\\\"[1]\", \"Jo\\u00e3o, \\u00c7\\u00e3o\"]") << ""
                                              << QStringList{"odd2-6-04", "odd3-6-04"};
        QTest::newRow("SQL in a key is only text") << jsonList({"C1') OR ('1'='1", "C1\" OR 1=1 --"}) << ""
                                                   << QStringList{};
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
        auto isNull = [&rows](int row, const char *field) { return rows.isNull(row, rows.indexOf(QString::fromLatin1(field))); };
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
        QCOMPARE(rows.dateTimeMs(pending, rows.indexOf(QStringLiteral("DTAPURFATFAS"))), april + (10 * 60 + 30) * 60000LL);
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
        ServerProcess demoServer;
        ServerProcess *server = &m_server;
        if (data == QLatin1String("edges")) {
            QVERIFY(insertEdgeValues());
        } else if (data == QLatin1String("demo")) {
            const QString url = demoDatabase();
            QVERIFY(!url.isEmpty());
            connection = QStringLiteral("tst-demo");
            DatabaseConnection::open(DatabaseUrl::parse(url), connection);
            QVERIFY2(demoServer.start(url), demoServer.log().constData());
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
        QVERIFY(m_backend == Backend::Sqlite
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

    // Server memory over many large answers, read from /proc: answers stream, so
    // neither one answer nor sixteen at once on eight threads leave the server
    // holding what they wrote.
    void memoryStaysBoundedOverLargeAnswers()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("AddressSanitizer's allocator holds freed memory in quarantine and ignores the server's arena "
              "settings: the server's memory is measured in the normal build");
#endif
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
        const qint64 before = serverMemoryKb("VmRSS:");
        const qint64 peakBefore = serverMemoryKb("VmHWM:");
        QVERIFY(before > 0);

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
        const qint64 after = serverMemoryKb("VmRSS:");
        const qint64 peakAfter = serverMemoryKb("VmHWM:");
        // Sixteen answers of ~answerBytes each: held whole (rows and text) they would
        // need about three times their size per thread, twenty-odd answers' worth on
        // eight threads; streamed, a few parts and a connection's cache per thread
        // (about 4 MB each at the peak, hence the peak's wider margin).
        const qint64 answerKb = answerBytes / 1024;
        QVERIFY2(after - before < 4 * answerKb,
                 qPrintable(QStringLiteral("RSS %1 kB -> %2 kB, answer %3 kB").arg(before).arg(after).arg(answerKb)));
        QVERIFY2(peakAfter - peakBefore < 8 * answerKb,
                 qPrintable(QStringLiteral("peak %1 kB -> %2 kB, answer %3 kB").arg(peakBefore).arg(peakAfter).arg(answerKb)));
    }

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
                return rows.isNull(r, f) ? QString() : QString::fromUtf8(rows.text(r, f).data(), qsizetype(rows.text(r, f).size()));
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
        QCOMPARE(scalar(QStringLiteral("SELECT QTITEMLANCFAT FROM LANCFATFAS WHERE CDEMPRESA = '01' AND IDTPLANCFAT = 'N' "
                                       "AND NRLANCFAT = ?"),
                        {number["c1-1-04"].toInt()})
                     .toInt(),
                 2);
        QCOMPARE(scalar(QStringLiteral("SELECT VRTOTLANCFAT FROM LANCFATFAS WHERE CDEMPRESA = '01' AND IDTPLANCFAT = 'N' "
                                       "AND NRLANCFAT = ?"),
                        {number["c1-1-04"].toInt()})
                     .toDouble(),
                 30.75);
        QCOMPARE(scalar(QStringLiteral("SELECT NRULTLANCFAT FROM NUMLANCFAT WHERE CDEMPRESA = '01' AND IDTPLANCFAT = 'N'"))
                     .toInt(),
                 6);
        QCOMPARE(scalar(QStringLiteral("SELECT NRULTLANCFAT FROM NUMLANCFAT WHERE CDEMPRESA = ? AND IDTPLANCFAT = 'N'"),
                        {s(OddCompany)})
                     .toInt(),
                 1);
        for (const QString &label : items)
            QCOMPARE(statusOf(*fixture(label)), QStringLiteral("R"));

        // The next note of company 01 continues the count; invoices count apart.
        const Answer next = post(m_server.port(), generationRequest(QStringLiteral("GeraNF"), batchOf({"c1-6-05"})));
        QVERIFY2(next.hasResult(), next.body.constData());
        const TRecordStore nextRows = next.packet();
        QCOMPARE(nextRows.rowCount(), 1);
        QCOMPARE(nextRows.text(0, nextRows.indexOf(QStringLiteral("NRLANCTONF"))), std::string_view("7"));

        const Answer invoices = post(m_server.port(),
                                     generationRequest(QStringLiteral("GeraInvoice"), batchOf({"f2-7-04", "odd2-6-04"})));
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
        QTest::addColumn<QStringList>("mentions");
        const QString nf = QStringLiteral("GeraNF");
        const QString inv = QStringLiteral("GeraInvoice");
        QTest::newRow("note already issued") << nf << QStringList{"c2-6-04"} << -32011
                                             << QStringList{"C2", "Bar do Zé", "04/2024", "Manutenção", "Nota Fiscal"};
        QTest::newRow("invoice already issued") << inv << QStringList{"f1-2-04"} << -32011
                                                << QStringList{"F1", "04/2024", "Service Desk", "Invoice"};
        QTest::newRow("cancelled") << inv << QStringList{"f1-3-04"} << -32012
                                   << QStringList{"F1", "04/2024", "Customização", "cancelada"};
        QTest::newRow("not by the system") << inv << QStringList{"f2-6-04"} << -32013
                                           << QStringList{"F2", "Não realizada pelo sistema"};
        QTest::newRow("domestic client in an invoice") << inv << QStringList{"c1-6-04"} << -32014
                                                       << QStringList{"C1", "04/2024", "nacional"};
        QTest::newRow("foreign client in a note") << nf << QStringList{"f2-7-04"} << -32014
                                                  << QStringList{"F2", "Locação", "estrangeiro"};
        QTest::newRow("foreign odd key in a note") << nf << QStringList{"odd2-6-04"} << -32014
                                                   << QStringList{s(OddClient2), "estrangeiro"};
        QTest::newRow("unknown item") << nf << QStringList{"nobody"} << -32010 << QStringList{"C9", "04/2024", "não existe"};
        QTest::newRow("one bad item spoils the batch") << nf << QStringList{"c1-6-04", "c1-6-05", "c2-6-04", "odd1-6-04"}
                                                       << -32011 << QStringList{"C2", "Nenhuma Nota Fiscal"};
        QTest::newRow("a realized item without its entry")
            << nf << QStringList{"c1-6-03"} << -32011 << QStringList{"C1", "03/2024", "realizado"};
    }

    void generationRefusals()
    {
        QFETCH(QString, method);
        QFETCH(QStringList, items);
        QFETCH(int, code);
        QFETCH(QStringList, mentions);
        if (QByteArray(QTest::currentDataTag()) == "a realized item without its entry") {
            QVERIFY(exec(QStringLiteral("UPDATE APURFATFAS SET IDSTAPFATFAS = 'R' WHERE CDCLIENTE = 'C1' AND "
                                        "DTMESAPURFAS = %1 AND IDAPURFATFAS = '6'").arg(dateParam()),
                         {QStringLiteral("2024-03-01")}));
        }
        const QByteArray packet = batchOf(items);
        const Answer answer = post(m_server.port(), generationRequest(method, packet));
        QCOMPARE(answer.status, 200);
        QVERIFY2(!answer.hasResult(), answer.body.constData());
        QCOMPARE(answer.errorCode(), code);
        for (const QString &part : mentions)
            QVERIFY2(answer.errorMessage().contains(part), qPrintable(answer.errorMessage() + " lacks " + part));
        QVERIFY2(!answer.errorMessage().contains(QStringLiteral("SELECT"), Qt::CaseInsensitive), "SQL leaked");

        // Nothing was generated, and the pending items are still pending.
        QCOMPARE(count(QStringLiteral("LANCFATFAS")), 3);
        QCOMPARE(count(QStringLiteral("ITEMLANCFAT")), 3);
        QCOMPARE(scalar(QStringLiteral("SELECT NRULTLANCFAT FROM NUMLANCFAT WHERE CDEMPRESA = '01' AND IDTPLANCFAT = 'N'"))
                     .toInt(),
                 2);
        for (const QString &label : items)
            if (const Calc *c = fixture(label); c && c->status && QByteArray(c->status) == "P"
                                                 && label != QLatin1String("c1-6-03"))
                QCOMPARE(statusOf(*c), QStringLiteral("P"));
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
        QTest::newRow("batch without the key fields") << QByteArray("[" + DataPacket::encode(keyless) + "]")
                                                      << "CDFILIAL";
        TRecordStore noMonth(BillingItemLayout::batch());
        noMonth.appendRow();
        for (const char *f : {"CDEMPRESA", "CDFILIAL", "CDCLIENTE", "IDAPURFATFAS"})
            noMonth.setText(0, noMonth.indexOf(QString::fromLatin1(f)), "1");
        QTest::newRow("item without a month") << QByteArray("[" + DataPacket::encode(noMonth) + "]") << "mês";
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
        QTest::newRow("named params") << QByteArray(R"({"jsonrpc":"2.0","id":1,"method":"GetFaturamento","params":{"a":1}})")
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
        QCOMPARE(QJsonDocument(QJsonArray{answer.json.object().value(QStringLiteral("id"))}).toJson(QJsonDocument::Compact),
                 QByteArray("[" + id + "]"));
    }

    void batchAndNotification()
    {
        const QByteArray good = request(QStringLiteral("GetFaturamento"), Filter().params(), 1);
        const Answer batch = post(m_server.port(), "[" + good + R"(,{"jsonrpc":"2.0","id":2,"method":"Nada"},)"
                                                       R"({"jsonrpc":"2.0","method":"Nada"}])");
        QVERIFY2(batch.json.isArray(), batch.body.constData());
        const QJsonArray replies = batch.json.array();
        QCOMPARE(replies.size(), 2); // the notification gets no answer
        QCOMPARE(replies.at(0).toObject().value(QStringLiteral("id")).toInt(), 1);
        QVERIFY(replies.at(0).toObject().contains(QStringLiteral("result")));
        QCOMPARE(replies.at(1).toObject().value(QStringLiteral("error")).toObject().value(QStringLiteral("code")).toInt(),
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
            QCOMPARE(replies.at(i).toObject().value(QStringLiteral("error")).toObject().value(QStringLiteral("code")).toInt(),
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
        const QByteArray bomb = gzipped(generation + QByteArray(64 * 1024 * 1024, ' '));
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
        const auto length = [](const QByteArray &body) { return "Content-Length: " + QByteArray::number(body.size()) + "\r\n"; };
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
        row("huge request line", rawPost(json + length(good), good, "/FAS09600.rdmFaturamento?" + QByteArray(20000, 'q')),
            431, -32600);
        row("header block never ends", rawPost(json + "X-Slow: " + QByteArray(100, 'a')).chopped(4), 408, -32600);
        row("batch above the call limit", rawPost(json + length(calls17), calls17), 200, -32005);
        row("batch of 500 generations", rawPost(json + length(calls500), calls500), 200, -32005);
        row("wrong content type", rawPost("Content-Type: text/plain\r\n" + length(generation), generation), 415, -32004);
        row("no content type", rawPost(length(generation), generation), 415, -32004);
        row("form post", rawPost("Content-Type: application/x-www-form-urlencoded\r\n" + length(generation), generation),
            415, -32004);
        row("no token", rawPost(json + length(generation), generation), 401, -32001, false, true);
        row("wrong token", rawPost(json + "Authorization: Bearer errado\r\n" + length(generation), generation), 401,
            -32001, false, true);
        row("forged log line in the path", "GET /x%0A2024-01-01T00:00:00.000%20POST%20/FORJADA HTTP/1.1\r\n\r\n", 404,
            -32600, false, false, "\n2024-01-01T00:00:00.000 POST /FORJADA");
        const QByteArray forgedMethod = R"({"jsonrpc":"2.0","id":1,"method":"Nada\nFORJADA status=200"})";
        row("forged log line in the method", rawPost(json + length(forgedMethod), forgedMethod), 200, -32601, false,
            false, "\nFORJADA");
        row("not HTTP at all", "HELLO\r\n\r\n", 400, -32600);
        row("empty body", rawPost(json + "Content-Length: 0\r\n"), 200, -32700);
        row("expect continue above the limit",
            rawPost(json + "Expect: 100-continue\r\nContent-Length: 536870912\r\n"), 413, -32003);
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
        ServerProcess &server = tokenServer ? m_tokenServer : m_server;
        server.log(); // what came before this row
        const qint64 before = RawHttp::residentKb(server.process().processId());
        const RawHttp::Answer answer = RawHttp::exchange(server.port(), request, halfClose);
        QVERIFY2(answer.status == status, answer.head + "\n" + answer.body.left(300));
        const QJsonObject error = QJsonDocument::fromJson(answer.body).object().value(QStringLiteral("error")).toObject();
        QCOMPARE(error.value(QStringLiteral("code")).toInt(), code);
        QVERIFY(!error.value(QStringLiteral("message")).toString().isEmpty());
        const qint64 after = RawHttp::residentKb(server.process().processId());
        QVERIFY2(after - before < 64 * 1024, qPrintable(QStringLiteral("RSS %1 KB -> %2 KB").arg(before).arg(after)));
        expectUnchangedBilling();
        QCOMPARE(statusOf(*fixture(QStringLiteral("c1-6-04"))), QStringLiteral("P"));
        QVERIFY(serverServes());
        httplib::Client client("127.0.0.1", server.port());
        auto health = client.Get("/health");
        QVERIFY(health && health->status == 200);
        if (!notLogged.isEmpty()) {
            QByteArray log = server.log();
            for (int i = 0; i < 50 && !log.contains("\\x0a"); ++i) {
                server.process().waitForReadyRead(100);
                log += server.log();
            }
            QVERIFY2(!log.contains(notLogged), log.constData());
            QVERIFY2(log.contains("\\x0a"), log.constData());
        }
    }

    // Clients that send their headers, or a small body, a byte at a time hold no
    // thread that serves calls: the health entry and calls are answered meanwhile,
    // and each slow client is answered 408 when its deadline passes.
    void slowClientsDoNotStopTheServer_data()
    {
        QTest::addColumn<QByteArray>("start"); // sent a byte at a time, then "a" after "a"
        QTest::addColumn<bool>("headersAtOnce");
        QTest::newRow("headers") << QByteArray("POST /FAS09600.rdmFaturamento HTTP/1.1\r\nX-Slow: ") << false;
        QTest::newRow("small body") << rawPost("Content-Type: application/json\r\nContent-Length: 5000\r\n") << true;
        QTest::newRow("small chunked body")
            << rawPost("Content-Type: application/json\r\nTransfer-Encoding: chunked\r\n") + "1388\r\n" << true;
    }

    void slowClientsDoNotStopTheServer()
    {
        QFETCH(QByteArray, start);
        QFETCH(bool, headersAtOnce);
        const int slowClients = 24; // three times the server's threads
        std::vector<int> sockets;
        for (int i = 0; i < slowClients; ++i) {
            const int sock = RawHttp::connectTo(m_server.port());
            QVERIFY(sock >= 0);
            sockets.push_back(sock);
        }
        const auto closeAll = qScopeGuard([&sockets] {
            for (int sock : sockets)
                ::close(sock);
        });
        std::atomic<bool> stop{false};
        std::thread trickle([&] {
            for (int i = 0; i < 200 && !stop; ++i) {
                for (int sock : sockets)
                    RawHttp::sendAll(sock, headersAtOnce ? (i == 0 ? start : QByteArray("a"))
                                                         : (i < start.size() ? start.mid(i, 1) : QByteArray("a")));
                QThread::msleep(100);
            }
        });
        const auto stopTrickle = qScopeGuard([&] {
            stop = true;
            if (trickle.joinable())
                trickle.join();
        });
        QThread::msleep(500);
        for (int i = 0; i < 5; ++i) {
            QElapsedTimer timer;
            timer.start();
            httplib::Client client("127.0.0.1", m_server.port());
            auto health = client.Get("/health");
            QVERIFY(health && health->status == 200);
            // Generous for a loaded machine; a blocked server waits for the slow clients (10 s or more).
            QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
            QVERIFY(preview(Filter()).hasResult());
        }
        stop = true;
        trickle.join();
        if (!headersAtOnce) // a body's deadline is a minute: its 408 is not waited for here
            QCOMPARE(RawHttp::readAnswer(sockets.front(), 30000).status, 408);
    }

    // 512 MB sent chunked, as a stream: the server stops reading at its limit,
    // answers 413 and does not grow.
    void hugeChunkedStreamIsStoppedAtTheLimit()
    {
        const qint64 pid = m_server.process().processId();
        const qint64 before = RawHttp::residentKb(pid);
        const RawHttp::Answer answer = RawHttp::streamChunked(
            m_server.port(),
            rawPost("Content-Type: application/json\r\nTransfer-Encoding: chunked\r\n"), qint64(512) << 20, 65536);
        QCOMPARE(answer.status, 413);
        const qint64 after = RawHttp::residentKb(pid);
        QVERIFY2(after - before < 32 * 1024, qPrintable(QStringLiteral("RSS %1 KB -> %2 KB").arg(before).arg(after)));
        expectUnchangedBilling();
        QVERIFY(serverServes());
    }

    void halfClosedConnectionGetsItsAnswer()
    {
        const QByteArray body = request(QStringLiteral("GetFaturamento"), Filter().params());
        const RawHttp::Answer answer = RawHttp::exchange(
            m_server.port(),
            rawPost("Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n", body),
            true);
        QCOMPARE(answer.status, 200);
        QVERIFY2(QJsonDocument::fromJson(answer.body).object().contains(QStringLiteral("result")), answer.body.left(300));
    }

    void unknownPathAndHealth()
    {
        httplib::Client client("127.0.0.1", m_server.port());
        auto missing = client.Get("/outra-coisa");
        QVERIFY(missing);
        QCOMPARE(missing->status, 404);
        QVERIFY(QJsonDocument::fromJson(QByteArray::fromStdString(missing->body)).object().contains(QStringLiteral("error")));
        auto health = client.Get("/health");
        QVERIFY(health);
        QCOMPARE(health->status, 200);
        const QJsonObject status = QJsonDocument::fromJson(QByteArray::fromStdString(health->body)).object();
        QCOMPARE(status.value(QStringLiteral("status")).toString(), QStringLiteral("ok"));
        QCOMPARE(status.value(QStringLiteral("database")).toString(),
                 m_backend == Backend::Sqlite ? QStringLiteral("sqlite") : QStringLiteral("postgresql"));
    }

    void bearerToken_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("right token") << QByteArray("Bearer c3rto-Tok3n") << true;
        QTest::newRow("no header") << QByteArray() << false;
        QTest::newRow("wrong token") << QByteArray("Bearer errado") << false;
        QTest::newRow("token with a tail") << QByteArray("Bearer c3rto-Tok3nX") << false;
        QTest::newRow("token cut short") << QByteArray("Bearer c3rto-Tok3") << false;
        QTest::newRow("other scheme") << QByteArray("Basic c3rto-Tok3n") << false;
    }

    void bearerToken()
    {
        ServerProcess &guarded = m_tokenServer; // started at the first row, stopped at the end
        startTokenServer();
        QFETCH(QByteArray, header);
        QFETCH(bool, accepted);
        httplib::Headers headers;
        if (!header.isEmpty())
            headers.emplace("Authorization", header.toStdString());
        const Answer answer = post(guarded.port(), request(QStringLiteral("GetFaturamento"), Filter().params()), headers);
        if (accepted) {
            QCOMPARE(answer.status, 200);
            QVERIFY(answer.hasResult());
        } else {
            QCOMPARE(answer.status, 401);
            QCOMPARE(answer.errorCode(), -32001);
        }
        // The health entry needs no token.
        httplib::Client client("127.0.0.1", guarded.port());
        auto health = client.Get("/health");
        QVERIFY(health && health->status == 200);
    }

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

    // Another program holds SQLite's write lock: a generation waits once, then says
    // so; the server keeps its connection (no "lost connection", no second wait) and
    // generates as soon as the lock is gone.
    void busySqliteIsNoLostConnection()
    {
        if (m_backend != Backend::Sqlite)
            QSKIP("a writer's lock on the file is SQLite's");
        ServerProcess server;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("FAS_SQLITE_BUSY_TIMEOUT_MS"), QStringLiteral("300"));
        server.process().setProcessEnvironment(environment);
        QVERIFY2(server.start(m_url), server.log().constData());
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
        QVERIFY2(busy.errorMessage().contains(QStringLiteral("Outro processo está gravando")), qPrintable(busy.errorMessage()));
        QVERIFY(busy.errorMessage().contains(QStringLiteral("Nada foi alterado")));

        QCOMPARE(sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr), SQLITE_OK);
        const Answer done = post(server.port(), generation);
        QVERIFY2(done.hasResult(), done.body.constData());
        server.stop();
        const QByteArray log = server.log();
        QVERIFY2(!log.contains("perdida") && !log.contains("reconectando"), log.constData());
        QCOMPARE(log.count("erro do banco de dados"), 1);
    }

    void startupRefusals_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("no database") << QStringList{} << 2 << "Banco de dados não informado";
        QTest::newRow("unknown option") << QStringList{"--porta", "1"} << 2 << "porta";
        QTest::newRow("configuration file missing") << QStringList{"--config", "/nao/existe.ini"} << 2 << "/nao/existe.ini";
        QTest::newRow("listen without a port") << QStringList{"--database", "x.sqlite", "--listen", "localhost"} << 2
                                               << "HOST:PORTA";
        QTest::newRow("port out of range") << QStringList{"--database", "x.sqlite", "--listen", "127.0.0.1:70000"} << 2
                                           << "65535";
        QTest::newRow("database file missing") << QStringList{"--database", "/nao/existe/fas.sqlite"} << 1
                                               << "/nao/existe/fas.sqlite";
        QTest::newRow("database of another kind") << QStringList{"--database", "mysql://u@h/d"} << 2 << "não suportado";
        QTest::newRow("database without the billing tables") << QStringList{"--database", "EMPTY"} << 1
                                                             << "fas-demo-data";
        QTest::newRow("database of an older schema") << QStringList{"--database", "OLDER"} << 1
                                                     << "atualize o banco com fas-admin migrate";
        QTest::newRow("database of a newer schema") << QStringList{"--database", "NEWER"} << 1
                                                    << "este servidor é mais antigo que o banco de dados";
        QTest::newRow("token file empty") << QStringList{"--database", "DB", "--token-file", "EMPTYTOKEN"} << 2 << "vazio";
        QTest::newRow("address in use") << QStringList{"--database", "DB", "--listen", "BUSY"} << 1
                                        << "Não foi possível escutar";
        QTest::newRow("every IPv4 address without a token")
            << QStringList{"--database", "DB", "--listen", "0.0.0.0:0"} << 2 << "0.0.0.0 sem token";
        QTest::newRow("every IPv6 address without a token")
            << QStringList{"--database", "DB", "--listen", "[::]:0"} << 2 << ":: sem token";
        QTest::newRow("a host name without a token")
            << QStringList{"--database", "DB", "--listen", "fas.example.com:0"} << 2 << "token_file";
    }

    void startupRefusals()
    {
        if (m_backend != Backend::Sqlite)
            QSKIP("start-up checks do not depend on the database kind: covered by the SQLite run");
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, mentions);
        const QString empty = m_dir.filePath(QStringLiteral("empty.sqlite"));
        {
            QFile file(empty);
            QVERIFY(file.open(QIODevice::WriteOnly)); // a SQLite file of zero bytes is a valid, empty database
        }
        const QString emptyToken = m_dir.filePath(QStringLiteral("empty-token"));
        {
            QFile file(emptyToken);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(" \n");
        }
        // Copies of the database at the first schema (before versions were recorded)
        // and at a version newer than this build knows.
        const QString older = m_dir.filePath(QStringLiteral("older.sqlite"));
        const QString newer = m_dir.filePath(QStringLiteral("newer.sqlite"));
        for (const auto &[copy, change] : {std::pair{older, QStringLiteral("DROP TABLE SCHEMA_VERSION")},
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
        arguments.replaceInStrings(QRegularExpression(QStringLiteral("^DB$")), m_url);
        arguments.replaceInStrings(QRegularExpression(QStringLiteral("^BUSY$")),
                                   QStringLiteral("127.0.0.1:%1").arg(m_server.port()));
        QProcess process;
        process.setProcessEnvironment([] {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.remove(QStringLiteral("FAS_CONFIG"));
            return env;
        }());
        process.start(QStringLiteral(FAS_BIN_DIR "/fas-appserver"), arguments);
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), exitCode);
        const QString error = QString::fromLocal8Bit(process.readAllStandardError());
        QVERIFY2(error.contains(mentions), qPrintable(error));
        QVERIFY(process.readAllStandardOutput().isEmpty());
        QVERIFY(serverServes()); // the server holding the port is not disturbed
    }

    // Under systemd (Type=notify) the server says it is ready once it listens,
    // and that it is stopping when it is told to end.
    void serviceManagerHearsReadyAndStopping()
    {
        if (m_backend != Backend::Sqlite)
            QSKIP("the notification does not depend on the database kind: covered by the SQLite run");
        NotifySocket manager(m_dir.path());
        QVERIFY(manager.isOpen());
        ServerProcess server;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("NOTIFY_SOCKET"), manager.path());
        server.process().setProcessEnvironment(env);
        QVERIFY2(server.start(m_url), server.log().constData());
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
        ServerProcess configured;
        configured.process().setProgram(QStringLiteral(FAS_BIN_DIR "/fas-appserver"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("FAS_CONFIG"), ini);
        configured.process().setProcessEnvironment(env);
        QVERIFY2(configured.startWith({}), configured.log().constData());
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
        ServerProcess server;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_LOGGING_RULES"), rules);
        env.remove(QStringLiteral("QT_MESSAGE_PATTERN"));
        server.process().setProcessEnvironment(env);
        QVERIFY2(server.start(m_url), server.log().constData());
        httplib::Client client("127.0.0.1", server.port());
        auto health = client.Get("/health");
        QVERIFY(health && health->status == 200);
        server.stop();
        const QByteArray log = server.log();
        QVERIFY2(log.contains(" info fas.server.http: GET /health method=- ") == requestLogged, log.constData());
        QVERIFY2(log.contains(" info fas.server: encerrado.") == stopLogged, log.constData());
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
                    store.setText(row, store.indexOf(QString::fromLatin1(f)), std::string_view(utf8.constData(), size_t(utf8.size())));
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
                                                    "IDAPURFATFAS = '6'").arg(dateParam()),
                                     key)
                                  .toInt();
            const QString status = scalar(QStringLiteral("SELECT IDSTAPFATFAS FROM APURFATFAS WHERE CDEMPRESA = '01' "
                                                         "AND CDFILIAL = ? AND CDCLIENTE = ? AND DTMESAPURFAS = %1 "
                                                         "AND IDAPURFATFAS = '6'").arg(dateParam()),
                                          key)
                                       .toString();
            const bool billed = billedByAnswers.count(i) > 0;
            QCOMPARE(links, billed ? 1 : 0);
            QCOMPARE(status, billed ? QStringLiteral("R") : QStringLiteral("P"));
        }
        // Entry numbers of company 01 run from 1 without gaps or repeats.
        const int entries = scalar(QStringLiteral("SELECT COUNT(*) FROM LANCFATFAS WHERE CDEMPRESA = '01' AND "
                                                  "IDTPLANCFAT = 'N'")).toInt();
        QCOMPARE(scalar(QStringLiteral("SELECT MAX(NRLANCFAT) FROM LANCFATFAS WHERE CDEMPRESA = '01' AND "
                                       "IDTPLANCFAT = 'N'")).toInt(),
                 entries);
        QCOMPARE(scalar(QStringLiteral("SELECT NRULTLANCFAT FROM NUMLANCFAT WHERE CDEMPRESA = '01' AND "
                                       "IDTPLANCFAT = 'N'")).toInt(),
                 entries);
        QCOMPARE(scalar(QStringLiteral("SELECT SUM(QTITEMLANCFAT) FROM LANCFATFAS WHERE CDEMPRESA = '01' AND "
                                       "IDTPLANCFAT = 'N'")).toInt(),
                 scalar(QStringLiteral("SELECT COUNT(*) FROM ITEMLANCFAT WHERE CDEMPRESA = '01' AND "
                                       "IDTPLANCFAT = 'N'")).toInt());
        QVERIFY(serverServes());
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int status = 0;
    {
        TstAppServer sqlite(Backend::Sqlite);
        status |= QTest::qExec(&sqlite, argc, argv);
    }
    {
        TstAppServer postgres(Backend::Postgres);
        status |= QTest::qExec(&postgres, argc, argv);
    }
    return status;
}

#include "tst_appserver.moc"
