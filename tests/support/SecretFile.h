#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

// Writes a file that holds a secret (a token, a configuration with a password),
// with the owner's permissions only unless `permissions` says otherwise (the tests
// of the refusal give it loose ones). Returns false when it cannot be written.
bool writeSecretFile(const QString &path, const QByteArray &content,
                     QFileDevice::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner);
