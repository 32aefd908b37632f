#include "AppServerProcess.h"

#include <QDeadlineTimer>
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

int AppServerProcess::freePort()
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
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = freePort();
        m_process.start(binary(QStringLiteral("fas-appserver")),
                        QStringList{QStringLiteral("--database"), m_databaseUrl, QStringLiteral("--listen"),
                                    QStringLiteral("127.0.0.1:%1").arg(m_port)}
                            + extraArgs);
        if (!m_process.waitForStarted(10000)) {
            m_error = QStringLiteral("fas-appserver did not start: ") + m_process.errorString();
            return false;
        }
        if (waitHealthy(20000))
            return true;
        stop();
    }
    m_error = QStringLiteral("fas-appserver never became healthy: ") + QString::fromUtf8(m_log);
    return false;
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
    if (!m_process.waitForFinished(5000)) {
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
