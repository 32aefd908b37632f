#include "host/ModuleLoader.h"

#include <QDir>
#include <QFileInfo>

#include "platform/data/FasError.h"
#include "Pkg_fas09600/PackageInfo.h"

ModuleLoader::ModuleLoader(QString path)
    : m_library(std::move(path))
{
}

ModuleLoader::~ModuleLoader()
{
    unload();
}

QString ModuleLoader::defaultPath(const QString &applicationDir)
{
    const QString name = QStringLiteral("libPkg_fas09600.so");
    for (const QString &dir : {applicationDir, applicationDir + QStringLiteral("/../lib")}) {
        const QFileInfo candidate(QDir(dir).filePath(name));
        if (candidate.exists())
            return candidate.absoluteFilePath();
    }
    return QDir(applicationDir + QStringLiteral("/../lib")).absoluteFilePath(name);
}

void ModuleLoader::load()
{
    if (isLoaded())
        return;
    const QString file = m_library.fileName();
    if (!QFileInfo::exists(file))
        throw FasError(QStringLiteral("O módulo de faturamento não foi encontrado em %1.").arg(file));
    if (!m_library.load()) {
        throw FasError(QStringLiteral("Não foi possível carregar o módulo %1: %2").arg(file, m_library.errorString()));
    }
    const auto iniProc = resolve<IniProcEntry>("IniProc");
    const auto initialize = resolve<InitializeEntry>("Initialize");
    const auto finalize = resolve<FinalizeEntry>("Finalize");
    const auto packageInfo = resolve<PackageInfoEntry>("GetPackageInfoTable");
    initialize();
    m_iniProc = iniProc;
    m_initialize = initialize;
    m_finalize = finalize;
    m_packageInfo = packageInfo;
}

template<typename Entry>
Entry ModuleLoader::resolve(const char *name)
{
    QFunctionPointer entry = m_library.resolve(name);
    if (!entry) {
        m_library.unload();
        throw FasError(QStringLiteral("O arquivo %1 não é um módulo válido: falta a entrada %2.")
                           .arg(m_library.fileName(), QString::fromLatin1(name)));
    }
    return reinterpret_cast<Entry>(entry);
}

void ModuleLoader::iniProc()
{
    load();
    m_iniProc();
}

void ModuleLoader::unload()
{
    if (!isLoaded())
        return;
    m_finalize();
    m_iniProc = m_initialize = m_finalize = nullptr;
    m_packageInfo = nullptr;
    m_library.unload();
}

QString ModuleLoader::versionText() const
{
    if (!m_packageInfo)
        return {};
    const PackageInfoTable *info = m_packageInfo();
    return QString::fromLatin1(info->versionText);
}
