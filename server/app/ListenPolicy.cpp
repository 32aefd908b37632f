#include "server/app/ListenPolicy.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <QByteArray>

#include "platform/data/FasError.h"

bool ListenPolicy::isLoopback(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QByteArray text = host.toLatin1();
    in_addr v4{};
    if (inet_pton(AF_INET, text.constData(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (inet_pton(AF_INET6, text.constData(), &v6) == 1)
        return IN6_IS_ADDR_LOOPBACK(&v6) || (IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127);
    return false;
}

void ListenPolicy::requireAuthenticationBeyondLoopback(const QString &host, bool callersAuthenticate)
{
    if (callersAuthenticate || isLoopback(host))
        return;
    throw FasError(QStringLiteral("O servidor não pode escutar em %1 sem token: qualquer um que alcance esse "
                                  "endereço poderia faturar. Informe um arquivo de token (--token-file ou "
                                  "[appserver] token_file) ou escute em 127.0.0.1.")
                       .arg(host));
}
