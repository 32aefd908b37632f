#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include "platform/data/ConfigFile.h"
#include "platform/data/FasError.h"

class TestConfigFile : public QObject
{
    Q_OBJECT

private slots:
    void values_data();
    void values();
    void unusableFile();
};

// What a value reads as; "<ini>" stands for the configuration's folder. The working
// folder is another one, so a path resolved against it would show.
void TestConfigFile::values_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const QString url = QStringLiteral("database/url");
    const QString token = QStringLiteral("appserver/token_file");
    QTest::newRow("SQLite file beside the INI")
        << QByteArray("[database]\nurl=fas.sqlite") << url << "<ini>/fas.sqlite";
    QTest::newRow("SQLite file in a sub-folder")
        << QByteArray("[database]\nurl=dados/fas.sqlite") << url << "<ini>/dados/fas.sqlite";
    QTest::newRow("absolute SQLite file")
        << QByteArray("[database]\nurl=/var/lib/fas.sqlite") << url << "/var/lib/fas.sqlite";
    QTest::newRow("blanks around") << QByteArray("[database]\nurl=  fas.sqlite  ") << url << "<ini>/fas.sqlite";
    QTest::newRow("PostgreSQL address") << QByteArray("[database]\nurl=postgresql://u@db:5432/fas") << url
                                        << "postgresql://u@db:5432/fas";
    QTest::newRow("sqlite:// address as written")
        << QByteArray("[database]\nurl=sqlite://fas.sqlite") << url << "sqlite://fas.sqlite";
    QTest::newRow("no database") << QByteArray("[appserver]\nlisten=127.0.0.1:9600") << url << "";
    QTest::newRow("relative token file") << QByteArray("[appserver]\ntoken_file=token.txt") << token
                                         << "<ini>/token.txt";
    QTest::newRow("blank token file") << QByteArray("[appserver]\ntoken_file=") << token << "";
}

void TestConfigFile::values()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, key);
    QFETCH(QString, expected);

    QTemporaryDir folder;
    QTemporaryDir elsewhere;
    QVERIFY(folder.isValid() && elsewhere.isValid());
    QFile file(folder.filePath(QStringLiteral("fas09600.ini")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(line + '\n');
    file.close();
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(elsewhere.path()));
    const auto back = qScopeGuard([&] { QDir::setCurrent(previous); });

    const ConfigFile ini(file.fileName());
    const QString value = key == QLatin1String("database/url") ? ini.databaseUrl() : ini.path(key);
    QCOMPARE(value, QString(expected).replace(QStringLiteral("<ini>"), QDir(folder.path()).absolutePath()));
}

void TestConfigFile::unusableFile()
{
    QTemporaryDir folder;
    const QString missing = folder.filePath(QStringLiteral("nao-existe.ini"));
    try {
        ConfigFile{missing};
        QFAIL("a missing configuration file was read");
    } catch (const FasError &error) {
        QCOMPARE(error.message(), QStringLiteral("Arquivo de configuração não encontrado: ") + missing);
    }
}

QTEST_GUILESS_MAIN(TestConfigFile)
#include "tst_configfile.moc"
