#include "platform/sql/DatabaseUrl.h"

#include <QUrl>
#include <QUrlQuery>

#include "platform/sql/DatabaseError.h"

namespace {

QString redacted(const QString &text)
{
    // The text may carry a password: show the scheme and what follows '@' only.
    const qsizetype at = text.lastIndexOf(u'@');
    const qsizetype scheme = text.indexOf(QStringLiteral("://"));
    if (at < 0 || scheme < 0 || at < scheme)
        return text;
    return text.left(scheme + 3) + QStringLiteral("***@") + text.mid(at + 1);
}

[[noreturn]] void refuse(const QString &shown, const QString &why)
{
    throw DatabaseError(QStringLiteral("Endereço de banco de dados inválido (%1): %2").arg(shown, why));
}

// A part as typed, with what QUrl would take as a delimiter ('@', '#', '/', blanks…)
// percent-encoded, so that only the escapes written in the address are decoded and
// checked. A '%' stays as typed: QUrl's strict mode refuses one not followed by two
// hex digits, so a mistyped password is reported rather than silently changed.
QString literal(QStringView part, const QByteArray &delimiters = {})
{
    // The encoder always encodes '%' (as "%25", which nothing else becomes): put the
    // typed ones back.
    QByteArray encoded = QUrl::toPercentEncoding(part.toString(), "!$'()*+,;:" + delimiters);
    return QString::fromLatin1(encoded.replace("%25", "%"));
}

// Refuses the address when QUrl refused the part just set: with every delimiter
// encoded, only a broken escape is left to refuse.
void checkPart(const QUrl &reader, const QString &shown, const char *what)
{
    if (!reader.isValid())
        refuse(shown, QStringLiteral("codificação % incorreta em %1.").arg(QString::fromUtf8(what)));
}

int portOf(const QString &text, const QString &shown)
{
    bool ok = false;
    const int port = text.toInt(&ok);
    if (!ok || port < 1 || port > 65535)
        refuse(shown, QStringLiteral("porta \"%1\" fora de 1 a 65535.").arg(text));
    return port;
}

// The address after "postgresql://", split the way the configuration is written:
// the query after the first '?', the database after the first '/', the user
// information up to the last '@' (a password may hold '@'), the user name up to
// the first ':'. QUrl then checks and decodes every part.
struct AddressParts
{
    QStringView user, password, host, port, database, query;
    bool ipv6 = false;
};

AddressParts split(QStringView rest, const QString &shown)
{
    AddressParts parts;
    if (const qsizetype q = rest.indexOf(u'?'); q >= 0) {
        parts.query = rest.mid(q + 1);
        rest = rest.left(q);
    }
    if (const qsizetype slash = rest.indexOf(u'/'); slash >= 0) {
        parts.database = rest.mid(slash + 1);
        rest = rest.left(slash);
    }
    if (const qsizetype at = rest.lastIndexOf(u'@'); at >= 0) {
        const QStringView userInfo = rest.left(at);
        const qsizetype colon = userInfo.indexOf(u':');
        parts.user = colon < 0 ? userInfo : userInfo.left(colon);
        parts.password = colon < 0 ? QStringView() : userInfo.mid(colon + 1);
        rest = rest.mid(at + 1);
    }
    if (rest.startsWith(u'[')) {
        const qsizetype close = rest.indexOf(u']');
        if (close < 0)
            refuse(shown, QStringLiteral("falta ']' no endereço IPv6."));
        parts.ipv6 = true;
        parts.host = rest.left(close + 1);
        const QStringView after = rest.mid(close + 1);
        if (!after.isEmpty() && !after.startsWith(u':'))
            refuse(shown, QStringLiteral("texto inesperado após o endereço IPv6."));
        parts.port = after.mid(1);
    } else {
        const qsizetype colon = rest.lastIndexOf(u':');
        parts.host = colon < 0 ? rest : rest.left(colon);
        parts.port = colon < 0 ? QStringView() : rest.mid(colon + 1);
    }
    return parts;
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
                                               "falta o caminho do arquivo SQLite.")
                                    .arg(text));
        return url;
    }
    if (scheme != QLatin1String("postgresql") && scheme != QLatin1String("postgres"))
        throw DatabaseError(QStringLiteral("Banco de dados não suportado (%1): use um arquivo SQLite "
                                           "ou um endereço postgresql://.")
                                .arg(redacted(text)));

    url.m_kind = Kind::PostgreSql;
    const QString shown = redacted(text);
    const AddressParts parts = split(QStringView(text).mid(schemeEnd + 3), shown);

    QUrl reader(QStringLiteral("postgresql:"));
    reader.setUserName(literal(parts.user), QUrl::StrictMode);
    checkPart(reader, shown, "usuário");
    reader.setPassword(literal(parts.password), QUrl::StrictMode);
    checkPart(reader, shown, "senha");
    reader.setHost(parts.host.toString(), QUrl::StrictMode);
    if (!reader.isValid())
        refuse(shown, parts.host.contains(u'%') && !parts.ipv6
                          ? QStringLiteral("codificação % incorreta em servidor.")
                          : QStringLiteral("servidor \"%1\" inválido.").arg(parts.host.toString()));
    if (!parts.port.isEmpty())
        url.m_port = portOf(parts.port.toString(), shown);
    reader.setPath(u'/' + literal(parts.database), QUrl::StrictMode);
    checkPart(reader, shown, "nome do banco");
    reader.setQuery(literal(parts.query, "&="), QUrl::StrictMode);
    checkPart(reader, shown, "parâmetro");

    url.m_user = reader.userName(QUrl::FullyDecoded);
    url.m_password = reader.password(QUrl::FullyDecoded);
    url.m_host = reader.host(QUrl::FullyDecoded);
    url.m_database = reader.path(QUrl::FullyDecoded).mid(1);
    if (url.m_database.isEmpty())
        refuse(shown, QStringLiteral("falta o nome do banco após a barra."));
    if (url.m_database.contains(u'/'))
        refuse(shown, QStringLiteral("o nome do banco não pode conter '/'."));
    url.readParameters(QUrlQuery(reader), parts.query, shown);
    return url;
}

void DatabaseUrl::readParameters(const QUrlQuery &query, QStringView typed, const QString &shown)
{
    for (const QStringView pair : typed.split(u'&', Qt::SkipEmptyParts)) {
        if (pair.indexOf(u'=') <= 0)
            refuse(shown, QStringLiteral("parâmetro \"%1\" sem valor.").arg(pair.toString()));
    }
    for (const auto &[key, value] : query.queryItems(QUrl::FullyDecoded)) {
        // A socket directory given as ?host=/run/postgresql takes the host's place.
        if (key == QLatin1String("host"))
            m_host = value;
        else if (key == QLatin1String("port"))
            m_port = portOf(value, shown);
        else if (!key.isEmpty()) // an empty part between two '&'
            m_parameters.append({key, value});
    }
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
