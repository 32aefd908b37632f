#include "platform/data/ConfigFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include "platform/data/FasError.h"

namespace {

const QString &checkedPath(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        throw FasError(QStringLiteral("Arquivo de configuração não encontrado: %1").arg(info.absoluteFilePath()));
    if (!info.isReadable())
        throw FasError(
            QStringLiteral("Sem permissão para ler o arquivo de configuração %1").arg(info.absoluteFilePath()));
    return path;
}

} // namespace

ConfigFile::ConfigFile(const QString &path)
    : m_filePath(QFileInfo(path).absoluteFilePath())
    , m_folder(QFileInfo(path).absolutePath())
    , m_ini(checkedPath(path), QSettings::IniFormat)
{
    if (m_ini.status() != QSettings::NoError)
        throw FasError(QStringLiteral("O arquivo de configuração %1 está malformado.").arg(m_filePath));
}

bool ConfigFile::contains(const QString &key) const
{
    return m_ini.contains(key);
}

QString ConfigFile::text(const QString &key) const
{
    return m_ini.value(key).toString().trimmed();
}

QString ConfigFile::path(const QString &key) const
{
    return resolved(text(key));
}

QString ConfigFile::databaseUrl() const
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    const QString url = text(QStringLiteral("database/url"));
    return scheme.match(url).hasMatch() ? url : resolved(url);
}

QString ConfigFile::resolved(const QString &path) const
{
    if (path.isEmpty() || !QFileInfo(path).isRelative())
        return path;
    return QDir(m_folder).filePath(path);
}
