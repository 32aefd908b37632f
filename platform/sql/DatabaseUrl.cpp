#include "DatabaseUrl.h"

#include <QUrl>

#include "DatabaseError.h"

namespace {

// Percent-decodes one URL part; a '%' not followed by two hex digits is an error,
// so that a mistyped password is reported rather than silently changed.
QString decodePart(QStringView part, const QString &whole, const char *what)
{
    for (qsizetype i = 0; i < part.size(); ++i) {
        if (part[i] != u'%')
            continue;
        auto isHex = [](QChar c) {
            return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        };
        if (i + 2 >= part.size() || !isHex(part[i + 1]) || !isHex(part[i + 2]))
            throw DatabaseError(QStringLiteral("Endereço de banco de dados inválido (%1): "
                                               "codificação %% incorreta em %2.")
                                    .arg(whole, QString::fromUtf8(what)));
    }
    return QUrl::fromPercentEncoding(part.toUtf8());
}

QString redacted(const QString &text)
{
    // The text may carry a password: show the scheme and what follows '@' only.
    const qsizetype at = text.lastIndexOf(u'@');
    const qsizetype scheme = text.indexOf(QStringLiteral("://"));
    if (at < 0 || scheme < 0 || at < scheme)
        return text;
    return text.left(scheme + 3) + QStringLiteral("***@") + text.mid(at + 1);
}

} // namespace

DatabaseUrl DatabaseUrl::parse(const QString &input)
{
    const QString text = input.trimmed();
    if (text.isEmpty())
        throw DatabaseError(QStringLiteral("Banco de dados não informado: indique um arquivo SQLite "
                                           "ou um endereço postgresql://."));
    DatabaseUrl url;
    const qsizetype schemeEnd = text.indexOf(QStringLiteral("://"));
    QString scheme;
    if (schemeEnd > 0) {
        scheme = text.left(schemeEnd).toLower();
        bool looksLikeScheme = scheme.at(0).isLetter();
        for (QChar c : scheme)
            looksLikeScheme = looksLikeScheme && (c.isLetterOrNumber() || c == u'+' || c == u'-' || c == u'.');
        if (!looksLikeScheme)
            scheme.clear();
    }

    if (scheme.isEmpty() || scheme == QLatin1String("sqlite")) {
        url.m_kind = Kind::Sqlite;
        url.m_path = scheme.isEmpty() ? text : text.mid(schemeEnd + 3);
        if (url.m_path.isEmpty())
            throw DatabaseError(QStringLiteral("Endereço de banco de dados inválido (%1): "
                                               "falta o caminho do arquivo SQLite.").arg(text));
        return url;
    }
    if (scheme != QLatin1String("postgresql") && scheme != QLatin1String("postgres"))
        throw DatabaseError(QStringLiteral("Banco de dados não suportado (%1): use um arquivo SQLite "
                                           "ou um endereço postgresql://.").arg(redacted(text)));

    url.m_kind = Kind::PostgreSql;
    const QString shown = redacted(text);
    QStringView rest = QStringView(text).mid(schemeEnd + 3);

    // Split off the query, then the path (the database name), leaving the authority.
    QStringView query;
    if (const qsizetype q = rest.indexOf(u'?'); q >= 0) {
        query = rest.mid(q + 1);
        rest = rest.left(q);
    }
    QStringView path;
    if (const qsizetype slash = rest.indexOf(u'/'); slash >= 0) {
        path = rest.mid(slash + 1);
        rest = rest.left(slash);
    }
    QStringView authority = rest;
    if (const qsizetype at = authority.lastIndexOf(u'@'); at >= 0) {
        QStringView userInfo = authority.left(at);
        authority = authority.mid(at + 1);
        if (const qsizetype colon = userInfo.indexOf(u':'); colon >= 0) {
            url.m_user = decodePart(userInfo.left(colon), shown, "usuário");
            url.m_password = decodePart(userInfo.mid(colon + 1), shown, "senha");
        } else {
            url.m_user = decodePart(userInfo, shown, "usuário");
        }
    }

    QStringView portText;
    if (authority.startsWith(u'[')) {
        const qsizetype close = authority.indexOf(u']');
        if (close < 0)
            throw DatabaseError(QStringLiteral("Endereço de banco de dados inválido (%1): "
                                               "falta ']' no endereço IPv6.").arg(shown));
        url.m_host = authority.mid(1, close - 1).toString();
        QStringView after = authority.mid(close + 1);
        if (!after.isEmpty()) {
            if (!after.startsWith(u':'))
                throw DatabaseError(QStringLiteral("Endereço de banco de dados inválido (%1): "
                                                   "texto inesperado após o endereço IPv6.").arg(shown));
            portText = after.mid(1);
        }
    } else if (const qsizetype colon = authority.lastIndexOf(u':'); colon >= 0) {
        url.m_host = decodePart(authority.left(colon), shown, "servidor");
        portText = authority.mid(colon + 1);
    } else {
        url.m_host = decodePart(authority, shown, "servidor");
    }
    if (!portText.isEmpty()) {
        bool ok = false;
        const int port = portText.toInt(&ok);
        if (!ok || port < 1 || port > 65535)
            throw DatabaseError(QStringLiteral("Endereço de banco de dados inválido (%1): "
                                               "porta \"%2\" fora de 1 a 65535.")
                                    .arg(shown, portText.toString()));
        url.m_port = port;
    }

    url.m_database = decodePart(path, shown, "nome do banco");
    if (url.m_database.isEmpty())
        throw DatabaseError(QStringLiteral("Endereço de banco de dados inválido (%1): "
                                           "falta o nome do banco após a barra.").arg(shown));
    if (url.m_database.contains(u'/'))
        throw DatabaseError(QStringLiteral("Endereço de banco de dados inválido (%1): "
                                           "o nome do banco não pode conter '/'.").arg(shown));

    if (!query.isEmpty()) {
        for (QStringView pair : query.split(u'&', Qt::SkipEmptyParts)) {
            const qsizetype eq = pair.indexOf(u'=');
            if (eq <= 0)
                throw DatabaseError(QStringLiteral("Endereço de banco de dados inválido (%1): "
                                                   "parâmetro \"%2\" sem valor.")
                                        .arg(shown, pair.toString()));
            const QString key = decodePart(pair.left(eq), shown, "parâmetro");
            const QString value = decodePart(pair.mid(eq + 1), shown, "parâmetro");
            // A socket directory given as ?host=/run/postgresql takes the host's place.
            if (key == QLatin1String("host"))
                url.m_host = value;
            else if (key == QLatin1String("port")) {
                bool ok = false;
                const int port = value.toInt(&ok);
                if (!ok || port < 1 || port > 65535)
                    throw DatabaseError(QStringLiteral("Endereço de banco de dados inválido (%1): "
                                                       "porta \"%2\" fora de 1 a 65535.").arg(shown, value));
                url.m_port = port;
            } else
                url.m_parameters.append({key, value});
        }
    }
    return url;
}

QString DatabaseUrl::driverName() const
{
    return m_kind == Kind::Sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL");
}

QString DatabaseUrl::displayName() const
{
    if (m_kind == Kind::Sqlite)
        return m_path;
    QString text = QStringLiteral("postgresql://");
    if (!m_user.isEmpty())
        text += m_user + u'@';
    text += m_host.contains(u':') ? u'[' + m_host + u']' : m_host;
    if (m_port > 0)
        text += u':' + QString::number(m_port);
    text += u'/' + m_database;
    return text;
}
