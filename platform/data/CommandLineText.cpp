#include "platform/data/CommandLineText.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>

namespace CommandLineText {

namespace {

// Qt's words and ours, in the order Qt writes them.
struct Words
{
    const char *qt;
    const char *ours;
};

QString translated(QString text, std::initializer_list<Words> words)
{
    for (const Words &w : words)
        text.replace(QString::fromLatin1(w.qt), QString::fromUtf8(w.ours));
    return text;
}

} // namespace

QString help(const QCommandLineParser &parser, const QString &program)
{
    QString text = parser.helpText();
    const qsizetype lineEnd = text.indexOf(u'\n');
    QString usage = text.left(lineEnd);
    static const QRegularExpression usageStart(QStringLiteral("^Usage: \\S+"));
    usage.replace(usageStart, QStringLiteral("Uso: ") + program);
    usage.replace(QStringLiteral("[options]"), QStringLiteral("[opções]"));
    return usage
           + translated(text.mid(lineEnd), {{"\nOptions:\n", "\nOpções:\n"},
                                            {"\nArguments:\n", "\nArgumentos:\n"},
                                            {"Displays help on commandline options.", "Mostra esta ajuda."},
                                            {"Displays help, including generic Qt options.",
                                             "Mostra esta ajuda e as opções gerais do Qt."},
                                            {"Displays help including Qt specific options.",
                                             "Mostra esta ajuda e as opções do Qt."},
                                            {"Displays version information.", "Mostra a versão."}});
}

QString error(const QCommandLineParser &parser, const QString &program)
{
    static const QList<QPair<QRegularExpression, QString>> messages = {
        {QRegularExpression(QStringLiteral("^Unknown options?:? '?(.*?)'?\\.$")),
         QStringLiteral("opção desconhecida: %1")},
        {QRegularExpression(QStringLiteral("^Missing value after '(.*)'\\.$")),
         QStringLiteral("falta o valor de %1")},
        {QRegularExpression(QStringLiteral("^Unexpected value after '(.*)'\\.$")),
         QStringLiteral("a opção %1 não leva valor")},
    };
    QString text = parser.errorText();
    for (const auto &[pattern, words] : messages) {
        const QRegularExpressionMatch match = pattern.match(text);
        if (match.hasMatch()) {
            QStringList options = match.captured(1).split(QStringLiteral(", "));
            for (QString &option : options)
                if (!option.startsWith(u'-'))
                    option.prepend(option.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"));
            text = words.arg(options.join(QStringLiteral(", ")));
            break;
        }
    }
    return QStringLiteral("%1: %2. Veja %1 --help.").arg(program, text);
}

} // namespace CommandLineText
