// The mail sender against a real SMTP server (aiosmtpd, tests/support/mail_server.py):
// each message's end (sent, waiting for another try, failed for good) after what the
// server did, the copies the server kept (never two), and each kept message read back
// by Python's own e-mail parser: the headers, the accented subject and file name, the
// text, the invoice PDF's bytes and, through pdftotext, its total. Then the [email]
// settings and their refusals.
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "documents/InvoicePdf.h"
#include "platform/data/FasError.h"
#include "server/mail/MailSender.h"
#include "tests/support/MailServer.h"
#include "tests/support/SecretFile.h"

namespace {

// One message in memory, with what the sender recorded.
class MemoryOutbox : public MailOutbox
{
public:
    std::optional<Message> message;
    QDateTime due;
    QString state = QStringLiteral("a enviar");
    QString reason;           // the last one recorded
    QList<qint64> retryWaits; // seconds between each failure and its next try

    std::optional<Message> claimMessage(const QDateTime &now) override
    {
        if (!message || state != QStringLiteral("a enviar") || due > now)
            return std::nullopt;
        m_claimedAt = now;
        return message;
    }
    void recordSent(qint64, const QDateTime &) override { state = QStringLiteral("enviada"); }
    void recordRetry(qint64, const QString &why, const QDateTime &next) override
    {
        reason = why;
        retryWaits.append(m_claimedAt.secsTo(next));
        due = next;
        ++message->attempts;
    }
    void recordFailed(qint64, const QString &why) override
    {
        state = QStringLiteral("falhou");
        reason = why;
    }

private:
    QDateTime m_claimedAt;
};

InvoiceDocument sampleInvoice()
{
    InvoiceDocument d;
    d.issuer = {
        QStringLiteral("Faturadora Exemplo Ltda"), QStringLiteral("11222333000181"), {QStringLiteral("Curitiba / PR")}};
    d.client = {QStringLiteral("Ação & Comércio São João Ltda"), {}, {QStringLiteral("500 Market Street")}};
    d.company = QStringLiteral("01");
    d.number = 4711;
    d.date = QDateTime(QDate(2025, 3, 15), QTime(10, 20, 30), Qt::UTC);
    for (int i = 0; i < 3; ++i)
        d.lines.append({QStringLiteral("Service line %1").arg(i + 1), {}, QDate(2025, 1 + i, 1), 100.25 + i});
    return d;
}

MailOutbox::Message sampleMessage(const QStringList &recipients)
{
    MailOutbox::Message m;
    m.key = 7;
    m.recipients = recipients;
    m.subject = QStringLiteral("Fatura 01-4711 — serviços de março/2025 da Ação & Comércio São João Ltda");
    m.body = QStringLiteral("Prezado cliente,\n\nSegue a fatura nº 4711 de março, no valor de 303,75, com vencimento "
                            "em 30 dias, conforme o contrato de prestação de serviços.\n.linha com ponto \n"
                            "=igual e acentuação: ç ã é ü\n");
    m.attachments = {
        {QStringLiteral("Fatura nº 4711 — São João.pdf"), "application/pdf", InvoicePdf::make(sampleInvoice())},
        {QStringLiteral("nfse-4711.xml"), "text/xml", QByteArray("<NFSe>\r\n.\r\n</NFSe>")}};
    return m;
}

QString pdfText(const QByteArray &pdf)
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("f.pdf")));
    if (!file.open(QIODevice::WriteOnly) || file.write(pdf) != pdf.size())
        return {};
    file.close();
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
            {QStringLiteral("-enc"), QStringLiteral("UTF-8"), file.fileName(), QStringLiteral("-")});
    return p.waitForFinished(30000) && p.exitCode() == 0 ? QString::fromUtf8(p.readAllStandardOutput()) : QString();
}

const QString recipient = QStringLiteral("contas@cliente.com.br");

} // namespace

class TestMailSender : public QObject
{
    Q_OBJECT

private slots:
    void delivery_data();
    void delivery();
    void settings_data();
    void settings();
};

void TestMailSender::delivery_data()
{
    QTest::addColumn<int>("security");
    QTest::addColumn<QJsonArray>("rcpt"); // the server's answers to RCPT, in order
    QTest::addColumn<bool>("downFirst");  // no server at the first try
    QTest::addColumn<QStringList>("recipients");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QList<qint64>>("retryWaits");
    QTest::addColumn<QString>("reason"); // in the last reason recorded

    const auto none = int(MailServer::Security::None);
    const QString sent = QStringLiteral("enviada");
    const QString failed = QStringLiteral("falhou");
    const QStringList to{recipient};
    QTest::newRow("sent") << none << QJsonArray() << false << to << sent << QList<qint64>() << QString();
    QTest::newRow("STARTTLS with login") << int(MailServer::Security::StartTls) << QJsonArray() << false << to << sent
                                         << QList<qint64>() << QString();
    QTest::newRow("implicit TLS with login")
        << int(MailServer::Security::Tls) << QJsonArray() << false << to << sent << QList<qint64>() << QString();
    QTest::newRow("450 twice, then sent once") << none << QJsonArray{"450", "450"} << false << to << sent
                                               << QList<qint64>{60, 120} << QStringLiteral("tente mais tarde");
    QTest::newRow("550: failed for good in the server's words")
        << none << QJsonArray{"550"} << false << to << failed << QList<qint64>()
        << QStringLiteral("caixa postal inexistente");
    QTest::newRow("one of two recipients refused: none receives it")
        << none << QJsonArray{"ok", "550"} << false << QStringList{recipient, QStringLiteral("outro@cliente.com.br")}
        << failed << QList<qint64>() << QStringLiteral("recusou o destinatário outro@cliente.com.br");
    QTest::newRow("server down, then up")
        << none << QJsonArray() << true << to << sent << QList<qint64>{60} << QStringLiteral("não aceitou a conexão");
    QTest::newRow("no answer in time, then sent") << none << QJsonArray{"stall"} << false << to << sent
                                                  << QList<qint64>{60} << QStringLiteral("não respondeu em 3 s");
    QTest::newRow("no address: failed, never sent") << none << QJsonArray() << false << QStringList() << failed
                                                    << QList<qint64>() << QStringLiteral("não tem endereço");
    QTest::newRow("bad address: failed, never sent")
        << none << QJsonArray() << false << QStringList{QStringLiteral("contas@cliente com.br")} << failed
        << QList<qint64>() << QStringLiteral("não é um endereço de e-mail");
}

void TestMailSender::delivery()
{
    QFETCH(int, security);
    QFETCH(QJsonArray, rcpt);
    QFETCH(bool, downFirst);
    QFETCH(QStringList, recipients);
    QFETCH(QString, state);
    QFETCH(QList<qint64>, retryWaits);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    MailServer::Options options;
    options.security = MailServer::Security(security);
    options.script = {{QStringLiteral("rcpt"), rcpt}};
    options.stallSeconds = 8;
    if (options.security != MailServer::Security::None)
        options = {
            options.security,    QStringLiteral("faturamento"), QStringLiteral("senha com espaço"), options.script, 0,
            options.stallSeconds};
    auto server = std::make_unique<MailServer>(dir.path(), options);
    QVERIFY(server->isRunning());

    MailSettings settings;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = server->port();
    const MailSettings::Security securities[] = {MailSettings::Security::None, MailSettings::Security::StartTls,
                                                 MailSettings::Security::Tls};
    settings.security = securities[security];
    settings.caFile = options.security == MailServer::Security::None ? QString() : server->caFile();
    settings.user = options.user;
    settings.password = options.password;
    settings.senderAddress = QStringLiteral("faturamento@exemplo.com.br");
    settings.senderName = QStringLiteral("Faturamento São João");
    settings.timeoutSeconds = 3; // a loaded machine must not look like a stalled server
    if (downFirst)
        server->stop();

    MemoryOutbox outbox;
    const MailOutbox::Message message = sampleMessage(recipients);
    outbox.message = message;
    const QDateTime start(QDate(2025, 3, 15), QTime(15, 0), QTimeZone(-3 * 3600));
    QDateTime now = start;
    MailSender sender(settings, outbox, [&now] { return now; });
    for (int round = 0; round < 4 && outbox.state == QStringLiteral("a enviar"); ++round, now = now.addSecs(7200)) {
        sender.sendDue();
        if (round == 0 && downFirst) {
            options.port = settings.port;
            server = std::make_unique<MailServer>(dir.path(), options);
            QVERIFY(server->isRunning());
        }
    }

    QCOMPARE(outbox.state, state);
    QCOMPARE(outbox.retryWaits, retryWaits);
    QVERIFY2(outbox.reason.contains(reason), qPrintable(outbox.reason));
    const QJsonArray received = server->messages();
    QCOMPARE(received.size(), state == QStringLiteral("enviada") ? 1 : 0);
    if (received.isEmpty())
        return;
    const QJsonObject got = received[0].toObject();
    // As sent: 7-bit text in lines of at most 78 characters, which any relay passes on.
    for (const QByteArray &line : server->file(got[QStringLiteral("eml")].toString()).split('\n')) {
        QVERIFY2(line.size() <= 79, line.constData());
        QVERIFY2(std::all_of(line.cbegin(), line.cend(), [](char c) { return uchar(c) < 0x80; }), line.constData());
    }
    QCOMPARE(got[QStringLiteral("mail_from")].toString(), settings.senderAddress);
    QCOMPARE(got[QStringLiteral("rcpt_tos")].toArray(), QJsonArray{recipient});
    QCOMPARE(got[QStringLiteral("tls")].toBool(), options.security != MailServer::Security::None);
    QCOMPARE(got[QStringLiteral("login")].toString(), options.user);
    QCOMPARE(got[QStringLiteral("from")].toString(),
             QStringLiteral("Faturamento São João <faturamento@exemplo.com.br>"));
    QCOMPARE(got[QStringLiteral("to")].toString(), recipient);
    QCOMPARE(got[QStringLiteral("subject")].toString(), message.subject);
    QCOMPARE(got[QStringLiteral("message_id")].toString(), QStringLiteral("<fas09600.mail.7@exemplo.com.br>"));
    QCOMPARE(got[QStringLiteral("date")].toString(), start.addSecs(7200 * retryWaits.size()).toString(Qt::ISODate));
    QCOMPARE(got[QStringLiteral("body")].toString().remove(u'\r'), message.body);
    const QJsonArray attachments = got[QStringLiteral("attachments")].toArray();
    QCOMPARE(attachments.size(), message.attachments.size());
    for (int i = 0; i < attachments.size(); ++i) {
        const QJsonObject a = attachments[i].toObject();
        QCOMPARE(a[QStringLiteral("filename")].toString(), message.attachments[i].name);
        QCOMPARE(a[QStringLiteral("type")].toString().toLatin1(), message.attachments[i].mimeType);
        QCOMPARE(server->file(a[QStringLiteral("file")].toString()), message.attachments[i].content);
    }
    QVERIFY(
        pdfText(server->file(attachments[0][QStringLiteral("file")].toString())).contains(QStringLiteral("303.75")));
}

void TestMailSender::settings_data()
{
    QTest::addColumn<QString>("ini");
    QTest::addColumn<bool>("sharedPassword"); // the password file readable by the group
    QTest::addColumn<QString>("refusal");     // in the message; empty: read
    QTest::addColumn<int>("port");

    const QString base = QStringLiteral("[email]\nhost=smtp.exemplo.com.br\nsender_address=fat@exemplo.com.br\n");
    QTest::newRow("defaults: starttls on 587") << base << false << QString() << 587;
    QTest::newRow("tls: 465") << base + QStringLiteral("security=tls\n") << false << QString() << 465;
    QTest::newRow("login with an owner-only password file") << base + "user=fat\npassword_file=senha\n"
                                                            << false << QString() << 587;
    QTest::newRow("password file others may read") << base + "user=fat\npassword_file=senha\n"
                                                   << true << QStringLiteral("chmod 600") << 0;
    QTest::newRow("user without password file") << base + "user=fat\n"
                                                << false << QStringLiteral("sem password_file") << 0;
    QTest::newRow("missing password file") << base + "user=fat\npassword_file=nenhum\n"
                                           << false << QStringLiteral("não pôde ser lido") << 0;
    QTest::newRow("unknown security") << base + "security=ssl\n"
                                      << false << QStringLiteral("use starttls, tls ou none") << 0;
    QTest::newRow("port out of range") << base + "port=70000\n"
                                       << false << QStringLiteral("port = \"70000\" deve ser um número") << 0;
    QTest::newRow("timeout not a number") << base + "timeout_seconds=muito\n"
                                          << false << QStringLiteral("timeout_seconds") << 0;
    QTest::newRow("no host") << QStringLiteral("[email]\nsender_address=fat@exemplo.com.br\n") << false
                             << QStringLiteral("host = \"\"") << 0;
    QTest::newRow("sender not an address")
        << QStringLiteral("[email]\nhost=smtp.exemplo.com.br\nsender_address=faturamento\n") << false
        << QStringLiteral("não é um endereço de e-mail") << 0;
}

void TestMailSender::settings()
{
    QFETCH(QString, ini);
    QFETCH(bool, sharedPassword);
    QFETCH(QString, refusal);
    QFETCH(int, port);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fas.ini"));
    QVERIFY(writeSecretFile(path, ini.toUtf8()));
    const auto shared = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    QVERIFY(writeSecretFile(dir.filePath(QStringLiteral("senha")), "segredo\n",
                            sharedPassword ? shared : QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    try {
        const std::optional<MailSettings> read = MailSettings::fromFile(path);
        QVERIFY2(refusal.isEmpty(), "the settings were accepted");
        QVERIFY(read);
        QCOMPARE(read->port, port);
        QCOMPARE(read->password, read->user.isEmpty() ? QString() : QStringLiteral("segredo"));
    } catch (const FasError &error) {
        QVERIFY2(!refusal.isEmpty() && error.message().contains(refusal), qPrintable(error.message()));
        QVERIFY(error.message().startsWith(QStringLiteral("Seção [email]")) || refusal == QStringLiteral("chmod 600"));
    }
}

QTEST_MAIN(TestMailSender)
#include "tst_mailsender.moc"
