#include "billing/BillingCodes.h"

namespace BillingCodes {

QString serviceTypeText(const QString &code)
{
    if (code == QLatin1String("1"))
        return QStringLiteral("Mão de obra");
    if (code == QLatin1String("2"))
        return QStringLiteral("Service Desk");
    if (code == QLatin1String("3"))
        return QStringLiteral("Customização");
    if (code == QLatin1String("5"))
        return QStringLiteral("Licença de uso");
    if (code == QLatin1String("6"))
        return QStringLiteral("Manutenção");
    if (code == QLatin1String("7"))
        return QStringLiteral("Locação");
    return {};
}

QString situationText(const QString &status)
{
    if (status == QLatin1String("R"))
        return QStringLiteral("Realizada");
    if (status == QLatin1String("P"))
        return QStringLiteral("Pendente");
    if (status == QLatin1String("C"))
        return QStringLiteral("Cancelada");
    if (status == QLatin1String("N"))
        return QStringLiteral("Não realizada pelo sistema");
    return {};
}

QString legendCaption(const QString &status)
{
    if (status == QLatin1String("P"))
        return QStringLiteral("Pendente");
    if (status == QLatin1String("N"))
        return QStringLiteral("Não realizado pelo sistema");
    if (status == QLatin1String("R"))
        return QStringLiteral("Realizada");
    if (status == QLatin1String("C"))
        return QStringLiteral("Cancelado");
    return {};
}

} // namespace BillingCodes
