#include "server/mail/MailSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

#include "platform/data/FasError.h"
#include "platform/data/PrivateFile.h"

namespace {

[[noreturn]] void refuse(const QString &what)
{
    throw FasError(
        QStringLiteral("Seção [email] da configuração: %1. Corrija o arquivo e reinicie o servidor.").arg(what));
}

MailSettings::Security securityOf(const QString &text)
{
    if (text == QStringLiteral("starttls"))
        return MailSettings::Security::StartTls;
    if (text == QStringLiteral("tls"))
        return MailSettings::Security::Tls;
    if (text == QStringLiteral("none"))
        return MailSettings::Security::None;
    refuse(QStringLiteral("security = \"%1\" não é uma opção; use starttls, tls ou none").arg(text));
}

int defaultPort(MailSettings::Security security)
{
    switch (security) {
    case MailSettings::Security::Tls:
        return 465;
    case MailSettings::Security::None:
        return 25;
    case MailSettings::Security::StartTls:
        break;
    }
    return 587;
}

int numberIn(QSettings &settings, const QString &key, int fallback, int low, int high)
{
    bool ok = true;
    const int value = settings.value(key, fallback).toInt(&ok);
    if (!ok || value < low || value > high)
        refuse(QStringLiteral("%1 = \"%2\" deve ser um número de %3 a %4")
                   .arg(key, settings.value(key).toString())
                   .arg(low)
                   .arg(high));
    return value;
}

// A path of the file as written, or beside the configuration file when relative.
QString besideConfiguration(QSettings &settings, const QString &path)
{
    if (path.isEmpty() || QFileInfo(path).isAbsolute())
        return path;
    return QFileInfo(settings.fileName()).absoluteDir().filePath(path);
}

QString readPassword(const QString &path)
{
    PrivateFile::requireOwnerOnly(path, QStringLiteral("O arquivo de senha do e-mail (password_file)"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        refuse(QStringLiteral("password_file = \"%1\" não pôde ser lido (%2)").arg(path, file.errorString()));
    QString password = QString::fromUtf8(file.readAll());
    while (password.endsWith(u'\n') || password.endsWith(u'\r'))
        password.chop(1);
    if (password.isEmpty())
        refuse(QStringLiteral("o arquivo de password_file \"%1\" está vazio; escreva nele a senha").arg(path));
    return password;
}

void readLogin(QSettings &settings, MailSettings &read)
{
    read.user = settings.value(QStringLiteral("user")).toString().trimmed();
    const QString passwordFile = besideConfiguration(
        settings, settings.value(QStringLiteral("password_file")).toString().trimmed());
    if (read.user.isEmpty() && !passwordFile.isEmpty())
        refuse(QStringLiteral("password_file foi dado sem user; informe o usuário do servidor de e-mail"));
    if (!read.user.isEmpty() && passwordFile.isEmpty())
        refuse(
            QStringLiteral("user = \"%1\" foi dado sem password_file; informe o arquivo com a senha").arg(read.user));
    if (!passwordFile.isEmpty())
        read.password = readPassword(passwordFile);
}

void readSender(QSettings &settings, MailSettings &read)
{
    read.senderAddress = settings.value(QStringLiteral("sender_address")).toString().trimmed();
    if (read.senderAddress.isEmpty())
        refuse(QStringLiteral("falta sender_address, o endereço que envia as mensagens"));
    if (!MailSettings::isAddress(read.senderAddress))
        refuse(QStringLiteral("sender_address = \"%1\" não é um endereço de e-mail (nome@dominio)")
                   .arg(read.senderAddress));
    read.senderName = settings.value(QStringLiteral("sender_name")).toString().trimmed();
    if (read.senderName.contains(u'\n') || read.senderName.contains(u'\r'))
        refuse(QStringLiteral("sender_name não pode ter quebras de linha"));
}

} // namespace

bool MailSettings::isAddress(const QString &address)
{
    static const QRegularExpression pattern(
        QStringLiteral("^[^@\\s<>(),;:\"\\[\\]]+@[^@\\s<>(),;:\"\\[\\]]+\\.[^@\\s<>(),;:\"\\[\\].]+$"));
    return address.size() <= 254 && pattern.match(address).hasMatch();
}

std::optional<MailSettings> MailSettings::fromFile(const QString &path)
{
    QSettings settings(path, QSettings::IniFormat);
    return fromSettings(settings);
}

std::optional<MailSettings> MailSettings::fromSettings(QSettings &settings)
{
    if (!settings.childGroups().contains(QStringLiteral("email")))
        return std::nullopt;
    settings.beginGroup(QStringLiteral("email"));
    MailSettings read;
    read.host = settings.value(QStringLiteral("host")).toString().trimmed();
    if (read.host.isEmpty() || read.host.contains(QRegularExpression(QStringLiteral("[\\s/:@]"))))
        refuse(QStringLiteral("host = \"%1\" deve ser o nome ou o endereço do servidor de e-mail "
                              "(por exemplo smtp.exemplo.com.br)")
                   .arg(read.host));
    read.security = securityOf(
        settings.value(QStringLiteral("security"), QStringLiteral("starttls")).toString().trimmed());
    read.port = numberIn(settings, QStringLiteral("port"), defaultPort(read.security), 1, 65535);
    read.timeoutSeconds = numberIn(settings, QStringLiteral("timeout_seconds"), 30, 1, 600);
    read.caFile = besideConfiguration(settings, settings.value(QStringLiteral("ca_file")).toString().trimmed());
    if (!read.caFile.isEmpty() && !QFileInfo(read.caFile).isReadable())
        refuse(QStringLiteral("ca_file = \"%1\" não existe ou não pode ser lido").arg(read.caFile));
    readLogin(settings, read);
    readSender(settings, read);
    settings.endGroup();
    return read;
}
