#include "Cli_fas09600/Cli_fas09600.h"

#include <QScopeGuard>

#include "Cli_fas09601/Cli_fas09601.h"
#include "Cli_fas09600/ScreenLayout.h"
#include "outside/forms/TApplication.h"
#include "platform/ui/TDBGrid.h"
#include "Cli_fas09600/TfrmFaturamento.h"

namespace Cli_fas09600 {

TfrmFaturamento *frmFaturamento = nullptr;
bool boIdCriado = false;
bool boTodosServ = false;

void CriaFaturamento()
{
    // A launch that fails leaves no hourglass behind.
    auto defaultCursorOnFailure = qScopeGuard([] { Screen::SetCursor(Screen::crDefault); });
    Screen::SetCursor(Screen::crHourGlass);
    const bool creating = !boIdCriado;
    if (creating) {
        frmFaturamento = Application().CreateForm<TfrmFaturamento>();
        boIdCriado = true;
    }
    frmFaturamento->SetWindowStateNormal();
    frmFaturamento->SetActivePage(frmFaturamento->tshFolhaDados);
    frmFaturamento->ShowAsMdiChild();
    if (creating)
        frmFaturamento->screenLayout->Restore(); // the user's layout, kept from the last closing
    Screen::SetCursor(Screen::crDefault);
    Cli_fas09601::CriaFiltroFaturamento();
    frmFaturamento->dbgPadrao->setFocus();
    defaultCursorOnFailure.dismiss();
}

HistoryOpener &historyOpener()
{
    static HistoryOpener opener;
    return opener;
}

void initialization()
{
    boIdCriado = false;
    boTodosServ = false;
}

void Finalization() { }

} // namespace Cli_fas09600
