#include "tests/support/TestCertificates.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include "tests/support/SecretFile.h"

namespace {

bool openssl(const QString &dir, const QStringList &arguments)
{
    QProcess process;
    process.setWorkingDirectory(dir);
    process.start(QStringLiteral("openssl"), arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning("openssl %s failed: %s", qPrintable(arguments.join(u' ')), process.readAllStandardError().constData());
        return false;
    }
    return true;
}

// `openssl req -x509` cannot date a certificate in the past; a one-off CA database
// lets `openssl ca -selfsign` set both ends of its validity.
bool expiredCertificate(const QString &dir, const QString &key, const QString &pem)
{
    const QString request = pem + QStringLiteral(".csr");
    const QString config = QStringLiteral("[ca]\ndefault_ca=d\n[d]\ndatabase=index.txt\nnew_certs_dir=.\n"
                                          "serial=serial\ndefault_md=sha256\npolicy=p\n[p]\ncommonName=supplied\n");
    QFile(dir + QStringLiteral("/index.txt")).open(QIODevice::WriteOnly);
    return writeSecretFile(dir + QStringLiteral("/serial"), "01\n")
           && writeSecretFile(dir + QStringLiteral("/ca.cnf"), config.toUtf8())
           && openssl(dir,
                      {QStringLiteral("req"), QStringLiteral("-new"), QStringLiteral("-newkey"),
                       QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-keyout"), key,
                       QStringLiteral("-out"), request, QStringLiteral("-subj"), QStringLiteral("/CN=EMPRESA VENCIDA")})
           && openssl(dir,
                      {QStringLiteral("ca"), QStringLiteral("-batch"), QStringLiteral("-config"),
                       QStringLiteral("ca.cnf"), QStringLiteral("-selfsign"), QStringLiteral("-keyfile"), key,
                       QStringLiteral("-in"), request, QStringLiteral("-startdate"), QStringLiteral("20200101000000Z"),
                       QStringLiteral("-enddate"), QStringLiteral("20210101000000Z"), QStringLiteral("-out"), pem});
}

bool certificateInForce(const QString &dir, const QString &key, const QString &pem)
{
    return openssl(dir, {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                         QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-sha256"),
                         QStringLiteral("-days"), QStringLiteral("30"), QStringLiteral("-keyout"), key,
                         QStringLiteral("-out"), pem, QStringLiteral("-subj"),
                         QStringLiteral("/CN=EMPRESA DE TESTE:11222333000181")});
}

} // namespace

TestCertificate makeTestCertificate(const QString &dir, const QString &name, const QString &password,
                                    CertificateValidity validity)
{
    const QString base = QDir(dir).filePath(name);
    const QString key = base + QStringLiteral(".key.pem");
    TestCertificate made{base + QStringLiteral(".p12"), base + QStringLiteral(".senha"), base + QStringLiteral(".pem")};
    const bool certificate = validity == CertificateValidity::Expired
                                 ? expiredCertificate(dir, key, made.certificatePem)
                                 : certificateInForce(dir, key, made.certificatePem);
    if (!certificate
        || !openssl(dir, {QStringLiteral("pkcs12"), QStringLiteral("-export"), QStringLiteral("-inkey"), key,
                          QStringLiteral("-in"), made.certificatePem, QStringLiteral("-out"), made.pkcs12,
                          QStringLiteral("-passout"), QStringLiteral("pass:") + password})
        || !QFile::setPermissions(made.pkcs12, QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || !writeSecretFile(made.passwordFile, password.toUtf8() + '\n'))
        return {};
    return made;
}
