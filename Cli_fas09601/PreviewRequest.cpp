#include "PreviewRequest.h"

#include "TFILTRO.h"

namespace {

const QString &todos()
{
    static const QString text = QStringLiteral("T");
    return text;
}

QDateTime dayOf(const QDateTime &value)
{
    return value.isValid() ? QDateTime(value.date(), QTime(0, 0), Qt::UTC) : QDateTime();
}

// In this fixed order, whatever order the boxes stand in.
QString tipoServ(const TFILTRO &f)
{
    QString codes;
    if (f.boLicencaUso)
        codes += QLatin1String("_5_");
    if (f.boManutencao)
        codes += QLatin1String("_6_");
    if (f.boCustomizacao)
        codes += QLatin1String("_3_");
    if (f.boMaoObra)
        codes += QLatin1String("_1_");
    if (f.boServDesk)
        codes += QLatin1String("_2_");
    return codes;
}

QString situacao(const TFILTRO &f)
{
    if (f.boTSituacao)
        return todos();
    QString codes;
    if (f.boPSituacao)
        codes += QLatin1String("_P_");
    if (f.boRSituacao)
        codes += QLatin1String("_R_");
    if (f.boCSituacao)
        codes += QLatin1String("_C_");
    if (f.boNSituacao)
        codes += QLatin1String("_N_");
    return codes;
}

// The note-state boxes count only while "Realizadas" is ticked (they are
// enabled exactly then); otherwise every note state is asked for.
QString sitNF(const TFILTRO &f)
{
    if (!f.boRSituacao)
        return todos();
    QString codes;
    if (f.boEmitidas)
        codes += QLatin1String("_E_");
    if (f.boNEmitidas)
        codes += QLatin1String("_N_");
    return codes;
}

} // namespace

PreviewRequest PreviewRequest::FromFilter(const TFILTRO &filtro)
{
    return PreviewRequest{
        dayOf(filtro.dtIniApu),
        dayOf(filtro.dtFinApu),
        tipoServ(filtro),
        filtro.Cliente.stLista,
        filtro.Cliente.stTodos,
        filtro.Empresa.stLista,
        filtro.Empresa.stTodos,
        situacao(filtro),
        sitNF(filtro),
    };
}

QList<RemoteArgument> PreviewRequest::Arguments() const
{
    return {
        RemoteArgument::date(dtIniApu),        RemoteArgument::date(dtFinApu),
        RemoteArgument::text(stTipoServ),      RemoteArgument::text(stListaCliente),
        RemoteArgument::text(stTodosCliente),  RemoteArgument::text(stListaEmpresa),
        RemoteArgument::text(stTodosEmpresa),  RemoteArgument::text(stSituacao),
        RemoteArgument::text(stSitNF),
    };
}
