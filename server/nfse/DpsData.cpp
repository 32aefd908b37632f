#include "server/nfse/DpsData.h"

#include "billing/FiscalId.h"
#include "server/nfse/NfseFormat.h"

namespace {

void add(QStringList &list, const QString &problem)
{
    if (!problem.isEmpty())
        list << problem;
}

// `what` is a noun phrase with its article, in lower case ("o nome do cliente").
QString required(const QString &value, const QString &what, int maxLength)
{
    const QString text = value.trimmed();
    if (text.isEmpty())
        return QStringLiteral("Falta %1: complete o cadastro.").arg(what);
    QString subject = what;
    subject[0] = subject[0].toUpper();
    if (text.size() > maxLength)
        return QStringLiteral("%1 tem %2 caracteres; o leiaute da NFS-e aceita até %3. Abrevie o texto.")
            .arg(subject)
            .arg(text.size())
            .arg(maxLength);
    return {};
}

// Address texts travel as the layout's plain string type, which takes only the
// characters of ISO 8859-1 (the accented letters of Portuguese among them).
QString latin1Only(const QString &value, const QString &what)
{
    for (const QChar c : value)
        if (c.unicode() > 0xFF || c.unicode() < 0x20)
            return QStringLiteral("%1 tem o caractere \u201c%2\u201d, que o leiaute da NFS-e não aceita. "
                                  "Troque-o no cadastro.")
                .arg(what, c);
    return {};
}

// A fiscal identifier of `whose` ("da empresa emitente"): missing, or what its check finds.
QString identity(const QString &value, const QString &what, const QString &whose, QString (*check)(QStringView))
{
    if (value.trimmed().isEmpty())
        return QStringLiteral("Falta %1 %2: complete o cadastro.").arg(what.toLower(), whose);
    const QString problem = check(value.trimmed());
    return problem.isEmpty() ? QString() : QStringLiteral("%1 %2: %3. Corrija o cadastro.").arg(what, whose, problem);
}

void checkCompany(const DpsData &d, QStringList &list)
{
    add(list, identity(d.companyCnpj, QStringLiteral("O CNPJ"), QStringLiteral("da empresa emitente"),
                       FiscalId::cnpjProblem));
    add(list,
        required(d.companyMunicipalRegistration, QStringLiteral("a inscrição municipal da empresa emitente"), 15));
    add(list, identity(d.companyMunicipality, QStringLiteral("O município (IBGE)"), QStringLiteral("da empresa emitente"),
                       FiscalId::municipalityProblem));
    if (d.series < 1 || d.series > 99999)
        list << QStringLiteral("A série da DPS (%1) deve estar entre 1 e 99999.").arg(d.series);
    if (d.number < 1 || d.number > 999999999999999LL)
        list << QStringLiteral("O número da DPS (%1) deve estar entre 1 e 999999999999999.").arg(d.number);
}

void checkDates(const DpsData &d, QStringList &list)
{
    add(list, NfseFormat::dateTimeProblem(d.emitted, QStringLiteral("A data e hora de emissão")));
    if (!d.competence.isValid() || d.competence.year() < 2000 || d.competence.year() > 2099)
        list << QStringLiteral("A data de competência não é válida: informe uma data entre 2000 e 2099.");
    else if (d.emitted.isValid() && d.competence > d.emitted.date())
        list << QStringLiteral("A data de competência (%1) é posterior à emissão (%2): o serviço não pode ser "
                               "declarado antes de prestado.")
                    .arg(d.competence.toString(QStringLiteral("dd/MM/yyyy")),
                         d.emitted.date().toString(QStringLiteral("dd/MM/yyyy")));
}

void checkClientAddress(const DpsData &d, QStringList &list)
{
    if (d.clientStreet.trimmed().isEmpty())
        return;
    add(list, identity(d.clientMunicipality, QStringLiteral("O município (IBGE)"),
                       QStringLiteral("do endereço do cliente"), FiscalId::municipalityProblem));
    add(list, required(d.clientStreet, QStringLiteral("o logradouro do cliente"), 255));
    add(list, required(d.clientStreetNumber, QStringLiteral("o número do endereço do cliente"), 60));
    add(list, required(d.clientDistrict, QStringLiteral("o bairro do cliente"), 60));
    add(list, latin1Only(d.clientStreet, QStringLiteral("O logradouro do cliente")));
    add(list, latin1Only(d.clientStreetNumber, QStringLiteral("O número do endereço do cliente")));
    add(list, latin1Only(d.clientDistrict, QStringLiteral("O bairro do cliente")));
    const QString cep = d.clientPostalCode.trimmed();
    if (NfseFormat::digitsOf(cep).size() != 8 || cep.size() > 9)
        list << QStringLiteral("O CEP do cliente (%1) deve ter 8 dígitos.").arg(cep);
}

void checkClient(const DpsData &d, QStringList &list)
{
    add(list, identity(d.clientDocument, QStringLiteral("O CNPJ ou CPF"), QStringLiteral("do cliente"),
                       FiscalId::documentProblem));
    add(list, required(d.clientName, QStringLiteral("o nome do cliente"), 300));
    checkClientAddress(d, list);
}

void checkService(const DpsData &d, QStringList &list)
{
    const QString code = d.serviceCode.trimmed();
    add(list, identity(code, QStringLiteral("O código de serviço nacional"), QStringLiteral("do produto"),
                       FiscalId::serviceCodeProblem));
    add(list, required(d.description, QStringLiteral("a descrição do serviço"), 2000));
    if (d.valueCents <= 0 || d.valueCents > NfseFormat::maxCents)
        list << QStringLiteral("O valor do serviço (%1) deve ser maior que zero e ter até 15 dígitos inteiros.")
                    .arg(NfseFormat::money(d.valueCents));
    const int maxRate = 500;
    const int minRate = d.taxRegime == DpsData::TaxRegime::SimplesNacional ? 1 : 200;
    if (d.issRateHundredths < minRate || d.issRateHundredths > maxRate)
        list << QStringLiteral("A alíquota do ISS (%1%) deve estar entre %2% e 5,00%%3.")
                    .arg(NfseFormat::rate(d.issRateHundredths).replace(u'.', u','),
                         NfseFormat::rate(minRate).replace(u'.', u','),
                         d.taxRegime == DpsData::TaxRegime::SimplesNacional
                             ? QString()
                             : QStringLiteral(" fora do Simples Nacional"));
}

} // namespace

QStringList DpsData::problems() const
{
    QStringList list;
    checkCompany(*this, list);
    checkDates(*this, list);
    checkClient(*this, list);
    checkService(*this, list);
    return list;
}
