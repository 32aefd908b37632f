#include <QtTest>

#include "billing/BillingCodes.h"
#include "billing/FiscalId.h"
#include "billing/BillingItemLayout.h"

// Pins the billing item's layouts: the server writes them and the screens read
// them by name, type and size, so any drift breaks a peer.
class TstBillingLayout : public QObject
{
    Q_OBJECT

private:
    struct Expected
    {
        const char *name;
        TFieldType type;
        int size;
    };

    static QList<Expected> faturamentoFields()
    {
        using T = TFieldType;
        return {{"CDEMPRESA", T::String, 2},       {"CDFILIAL", T::String, 4},        {"NMFILIAL", T::String, 30},
                {"CDCLIENTE", T::String, 21},      {"NMFANTCLIE", T::String, 50},     {"IDAPURFATFAS", T::String, 1},
                {"DTMESAPURFAS", T::DateTime, 0},  {"MESAPURADO", T::String, 7},      {"IDCHECK", T::FixedChar, 1},
                {"IDSTAPFATFAS", T::FixedChar, 1}, {"NRLANCINVOICE", T::String, 10},  {"NRLANCTONF", T::String, 10},
                {"CDGRUPONFAPUR", T::String, 5},   {"DTAPURFATFAS", T::DateTime, 0},  {"CDPRODUTO", T::String, 10},
                {"NMPRODUTO", T::String, 50},      {"CDOPERAPUR", T::String, 12},     {"NMOPERADOR", T::String, 100},
                {"CDTIPOSERV", T::String, 3},      {"IDCOMIFATFAS", T::FixedChar, 1}, {"DSEMISSPRONF", T::String, 400},
                {"DSBOLEFATFAS", T::String, 400},  {"DSFATURCLIE", T::String, 400},   {"VRTOTAFATFAS", T::Float, 0},
                {"NRNOTAFISC", T::String, 20},     {"NRINVOICE", T::String, 10},      {"NMEMPRESA", T::String, 40},
                {"NRSOLISERV", T::String, 10}};
    }

    static void compareLayout(const TFieldDefs &defs, const QList<Expected> &expected)
    {
        QCOMPARE(defs.size(), expected.size());
        for (int i = 0; i < defs.size(); ++i) {
            QCOMPARE(defs[i].name, QString::fromLatin1(expected[i].name));
            QCOMPARE(int(defs[i].type), int(expected[i].type));
            QCOMPARE(defs[i].size, expected[i].size);
        }
    }

    static const TFieldDef &byName(const TFieldDefs &defs, const char *name)
    {
        for (const TFieldDef &def : defs)
            if (def.name == QLatin1String(name))
                return def;
        qFatal("no field %s", name);
    }

private slots:
    void faturamentoOrderTypesSizes() { compareLayout(BillingItemLayout::faturamento(), faturamentoFields()); }

    void batchOrderTypesSizes()
    {
        QList<Expected> expected = faturamentoFields();
        expected.removeLast();      // NRSOLISERV
        expected.swapItemsAt(6, 7); // MESAPURADO ahead of DTMESAPURFAS
        compareLayout(BillingItemLayout::batch(), expected);
    }

    void labelsAndFormats_data()
    {
        QTest::addColumn<bool>("batch");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("visible");
        QTest::newRow("cliente") << false << "NMFANTCLIE"
                                 << "Cliente" << true;
        QTest::newRow("mes") << false << "MESAPURADO"
                             << "Mês Apurado" << true;
        QTest::newRow("mes batch has no label") << true << "MESAPURADO"
                                                << "" << true;
        QTest::newRow("dtmes hidden") << false << "DTMESAPURFAS"
                                      << "" << false;
        QTest::newRow("dtmes shown in batch") << true << "DTMESAPURFAS"
                                              << "" << true;
        QTest::newRow("lancinvoice hidden") << false << "NRLANCINVOICE"
                                            << "" << false;
        QTest::newRow("lancinvoice shown in batch") << true << "NRLANCINVOICE"
                                                    << "" << true;
        QTest::newRow("lanctonf") << false << "NRLANCTONF"
                                  << "Nº Nota Fiscal" << false;
        QTest::newRow("apuracao") << false << "DTAPURFATFAS"
                                  << "Data da Apuração" << true;
        QTest::newRow("notafisc") << true << "NRNOTAFISC"
                                  << "Nº Nota Fiscal" << true;
        QTest::newRow("invoice") << true << "NRINVOICE"
                                 << "Invoice" << true;
        QTest::newRow("total") << true << "VRTOTAFATFAS"
                               << "" << false;
    }

    void labelsAndFormats()
    {
        QFETCH(bool, batch);
        QFETCH(QString, field);
        QFETCH(QString, label);
        QFETCH(bool, visible);
        const TFieldDefs &defs = batch ? BillingItemLayout::batch() : BillingItemLayout::faturamento();
        const TFieldDef &def = byName(defs, field.toLatin1().constData());
        QCOMPARE(def.displayLabel, label);
        QCOMPARE(def.visible, visible);
    }

    void totalFormatAndGroupWidth()
    {
        for (const TFieldDefs *defs : {&BillingItemLayout::faturamento(), &BillingItemLayout::batch()}) {
            QCOMPARE(byName(*defs, "VRTOTAFATFAS").displayFormat, QStringLiteral("#,##0.00"));
            QCOMPARE(byName(*defs, "CDGRUPONFAPUR").displayWidth, 5);
        }
    }

    void serviceTypeTexts_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("1") << "1"
                           << "Mão de obra";
        QTest::newRow("2") << "2"
                           << "Service Desk";
        QTest::newRow("3") << "3"
                           << "Customização";
        QTest::newRow("4 has none") << "4"
                                    << "";
        QTest::newRow("5") << "5"
                           << "Licença de uso";
        QTest::newRow("6") << "6"
                           << "Manutenção";
        QTest::newRow("7") << "7"
                           << "Locação";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("whole value compared") << "66"
                                              << "";
        QTest::newRow("padded") << " 6"
                                << "";
    }

    void serviceTypeTexts()
    {
        QFETCH(QString, code);
        QFETCH(QString, text);
        QCOMPARE(BillingCodes::serviceTypeText(code), text);
    }

    void situationAndLegend_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("legend");
        QTest::newRow("P") << "P"
                           << "Pendente"
                           << "Pendente";
        QTest::newRow("N") << "N"
                           << "Não realizada pelo sistema"
                           << "Não realizado pelo sistema";
        QTest::newRow("R") << "R"
                           << "Realizada"
                           << "Realizada";
        QTest::newRow("C") << "C"
                           << "Cancelada"
                           << "Cancelado";
        QTest::newRow("lower case") << "p"
                                    << ""
                                    << "";
        QTest::newRow("empty") << ""
                               << ""
                               << "";
        QTest::newRow("X") << "X"
                           << ""
                           << "";
    }

    void situationAndLegend()
    {
        QFETCH(QString, status);
        QFETCH(QString, situation);
        QFETCH(QString, legend);
        QCOMPARE(BillingCodes::situationText(status), situation);
        QCOMPARE(BillingCodes::legendCaption(status), legend);
    }

    // Each identifier with the problem found (empty: sound).
    void fiscalIds_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("problem");
        const auto row = [](const char *name, const char *kind, const char *value, const char *problem) {
            QTest::newRow(name) << QString::fromLatin1(kind) << QString::fromLatin1(value)
                                << QString::fromUtf8(problem);
        };
        row("CNPJ", "cnpj", "11222333000181", "");
        row("CNPJ, second check digit wrong", "cnpj", "11222333000182", "dígito verificador errado");
        row("CNPJ, alphanumeric", "cnpj", "12ABC34501DE35", "");
        row("CNPJ, alphanumeric, lower case", "cnpj", "12abc34501de35", "");
        row("CNPJ, letter among the check digits", "cnpj", "12ABC34501DE3A", "não tem 14 caracteres");
        row("CNPJ, written with points, bar and dash", "cnpj", "11.222.333/0001-81", "");
        row("CNPJ, zeros", "cnpj", "00000000000000", "todos os algarismos iguais");
        row("CPF", "cpf", "12345678909", "");
        row("CPF, first check digit wrong", "cpf", "12345678919", "dígito verificador errado");
        row("CPF, all equal", "cpf", "11111111111", "todos os algarismos iguais");
        row("CPF, 10 digits", "cpf", "1234567890", "não tem 11 algarismos");
        row("document of 12 digits", "document", "123456789012", "não tem 14 caracteres (CNPJ) nem 11");
        row("municipality", "ibge", "5300108", "");
        row("municipality, no state 20", "ibge", "2000000", "não começa pelo código de um estado");
        row("municipality, check digit", "ibge", "3550307", "dígito verificador errado");
        row("municipality published outside the rule", "ibge", "4305871", "");
        row("service code", "service", "010701", "");
        row("service code with points", "service", "01.07.01", "não tem 6 algarismos");
        row("series of six digits", "series", "123456", "não tem de 1 a 5 algarismos");
    }

    void fiscalIds()
    {
        QFETCH(QString, kind);
        QFETCH(QString, value);
        QFETCH(QString, problem);
        const QHash<QString, QString (*)(QStringView)> checks{
            {"cnpj", FiscalId::cnpjProblem},           {"cpf", FiscalId::cpfProblem},
            {"document", FiscalId::documentProblem},   {"ibge", FiscalId::municipalityProblem},
            {"service", FiscalId::serviceCodeProblem}, {"series", FiscalId::seriesProblem}};
        const QString found = checks.value(kind)(value);
        QVERIFY2(problem.isEmpty() ? found.isEmpty() : found.contains(problem), qPrintable(found));
    }
};

QTEST_GUILESS_MAIN(TstBillingLayout)
#include "tst_billinglayout.moc"
