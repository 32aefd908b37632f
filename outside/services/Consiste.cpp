#include "outside/services/Consiste.h"

#include <simdjson.h>

#include "platform/data/FasError.h"
#include "outside/services/MessageDialog.h"

namespace Consiste {

bool EmptyString(const QString &text)
{
    for (QChar c : text) {
        if (!c.isSpace())
            return false;
    }
    return true;
}

void MensErro(const QString &text, bool abort)
{
    MessageDialog::error(text);
    if (abort)
        throw SilentAbort();
}

QString PictPess(const QString &personType)
{
    if (personType == QLatin1String("F"))
        return QStringLiteral("999.999.999-99;0; ");
    if (personType == QLatin1String("J"))
        return QStringLiteral("99.999.999/9999-99;0; ");
    return {};
}

QString FormatMaskText(const QString &mask, const QString &value)
{
    const QString pattern = mask.section(QLatin1Char(';'), 0, 0);
    if (pattern.isEmpty())
        return value;
    QString out;
    qsizetype next = 0;
    for (QChar m : pattern) {
        const bool place = m == QLatin1Char('9') || m == QLatin1Char('0') || m == QLatin1Char('#')
                           || m == QLatin1Char('A') || m == QLatin1Char('a') || m == QLatin1Char('L')
                           || m == QLatin1Char('l') || m == QLatin1Char('C') || m == QLatin1Char('c');
        if (!place) {
            out += m;
            continue;
        }
        out += next < value.size() ? value.at(next) : QLatin1Char(' ');
        ++next;
    }
    return out;
}

namespace {

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

TDataPacket CheckResultServ(const TRemoteValue &result, bool raiseError, int helpContext)
{
    Q_UNUSED(helpContext);
    QString problem;
    const char first = result.firstSignificant();
    if (result.isEmpty() || first == '\0' || first == 'n') {
        problem = QStringLiteral("O servidor de aplicação não devolveu dados.");
    } else if (first == '"') {
        // A failure the server chose to report as its result text.
        problem = unquoted(result.json());
    } else if (first != '{') {
        problem = QStringLiteral("O servidor de aplicação devolveu um resultado que não é um pacote de dados.");
    }
    if (problem.isEmpty())
        return result.packet();
    if (raiseError)
        throw FasError(problem);
    return {};
}

} // namespace Consiste
