#include "tests/support/NfseStandIn.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QThread>

namespace {

// A server certificate for 127.0.0.1, self-signed: the client trusts it as its
// ca_file.
bool makeServerCertificate(const QString &dir)
{
    QProcess openssl;
    openssl.setWorkingDirectory(dir);
    openssl.start(QStringLiteral("openssl"),
                  QStringLiteral("req -x509 -newkey rsa:2048 -nodes -sha256 -days 30 -subj /CN=127.0.0.1 "
                                 "-addext subjectAltName=IP:127.0.0.1 -keyout servico.key.pem -out servico.pem")
                      .split(u' '));
    return openssl.waitForFinished(60000) && openssl.exitCode() == 0;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

} // namespace

NfseStandIn::NfseStandIn(const QString &dir, const QString &clientCaPem, const QJsonObject &script, bool verify)
{
    const QDir here(dir);
    m_serverPem = here.filePath(QStringLiteral("servico.pem"));
    m_log = here.filePath(QStringLiteral("servico.log"));
    const QString portFile = here.filePath(QStringLiteral("servico.porta"));
    const QString scriptFile = here.filePath(QStringLiteral("servico.json"));
    QFile::remove(portFile);
    QFile::remove(m_log);
    if ((!QFile::exists(m_serverPem) && !makeServerCertificate(dir))
        || !writeFile(scriptFile, QJsonDocument(script).toJson())) {
        qWarning("the stand-in's files could not be written in %s", qPrintable(dir));
        return;
    }
    QStringList arguments{QStringLiteral(FAS_SOURCE_DIR "/tests/support/nfse_standin.py"),
                          QStringLiteral("--cert"), m_serverPem,
                          QStringLiteral("--key"), here.filePath(QStringLiteral("servico.key.pem")),
                          QStringLiteral("--client-ca"), clientCaPem,
                          QStringLiteral("--schemas"), QStringLiteral(FAS_SOURCE_DIR "/server/nfse/schemas/v1_01"),
                          QStringLiteral("--script"), scriptFile,
                          QStringLiteral("--log"), m_log,
                          QStringLiteral("--port-file"), portFile,
                          QStringLiteral("--stall"), QStringLiteral("4")};
    if (!verify)
        arguments << QStringLiteral("--no-verify");
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("python3"), arguments);
    QElapsedTimer waited;
    waited.start();
    while (!QFile::exists(portFile) && m_process.state() != QProcess::NotRunning && waited.elapsed() < 20000)
        QThread::msleep(20);
    QFile port(portFile);
    if (port.open(QIODevice::ReadOnly))
        m_port = port.readAll().trimmed().toInt();
    if (m_port <= 0)
        qWarning("the NFS-e stand-in did not start");
}

NfseStandIn::~NfseStandIn()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

QString NfseStandIn::endpoint() const
{
    return QStringLiteral("https://127.0.0.1:%1/SefinNacional").arg(m_port);
}

QJsonArray NfseStandIn::requests() const
{
    QJsonArray all;
    QFile file(m_log);
    if (!file.open(QIODevice::ReadOnly))
        return all;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (!line.trimmed().isEmpty())
            all.append(QJsonDocument::fromJson(line).object());
    return all;
}
