#pragma once

#include <QLibrary>
#include <QString>

#include "Pkg_fas09600/Pkg_fas09600.h"

// Loads the screen module at run time and binds its plain entries: IniProc,
// Initialize, Finalize and GetPackageInfoTable. Initialize runs once before
// the first IniProc; Finalize after the host has destroyed the screens.
class ModuleLoader
{
public:
    explicit ModuleLoader(QString path);
    ~ModuleLoader();

    QString path() const { return m_library.fileName(); }
    bool isLoaded() const { return m_iniProc != nullptr; }

    // Loads and initializes the module. Throws FasError naming the file and the
    // reason (missing, not a module, an entry missing).
    void load();
    // Loads when needed, then calls IniProc.
    void iniProc();
    // Finalizes and unloads; harmless when not loaded.
    void unload();

    QString versionText() const;

    // Where the host looks for the module when none is named: beside the
    // program, then in ../lib.
    static QString defaultPath(const QString &applicationDir);

private:
    // Each entry is called through a pointer of the type the module declares it
    // with (Pkg_fas09600.h); calling through any other function type is undefined.
    using IniProcEntry = decltype(&IniProc);
    using InitializeEntry = decltype(&Initialize);
    using FinalizeEntry = decltype(&Finalize);
    using PackageInfoEntry = decltype(&GetPackageInfoTable);

    template<typename Entry>
    Entry resolve(const char *name);

    QLibrary m_library;
    IniProcEntry m_iniProc = nullptr;
    InitializeEntry m_initialize = nullptr;
    FinalizeEntry m_finalize = nullptr;
    PackageInfoEntry m_packageInfo = nullptr;
};
