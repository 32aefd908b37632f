#include "Consiste.h"

#include <simdjson.h>

#include "FasError.h"

namespace Consiste {

bool EmptyString(const QString &text)
{
    for (QChar c : text) {
        if (!c.isSpace())
            return false;
    }
    return true;
}

namespace {

char firstSignificant(const QByteArray &json)
{
    for (char c : json) {
        if (c != ' ' && c != '\n' && c != '\r' && c != '\t')
            return c;
    }
    return '\0';
}

QString unquoted(const QByteArray &jsonString)
{
    simdjson::padded_string padded(jsonString.constData(), size_t(jsonString.size()));
    simdjson::ondemand::parser parser;
    std::string_view text;
    auto doc = parser.iterate(padded);
    if (doc.get_string().get(text) != simdjson::SUCCESS)
        return QStringLiteral("O servidor de aplicação devolveu um texto de erro ilegível.");
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace

QByteArray CheckResultServ(const TRemoteValue &result, bool raiseError, int helpContext)
{
    Q_UNUSED(helpContext);
    QString problem;
    const char first = firstSignificant(result.json());
    if (result.isEmpty() || first == '\0' || first == 'n') {
        problem = QStringLiteral("O servidor de aplicação não devolveu dados.");
    } else if (first == '"') {
        // A failure the server chose to report as its result text.
        problem = unquoted(result.json());
    } else if (first != '{') {
        problem = QStringLiteral("O servidor de aplicação devolveu um resultado que não é um pacote de dados.");
    }
    if (problem.isEmpty())
        return result.json();
    if (raiseError)
        throw FasError(problem);
    return {};
}

} // namespace Consiste
