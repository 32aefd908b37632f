#pragma once

#include <QByteArray>
#include <QString>

namespace NfseSchema {

// Validates `xml` against a schema of the national NFS-e layout, version 1.01
// (server/nfse/schemas/v1_01/, e.g. "DPS_v1.01.xsd") with libxml2: the empty text
// when it is valid, else libxml2's complaints.
QString problems(const QByteArray &xml, const QString &schemaFile);

} // namespace NfseSchema
