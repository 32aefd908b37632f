#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A real fas-appserver process for tests: its own demo database in a temporary
// folder (or a database URL given), listening on a loopback port of the
// system's choosing (read from the line the server prints), waited for until
// its health entry answers, stopped on destruction. process() lets a test set the
// environment before the start, or read the process id.
class AppServerProcess
{
public:
    AppServerProcess();
    ~AppServerProcess();

    // Creates the demo database (fas-demo-data) unless `databaseUrl` is given.
    bool prepareDemoDatabase(const QStringList &extraArgs = {});
    void setDatabaseUrl(const QString &url) { m_databaseUrl = url; }
    QString databaseUrl() const { return m_databaseUrl; }

    bool start(const QStringList &extraArgs = {});
    bool start(const QString &databaseUrl, const QStringList &extraArgs)
    {
        m_databaseUrl = databaseUrl;
        return start(extraArgs);
    }
    // Starts with `arguments` as they stand (no database or address added) and
    // waits only for the line that names the port.
    bool startWith(const QStringList &arguments);
    void stop();
    QProcess &process() { return m_process; }

    QString host() const { return QStringLiteral("127.0.0.1"); }
    int port() const { return m_port; }
    QString tempPath(const QString &name) const { return m_dir.filePath(name); }
    QString errorText() const { return m_error; }
    // Everything the server wrote on standard error, or only what came since the
    // last call of newLog().
    QByteArray serverLog();
    QByteArray newLog();

    // The test's environment, in which fas-appserver ends with status 9 right after
    // its first generation commits, before it answers (tests/support/ExitAfterCommit.cpp).
    static QProcessEnvironment endingAfterCommit();

    // A loopback port nobody listens on, for tests of a refused connection.
    static int unusedPort();
    static QString binary(const QString &name);

    // The port from the server's "fas-appserver escutando em http://HOST:PORT"
    // line on standard output; 0 when the process ends or says nothing in time.
    static int readListeningPort(QProcess &process, int timeoutMs);

private:
    bool waitHealthy(int timeoutMs);

    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_databaseUrl;
    QString m_error;
    QByteArray m_log;
    qsizetype m_logTaken = 0;
    int m_port = 0;
};
