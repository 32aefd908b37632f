#include "platform/data/PrivateFile.h"

#include <QFileInfo>

#include "platform/data/FasError.h"

namespace PrivateFile {

QString problem(const QString &path, const QString &what)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    const QFileDevice::Permissions shared = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
                                            | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    if (!(info.permissions() & shared))
        return {};
    return QStringLiteral("%1 (%2) pode ser lido ou alterado por outros usuários desta máquina e guarda um segredo: "
                          "nada foi usado dele. Deixe-o só para o seu dono com: chmod 600 %2")
        .arg(what, path);
}

void requireOwnerOnly(const QString &path, const QString &what)
{
    const QString message = problem(path, what);
    if (!message.isEmpty())
        throw FasError(message);
}

} // namespace PrivateFile
