#include "tests/support/AppServerProcess.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

AppServerProcess::AppServerProcess()
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
}

AppServerProcess::~AppServerProcess()
{
    stop();
}

QString AppServerProcess::binary(const QString &name)
{
    return QStringLiteral(FAS_BIN_DIR "/") + name;
}

QProcessEnvironment AppServerProcess::endingAfterCommit()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(FAS_EXIT_AFTER_COMMIT_LIB));
    // Under AddressSanitizer the library comes before the sanitizer's runtime.
    const QString asan = environment.value(QStringLiteral("ASAN_OPTIONS"));
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       (asan.isEmpty() ? QString() : asan + u':') + QStringLiteral("verify_asan_link_order=0"));
    return environment;
}

int AppServerProcess::unusedPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

bool AppServerProcess::prepareDemoDatabase(const QStringList &extraArgs)
{
    m_databaseUrl = m_dir.filePath(QStringLiteral("fas.sqlite"));
    QProcess demo;
    demo.setProcessChannelMode(QProcess::MergedChannels);
    demo.start(binary(QStringLiteral("fas-demo-data")),
               QStringList{QStringLiteral("--database"), m_databaseUrl} + extraArgs);
    if (!demo.waitForFinished(120000) || demo.exitStatus() != QProcess::NormalExit || demo.exitCode() != 0) {
        m_error = QStringLiteral("fas-demo-data failed: ") + QString::fromUtf8(demo.readAll());
        return false;
    }
    return true;
}

bool AppServerProcess::start(const QStringList &extraArgs)
{
    m_process.start(binary(QStringLiteral("fas-appserver")),
                    QStringList{QStringLiteral("--database"), m_databaseUrl, QStringLiteral("--listen"),
                                QStringLiteral("127.0.0.1:0")}
                        + extraArgs);
    if (!m_process.waitForStarted(10000)) {
        m_error = QStringLiteral("fas-appserver did not start: ") + m_process.errorString();
        return false;
    }
    m_port = readListeningPort(m_process, 30000);
    if (m_port > 0 && waitHealthy(20000))
        return true;
    stop();
    m_error = QStringLiteral("fas-appserver never became healthy: ") + QString::fromUtf8(m_log);
    return false;
}

bool AppServerProcess::startWith(const QStringList &arguments)
{
    m_process.start(binary(QStringLiteral("fas-appserver")), arguments);
    if (!m_process.waitForStarted(10000)) {
        m_error = QStringLiteral("fas-appserver did not start: ") + m_process.errorString();
        return false;
    }
    m_port = readListeningPort(m_process, 30000);
    return m_port > 0;
}

int AppServerProcess::readListeningPort(QProcess &process, int timeoutMs)
{
    static const QRegularExpression listening(QStringLiteral("escutando em http://\\S+:(\\d+)"));
    QDeadlineTimer deadline(timeoutMs);
    QByteArray out;
    while (!deadline.hasExpired()) {
        out += process.readAllStandardOutput();
        const QRegularExpressionMatch match = listening.match(QString::fromUtf8(out));
        if (match.hasMatch())
            return match.captured(1).toInt();
        if (!process.waitForReadyRead(500) && process.state() != QProcess::Running)
            break;
    }
    return 0;
}

bool AppServerProcess::waitHealthy(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (m_process.state() != QProcess::Running)
            return false;
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, quint16(m_port));
        if (socket.waitForConnected(500)) {
            socket.write("GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
            socket.waitForBytesWritten(500);
            QByteArray reply;
            while (socket.waitForReadyRead(1000))
                reply += socket.readAll();
            if (reply.startsWith("HTTP/1.1 200"))
                return true;
        }
        QThread::msleep(50);
    }
    return false;
}

void AppServerProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    m_log += m_process.readAllStandardError();
}

QByteArray AppServerProcess::serverLog()
{
    m_log += m_process.readAllStandardError();
    return m_log;
}

QByteArray AppServerProcess::newLog()
{
    serverLog();
    const QByteArray fresh = m_log.mid(m_logTaken);
    m_logTaken = m_log.size();
    return fresh;
}
