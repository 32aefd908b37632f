#include "Cli_fas09601/Cli_fas09601.h"

#include <QScopeGuard>

#include "Cli_fas09601/PreviewLink.h"
#include "outside/forms/TApplication.h"
#include "Cli_fas09601/TfrmFiltroFaturamento.h"

namespace Cli_fas09601 {

TfrmFiltroFaturamento *frmFiltroFaturamento = nullptr;
bool boIdCriado = false;
QString stEmpresa;
QString stCliente;

PreviewLink &previewLink()
{
    static PreviewLink link;
    return link;
}

void CriaFiltroFaturamento()
{
    // A launch that fails leaves no hourglass behind.
    auto defaultCursorOnFailure = qScopeGuard([] { Screen::SetCursor(Screen::crDefault); });
    Screen::SetCursor(Screen::crHourGlass);
    if (!boIdCriado) {
        frmFiltroFaturamento = Application().CreateForm<TfrmFiltroFaturamento>();
        boIdCriado = true;
    }
    {
        // The normal cursor while the dialog is shown; the hourglass again once it is closed.
        Screen::SetCursor(Screen::crDefault);
        const auto hourGlassAgain = qScopeGuard([] { Screen::SetCursor(Screen::crHourGlass); });
        frmFiltroFaturamento->exec();
    }
    frmFiltroFaturamento->setWindowState(frmFiltroFaturamento->windowState()
                                         & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    defaultCursorOnFailure.dismiss();
    Screen::SetCursor(Screen::crDefault);
}

void initialization()
{
    boIdCriado = false;
}

void Finalization()
{
    stCliente.clear();
    stEmpresa.clear();
}

} // namespace Cli_fas09601
