#include "tests/support/MailServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QThread>

namespace {

// A self-signed certificate for 127.0.0.1, made once per folder.
bool makeServerCertificate(const QString &dir)
{
    if (QFile::exists(QDir(dir).filePath(QStringLiteral("smtp.pem"))))
        return true;
    QProcess openssl;
    openssl.setWorkingDirectory(dir);
    openssl.start(QStringLiteral("openssl"),
                  QStringLiteral("req -x509 -newkey rsa:2048 -nodes -sha256 -days 30 -subj /CN=127.0.0.1 "
                                 "-addext subjectAltName=IP:127.0.0.1 -keyout smtp.key.pem -out smtp.pem")
                      .split(u' '));
    return openssl.waitForFinished(60000) && openssl.exitCode() == 0;
}

// aiosmtpd is a Debian package: it lives in the system's Python, which may not be
// the first python3 on the PATH.
QString python()
{
    return QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                             : QStringLiteral("python3");
}

} // namespace

MailServer::MailServer(const QString &dir, const Options &options)
{
    const QDir here(dir);
    m_folder = here.filePath(QStringLiteral("recebidas"));
    m_certificate = here.filePath(QStringLiteral("smtp.pem"));
    const QString portFile = here.filePath(QStringLiteral("smtp.porta"));
    const QString scriptFile = here.filePath(QStringLiteral("smtp.json"));
    QFile::remove(portFile);
    QFile script(scriptFile);
    if (!script.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || script.write(QJsonDocument(options.script).toJson()) < 0) {
        qWarning("the mail server's script could not be written in %s", qPrintable(dir));
        return;
    }
    script.close();
    QStringList arguments{QStringLiteral(FAS_SOURCE_DIR "/tests/support/mail_server.py"),
                          QStringLiteral("--folder"),
                          m_folder,
                          QStringLiteral("--port-file"),
                          portFile,
                          QStringLiteral("--port"),
                          QString::number(options.port),
                          QStringLiteral("--script"),
                          scriptFile,
                          QStringLiteral("--stall"),
                          QString::number(options.stallSeconds)};
    if (options.security != Security::None) {
        if (!makeServerCertificate(dir)) {
            qWarning("the mail server's certificate could not be made in %s", qPrintable(dir));
            return;
        }
        arguments << QStringLiteral("--cert") << m_certificate << QStringLiteral("--key")
                  << here.filePath(QStringLiteral("smtp.key.pem"));
    }
    if (options.security == Security::Tls)
        arguments << QStringLiteral("--tls");
    if (!options.user.isEmpty())
        arguments << QStringLiteral("--user") << options.user << QStringLiteral("--password") << options.password;
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(python(), arguments);
    QElapsedTimer waited;
    waited.start();
    while (!QFile::exists(portFile) && m_process.state() != QProcess::NotRunning && waited.elapsed() < 20000)
        QThread::msleep(20);
    QFile port(portFile);
    if (port.open(QIODevice::ReadOnly))
        m_port = port.readAll().trimmed().toInt();
    if (m_port <= 0)
        qWarning("the mail server did not start (is python3-aiosmtpd installed?)");
}

MailServer::~MailServer()
{
    stop();
}

void MailServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
}

QJsonArray MailServer::messages() const
{
    QJsonArray all;
    const QStringList names = QDir(m_folder).entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    for (const QString &name : names)
        all.append(QJsonDocument::fromJson(file(name)).object());
    return all;
}

QByteArray MailServer::file(const QString &name) const
{
    QFile read(QDir(m_folder).filePath(name));
    return read.open(QIODevice::ReadOnly) ? read.readAll() : QByteArray();
}
