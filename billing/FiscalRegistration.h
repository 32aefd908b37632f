#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "fasbilling_export.h"

// What a company, a domestic client and a service must have registered before a
// note of theirs can leave the system as a national service note (NFS-e). Each
// `problems` lists, in Portuguese, what is missing or wrong ("falta a inscrição
// municipal (NRINSCMUNEMPRESA)", "o CPF 12345678900 tem dígito verificador
// errado"); empty when the row may be billed.
namespace FiscalRegistration {

struct Company
{
    QString cnpj;                  // NRCNPJEMPRESA
    QString municipalRegistration; // NRINSCMUNEMPRESA
    QString municipality;          // CDMUNIBGEEMPRESA
    QString regime;                // IDREGTRIBEMPRESA
    QString series;                // NRSERIEDPS
};
FASBILLING_EXPORT QStringList problems(const Company &company);

struct Client
{
    QString personType;   // IDTPIJURCLIE: 'J' a company (CNPJ), 'F' a person (CPF)
    QString document;     // NRINSJURCLIE
    QString municipality; // CDMUNIBGE of its main address in Brazil
};
FASBILLING_EXPORT QStringList problems(const Client &client);

struct Service
{
    QString nationalCode;          // CDSERVNACPRODUTO
    std::optional<double> issRate; // PCALIQISSPRODUTO
};
FASBILLING_EXPORT QStringList problems(const Service &service);

} // namespace FiscalRegistration
