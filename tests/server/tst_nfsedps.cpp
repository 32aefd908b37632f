// The NFS-e documents: each DPS built from a table of declarations validates against
// the national schema (version 1.01, unsigned and signed) and its signature verifies
// with the xmlsec1 command line; each refusal names what is wrong.
#include <functional>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "platform/data/FasError.h"
#include "server/nfse/CancellationBuilder.h"
#include "server/nfse/DpsBuilder.h"
#include "server/nfse/DpsSigner.h"
#include "tests/support/NfseSchema.h"
#include "tests/support/SecretFile.h"
#include "tests/support/TestCertificates.h"

namespace {

const QString nfseNs = QStringLiteral("http://www.sped.fazenda.gov.br/nfse");

DpsData sampleDps()
{
    DpsData d;
    d.companyCnpj = QStringLiteral("11222333000181");
    d.companyMunicipalRegistration = QStringLiteral("1234567");
    d.companyMunicipality = QStringLiteral("3550308");
    d.series = 1;
    d.number = 42;
    d.emitted = QDateTime(QDate(2026, 3, 2), QTime(14, 5, 9), QTimeZone(-3 * 3600));
    d.competence = QDate(2026, 2, 28);
    d.clientDocument = QStringLiteral("12345678000195");
    d.clientName = QStringLiteral("Cliente Exemplo Ltda");
    d.serviceCode = QStringLiteral("010701");
    d.description = QStringLiteral("Suporte técnico");
    d.valueCents = 150000;
    d.issRateHundredths = 500;
    return d;
}

// Schema-validates `xml`; the empty text when it is valid, else libxml2's complaints.
QString schemaProblems(const QByteArray &xml, const QString &schemaFile)
{
    return NfseSchema::problems(xml, schemaFile);
}

// xmlsec1 --verify over the document, trusting the test's certificate; the empty
// text when the signature holds.
QString verifyProblems(const QByteArray &xml, const QString &signedElement, const QString &trustedPem)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("assinado.xml"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(xml) != xml.size())
        return QStringLiteral("cannot write ") + path;
    file.close();
    QProcess xmlsec;
    xmlsec.start(QStringLiteral("xmlsec1"), {QStringLiteral("--verify"), QStringLiteral("--trusted-pem"), trustedPem,
                                             QStringLiteral("--id-attr:Id"), nfseNs + u':' + signedElement, path});
    if (!xmlsec.waitForFinished(60000))
        return QStringLiteral("xmlsec1 did not run: ") + xmlsec.errorString();
    return xmlsec.exitCode() == 0 ? QString() : QString::fromUtf8(xmlsec.readAllStandardError());
}

using Change = std::function<void(DpsData &)>;

void giveAddress(DpsData &d, const QString &municipality, const QString &street)
{
    d.clientMunicipality = municipality;
    d.clientStreet = street;
    d.clientStreetNumber = QStringLiteral("100");
    d.clientDistrict = QStringLiteral("Centro");
    d.clientPostalCode = QStringLiteral("99580-000");
}

} // namespace

class TestNfseDps : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void signedDps_data();
    void signedDps();
    void refusal_data();
    void refusal();
    void cancellation_data();
    void cancellation();

private:
    QTemporaryDir m_dir;
    TestCertificate m_inForce;
    TestCertificate m_expired;
};

void TestNfseDps::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_inForce = makeTestCertificate(m_dir.path(), QStringLiteral("empresa"), QStringLiteral("s3nh@ A1"));
    m_expired = makeTestCertificate(m_dir.path(), QStringLiteral("vencido"), QStringLiteral("segredo"),
                                    CertificateValidity::Expired);
    QVERIFY(!m_inForce.pkcs12.isEmpty() && !m_expired.pkcs12.isEmpty());
    QVERIFY(writeSecretFile(m_dir.filePath(QStringLiteral("errada.senha")), "outra senha\n"));
    QVERIFY(writeSecretFile(m_dir.filePath(QStringLiteral("aberta.senha")), "s3nh@ A1\n",
                            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
}

void TestNfseDps::signedDps_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<QStringList>("expected"); // fragments the document must hold
    QTest::addColumn<bool>("tamper");          // change the value after signing: the signature must fail

    QTest::newRow("CNPJ client, normal regime, homologation")
        << Change([](DpsData &) {})
        << QStringList{R"(Id="DPS355030821122233300018100001000000000000042")",
                       "<tpAmb>2</tpAmb>",
                       "<dhEmi>2026-03-02T14:05:09-03:00</dhEmi>",
                       "<CNPJ>12345678000195</CNPJ>",
                       "<opSimpNac>1</opSimpNac><regEspTrib>0</regEspTrib>",
                       "<vServ>1500.00</vServ>",
                       "<pAliq>5.00</pAliq>"}
        << false;
    QTest::newRow("CPF client with address, Simples Nacional, production")
        << Change([](DpsData &d) {
               d.environment = DpsData::Environment::Production;
               d.taxRegime = DpsData::TaxRegime::SimplesNacional;
               d.clientDocument = QStringLiteral("529.982.247-25");
               giveAddress(d, QStringLiteral("4305871"), QStringLiteral("Rua São João")); // breaks the IBGE rule
               d.issRateHundredths = 1;
           })
        << QStringList{"<tpAmb>1</tpAmb>", "<CPF>52998224725</CPF>",
                       "<opSimpNac>3</opSimpNac><regApTribSN>1</regApTribSN>",
                       "<endNac><cMun>4305871</cMun><CEP>99580000</CEP></endNac><xLgr>Rua São João</xLgr>",
                       "<pAliq>0.01</pAliq>"}
        << false;
    QTest::newRow("accented description with lines and markup, formatted CNPJ")
        << Change([](DpsData &d) {
               d.clientDocument = QStringLiteral("11.222.333/0001-81");
               d.description = QStringLiteral("  Manutenção – “ação” <preventiva> & corretiva\nsegunda linha ");
               d.issRateHundredths = 200;
           })
        << QStringList{"<CNPJ>11222333000181</CNPJ>",
                       "<xDescServ>Manutenção – “ação” &lt;preventiva&gt; &amp; corretiva\nsegunda linha</xDescServ>",
                       "<pAliq>2.00</pAliq>"}
        << false;
    QTest::newRow("largest value, largest series and number")
        << Change([](DpsData &d) {
               d.valueCents = 99999999999999999LL;
               d.series = 99999;
               d.number = 999999999999999LL;
           })
        << QStringList{R"(Id="DPS355030821122233300018199999999999999999999")", "<serie>99999</serie>",
                       "<vServ>999999999999999.99</vServ>"}
        << false;
    QTest::newRow("smallest value, UTC emission") << Change([](DpsData &d) {
        d.valueCents = 5;
        d.emitted = QDateTime(QDate(2026, 3, 2), QTime(0, 0), QTimeZone::utc());
    }) << QStringList{"<vServ>0.05</vServ>", "<dhEmi>2026-03-02T00:00:00+00:00</dhEmi>"}
                                                  << false;
    QTest::newRow("value changed after signing") << Change([](DpsData &) {}) << QStringList{} << true;
}

void TestNfseDps::signedDps()
{
    QFETCH(Change, change);
    QFETCH(QStringList, expected);
    QFETCH(bool, tamper);
    DpsData data = sampleDps();
    change(data);

    const QByteArray unsignedXml = DpsBuilder::build(data);
    QCOMPARE(schemaProblems(unsignedXml, QStringLiteral("DPS_v1.01.xsd")), QString());
    for (const QString &fragment : expected)
        QVERIFY2(QString::fromUtf8(unsignedXml).contains(fragment), qPrintable(fragment + u'\n' + unsignedXml));

    const DpsSigner signer(m_inForce.pkcs12, m_inForce.passwordFile);
    QByteArray signedXml = signer.sign(unsignedXml);
    QCOMPARE(schemaProblems(signedXml, QStringLiteral("DPS_v1.01.xsd")), QString());
    for (const QByteArray &part :
         QList<QByteArray>{"rsa-sha256\"/>", "REC-xml-c14n-20010315\"/>", "#sha256\"/>", "<X509Certificate>",
                           "<Reference URI=\"#" + DpsBuilder::dpsId(data).toLatin1() + "\">"})
        QVERIFY2(signedXml.contains(part), part.constData());
    QVERIFY_THROWS_EXCEPTION(FasError, signer.sign(signedXml)); // a signed document is never signed again
    if (tamper)
        signedXml.replace("<vServ>1500.00</vServ>", "<vServ>15.00</vServ>");
    const QString verification = verifyProblems(signedXml, QStringLiteral("infDPS"), m_inForce.certificatePem);
    QVERIFY2(verification.isEmpty() != tamper, qPrintable(verification));
}

void TestNfseDps::refusal_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("pkcs12"); // "empresa", "vencido" or "ausente"
    QTest::addColumn<QString>("passwordFile");
    QTest::addColumn<QString>("message");

    const QString good = QStringLiteral("empresa.senha");
    const Change none = [](DpsData &) {};
    QTest::newRow("company CNPJ check digit")
        << Change([](DpsData &d) { d.companyCnpj = QStringLiteral("11222333000182"); }) << "empresa" << good
        << "O CNPJ da empresa emitente: o CNPJ 11222333000182 tem dígito verificador errado.";
    QTest::newRow("client CPF check digit")
        << Change([](DpsData &d) { d.clientDocument = QStringLiteral("529.982.247-24"); }) << "empresa" << good
        << "O CNPJ ou CPF do cliente: o CPF 52998224724 tem dígito verificador errado.";
    QTest::newRow("client CPF of repeated digits")
        << Change([](DpsData &d) { d.clientDocument = QStringLiteral("11111111111"); }) << "empresa" << good
        << "O CNPJ ou CPF do cliente: o CPF 11111111111 não é válido (todos os algarismos iguais)";
    QTest::newRow("client document of another length")
        << Change([](DpsData &d) { d.clientDocument = QStringLiteral("1234567890"); }) << "empresa" << good
        << "O CNPJ ou CPF do cliente: o CNPJ ou CPF \"1234567890\" não tem 14 caracteres (CNPJ) nem 11 algarismos (CPF)";
    QTest::newRow("IBGE check digit")
        << Change([](DpsData &d) { d.companyMunicipality = QStringLiteral("3550307"); }) << "empresa" << good
        << "O município (IBGE) da empresa emitente: o código IBGE do município 3550307 tem dígito verificador errado.";
    QTest::newRow("IBGE state") << Change([](DpsData &d) { d.companyMunicipality = QStringLiteral("9950308"); })
                                << "empresa" << good << "não começa pelo código de um estado";
    QTest::newRow("IBGE of six digits in the client's address")
        << Change([](DpsData &d) { giveAddress(d, QStringLiteral("355030"), QStringLiteral("Rua A")); }) << "empresa"
        << good << "O município (IBGE) do endereço do cliente: o código IBGE do município \"355030\" não tem 7 algarismos";
    QTest::newRow("missing municipal registration")
        << Change([](DpsData &d) { d.companyMunicipalRegistration.clear(); }) << "empresa" << good
        << "Falta a inscrição municipal da empresa emitente: complete o cadastro.";
    QTest::newRow("ISS rate above 5%") << Change([](DpsData &d) {
        d.issRateHundredths = 501;
    }) << "empresa" << good << "A alíquota do ISS (5,01%) deve estar entre 2,00% e 5,00% fora do Simples Nacional.";
    QTest::newRow("national service code of 5 digits")
        << Change([](DpsData &d) { d.serviceCode = QStringLiteral("10701"); }) << "empresa" << good
        << "O código de serviço nacional do produto: o código de serviço nacional \"10701\" não tem 6 algarismos";
    QTest::newRow("street with a character outside the layout")
        << Change([](DpsData &d) { giveAddress(d, QStringLiteral("3550308"), QStringLiteral("Rua A – B")); })
        << "empresa" << good << "O logradouro do cliente tem o caractere “–”, que o leiaute da NFS-e não aceita.";
    QTest::newRow("wrong PKCS#12 password")
        << none << "empresa"
        << "errada.senha"
        << "A senha guardada em %DIR%/errada.senha não abre o certificado %DIR%/empresa.p12.";
    QTest::newRow("password file readable by others")
        << none << "empresa"
        << "aberta.senha"
        << "O arquivo da senha do certificado A1 (%DIR%/aberta.senha) pode ser lido ou alterado por outros usuários";
    QTest::newRow("expired certificate") << none << "vencido"
                                         << "vencido.senha"
                                         << "O certificado %DIR%/vencido.p12 venceu em 01/01/2021: nada foi assinado.";
    QTest::newRow("missing certificate") << none << "ausente" << good
                                         << "O certificado A1 da empresa (%DIR%/ausente.p12) não foi encontrado.";
}

void TestNfseDps::refusal()
{
    QFETCH(Change, change);
    QFETCH(QString, pkcs12);
    QFETCH(QString, passwordFile);
    QFETCH(QString, message);
    message.replace(QStringLiteral("%DIR%"), m_dir.path());
    DpsData data = sampleDps();
    change(data);
    try {
        const DpsSigner signer(m_dir.filePath(pkcs12 + QStringLiteral(".p12")), m_dir.filePath(passwordFile));
        signer.sign(DpsBuilder::build(data));
        QFAIL("the DPS was signed");
    } catch (const FasError &error) {
        QVERIFY2(error.message().contains(message), qPrintable(error.message()));
    }
}

void TestNfseDps::cancellation_data()
{
    QTest::addColumn<QString>("author");
    QTest::addColumn<int>("reason");
    QTest::addColumn<QString>("expected");

    QTest::newRow("company, error in the emission")
        << "11.222.333/0001-81" << 1 << "<CNPJAutor>11222333000181</CNPJAutor>";
    QTest::newRow("person, other reason") << "52998224725" << 9 << "<CPFAutor>52998224725</CPFAutor>";
}

void TestNfseDps::cancellation()
{
    QFETCH(QString, author);
    QFETCH(int, reason);
    QFETCH(QString, expected);
    CancellationData data;
    data.authorDocument = author;
    data.accessKey = QStringLiteral("35503082211222333000181000000000004226030123456789");
    data.requested = QDateTime(QDate(2026, 3, 3), QTime(9, 30), QTimeZone(-3 * 3600));
    data.reason = static_cast<CancellationData::Reason>(reason);
    data.reasonText = QStringLiteral("Nota emitida com o valor errado");

    const QByteArray xml = CancellationBuilder::build(data);
    QCOMPARE(schemaProblems(xml, QStringLiteral("pedRegEvento_v1.01.xsd")), QString());
    QVERIFY(xml.contains(R"(Id="PRE35503082211222333000181000000000004226030123456789101101")"));
    QVERIFY(QString::fromUtf8(xml).contains(expected));
    QVERIFY(xml.contains("<cMotivo>" + QByteArray::number(reason) + "</cMotivo>"));
    const QByteArray signedXml = DpsSigner(m_inForce.pkcs12, m_inForce.passwordFile).sign(xml);
    QCOMPARE(schemaProblems(signedXml, QStringLiteral("pedRegEvento_v1.01.xsd")), QString());
    QCOMPARE(verifyProblems(signedXml, QStringLiteral("infPedReg"), m_inForce.certificatePem), QString());

    data.reasonText = QStringLiteral("curto demais");
    QVERIFY_THROWS_EXCEPTION(FasError, CancellationBuilder::build(data));
}

QTEST_GUILESS_MAIN(TestNfseDps)
#include "tst_nfsedps.moc"
