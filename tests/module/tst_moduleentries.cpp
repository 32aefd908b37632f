#include <QtTest>

#include <QLibrary>

#include "platform/data/FasError.h"
#include "host/ModuleLoader.h"
#include "Pkg_fas09600/PackageInfo.h"

// The module as the host sees it: a library file with plain entries, its
// package description, its units' initialization and finalization, and the
// exported module variables under their unit-qualified names.
class TstModuleEntries : public QObject
{
    Q_OBJECT

    QLibrary m_module{QStringLiteral(FAS_BIN_DIR "/../lib/libPkg_fas09600.so")};

    template<typename T>
    T *symbol(const char *name)
    {
        return reinterpret_cast<T *>(m_module.resolve(name));
    }

    using Entry = void (*)();
    int unitCount(const char *unit)
    {
        auto count = reinterpret_cast<int (*)(const char *)>(m_module.resolve("_ZN12Pkg_fas0960013UnitInitCountEPKc"));
        return count ? count(unit) : -2;
    }

private slots:
    void initTestCase() { QVERIFY2(m_module.load(), qPrintable(m_module.errorString())); }

    void entriesAndTheirUnitQualifiedNames()
    {
        for (const char *name : {"IniProc", "Initialize", "Finalize", "GetPackageInfoTable"})
            QVERIFY2(m_module.resolve(name), name);
        QVERIFY(m_module.resolve("_ZN12Pkg_fas0960011PackageLoadEv") == m_module.resolve("Initialize"));
        QVERIFY(m_module.resolve("_ZN12Pkg_fas0960013PackageUnloadEv") == m_module.resolve("Finalize"));
        // Launch procedures and module variables.
        for (const char *name :
             {"_ZN12Cli_fas0960015CriaFaturamentoEv", "_ZN12Cli_fas0960121CriaFiltroFaturamentoEv",
              "_ZN12Cli_fas0960014frmFaturamentoE", "_ZN12Cli_fas0960010boIdCriadoE", "_ZN12Cli_fas0960011boTodosServE",
              "_ZN12Cli_fas0960120frmFiltroFaturamentoE", "_ZN12Cli_fas0960110boIdCriadoE",
              "_ZN12Cli_fas096019stEmpresaE", "_ZN12Cli_fas096019stClienteE"})
            QVERIFY2(m_module.resolve(name), name);
    }

    void packageDescription()
    {
        const auto info = reinterpret_cast<const PackageInfoTable *(*)()>(m_module.resolve("GetPackageInfoTable"))();
        QVERIFY(info);
        QCOMPARE(info->runOnly, 1);
        QCOMPARE(info->neverBuild, 1);
        QStringList required;
        for (int i = 0; i < info->requiresCount; ++i)
            required << QString::fromLatin1(info->requiresList[i]);
        QCOMPARE(required, (QStringList{"_kor", "_rtl", "_qr", "_lib", "_ger", "_frm", "_db", "_vcl"}));
        QStringList units;
        for (int i = 0; i < info->unitCount; ++i)
            units << QString::fromLatin1(info->unitList[i]);
        QCOMPARE(units.mid(0, 3), (QStringList{"Pkg_FAS09600", "Cli_FAS09601", "Cli_FAS09600"}));
        QCOMPARE(QString::fromLatin1(info->versionText), QStringLiteral("6.10.038"));
        QCOMPARE(info->versionMajor * 10000 + info->versionMinor * 100 + info->versionRelease, 61038);
        QCOMPARE(info->codePage, 1252);
        QVERIFY(QFileInfo(QStringLiteral(FAS_BIN_DIR "/../lib/libPkg_fas09600.so.6.10.38")).exists());
    }

    void unitsInitializeOnceAndFinalizeOnTheLastRequest()
    {
        const auto initialize = reinterpret_cast<Entry>(m_module.resolve("Initialize"));
        const auto finalize = reinterpret_cast<Entry>(m_module.resolve("Finalize"));
        bool *screenCreated = symbol<bool>("_ZN12Cli_fas0960010boIdCriadoE");
        bool *toggle = symbol<bool>("_ZN12Cli_fas0960011boTodosServE");
        bool *dialogCreated = symbol<bool>("_ZN12Cli_fas0960110boIdCriadoE");
        QString *companies = symbol<QString>("_ZN12Cli_fas096019stEmpresaE");
        QString *clients = symbol<QString>("_ZN12Cli_fas096019stClienteE");

        *screenCreated = *toggle = *dialogCreated = true;
        initialize();
        QCOMPARE(unitCount("Cli_FAS09601"), 1);
        QCOMPARE(unitCount("Cli_FAS09600"), 1);
        QVERIFY(!*screenCreated);
        QVERIFY(!*toggle);
        QVERIFY(!*dialogCreated);

        // A second request counts without running the bodies again.
        *toggle = true;
        initialize();
        QCOMPARE(unitCount("Cli_FAS09600"), 2);
        QVERIFY(*toggle);

        *companies = QStringLiteral("[\"01\"]");
        *clients = QStringLiteral("[\"C1\"]");
        finalize();
        QCOMPARE(unitCount("Cli_FAS09601"), 1);
        QCOMPARE(*companies, QStringLiteral("[\"01\"]")); // not the last request yet
        finalize();
        QCOMPARE(unitCount("Cli_FAS09601"), 0);
        QVERIFY(companies->isEmpty());
        QVERIFY(clients->isEmpty());
        finalize(); // one too many does nothing
        QCOMPARE(unitCount("Cli_FAS09600"), 0);
    }

    void hostLoaderNamesWhatIsWrong_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing file")
            << "/nonexistent/libPkg_fas09600.so"
            << "O módulo de faturamento não foi encontrado em /nonexistent/libPkg_fas09600.so.";
        QTest::newRow("not a module") << FAS_BIN_DIR "/../lib/libfasdata.so"
                                      << "não é um módulo válido: falta a entrada IniProc.";
    }

    void hostLoaderNamesWhatIsWrong()
    {
        QFETCH(QString, path);
        QFETCH(QString, message);
        ModuleLoader loader(path);
        try {
            loader.load();
            QFAIL("a wrong module was loaded");
        } catch (const FasError &error) {
            QVERIFY2(error.message().endsWith(message), qPrintable(error.message()));
        }
        QVERIFY(!loader.isLoaded());
    }

    void hostLoaderInitializesAndFinalizes()
    {
        ModuleLoader loader(ModuleLoader::defaultPath(QStringLiteral(FAS_BIN_DIR)));
        loader.load();
        QVERIFY(loader.isLoaded());
        QCOMPARE(loader.versionText(), QStringLiteral("6.10.038"));
        QCOMPARE(unitCount("Cli_FAS09600"), 1);
        loader.unload();
        QCOMPARE(unitCount("Cli_FAS09600"), 0);
    }
};

QTEST_MAIN(TstModuleEntries)
#include "tst_moduleentries.moc"
