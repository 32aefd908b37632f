#pragma once

#include <QLibrary>
#include <QString>

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
    using Entry = void (*)();
    QLibrary m_library;
    Entry m_iniProc = nullptr;
    Entry m_initialize = nullptr;
    Entry m_finalize = nullptr;
    const void *(*m_packageInfo)() = nullptr;
};
