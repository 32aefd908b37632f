#include "tests/support/ServerFixture.h"

#include <QFile>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include "billing/BillingItemLayout.h"
#include "platform/sql/DatabaseConnection.h"
#include "platform/sql/DatabaseUrl.h"
#include "tests/support/SecretFile.h"

namespace ServerTest {

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

Answer post(httplib::Client &client, const QByteArray &body, const httplib::Headers &headers)
{
    Answer answer;
    auto result = client.Post(Rpc.toStdString(), headers, body.constData(), size_t(body.size()), "application/json");
    if (!result)
        return answer;
    answer.status = result->status;
    answer.body = QByteArray::fromStdString(result->body);
    answer.json = QJsonDocument::fromJson(answer.body);
    return answer;
}

Answer post(int port, const QByteArray &body, const httplib::Headers &headers)
{
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(60, 0);
    return post(client, body, headers);
}

QByteArray request(const QString &method, const QJsonArray &params, int id)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
                                     {QStringLiteral("id"), id},
                                     {QStringLiteral("method"), method},
                                     {QStringLiteral("params"), params}})
        .toJson(QJsonDocument::Compact);
}

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

namespace {

void putText(TRecordStore &store, int row, const char *field, const QString &value)
{
    const QByteArray utf8 = value.toUtf8();
    store.setText(row, store.indexOf(QString::fromLatin1(field)),
                  std::string_view(utf8.constData(), size_t(utf8.size())));
}

// A row naming `item`, as the module builds it from a preview row.
int appendItem(TRecordStore &store, const ItemKey &item)
{
    const int row = store.appendRow();
    putText(store, row, "CDEMPRESA", item.company);
    putText(store, row, "CDFILIAL", item.branch);
    putText(store, row, "CDCLIENTE", item.client);
    putText(store, row, "IDAPURFATFAS", item.type);
    putText(store, row, "MESAPURADO", item.month.toString(QStringLiteral("MM/yyyy")));
    store.setDateTimeMs(row, store.indexOf(QStringLiteral("DTMESAPURFAS")),
                        (item.month.toJulianDay() - 2440588) * 86400000LL);
    return row;
}

} // namespace

QByteArray batchOfKeys(const std::vector<ItemKey> &items)
{
    TRecordStore store(BillingItemLayout::batch());
    for (const ItemKey &item : items)
        appendItem(store, item);
    return DataPacket::encode(store);
}

QByteArray batchOf(const QStringList &labels)
{
    TRecordStore store(BillingItemLayout::batch());
    for (const QString &label : labels) {
        const Calc *c = fixture(label);
        if (!c) {
            // An item nobody has: client "C9".
            appendItem(store, {QStringLiteral("01"), QStringLiteral("0001"), QStringLiteral("C9"), QStringLiteral("6"),
                               QDate(2024, 4, 1)});
            continue;
        }
        const int row = appendItem(store, {s(c->company), s(c->branch), s(c->client), s(c->type),
                                           QDate::fromString(s(c->month) + QStringLiteral("-01"), Qt::ISODate)});
        putText(store, row, "IDCHECK", QStringLiteral("S"));
        if (c->status)
            putText(store, row, "IDSTAPFATFAS", s(c->status));
        store.setNumber(row, store.indexOf(QStringLiteral("VRTOTAFATFAS")), c->value);
    }
    return DataPacket::encode(store);
}

QString adminTool(const QString &url, const QStringList &arguments, int *exitCode)
{
    QProcess process;
    process.start(AppServerProcess::binary(QStringLiteral("fas-admin")),
                  QStringList{QStringLiteral("--database"), url} + arguments);
    if (!process.waitForFinished(60000))
        return {};
    if (exitCode)
        *exitCode = process.exitCode();
    return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
}

QString addUser(const QString &url, const QString &name, const QString &right)
{
    int code = -1;
    const QString output = adminTool(
        url, {QStringLiteral("user"), QStringLiteral("add"), name, QStringLiteral("--right"), right}, &code);
    return code == 0 ? output.trimmed().split(u'\n').constLast() : QString();
}

httplib::Headers bearer(const QString &token)
{
    return {{"Authorization", "Bearer " + token.toStdString()}};
}

QByteArray generationRequest(const QString &method, const QByteArray &packet, int id)
{
    return QByteArray(R"({"jsonrpc":"2.0","id":)") + QByteArray::number(id) + R"(,"method":")" + method.toUtf8()
           + R"(","params":[)" + packet + "]}";
}

QByteArray rawPost(const QByteArray &headers, const QByteArray &body, const QByteArray &target)
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

bool ServerFixture::exec(const QString &sql, const QVariantList &values)
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

QVariant ServerFixture::scalar(const QString &sql, const QVariantList &values)
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

QString ServerFixture::monthParam(const char *month) const
{
    return s(month) + QStringLiteral("-01");
}

QString ServerFixture::statusOf(const Calc &c)
{
    return scalar(QStringLiteral("SELECT COALESCE(IDSTAPFATFAS, '') FROM APURFATFAS WHERE CDEMPRESA = ? AND "
                                 "CDFILIAL = ? AND CDCLIENTE = ? AND DTMESAPURFAS = %1 AND IDAPURFATFAS = ?")
                      .arg(dateParam()),
                  {s(c.company), s(c.branch), s(c.client), monthParam(c.month), s(c.type)})
        .toString();
}

bool ServerFixture::setValue(const Calc &c, const QString &value)
{
    return exec(QStringLiteral("UPDATE APURFATFAS SET VRTOTAFATFAS = ? WHERE CDEMPRESA = ? AND CDFILIAL = ? AND "
                               "CDCLIENTE = ? AND DTMESAPURFAS = %1 AND IDAPURFATFAS = ?")
                    .arg(dateParam()),
                {value, s(c.company), s(c.branch), s(c.client), monthParam(c.month), s(c.type)});
}

QString ServerFixture::dateParam() const
{
    return m_backend == Backend::Sqlite ? QStringLiteral("?") : QStringLiteral("CAST(? AS DATE)");
}

bool ServerFixture::insertCalc(const Calc &c)
{
    const QString ts = m_backend == Backend::Sqlite ? QStringLiteral("?") : QStringLiteral("CAST(? AS TIMESTAMP)");
    auto text = [](const char *v) { return v ? QVariant(s(v)) : QVariant(QMetaType(QMetaType::QString)); };
    if (!exec(QStringLiteral("INSERT INTO APURFATFAS (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, IDAPURFATFAS, "
                             "IDSTAPFATFAS, CDGRUPONFAPUR, DTAPURFATFAS, CDPRODUTO, CDOPERAPUR, CDTIPOSERV, "
                             "IDCOMIFATFAS, DSEMISSPRONF, DSBOLEFATFAS, DSFATURCLIE, VRTOTAFATFAS, NRNOTAFISC, "
                             "NRINVOICE, NRSOLISERV) VALUES (?, ?, ?, %1, ?, ?, ?, %2, 'P1', 'OP', 'MAN', 'N', "
                             "?, 'Não receber após o vencimento.', 'Cobrança à vista', ?, ?, ?, 'SS1')")
                  .arg(dateParam(), ts),
              {s(c.company), s(c.branch), s(c.client), monthParam(c.month), s(c.type), text(c.status), text(c.group),
               monthParam(c.month) + QStringLiteral(" 10:30:00"),
               QStringLiteral("Serviços de %1 – emissão").arg(s(c.label)), c.value, text(c.noteNumber),
               text(c.invoiceNumber)}))
        return false;
    if (!c.entryKind)
        return true;
    if (!exec(
            QStringLiteral("INSERT INTO LANCFATFAS (CDEMPRESA, IDTPLANCFAT, NRLANCFAT, CDFILIAL, CDCLIENTE, "
                           "CDGRUPONFAPUR, DTLANCFAT, QTITEMLANCFAT, VRTOTLANCFAT) VALUES (?, ?, ?, ?, ?, ?, %1, 1, ?)")
                .arg(ts),
            {s(c.company), s(c.entryKind), c.entryNumber, s(c.branch), s(c.client), s(c.group),
             QStringLiteral("2024-05-10 09:00:00"), c.value}))
        return false;
    return exec(
        QStringLiteral("INSERT INTO ITEMLANCFAT (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, IDAPURFATFAS, "
                       "IDTPLANCFAT, NRLANCFAT) VALUES (?, ?, ?, %1, ?, ?, ?)")
            .arg(dateParam()),
        {s(c.company), s(c.branch), s(c.client), monthParam(c.month), s(c.type), s(c.entryKind), c.entryNumber});
}

bool ServerFixture::fillLookups()
{
    bool ok = exec(
        QStringLiteral("INSERT INTO PARAMGERAL (CDPARAMGERAL, DTINICIOAPUR) VALUES (1, %1)").arg(dateParam()),
        {QStringLiteral("2008-01-01")});
    const QList<QStringList> companies = {
        {"01", "Alfa Serviços Ltda"}, {"02", "Beta Tecnologia S.A."}, {s(OddCompany), "Gama \"Aspas\" Ltda"}};
    for (const QStringList &c : companies)
        ok = ok && exec(QStringLiteral("INSERT INTO EMPRESA (CDEMPRESA, NMEMPRESA) VALUES (?, ?)"), {c[0], c[1]});
    const QList<QStringList> branches = {{"01", "0001", "Matriz Alfa"},
                                         {"01", "0002", "Filial Norte"},
                                         {"02", "0001", "Matriz Beta"},
                                         {s(OddCompany), "0001", "Matriz Gama"}};
    for (const QStringList &b : branches)
        ok = ok
             && exec(QStringLiteral("INSERT INTO FILIAL (CDEMPRESA, CDFILIAL, NMFILIAL) VALUES (?, ?, ?)"),
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
        ok = ok
             && exec(QStringLiteral("INSERT INTO CLIENTE (CDCLIENTE, NMFANTCLIE, NMRAZSOCCLIE, NRINSJURCLIE, "
                                    "IDTPIJURCLIE) VALUES (?, ?, ?, '12345678901', ?)"),
                     {c.code, c.name, c.name, c.type});
        int seq = 0;
        auto address = [&](const QString &type, const QString &country) {
            ok = ok
                 && exec(QStringLiteral("INSERT INTO ENDECLIE (CDCLIENTE, NRSEQENDECLIE, IDTPENDECLIE, CDPAIS) "
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

bool ServerFixture::resetBilling()
{
    bool ok = exec(QStringLiteral("DELETE FROM USUARIOFAT")) && exec(QStringLiteral("DELETE FROM CHAVEEXECFAT"))
              && exec(QStringLiteral("DELETE FROM ITEMLANCFATHIST")) && exec(QStringLiteral("DELETE FROM ITEMLANCFAT"))
              && exec(QStringLiteral("DELETE FROM NFSEDPS")) && exec(QStringLiteral("DELETE FROM NUMDPS"))
              && exec(QStringLiteral("DELETE FROM LANCFATFAS")) && exec(QStringLiteral("DELETE FROM EXECFAT"))
              && exec(QStringLiteral("DELETE FROM NUMLANCFAT")) && exec(QStringLiteral("DELETE FROM APURFATFAS"))
              && exec(QStringLiteral("DELETE FROM PRODUTO WHERE CDPRODUTO <> 'P1'"))
              && exec(QStringLiteral("UPDATE EMPRESA SET IDNFSEEMPRESA = NULL"));
    for (const Calc &c : Fixture)
        ok = ok && insertCalc(c);
    ok = ok
         && exec(QStringLiteral("INSERT INTO NUMLANCFAT (CDEMPRESA, IDTPLANCFAT, NRULTLANCFAT) VALUES "
                                "('01', 'N', 2), ('02', 'I', 1)"));
    return ok;
}

bool ServerFixture::registerNationalNotes(const QString &company)
{
    return exec(QStringLiteral("UPDATE EMPRESA SET NRCNPJEMPRESA = '11222333000181', NRINSCMUNEMPRESA = '1234567', "
                               "CDMUNIBGEEMPRESA = '3550308', IDREGTRIBEMPRESA = '1', NRSERIEDPS = '1', "
                               "IDNFSEEMPRESA = 'S' WHERE CDEMPRESA = ?"),
                {company})
           && exec(QStringLiteral("UPDATE CLIENTE SET NRINSJURCLIE = CASE IDTPIJURCLIE WHEN 'F' THEN '52998224725' "
                                  "ELSE '12345678000195' END"))
           && exec(QStringLiteral("UPDATE ENDECLIE SET CDMUNIBGE = '3304557', DSLOGRENDECLIE = 'Rua do Ouvidor, 50', "
                                  "NMBAIRENDECLIE = 'Centro', NRCEPENDECLIE = '20040-030' WHERE CDPAIS = '0055'"))
           && exec(QStringLiteral("UPDATE PRODUTO SET CDSERVNACPRODUTO = '010701', PCALIQISSPRODUTO = 5"));
}

QString ServerFixture::billingState()
{
    QStringList parts;
    for (const char *sql :
         {"SELECT COUNT(*) FROM LANCFATFAS", "SELECT COUNT(*) FROM LANCFATFAS WHERE DTESTORNO IS NULL",
          "SELECT COUNT(*) FROM ITEMLANCFAT", "SELECT COUNT(*) FROM ITEMLANCFATHIST",
          "SELECT COUNT(*) FROM APURFATFAS WHERE IDSTAPFATFAS = 'P'",
          "SELECT COUNT(*) FROM APURFATFAS WHERE IDSTAPFATFAS = 'R'", "SELECT SUM(NRULTLANCFAT) FROM NUMLANCFAT"})
        parts << scalar(QString::fromLatin1(sql)).toString();
    return parts.join(u'/');
}

void ServerFixture::expectUnchangedBilling()
{
    QCOMPARE(count(QStringLiteral("LANCFATFAS")), 3);
    QCOMPARE(count(QStringLiteral("ITEMLANCFAT")), 3);
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM APURFATFAS WHERE IDSTAPFATFAS = 'R'")).toInt(), 3);
    QCOMPARE(scalar(QStringLiteral("SELECT NRULTLANCFAT FROM NUMLANCFAT WHERE CDEMPRESA = '01' AND IDTPLANCFAT = 'N'"))
                 .toInt(),
             2);
}

bool ServerFixture::insertMonthlyRows(int count, const QString &text)
{
    if (count == 0)
        return true;
    const QString sql =
        m_backend == Backend::Sqlite
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

bool ServerFixture::insertEdgeValues()
{
    struct Edge
    {
        const char *month;
        const char *stamp;
        QString text;  // DSFATURCLIE, 400
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
        ok = ok
             && exec(
                 QStringLiteral("INSERT INTO APURFATFAS (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, "
                                "IDAPURFATFAS, IDSTAPFATFAS, DTAPURFATFAS, DSFATURCLIE, CDGRUPONFAPUR, "
                                "VRTOTAFATFAS) VALUES ('01', '0001', 'C2', %1, '6', 'P', %2, ?, ?, %3)")
                     .arg(dateParam(),
                          m_backend == Backend::Sqlite ? QStringLiteral("?") : QStringLiteral("CAST(? AS TIMESTAMP)"),
                          m_backend == Backend::Sqlite ? QStringLiteral("?") : QStringLiteral("CAST(? AS NUMERIC)")),
                 {s(e.month), s(e.stamp), e.text, e.group, s(e.value)});
    if (m_backend == Backend::Sqlite) {
        // SQLite keeps what it is given: texts longer than their field, bytes
        // that are no UTF-8, dates and numbers that are only text.
        ok = ok
             && exec(QStringLiteral("INSERT INTO APURFATFAS (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, "
                                    "IDAPURFATFAS, DTAPURFATFAS, DSFATURCLIE, CDGRUPONFAPUR, NRSOLISERV, VRTOTAFATFAS) "
                                    "VALUES ('01', '0001', 'C2', '2030-04-01', '6', 'amanhã', ?, ?, "
                                    "CAST(X'41C328FF42' AS TEXT), 'muito')"),
                     {QString(401, u'y') + QStringLiteral("😀"), QStringLiteral("ab😀cdef")});
        ok = ok
             && exec(QStringLiteral("INSERT INTO APURFATFAS (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, "
                                    "IDAPURFATFAS, DTAPURFATFAS, DSFATURCLIE, CDGRUPONFAPUR, VRTOTAFATFAS) "
                                    "VALUES ('01', '0001', 'C2', '2030-05-01', '6', 20300501, 12345, 2.5, ' 7.5 ')"));
        ok = ok
             && exec(QStringLiteral("INSERT INTO APURFATFAS (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, "
                                    "IDAPURFATFAS, DTAPURFATFAS, CDGRUPONFAPUR) "
                                    "VALUES ('01', '0001', 'C2', '2030-06-01', '6', '2030-06-01 10:30:00.123456', "
                                    "'abcd😀')"));
    }
    return ok;
}

QString ServerFixture::demoDatabase()
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

QString ServerFixture::admin(const QStringList &arguments, int *exitCode)
{
    return adminTool(m_url, arguments, exitCode);
}

QString ServerFixture::addUser(const QString &name, const QString &right)
{
    return ServerTest::addUser(m_url, name, right);
}

void ServerFixture::startTokenServer()
{
    if (m_tokenServer.port() != 0)
        return;
    const QString token = m_dir.filePath(QStringLiteral("token"));
    QVERIFY(writeSecretFile(token, "c3rto-Tok3n%41\n"));
    QVERIFY(m_tokenServer.start(
        m_url, {QStringLiteral("--token-file"), token, QStringLiteral("--max-body-mb"), QStringLiteral("1")}));
}

AppServerProcess *ServerFixture::serverWith(const QStringList &options)
{
    std::unique_ptr<AppServerProcess> &server = m_serversByOptions[options];
    if (!server) {
        auto started = std::make_unique<AppServerProcess>();
        if (!started->start(m_url, options)) {
            QTest::qFail(qPrintable(started->errorText()), __FILE__, __LINE__);
            return nullptr;
        }
        server = std::move(started);
    }
    return server.get();
}

bool ServerFixture::serverServes()
{
    httplib::Client client("127.0.0.1", m_server.port());
    auto health = client.Get("/health");
    return health && health->status == 200 && preview(Filter()).hasResult();
}

void ServerFixture::initTestCase()
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
    QVERIFY2(m_server.start(m_url, QStringList{QStringLiteral("--max-body-mb"), QStringLiteral("1")} + m_serverArgs),
             m_server.newLog().constData());
}

void ServerFixture::init()
{
    QVERIFY(resetBilling());
}

void ServerFixture::cleanupTestCase()
{
    m_server.stop();
    m_tokenServer.stop();
    m_serversByOptions.clear();
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

} // namespace ServerTest
