#include <QtTest>

#include "outside/services/Consiste.h"
#include "platform/data/FasError.h"

class TstConsiste : public QObject
{
    Q_OBJECT
private slots:
    void checkResultServ_data()
    {
        QTest::addColumn<QByteArray>("result");
        QTest::addColumn<bool>("isPacket");
        QTest::addColumn<QString>("message");
        QTest::newRow("packet") << QByteArray(R"({"fields":[],"rows":[]})") << true << "";
        QTest::newRow("packet after blanks") << QByteArray(" \n{\"fields\":[],\"rows\":[]}") << true << "";
        QTest::newRow("no value") << QByteArray() << false << "O servidor de aplicação não devolveu dados.";
        QTest::newRow("null") << QByteArray("null") << false << "O servidor de aplicação não devolveu dados.";
        QTest::newRow("text reported as result")
            << QByteArray(R"("Cliente \"Ácme\" sem endereço")") << false << "Cliente \"Ácme\" sem endereço";
        QTest::newRow("number") << QByteArray("42") << false
                                << "O servidor de aplicação devolveu um resultado que não é um pacote de dados.";
        QTest::newRow("array") << QByteArray("[1]") << false
                               << "O servidor de aplicação devolveu um resultado que não é um pacote de dados.";
    }

    void checkResultServ()
    {
        QFETCH(QByteArray, result);
        QFETCH(bool, isPacket);
        QFETCH(QString, message);
        const TRemoteValue value(result);
        if (isPacket) {
            QCOMPARE(Consiste::CheckResultServ(value, true, 0), result);
            return;
        }
        try {
            Consiste::CheckResultServ(value, true, 0);
            QFAIL("an error result passed as a packet");
        } catch (const FasError &error) {
            QCOMPARE(error.message(), message);
        }
        // Without the flag the caller gets nothing to load instead of an error.
        QVERIFY(Consiste::CheckResultServ(value, false, 0).isEmpty());
    }

    void registrationMasks_data()
    {
        QTest::addColumn<QString>("personType");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("text");
        QTest::newRow("individual") << "F"
                                    << "12345678901"
                                    << "123.456.789-01";
        QTest::newRow("company") << "J"
                                 << "12345678000190"
                                 << "12.345.678/0001-90";
        QTest::newRow("short number keeps the literals") << "F"
                                                         << "123"
                                                         << "123.   .   -  ";
        QTest::newRow("long number is cut") << "F"
                                            << "1234567890123"
                                            << "123.456.789-01";
        QTest::newRow("unknown type has no mask") << "X"
                                                  << "ABC-1"
                                                  << "ABC-1";
        QTest::newRow("empty type") << ""
                                    << "987"
                                    << "987";
    }

    void registrationMasks()
    {
        QFETCH(QString, personType);
        QFETCH(QString, number);
        QFETCH(QString, text);
        QCOMPARE(Consiste::FormatMaskText(Consiste::PictPess(personType), number), text);
    }

    void emptyString_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("empty");
        QTest::newRow("nothing") << "" << true;
        QTest::newRow("blanks") << "   " << true;
        QTest::newRow("tab") << "\t" << true;
        QTest::newRow("letter") << " a " << false;
        QTest::newRow("zero") << "0" << false;
    }

    void emptyString()
    {
        QFETCH(QString, text);
        QFETCH(bool, empty);
        QCOMPARE(Consiste::EmptyString(text), empty);
    }
};

QTEST_GUILESS_MAIN(TstConsiste)
#include "tst_consiste.moc"
