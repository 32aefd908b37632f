#include "outside/data/CompanyQuery.h"

#include "outside/data/TADOIBQuery.h"
#include "outside/data/TdtmDBGeral.h"

namespace CompanyQuery {

TADOIBQuery *Create(QObject *owner)
{
    auto *query = new TADOIBQuery(owner);
    query->setObjectName(QStringLiteral("qryEmpresa"));
    query->SQL = QStringList{QStringLiteral("SELECT CDEMPRESA, NMEMPRESA"), QStringLiteral("FROM EMPRESA")};
    TFieldDef code;
    code.name = QStringLiteral("CDEMPRESA");
    code.size = 2;
    code.displayLabel = QStringLiteral("Código");
    TFieldDef name;
    name.name = QStringLiteral("NMEMPRESA");
    name.size = 40;
    name.displayLabel = QStringLiteral("Nome");
    name.displayWidth = 52;
    query->SetFieldDefs({code, name});
    if (TdtmDBGeral *module = dtmDBGeral())
        query->SetConnection(module->adcGeral);
    return query;
}

} // namespace CompanyQuery
