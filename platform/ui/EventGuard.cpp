#include "platform/ui/EventGuard.h"

#include <exception>

#include "platform/ui/ErrorReport.h"
#include "platform/data/FasError.h"

namespace EventGuard {

bool run(const std::function<void()> &handler) noexcept
{
    try {
        handler();
        return true;
    } catch (const SilentAbort &) {
    } catch (const FasError &error) {
        ErrorReport::show(error.message());
    } catch (const std::bad_alloc &) {
        ErrorReport::show(QStringLiteral("Memória insuficiente para concluir a operação."));
    } catch (const std::exception &error) {
        ErrorReport::show(QStringLiteral("Erro inesperado: %1").arg(QString::fromLocal8Bit(error.what())));
    } catch (...) {
        ErrorReport::show(QStringLiteral("Erro inesperado."));
    }
    return false;
}

} // namespace EventGuard
