#pragma once

#include <QByteArray>
#include <QString>

// The service manager's end of systemd's notification protocol: a datagram
// socket bound to a path, to hand to a server as NOTIFY_SOCKET.
class NotifySocket
{
public:
    explicit NotifySocket(const QString &directory);
    ~NotifySocket();
    NotifySocket(const NotifySocket &) = delete;
    NotifySocket &operator=(const NotifySocket &) = delete;

    bool isOpen() const { return m_socket >= 0; }
    QString path() const { return m_path; }
    // The next message, or an empty one when none came within `timeoutMs`.
    QByteArray receive(int timeoutMs);

private:
    QString m_path;
    int m_socket = -1;
};
