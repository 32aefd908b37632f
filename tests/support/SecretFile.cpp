#include "tests/support/SecretFile.h"

#include <QFile>

bool writeSecretFile(const QString &path, const QByteArray &content, QFileDevice::Permissions permissions)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size()
           && file.setPermissions(permissions);
}
