#include "tests/support/TestCertificates.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include "tests/support/SecretFile.h"

namespace {

// Runs openssl in `dir` with the words of `command` (file names relative to `dir`);
// a password goes in the environment (FAS_P12), where spaces do not split it.
bool openssl(const QString &dir, const QString &command, const QString &password = {})
{
    QProcess process;
    process.setWorkingDirectory(dir);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("FAS_P12"), password);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("openssl"), command.split(u' '));
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning("openssl %s failed: %s", qPrintable(command), process.readAllStandardError().constData());
        return false;
    }
    return true;
}

// `openssl req -x509` cannot date a certificate in the past; a one-off CA database
// lets `openssl ca -selfsign` set both ends of its validity.
bool makeCertificate(const QString &dir, const QString &name, CertificateValidity validity)
{
    if (validity == CertificateValidity::InForce)
        return openssl(dir, QStringLiteral("req -x509 -newkey rsa:2048 -nodes -sha256 -days 30 -subj /CN=EMPRESA-TESTE "
                                           "-keyout %1.key.pem -out %1.pem")
                                .arg(name));
    const QByteArray config = "[ca]\ndefault_ca=d\n[d]\ndatabase=index.txt\nnew_certs_dir=.\nserial=serial\n"
                              "default_md=sha256\npolicy=p\n[p]\ncommonName=supplied\n";
    return writeSecretFile(dir + QStringLiteral("/index.txt"), {})
           && writeSecretFile(dir + QStringLiteral("/serial"), "01\n")
           && writeSecretFile(dir + QStringLiteral("/ca.cnf"), config)
           && openssl(dir, QStringLiteral("req -new -newkey rsa:2048 -nodes -subj /CN=EMPRESA-VENCIDA "
                                          "-keyout %1.key.pem -out %1.csr")
                               .arg(name))
           && openssl(dir, QStringLiteral("ca -batch -config ca.cnf -selfsign -keyfile %1.key.pem -in %1.csr "
                                          "-startdate 20200101000000Z -enddate 20210101000000Z -out %1.pem")
                               .arg(name));
}

} // namespace

TestCertificate makeTestCertificate(const QString &dir, const QString &name, const QString &password,
                                    CertificateValidity validity)
{
    const QString base = QDir(dir).filePath(name);
    TestCertificate made{base + QStringLiteral(".p12"), base + QStringLiteral(".senha"), base + QStringLiteral(".pem")};
    if (!makeCertificate(dir, name, validity)
        || !openssl(
            dir,
            QStringLiteral("pkcs12 -export -inkey %1.key.pem -in %1.pem -out %1.p12 -passout env:FAS_P12").arg(name),
            password)
        || !QFile::setPermissions(made.pkcs12, QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || !writeSecretFile(made.passwordFile, password.toUtf8() + '\n'))
        return {};
    return made;
}
