#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>

// A real SMTP server (aiosmtpd, tests/support/mail_server.py) run for a test on
// 127.0.0.1. It keeps each message it accepts in `dir`/recebidas with what Python's
// e-mail parser reads in it (see the script's text); `script` scripts its answers to
// RCPT ({"rcpt": ["450", "550", "stall", "ok", ...]}, a stall lasting
// `stallSeconds`).
class MailServer
{
public:
    enum class Security { None, StartTls, Tls };
    struct Options
    {
        Security security = Security::None;
        QString user; // a login it requires, with `password`; none when empty
        QString password;
        QJsonObject script;
        int port = 0; // 0: a free one
        int stallSeconds = 4;
    };

    MailServer(const QString &dir, const Options &options);
    ~MailServer();
    MailServer(const MailServer &) = delete;
    MailServer &operator=(const MailServer &) = delete;

    bool isRunning() const { return m_port > 0; }
    int port() const { return m_port; }
    // The PEM of its certificate (for 127.0.0.1): the client's ca_file.
    QString caFile() const { return m_certificate; }
    // Ends the server; the messages it kept stay readable.
    void stop();
    // The messages received, in order, as the script describes them.
    QJsonArray messages() const;
    // A file the server wrote (a message's .eml, an attachment's .bin).
    QByteArray file(const QString &name) const;

private:
    QProcess m_process;
    QString m_folder;
    QString m_certificate;
    int m_port = 0;
};
