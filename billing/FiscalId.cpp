#include "billing/FiscalId.h"

#include <algorithm>
#include <array>

namespace FiscalId {

namespace {

bool allDigits(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// Modulo 11 with the weights given, leftmost first: 0 for a remainder below 2.
int checkDigit(QStringView body, const int *weights)
{
    int sum = 0;
    for (qsizetype i = 0; i < body.size(); ++i)
        sum += (body.at(i).unicode() - u'0') * weights[i];
    const int remainder = sum % 11;
    return remainder < 2 ? 0 : 11 - remainder;
}

bool checkDigitsHold(QStringView number, const int *first, const int *second)
{
    const qsizetype body = number.size() - 2;
    return checkDigit(number.first(body), first) == number.at(body).unicode() - u'0'
           && checkDigit(number.first(body + 1), second) == number.at(body + 1).unicode() - u'0';
}

// Municipalities created with a code whose last digit does not follow the IBGE rule;
// the national systems accept them as published.
constexpr std::array<int, 9> municipalitiesOutsideTheRule{2201919, 2201988, 2202251, 2611533, 3117836,
                                                          3152131, 4305871, 5203939, 5203962};

// The IBGE check digit: the first six digits weighed 1, 2, 1, 2, ..., the digits of
// each product summed, and the complement to ten of the sum's last digit.
bool municipalityDigitHolds(QStringView code)
{
    int sum = 0;
    for (qsizetype i = 0; i < 6; ++i) {
        const int product = (code.at(i).unicode() - u'0') * (i % 2 == 0 ? 1 : 2);
        sum += product / 10 + product % 10;
    }
    if ((10 - sum % 10) % 10 == code.at(6).unicode() - u'0')
        return true;
    return std::find(municipalitiesOutsideTheRule.begin(), municipalitiesOutsideTheRule.end(), code.toInt())
           != municipalitiesOutsideTheRule.end();
}

} // namespace

QString bare(QStringView document)
{
    QString result;
    result.reserve(document.size());
    for (const QChar c : document)
        if (c != u'.' && c != u'/' && c != u'-' && !c.isSpace())
            result += c.toUpper();
    return result;
}

QString documentProblem(QStringView document)
{
    const QString number = bare(document);
    if (number.size() == 14)
        return cnpjProblem(number);
    if (number.size() == 11)
        return cpfProblem(number);
    return QStringLiteral("o CNPJ ou CPF \"%1\" não tem 14 caracteres (CNPJ) nem 11 algarismos (CPF)").arg(document);
}

QString cnpjProblem(QStringView given)
{
    const QString bareCnpj = bare(given);
    const QStringView cnpj(bareCnpj);
    static constexpr int first[] = {5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};
    static constexpr int second[] = {6, 5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};
    const auto baseChar = [](QChar c) { return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z'); };
    if (cnpj.size() != 14 || !std::all_of(cnpj.begin(), cnpj.begin() + 12, baseChar) || !allDigits(cnpj.last(2)))
        return QStringLiteral("o CNPJ \"%1\" não tem 14 caracteres (12 letras ou algarismos e 2 algarismos "
                              "verificadores)")
            .arg(given);
    if (allDigits(cnpj) && std::all_of(cnpj.begin(), cnpj.end(), [&](QChar c) { return c == cnpj.front(); }))
        return QStringLiteral("o CNPJ %1 não é válido (todos os algarismos iguais)").arg(cnpj);
    if (!checkDigitsHold(cnpj, first, second))
        return QStringLiteral("o CNPJ %1 tem dígito verificador errado").arg(cnpj);
    return {};
}

QString cpfProblem(QStringView given)
{
    const QString bareCpf = bare(given);
    const QStringView cpf(bareCpf);
    static constexpr int first[] = {10, 9, 8, 7, 6, 5, 4, 3, 2};
    static constexpr int second[] = {11, 10, 9, 8, 7, 6, 5, 4, 3, 2};
    if (cpf.size() != 11 || !allDigits(cpf))
        return QStringLiteral("o CPF \"%1\" não tem 11 algarismos").arg(given);
    if (std::all_of(cpf.begin(), cpf.end(), [&](QChar c) { return c == cpf.front(); }))
        return QStringLiteral("o CPF %1 não é válido (todos os algarismos iguais)").arg(cpf);
    if (!checkDigitsHold(cpf, first, second))
        return QStringLiteral("o CPF %1 tem dígito verificador errado").arg(cpf);
    return {};
}

QString municipalityProblem(QStringView code)
{
    // The states' IBGE codes.
    static constexpr std::array<int, 27> states = {11, 12, 13, 14, 15, 16, 17, 21, 22, 23, 24, 25, 26, 27,
                                                   28, 29, 31, 32, 33, 35, 41, 42, 43, 50, 51, 52, 53};
    if (code.size() != 7 || !allDigits(code))
        return QStringLiteral("o código IBGE do município \"%1\" não tem 7 algarismos").arg(code);
    const int state = code.first(2).toInt();
    if (std::find(states.begin(), states.end(), state) == states.end())
        return QStringLiteral("o código IBGE do município %1 não começa pelo código de um estado").arg(code);
    if (!municipalityDigitHolds(code))
        return QStringLiteral("o código IBGE do município %1 tem dígito verificador errado").arg(code);
    return {};
}

QString serviceCodeProblem(QStringView code)
{
    if (code.size() != 6 || !allDigits(code))
        return QStringLiteral("o código de serviço nacional \"%1\" não tem 6 algarismos (item, subitem e "
                              "desdobramento da lista nacional)")
            .arg(code);
    return {};
}

QString seriesProblem(QStringView series)
{
    if (series.isEmpty() || series.size() > 5 || !allDigits(series))
        return QStringLiteral("a série da DPS \"%1\" não tem de 1 a 5 algarismos").arg(series);
    return {};
}

QString issRateProblem(double percent)
{
    if (!(percent > 0 && percent <= 5))
        return QStringLiteral("a alíquota de ISS %1% não está entre 0 e 5%")
            .arg(QString::number(percent, 'f', 2).replace(u'.', u','));
    return {};
}

} // namespace FiscalId
