#pragma once

#include <QString>
#include <QStringView>

#include "fasbilling_export.h"

// The fiscal identifiers a national service note (NFS-e) carries, checked as the
// tax authority checks them. CNPJ and CPF are read bare (see `bare`). Each check answers an empty text for a sound value,
// else a Portuguese phrase saying what is wrong ("o CNPJ 11.222.333/0001-80 tem
// dígito verificador errado"), to follow the name of the row it belongs to.
namespace FiscalId {

// A CNPJ or CPF as the tax authority writes it: without points, bar, dash or
// spaces, letters in upper case ("11.222.333/0001-81" is "11222333000181").
FASBILLING_EXPORT QString bare(QStringView document);

// CNPJ: 14 characters, the last two check digits (modulo 11). The first twelve may
// be letters (the alphanumeric CNPJ): each counts as its code minus 48, as digits do.
FASBILLING_EXPORT QString cnpjProblem(QStringView cnpj);
// CPF: 11 digits, the last two check digits; eleven equal digits are no CPF.
FASBILLING_EXPORT QString cpfProblem(QStringView cpf);
// A client's document, company or person: 14 characters are a CNPJ, 11 a CPF.
FASBILLING_EXPORT QString documentProblem(QStringView document);
// An IBGE municipality code: 7 digits, the first two a state's code, the last the
// check digit (but for the few municipalities published with a code outside the rule).
FASBILLING_EXPORT QString municipalityProblem(QStringView code);
// A service's code in the national list: 6 digits (item, subitem, detail).
FASBILLING_EXPORT QString serviceCodeProblem(QStringView code);
// A DPS series: 1 to 5 digits.
FASBILLING_EXPORT QString seriesProblem(QStringView series);
// An ISS rate in percent: above 0 and at most 5.
FASBILLING_EXPORT QString issRateProblem(double percent);

} // namespace FiscalId
