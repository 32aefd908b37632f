#pragma once

#include <QByteArray>
#include <QString>

#include "server/nfse/DpsData.h"

// Writes a DPS in the national NFS-e layout, version 1.01: the elements in the order
// the schema (server/nfse/schemas/v1_01/DPS_v1.01.xsd) fixes, each value written as
// its simple type requires. The document is unsigned; DpsSigner signs its infDPS.
namespace DpsBuilder {

// The layout's version, written in the versao attribute.
inline constexpr char layoutVersion[] = "1.01";

// The DPS's identity, 45 characters: "DPS", the emitting municipality's IBGE code (7),
// the kind of federal registration (1 CPF, 2 CNPJ), the registration (14, a CPF with
// leading zeros), the series (5) and the number (15), both with leading zeros. The
// same data give the same Id, so a DPS sent again is the same DPS to the service.
QString dpsId(const DpsData &data);

// The DPS as UTF-8 XML. Throws FasError listing every problem of `data` (see
// DpsData::problems) and writes nothing when there is one.
QByteArray build(const DpsData &data);

} // namespace DpsBuilder
