#include "server/app/ListenPolicy.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <QByteArray>

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

QString ListenPolicy::refusal(const QString &host, bool tokenFile, const std::function<bool()> &enabledUserExists)
{
    if (tokenFile || isLoopback(host) || enabledUserExists())
        return {};
    return QStringLiteral("O servidor não pode escutar em %1 sem token nem usuário ativo: qualquer um que alcance "
                          "esse endereço poderia faturar. Informe um arquivo de token (--token-file ou "
                          "[appserver] token_file), crie um usuário no banco de dados (fas-admin user add NOME "
                          "--right DIREITO) ou escute em 127.0.0.1.")
        .arg(host);
}
