#include "server/nfse/FiscalId.h"

#include <algorithm>
#include <array>

namespace FiscalId {

namespace {

int digit(const QString &digits, qsizetype at)
{
    return digits.at(at).digitValue();
}

// The mod-11 check digit of CNPJ and CPF over the first `count` digits, with the
// weights running down from `firstWeight` (wrapping to 9 after 2 for the CNPJ).
int mod11Digit(const QString &digits, qsizetype count, int firstWeight, bool wrapAtNine)
{
    int sum = 0;
    int weight = firstWeight;
    for (qsizetype i = 0; i < count; ++i) {
        sum += digit(digits, i) * weight;
        weight = (weight == 2 && wrapAtNine) ? 9 : weight - 1;
    }
    const int rest = sum % 11;
    return rest < 2 ? 0 : 11 - rest;
}

bool allSame(const QString &digits)
{
    return digits.count(digits.front()) == digits.size();
}

QString shown(const QString &value)
{
    return value.trimmed().isEmpty() ? QStringLiteral("não está preenchido")
                                     : QStringLiteral("(%1) não é válido").arg(value.trimmed());
}

// Municipalities created with a code whose last digit does not follow the IBGE rule;
// the national systems accept them as published.
constexpr std::array<int, 9> ibgeOutsideTheRule{2201919, 2201988, 2202251, 2611533, 3117836,
                                                3152131, 4305871, 5203939, 5203962};

bool ibgeDigitHolds(const QString &digits)
{
    int sum = 0;
    for (qsizetype i = 0; i < 6; ++i) {
        const int product = digit(digits, i) * (i % 2 == 0 ? 1 : 2);
        sum += product / 10 + product % 10;
    }
    if ((10 - sum % 10) % 10 == digit(digits, 6))
        return true;
    return std::find(ibgeOutsideTheRule.begin(), ibgeOutsideTheRule.end(), digits.toInt()) != ibgeOutsideTheRule.end();
}

bool knownState(int code)
{
    static constexpr std::array<int, 27> states{11, 12, 13, 14, 15, 16, 17, 21, 22, 23, 24, 25, 26, 27,
                                                28, 29, 31, 32, 33, 35, 41, 42, 43, 50, 51, 52, 53};
    return std::find(states.begin(), states.end(), code) != states.end();
}

} // namespace

QString digitsOf(const QString &text)
{
    QString digits;
    for (const QChar c : text)
        if (c >= u'0' && c <= u'9')
            digits += c;
    return digits;
}

QString cnpjProblem(const QString &cnpj, const QString &whose)
{
    const QString digits = digitsOf(cnpj);
    if (digits.size() != 14)
        return QStringLiteral("%1 %2: um CNPJ tem 14 dígitos. Corrija o cadastro.").arg(whose, shown(cnpj));
    if (allSame(digits) || mod11Digit(digits, 12, 5, true) != digit(digits, 12)
        || mod11Digit(digits, 13, 6, true) != digit(digits, 13))
        return QStringLiteral("%1 (%2) não é válido: os dígitos verificadores não conferem. Corrija o cadastro.")
            .arg(whose, cnpj.trimmed());
    return {};
}

QString cpfProblem(const QString &cpf, const QString &whose)
{
    const QString digits = digitsOf(cpf);
    if (digits.size() != 11)
        return QStringLiteral("%1 %2: um CPF tem 11 dígitos. Corrija o cadastro.").arg(whose, shown(cpf));
    if (allSame(digits) || mod11Digit(digits, 9, 10, false) != digit(digits, 9)
        || mod11Digit(digits, 10, 11, false) != digit(digits, 10))
        return QStringLiteral("%1 (%2) não é válido: os dígitos verificadores não conferem. Corrija o cadastro.")
            .arg(whose, cpf.trimmed());
    return {};
}

QString cnpjOrCpfProblem(const QString &document, const QString &whose)
{
    const qsizetype count = digitsOf(document).size();
    if (count == 14)
        return cnpjProblem(document, QStringLiteral("O CNPJ %1").arg(whose));
    if (count == 11)
        return cpfProblem(document, QStringLiteral("O CPF %1").arg(whose));
    return QStringLiteral("O CNPJ ou CPF %1 %2: informe um CNPJ (14 dígitos) ou um CPF (11 dígitos) no cadastro.")
        .arg(whose, shown(document));
}

QString ibgeProblem(const QString &code, const QString &whose)
{
    const QString digits = code.trimmed();
    if (digits.size() != 7 || digitsOf(digits) != digits)
        return QStringLiteral("%1 %2: o código IBGE de um município tem 7 dígitos. Corrija o cadastro.")
            .arg(whose, shown(code));
    if (!knownState(digits.left(2).toInt()))
        return QStringLiteral("%1 (%2) não é válido: os dois primeiros dígitos não são o código de um estado. "
                              "Corrija o cadastro.")
            .arg(whose, digits);
    if (!ibgeDigitHolds(digits))
        return QStringLiteral("%1 (%2) não é válido: o dígito verificador não confere. Corrija o cadastro.")
            .arg(whose, digits);
    return {};
}

} // namespace FiscalId
