// The NFS-e sender against the national service's stand-in: each declaration's end
// (authorized, rejected with its codes, waiting for another try) after what the
// service answered, the same DPS sent again after a failure and never a second
// note; the cancellation registered or refused. Every document the stand-in received
// validated against the schema and its signature verified.
#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

#include "server/nfse/CancellationBuilder.h"
#include "server/nfse/DpsBuilder.h"
#include "server/nfse/NfseSender.h"
#include "tests/support/NfseStandIn.h"
#include "tests/support/TestCertificates.h"

namespace {

// One declaration and one cancellation in memory, with what the sender recorded.
class MemoryOutbox : public NfseOutbox
{
public:
    std::optional<Declaration> declaration;
    QDateTime declarationDue;
    QString state = QStringLiteral("a enviar");
    QString accessKey;
    QByteArray document;
    QList<Rejection> reasons;
    QList<qint64> retryWaits; // seconds between each failure and its next try

    std::optional<Cancellation> cancellation;
    QDateTime cancellationDue;

    std::optional<Declaration> claimDeclaration(const QDateTime &now) override
    {
        if (!declaration || state != QStringLiteral("a enviar") || declarationDue > now)
            return std::nullopt;
        m_claimedAt = now;
        return declaration;
    }
    void recordAuthorized(qint64, const QString &key, const QByteArray &nfse, const QDateTime &) override
    {
        state = QStringLiteral("autorizada");
        accessKey = key;
        document = nfse;
    }
    void recordRejected(qint64, const QList<Rejection> &why) override
    {
        state = QStringLiteral("rejeitada");
        reasons = why;
    }
    void recordRetry(qint64, const QString &, const QDateTime &next) override
    {
        retryWaits.append(m_claimedAt.secsTo(next));
        declarationDue = next;
        ++declaration->attempts;
    }
    std::optional<Cancellation> claimCancellation(const QDateTime &now) override
    {
        if (!cancellation || state != QStringLiteral("a enviar") || cancellationDue > now)
            return std::nullopt;
        m_claimedAt = now;
        return cancellation;
    }
    void recordCancelled(qint64, const QByteArray &event, const QDateTime &) override
    {
        state = QStringLiteral("cancelada");
        document = event;
    }
    void recordCancellationRefused(qint64, const QList<Rejection> &why) override
    {
        state = QStringLiteral("cancelamento recusado");
        reasons = why;
    }
    void recordCancellationRetry(qint64, const QString &, const QDateTime &next) override
    {
        retryWaits.append(m_claimedAt.secsTo(next));
        cancellationDue = next;
        ++cancellation->attempts;
    }

private:
    QDateTime m_claimedAt;
};

DpsData sampleDps()
{
    DpsData d;
    d.companyCnpj = QStringLiteral("11222333000181");
    d.companyMunicipalRegistration = QStringLiteral("1234567");
    d.companyMunicipality = QStringLiteral("3550308");
    d.series = 1;
    d.number = 42;
    d.emitted = QDateTime(QDate(2026, 3, 2), QTime(14, 5, 9), QTimeZone(-3 * 3600));
    d.competence = QDate(2026, 2, 28);
    d.clientDocument = QStringLiteral("12345678000195");
    d.clientName = QStringLiteral("Cliente Exemplo Ltda");
    d.serviceCode = QStringLiteral("010701");
    d.description = QStringLiteral("Suporte técnico");
    d.valueCents = 150000;
    d.issRateHundredths = 500;
    return d;
}

const QString sampleKey = QStringLiteral("35503082112223330001810000000000042260300000004210");

QJsonObject reject(const QString &code, const QString &text)
{
    return {{QStringLiteral("reject"), QJsonArray{QJsonArray{code, text}}}};
}

QStringList codesOf(const QList<NfseOutbox::Rejection> &reasons)
{
    QStringList codes;
    for (const auto &r : reasons)
        codes << r.code;
    return codes;
}

} // namespace

class TestNfseSender : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void declaration_data();
    void declaration();
    void cancellation_data();
    void cancellation();

private:
    // Runs the sender `rounds` times, two hours apart, against a stand-in answering
    // `script`; returns the stand-in's log.
    QJsonArray run(MemoryOutbox &outbox, const QJsonObject &script, int rounds, bool wrongCertificate);

    QTemporaryDir m_dir;
    TestCertificate m_company;
    TestCertificate m_stranger;
};

void TestNfseSender::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_company = makeTestCertificate(m_dir.path(), QStringLiteral("empresa"), QStringLiteral("senha A1"));
    m_stranger = makeTestCertificate(m_dir.path(), QStringLiteral("estranho"), QStringLiteral("outra"));
    QVERIFY(!m_company.pkcs12.isEmpty() && !m_stranger.pkcs12.isEmpty());
}

QJsonArray TestNfseSender::run(MemoryOutbox &outbox, const QJsonObject &script, int rounds, bool wrongCertificate)
{
    NfseStandIn service(m_dir.path(), m_company.certificatePem, script);
    if (!service.isRunning())
        return {};
    NfseSettings settings;
    settings.endpoint = service.endpoint();
    settings.caFile = service.caFile();
    settings.timeoutSeconds = 2;
    const TestCertificate &used = wrongCertificate ? m_stranger : m_company;
    settings.companies.insert(QStringLiteral("1"), {used.pkcs12, used.passwordFile});
    QDateTime now(QDate(2026, 3, 2), QTime(15, 0), QTimeZone(-3 * 3600));
    NfseSender sender(settings, outbox, [&now] { return now; });
    for (int round = 0; round < rounds; ++round, now = now.addSecs(7200))
        sender.sendDue();
    return service.requests();
}

void TestNfseSender::declaration_data()
{
    QTest::addColumn<QJsonArray>("answers");
    QTest::addColumn<bool>("wrongCertificate");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QStringList>("codes");
    QTest::addColumn<QList<qint64>>("retryWaits");
    QTest::addColumn<int>("posts");

    const QList<qint64> none;
    QTest::newRow("authorized") << QJsonArray{QStringLiteral("authorize")} << false << QStringLiteral("autorizada")
                                << QStringList() << none << 1;
    QTest::newRow("rejected with codes, not sent again")
        << QJsonArray{QJsonObject{{QStringLiteral("reject"),
                                   QJsonArray{QJsonArray{QStringLiteral("E0310"), QStringLiteral("código inexistente")},
                                              QJsonArray{QStringLiteral("E0595"), QStringLiteral("alíquota acima")}}}}}
        << false << QStringLiteral("rejeitada") << QStringList{QStringLiteral("E0310"), QStringLiteral("E0595")}
        << none << 1;
    QTest::newRow("5xx, then the same DPS authorized")
        << QJsonArray{QStringLiteral("5xx"), QStringLiteral("5xx"), QStringLiteral("authorize")} << false
        << QStringLiteral("autorizada") << QStringList() << QList<qint64>{60, 120} << 3;
    QTest::newRow("answer lost: the duplicate answer is the note")
        << QJsonArray{QStringLiteral("drop")} << false << QStringLiteral("autorizada") << QStringList()
        << QList<qint64>{60} << 2;
    QTest::newRow("no answer in time, then authorized")
        << QJsonArray{QStringLiteral("stall"), QStringLiteral("authorize")} << false << QStringLiteral("autorizada")
        << QStringList() << QList<qint64>{60} << 2;
    QTest::newRow("certificate the service does not know: kept for another try")
        << QJsonArray{QStringLiteral("authorize")} << true << QStringLiteral("a enviar") << QStringList()
        << QList<qint64>{60} << 0;
}

void TestNfseSender::declaration()
{
    QFETCH(QJsonArray, answers);
    QFETCH(bool, wrongCertificate);
    QFETCH(QString, state);
    QFETCH(QStringList, codes);
    QFETCH(QList<qint64>, retryWaits);
    QFETCH(int, posts);

    MemoryOutbox outbox;
    const DpsData dps = sampleDps();
    outbox.declaration = NfseOutbox::Declaration{7, QStringLiteral("1"), DpsBuilder::dpsId(dps), DpsBuilder::build(dps), 0};
    const int rounds = wrongCertificate ? 1 : int(answers.size()) + 1;
    const QJsonArray requests = run(outbox, {{QStringLiteral("dps"), answers}}, rounds, wrongCertificate);

    QCOMPARE(outbox.state, state);
    QCOMPARE(codesOf(outbox.reasons), codes);
    QCOMPARE(outbox.retryWaits, retryWaits);
    int received = 0;
    int notes = 0;
    for (const QJsonValue &request : requests) {
        const QJsonObject r = request.toObject();
        if (r.value(QStringLiteral("kind")).toString() != QStringLiteral("dps"))
            continue;
        ++received;
        QCOMPARE(r.value(QStringLiteral("problem")).toString(), QString());
        QCOMPARE(r.value(QStringLiteral("id")).toString(), outbox.declaration->dpsId);
        const QString outcome = r.value(QStringLiteral("outcome")).toString();
        notes += outcome == QStringLiteral("authorize") || outcome == QStringLiteral("drop");
    }
    QCOMPARE(received, posts);
    QVERIFY(notes <= 1);
    if (state == QStringLiteral("autorizada")) {
        QCOMPARE(notes, 1);
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{50}$")).match(outbox.accessKey).hasMatch());
        QVERIFY(outbox.document.contains(outbox.accessKey.toLatin1()));
        QVERIFY(outbox.document.contains(outbox.declaration->dpsId.toLatin1()));
    }
}

void TestNfseSender::cancellation_data()
{
    QTest::addColumn<QJsonArray>("answers");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QStringList>("codes");

    QTest::newRow("registered") << QJsonArray{QStringLiteral("register")} << QStringLiteral("cancelada")
                                << QStringList();
    QTest::newRow("5xx, then registered") << QJsonArray{QStringLiteral("5xx"), QStringLiteral("register")}
                                          << QStringLiteral("cancelada") << QStringList();
    QTest::newRow("refused: deadline passed")
        << QJsonArray{reject(QStringLiteral("E0822"), QStringLiteral("prazo de cancelamento esgotado"))}
        << QStringLiteral("cancelamento recusado") << QStringList{QStringLiteral("E0822")};
}

void TestNfseSender::cancellation()
{
    QFETCH(QJsonArray, answers);
    QFETCH(QString, state);
    QFETCH(QStringList, codes);

    CancellationData request;
    request.authorDocument = QStringLiteral("11222333000181");
    request.accessKey = sampleKey;
    request.requested = QDateTime(QDate(2026, 3, 3), QTime(9, 0), QTimeZone(-3 * 3600));
    request.reasonText = QStringLiteral("Valor do serviço digitado errado");
    MemoryOutbox outbox;
    outbox.cancellation = NfseOutbox::Cancellation{9, QStringLiteral("1"), sampleKey, CancellationBuilder::build(request), 0};
    const QJsonArray requests = run(outbox, {{QStringLiteral("event"), answers}}, int(answers.size()) + 1, false);

    QCOMPARE(outbox.state, state);
    QCOMPARE(codesOf(outbox.reasons), codes);
    QCOMPARE(requests.size(), answers.size());
    for (const QJsonValue &r : requests)
        QCOMPARE(r.toObject().value(QStringLiteral("problem")).toString(), QString());
    if (state == QStringLiteral("cancelada"))
        QVERIFY(outbox.document.contains(CancellationBuilder::requestId(request).toLatin1()));
}

QTEST_GUILESS_MAIN(TestNfseSender)
#include "tst_nfsesender.moc"
