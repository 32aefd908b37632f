#include "Pkg_fas09600/Pkg_fas09600.h"

#include <iterator>
#include <string_view>

#include "Cli_fas09600/Cli_fas09600.h"
#include "Cli_fas09600/RunResultPanel.h"
#include "Cli_fas09601/Cli_fas09601.h"
#include "Cli_fas09602/Cli_fas09602.h"
#include "Cli_fas09602/HistoryReversal.h"
#include "Cli_fas09602/TfrmHistorico.h"
#include "Pkg_fas09600/PackageInfo.h"
#include "fas/Version.h"

namespace Pkg_fas09600 {
namespace {

// One entry of the package's unit table: the unit's initialization and
// finalization bodies and the count of requests it has had.
struct UnitEntry
{
    const char *name;
    void (*initialization)();
    void (*finalization)();
    int count;
};

// The preview's "Histórico de gerações…": the history screen, whose
// reversals the preview's result panel marks. The screens know nothing of
// each other; the package puts them together here.
void openHistory(RunResultPanel &resultPanel)
{
    TfrmHistorico *history = TfrmHistorico::Abre();
    QObject::connect(history->reversal, &HistoryReversal::EntryReversed, &resultPanel, &RunResultPanel::MarkReversed,
                     Qt::UniqueConnection);
}

void historyInitialization()
{
    Cli_fas09602::initialization();
    Cli_fas09600::historyOpener() = openHistory;
}

void historyFinalization()
{
    Cli_fas09600::historyOpener() = nullptr;
    Cli_fas09602::Finalization();
}

// In table order: the units the screens use come from the shared libraries,
// which initialize themselves when loaded; then the filter dialog's unit, the
// history screen's unit, then the preview screen's unit last.
UnitEntry unitTable[] = {
    {"Cli_FAS09601", &Cli_fas09601::initialization, &Cli_fas09601::Finalization, 0},
    {"Cli_FAS09602", &historyInitialization, &historyFinalization, 0},
    {"Cli_FAS09600", &Cli_fas09600::initialization, &Cli_fas09600::Finalization, 0},
};

const char *const requiredPackages[] = {"_kor", "_rtl", "_qr", "_lib", "_ger", "_frm", "_db", "_vcl"};
const char *const containedUnits[] = {"Pkg_FAS09600", "Cli_FAS09601", "Cli_FAS09600", "Cli_FAS09602", "SysInit"};

const PackageInfoTable packageInfo = {
    1,
    1,
    int(std::size(requiredPackages)),
    requiredPackages,
    int(std::size(containedUnits)),
    containedUnits,
    FAS_VERSION_MAJOR,
    FAS_VERSION_MINOR,
    FAS_VERSION_PATCH,
    0,
    FAS_VERSION_TEXT,
    "pt-BR",
    1252,
};

} // namespace

PKG_FAS09600_EXPORT int UnitInitCount(const char *unit);
int UnitInitCount(const char *unit)
{
    for (const UnitEntry &entry : unitTable) {
        if (std::string_view(entry.name) == unit)
            return entry.count;
    }
    return -1;
}

} // namespace Pkg_fas09600

extern "C" {

void IniProc()
{
    Cli_fas09600::CriaFaturamento();
}

void Initialize()
{
    for (auto &unit : Pkg_fas09600::unitTable) {
        if (unit.count++ == 0)
            unit.initialization();
    }
}

void Finalize()
{
    for (auto it = std::rbegin(Pkg_fas09600::unitTable); it != std::rend(Pkg_fas09600::unitTable); ++it) {
        if (it->count == 0)
            continue;
        if (--it->count == 0)
            it->finalization();
    }
}

const PackageInfoTable *GetPackageInfoTable()
{
    return &Pkg_fas09600::packageInfo;
}
}

// The package service entries under their unit-qualified names, at the same
// addresses as the plain entries.
namespace Pkg_fas09600 {
PKG_FAS09600_EXPORT void PackageLoad() __attribute__((alias("Initialize")));
PKG_FAS09600_EXPORT void PackageUnload() __attribute__((alias("Finalize")));
PKG_FAS09600_EXPORT const PackageInfoTable *GetPackageInfoTable() __attribute__((alias("GetPackageInfoTable")));
} // namespace Pkg_fas09600
