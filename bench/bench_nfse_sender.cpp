// Sends N declarations (default 200) through one NfseSender to the national
// service's stand-in and prints notes per second. The stand-in checks schema and
// signature of each DPS unless --no-verify is given (then only the sender's side:
// signing, compression, TLS, the answer). Usage: bench_nfse_sender [N] [--no-verify]
#include <cstdio>
#include <deque>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimeZone>

#include "server/nfse/DpsBuilder.h"
#include "server/nfse/NfseSender.h"
#include "tests/support/NfseStandIn.h"
#include "tests/support/TestCertificates.h"

namespace {

class QueueOutbox : public NfseOutbox
{
public:
    std::deque<Declaration> pending;
    int authorized = 0;
    int other = 0;
    std::optional<Declaration> claimDeclaration(const QDateTime &) override
    {
        if (pending.empty())
            return std::nullopt;
        Declaration next = pending.front();
        pending.pop_front();
        return next;
    }
    void recordAuthorized(qint64, const QString &, const QByteArray &, const QDateTime &) override { ++authorized; }
    void recordRejected(qint64, const QList<Rejection> &) override { ++other; }
    void recordRetry(qint64, const QString &, const QDateTime &) override { ++other; }
    std::optional<Cancellation> claimCancellation(const QDateTime &) override { return std::nullopt; }
    void recordCancelled(qint64, const QByteArray &, const QDateTime &) override {}
    void recordCancellationRefused(qint64, const QList<Rejection> &) override {}
    void recordCancellationRetry(qint64, const QString &, const QDateTime &) override {}
};

DpsData declarationNumber(int number)
{
    DpsData d;
    d.companyCnpj = QStringLiteral("11222333000181");
    d.companyMunicipalRegistration = QStringLiteral("1234567");
    d.companyMunicipality = QStringLiteral("3550308");
    d.series = 1;
    d.number = number;
    d.emitted = QDateTime(QDate(2026, 3, 2), QTime(14, 5, 9), QTimeZone(-3 * 3600));
    d.competence = QDate(2026, 2, 28);
    d.clientDocument = QStringLiteral("12345678000195");
    d.clientName = QStringLiteral("Cliente Exemplo Ltda");
    d.serviceCode = QStringLiteral("010701");
    d.description = QStringLiteral("Suporte técnico");
    d.valueCents = 150000 + number;
    d.issRateHundredths = 500;
    return d;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool verify = !args.contains(QStringLiteral("--no-verify"));
    const int count = args.size() > 1 && args[1].toInt() > 0 ? args[1].toInt() : 200;
    QTemporaryDir dir;
    const TestCertificate company = makeTestCertificate(dir.path(), QStringLiteral("empresa"), QStringLiteral("senha"));
    NfseStandIn service(dir.path(), company.certificatePem, {}, verify);
    if (company.pkcs12.isEmpty() || !service.isRunning())
        return 1;
    QueueOutbox outbox;
    for (int i = 1; i <= count; ++i) {
        const DpsData dps = declarationNumber(i);
        outbox.pending.push_back({i, QStringLiteral("1"), DpsBuilder::dpsId(dps), DpsBuilder::build(dps), 0});
    }
    NfseSettings settings;
    settings.endpoint = service.endpoint();
    settings.caFile = service.caFile();
    settings.companies.insert(QStringLiteral("1"), {company.pkcs12, company.passwordFile});
    NfseSender sender(settings, outbox);
    QElapsedTimer timer;
    timer.start();
    sender.sendDue();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    std::printf("%d notes authorized, %d not, in %.2f s: %.1f notes/s (stand-in %s)\n", outbox.authorized,
                outbox.other, seconds, outbox.authorized / seconds, verify ? "checking schema and signature" : "not checking");
    return outbox.authorized == count ? 0 : 1;
}
