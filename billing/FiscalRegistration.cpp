#include "billing/FiscalRegistration.h"

#include "billing/FiscalId.h"

namespace FiscalRegistration {

namespace {

// Adds "falta <what> (<column>)" for a blank value, else what `check` finds.
template<typename Check>
void require(QStringList &found, const QString &value, const char *what, const char *column, Check check)
{
    if (value.trimmed().isEmpty())
        found << QStringLiteral("falta %1 (%2)").arg(QString::fromUtf8(what), QString::fromLatin1(column));
    else if (const QString problem = check(value); !problem.isEmpty())
        found << problem;
}

QString none(const QString &)
{
    return {};
}

QString regimeProblem(const QString &regime)
{
    return regime == u"1" || regime == u"2" || regime == u"3"
               ? QString()
               : QStringLiteral("a opção pelo Simples Nacional \"%1\" não é 1, 2 nem 3").arg(regime);
}

} // namespace

QStringList problems(const Company &company)
{
    QStringList found;
    require(found, company.cnpj, "o CNPJ", "NRCNPJEMPRESA", [](const QString &v) { return FiscalId::cnpjProblem(v); });
    require(found, company.municipalRegistration, "a inscrição municipal", "NRINSCMUNEMPRESA", none);
    require(found, company.municipality, "o código IBGE do município", "CDMUNIBGEEMPRESA",
            [](const QString &v) { return FiscalId::municipalityProblem(v); });
    require(found, company.regime, "a opção pelo Simples Nacional", "IDREGTRIBEMPRESA", regimeProblem);
    require(found, company.series, "a série da DPS", "NRSERIEDPS",
            [](const QString &v) { return FiscalId::seriesProblem(v); });
    return found;
}

QStringList problems(const Client &client)
{
    QStringList found;
    if (client.personType == u"F")
        require(found, client.document, "o CPF", "NRINSJURCLIE",
                [](const QString &v) { return FiscalId::cpfProblem(v); });
    else
        require(found, client.document, "o CNPJ", "NRINSJURCLIE",
                [](const QString &v) { return FiscalId::cnpjProblem(v); });
    require(found, client.municipality, "o código IBGE do município do endereço principal no Brasil", "CDMUNIBGE",
            [](const QString &v) { return FiscalId::municipalityProblem(v); });
    return found;
}

QStringList problems(const Service &service)
{
    QStringList found;
    require(found, service.nationalCode, "o código de serviço nacional", "CDSERVNACPRODUTO",
            [](const QString &v) { return FiscalId::serviceCodeProblem(v); });
    if (!service.issRate)
        found << QStringLiteral("falta a alíquota de ISS (PCALIQISSPRODUTO)");
    else if (const QString problem = FiscalId::issRateProblem(*service.issRate); !problem.isEmpty())
        found << problem;
    return found;
}

} // namespace FiscalRegistration
