#pragma once

#include <QString>

// The fiscal identities a note names: CNPJ (companies), CPF (people) and the IBGE
// code of a municipality. Each check returns an empty text when the value is good,
// otherwise a complete Portuguese message that names `whose` value is wrong and why
// ("O CNPJ da empresa 01", "O CPF do cliente 000123"). Values are given as stored:
// only digits count, so "12.345.678/0001-95" and "12345678000195" are the same CNPJ.
namespace FiscalId {

// The digits of `text`, every other character dropped.
QString digitsOf(const QString &text);

QString cnpjProblem(const QString &cnpj, const QString &whose);
QString cpfProblem(const QString &cpf, const QString &whose);
// A client may be a company or a person: 14 digits are read as a CNPJ, 11 as a CPF.
QString cnpjOrCpfProblem(const QString &document, const QString &whose);
QString ibgeProblem(const QString &code, const QString &whose);

} // namespace FiscalId
