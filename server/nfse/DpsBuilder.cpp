#include "server/nfse/DpsBuilder.h"

#include <QXmlStreamWriter>

#include <fas/Version.h>

#include "platform/data/FasError.h"
#include "billing/FiscalId.h"
#include "server/nfse/NfseFormat.h"

namespace DpsBuilder {

namespace {

const QString nfseNamespace = QStringLiteral("http://www.sped.fazenda.gov.br/nfse");

bool isCnpj(const QString &document)
{
    return FiscalId::bare(document).size() == 14;
}

void text(QXmlStreamWriter &xml, const char *name, const QString &value)
{
    xml.writeTextElement(QString::fromLatin1(name), value);
}

void writeDocument(QXmlStreamWriter &xml, const QString &document)
{
    text(xml, isCnpj(document) ? "CNPJ" : "CPF", FiscalId::bare(document));
}

void writeProvider(QXmlStreamWriter &xml, const DpsData &d)
{
    xml.writeStartElement(QStringLiteral("prest"));
    text(xml, "CNPJ", FiscalId::bare(d.companyCnpj));
    text(xml, "IM", d.companyMunicipalRegistration.trimmed());
    xml.writeStartElement(QStringLiteral("regTrib"));
    // Simples Nacional: an ME/EPP whose federal and municipal taxes are both settled
    // within it; otherwise not an adherent. No particular municipal regime.
    if (d.taxRegime == DpsData::TaxRegime::SimplesNacional) {
        text(xml, "opSimpNac", QStringLiteral("3"));
        text(xml, "regApTribSN", QStringLiteral("1"));
    } else {
        text(xml, "opSimpNac", QStringLiteral("1"));
    }
    text(xml, "regEspTrib", QStringLiteral("0"));
    xml.writeEndElement();
    xml.writeEndElement();
}

void writeClientAddress(QXmlStreamWriter &xml, const DpsData &d)
{
    if (d.clientStreet.trimmed().isEmpty())
        return;
    xml.writeStartElement(QStringLiteral("end"));
    xml.writeStartElement(QStringLiteral("endNac"));
    text(xml, "cMun", d.clientMunicipality.trimmed());
    text(xml, "CEP", NfseFormat::digitsOf(d.clientPostalCode));
    xml.writeEndElement();
    text(xml, "xLgr", d.clientStreet.trimmed());
    text(xml, "nro", d.clientStreetNumber.trimmed());
    text(xml, "xBairro", d.clientDistrict.trimmed());
    xml.writeEndElement();
}

void writeClient(QXmlStreamWriter &xml, const DpsData &d)
{
    xml.writeStartElement(QStringLiteral("toma"));
    writeDocument(xml, d.clientDocument);
    text(xml, "xNome", d.clientName.trimmed());
    writeClientAddress(xml, d);
    xml.writeEndElement();
}

void writeService(QXmlStreamWriter &xml, const DpsData &d)
{
    xml.writeStartElement(QStringLiteral("serv"));
    xml.writeStartElement(QStringLiteral("locPrest"));
    text(xml, "cLocPrestacao", d.companyMunicipality.trimmed());
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("cServ"));
    text(xml, "cTribNac", d.serviceCode.trimmed());
    text(xml, "xDescServ", d.description.trimmed());
    xml.writeEndElement();
    xml.writeEndElement();
}

void writeValues(QXmlStreamWriter &xml, const DpsData &d)
{
    xml.writeStartElement(QStringLiteral("valores"));
    xml.writeStartElement(QStringLiteral("vServPrest"));
    text(xml, "vServ", NfseFormat::money(d.valueCents));
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("trib"));
    xml.writeStartElement(QStringLiteral("tribMun"));
    text(xml, "tribISSQN", QStringLiteral("1"));  // a taxable operation
    text(xml, "tpRetISSQN", QStringLiteral("1")); // not withheld by the client
    text(xml, "pAliq", NfseFormat::rate(d.issRateHundredths));
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("totTrib"));
    text(xml, "indTotTrib", QStringLiteral("0")); // no estimate of the taxes (Decreto 8.264/2014)
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndElement();
}

void writeInfDps(QXmlStreamWriter &xml, const DpsData &d)
{
    xml.writeStartElement(QStringLiteral("infDPS"));
    xml.writeAttribute(QStringLiteral("Id"), dpsId(d));
    text(xml, "tpAmb", d.environment == DpsData::Environment::Production ? QStringLiteral("1") : QStringLiteral("2"));
    text(xml, "dhEmi", NfseFormat::dateTime(d.emitted));
    text(xml, "verAplic", QStringLiteral("FAS09600 " FAS_VERSION_TEXT));
    text(xml, "serie", QString::number(d.series));
    text(xml, "nDPS", QString::number(d.number));
    text(xml, "dCompet", NfseFormat::date(d.competence));
    text(xml, "tpEmit", QStringLiteral("1")); // emitted by the provider
    text(xml, "cLocEmi", d.companyMunicipality.trimmed());
    writeProvider(xml, d);
    writeClient(xml, d);
    writeService(xml, d);
    writeValues(xml, d);
    xml.writeEndElement();
}

} // namespace

QString dpsId(const DpsData &data)
{
    const QString cnpj = FiscalId::bare(data.companyCnpj);
    return QStringLiteral("DPS%1%2%3%4%5")
        .arg(data.companyMunicipality.trimmed(), cnpj.size() == 14 ? QStringLiteral("2") : QStringLiteral("1"))
        .arg(cnpj, 14, QLatin1Char('0'))
        .arg(data.series, 5, 10, QLatin1Char('0'))
        .arg(data.number, 15, 10, QLatin1Char('0'));
}

QByteArray build(const DpsData &data)
{
    const QStringList problems = data.problems();
    if (!problems.isEmpty())
        throw FasError(
            QStringLiteral("A DPS da nota não pode ser montada:\n- %1").arg(problems.join(QStringLiteral("\n- "))));
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.writeStartDocument();
    xml.writeDefaultNamespace(nfseNamespace);
    xml.writeStartElement(QStringLiteral("DPS"));
    xml.writeAttribute(QStringLiteral("versao"), QString::fromLatin1(layoutVersion));
    writeInfDps(xml, data);
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}

} // namespace DpsBuilder
