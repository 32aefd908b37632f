#include "Cli_fas09601/PreviewRequest.h"

#include <initializer_list>
#include <utility>

#include "Cli_fas09601/TFILTRO.h"

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

// The codes of the ticked boxes, in the order given here (a fixed order,
// whatever order the boxes stand in), each between underscores.
QString codesOf(std::initializer_list<std::pair<bool, const char *>> boxes)
{
    QString codes;
    for (const auto &[ticked, code] : boxes) {
        if (ticked)
            codes += QLatin1Char('_') + QLatin1String(code) + QLatin1Char('_');
    }
    return codes;
}

QString tipoServ(const TFILTRO &f)
{
    return codesOf({{f.boLicencaUso, "5"},
                    {f.boManutencao, "6"},
                    {f.boCustomizacao, "3"},
                    {f.boMaoObra, "1"},
                    {f.boServDesk, "2"}});
}

QString situacao(const TFILTRO &f)
{
    if (f.boTSituacao)
        return todos();
    return codesOf({{f.boPSituacao, "P"}, {f.boRSituacao, "R"}, {f.boCSituacao, "C"}, {f.boNSituacao, "N"}});
}

// The note-state boxes count only while "Realizadas" is ticked (they are
// enabled exactly then); otherwise every note state is asked for.
QString sitNF(const TFILTRO &f)
{
    if (!f.boRSituacao)
        return todos();
    return codesOf({{f.boEmitidas, "E"}, {f.boNEmitidas, "N"}});
}

} // namespace

PreviewRequest PreviewRequest::FromFilter(const TFILTRO &filtro)
{
    return PreviewRequest{
        dayOf(filtro.dtIniApu), dayOf(filtro.dtFinApu), tipoServ(filtro),
        filtro.Cliente.stLista, filtro.Cliente.stTodos, filtro.Empresa.stLista,
        filtro.Empresa.stTodos, situacao(filtro),       sitNF(filtro),
    };
}

QList<RemoteArgument> PreviewRequest::Arguments() const
{
    return {
        RemoteArgument::date(dtIniApu),       RemoteArgument::date(dtFinApu),
        RemoteArgument::text(stTipoServ),     RemoteArgument::text(stListaCliente),
        RemoteArgument::text(stTodosCliente), RemoteArgument::text(stListaEmpresa),
        RemoteArgument::text(stTodosEmpresa), RemoteArgument::text(stSituacao),
        RemoteArgument::text(stSitNF),
    };
}
