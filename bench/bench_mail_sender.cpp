// Sends N small messages (default 1,000) through one MailSender to a local SMTP
// server (aiosmtpd, tests/support/mail_server.py, which also parses and writes each
// message to disk) and prints messages per second. Usage: bench_mail_sender [N]
#include <cstdio>
#include <deque>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include "server/mail/MailSender.h"
#include "tests/support/MailServer.h"

namespace {

class QueueOutbox : public MailOutbox
{
public:
    std::deque<Message> pending;
    int sent = 0;
    int other = 0;
    std::optional<Message> claimMessage(const QDateTime &) override
    {
        if (pending.empty())
            return std::nullopt;
        Message next = pending.front();
        pending.pop_front();
        return next;
    }
    void recordSent(qint64, const QDateTime &) override { ++sent; }
    void recordRetry(qint64, const QString &, const QDateTime &) override { ++other; }
    void recordFailed(qint64, const QString &) override { ++other; }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int count = args.size() > 1 && args[1].toInt() > 0 ? args[1].toInt() : 1000;
    QTemporaryDir dir;
    MailServer server(dir.path(), {});
    if (!server.isRunning())
        return 1;
    QueueOutbox outbox;
    for (int i = 1; i <= count; ++i)
        outbox.pending.push_back({i,
                                  {QStringLiteral("cliente%1@exemplo.com.br").arg(i)},
                                  QStringLiteral("Fatura nº %1 — março").arg(i),
                                  QStringLiteral("Segue a fatura nº %1.\n").arg(i),
                                  {{QStringLiteral("fatura-%1.pdf").arg(i), "application/pdf", QByteArray(2048, 'x')}},
                                  0});
    MailSettings settings;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = server.port();
    settings.security = MailSettings::Security::None;
    settings.senderAddress = QStringLiteral("faturamento@exemplo.com.br");
    MailSender sender(settings, outbox);
    QElapsedTimer timer;
    timer.start();
    sender.sendDue();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const int kept = int(server.messages().size());
    std::printf("%d messages sent, %d not, %d kept by the server, in %.2f s: %.1f messages/s\n", outbox.sent,
                outbox.other, kept, seconds, outbox.sent / seconds);
    return outbox.sent == count && kept == count ? 0 : 1;
}
