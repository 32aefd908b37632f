#include "tests/support/NotifySocket.h"

#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

NotifySocket::NotifySocket(const QString &directory)
    : m_path(QDir(directory).filePath(QStringLiteral("notify.sock")))
{
    QFile::remove(m_path);
    const QByteArray name = QFile::encodeName(m_path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(name.size()) >= sizeof address.sun_path)
        return;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    m_socket = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_socket >= 0 && bind(m_socket, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        close(m_socket);
        m_socket = -1;
    }
}

NotifySocket::~NotifySocket()
{
    if (m_socket >= 0)
        close(m_socket);
    QFile::remove(m_path);
}

QByteArray NotifySocket::receive(int timeoutMs)
{
    pollfd waiting{m_socket, POLLIN, 0};
    if (m_socket < 0 || poll(&waiting, 1, timeoutMs) != 1)
        return {};
    char buffer[4096];
    const ssize_t size = recv(m_socket, buffer, sizeof buffer, 0);
    return size > 0 ? QByteArray(buffer, size).trimmed() : QByteArray();
}
