#include "Cli_fas09601.h"

#include <exception>

#include "TApplication.h"
#include "TfrmFiltroFaturamento.h"

namespace Cli_fas09601 {

TfrmFiltroFaturamento *frmFiltroFaturamento = nullptr;
bool boIdCriado = false;
QString stEmpresa;
QString stCliente;

namespace {

// The normal cursor while the dialog is shown modally; the hourglass again
// once it is closed.
class NormalCursorWhileModal
{
public:
    NormalCursorWhileModal() { Screen::SetCursor(Screen::crDefault); }
    ~NormalCursorWhileModal() { Screen::SetCursor(Screen::crHourGlass); }
    NormalCursorWhileModal(const NormalCursorWhileModal &) = delete;
    NormalCursorWhileModal &operator=(const NormalCursorWhileModal &) = delete;
};

} // namespace

void CriaFiltroFaturamento()
{
    Screen::DefaultCursorOnFailure cursorGuard;
    Screen::SetCursor(Screen::crHourGlass);
    if (!boIdCriado) {
        frmFiltroFaturamento = Application().CreateForm<TfrmFiltroFaturamento>();
        boIdCriado = true;
    }
    {
        NormalCursorWhileModal normalCursor;
        frmFiltroFaturamento->exec();
    }
    frmFiltroFaturamento->setWindowState(frmFiltroFaturamento->windowState()
                                         & ~(Qt::WindowMinimized | Qt::WindowMaximized));
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
