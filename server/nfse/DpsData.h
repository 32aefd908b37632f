#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

// What a DPS (the declaration the national NFS-e system turns into a note) says,
// as a plain value: the emitting company, the client, the service and its value.
// Money is held in cents and the ISS rate in hundredths of a percent (500 = 5,00%),
// so nothing is rounded on the way to the document.
struct DpsData
{
    enum class Environment { Production, Homologation };
    enum class TaxRegime { Normal, SimplesNacional };

    Environment environment = Environment::Homologation;

    // The emitting company.
    QString companyCnpj;
    QString companyMunicipalRegistration;
    QString companyMunicipality; // IBGE code, 7 digits: where the note is emitted and the service rendered
    TaxRegime taxRegime = TaxRegime::Normal;
    int series = 1;    // 1 .. 99999
    qint64 number = 0; // 1 .. 999999999999999, never reused within the company's series

    QDateTime emitted; // with its offset from UTC (Brasília: -03:00)
    QDate competence;

    // The client (tomador): a company (CNPJ) or a person (CPF). The address is
    // optional as a whole; when its street is given, its other parts are required.
    QString clientDocument;
    QString clientName;
    QString clientMunicipality; // IBGE code of the client's address
    QString clientStreet;
    QString clientStreetNumber;
    QString clientDistrict;
    QString clientPostalCode; // CEP, 8 digits

    // The service.
    QString serviceCode; // national service code: 6 digits (item, sub-item, national breakdown)
    QString description;
    qint64 valueCents = 0;
    int issRateHundredths = 0;

    // Every reason this declaration cannot become a DPS, in Portuguese, each naming
    // the field and what to do; empty when it can.
    QStringList problems() const;
};
