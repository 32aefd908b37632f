#include "billing/BillingItemLayout.h"

namespace BillingItemLayout {
namespace {

TFieldDef text(const char *name, int size, const char *label = "", bool visible = false)
{
    TFieldDef def;
    def.name = QString::fromLatin1(name);
    def.type = TFieldType::String;
    def.size = size;
    def.displayLabel = QString::fromUtf8(label);
    def.visible = visible;
    return def;
}

TFieldDef fixed(const char *name)
{
    TFieldDef def = text(name, 1);
    def.type = TFieldType::FixedChar;
    return def;
}

TFieldDef dateTime(const char *name, const char *label = "", bool visible = false)
{
    TFieldDef def;
    def.name = QString::fromLatin1(name);
    def.type = TFieldType::DateTime;
    def.displayLabel = QString::fromUtf8(label);
    def.visible = visible;
    return def;
}

TFieldDefs buildFaturamento()
{
    TFieldDef grupo = text("CDGRUPONFAPUR", 5);
    grupo.displayWidth = 5;
    TFieldDef total;
    total.name = QStringLiteral("VRTOTAFATFAS");
    total.type = TFieldType::Float;
    total.displayFormat = QStringLiteral("#,##0.00");
    total.visible = false;
    return {
        text("CDEMPRESA", 2),
        text("CDFILIAL", 4),
        text("NMFILIAL", 30),
        text("CDCLIENTE", 21),
        text("NMFANTCLIE", 50, "Cliente", true),
        text("IDAPURFATFAS", 1),
        dateTime("DTMESAPURFAS"),
        text("MESAPURADO", 7, "Mês Apurado", true),
        fixed("IDCHECK"),
        fixed("IDSTAPFATFAS"),
        text("NRLANCINVOICE", 10),
        text("NRLANCTONF", 10, "Nº Nota Fiscal"),
        grupo,
        dateTime("DTAPURFATFAS", "Data da Apuração", true),
        text("CDPRODUTO", 10),
        text("NMPRODUTO", 50),
        text("CDOPERAPUR", 12),
        text("NMOPERADOR", 100),
        text("CDTIPOSERV", 3),
        fixed("IDCOMIFATFAS"),
        text("DSEMISSPRONF", 400),
        text("DSBOLEFATFAS", 400),
        text("DSFATURCLIE", 400),
        total,
        text("NRNOTAFISC", 20, "Nº Nota Fiscal", true),
        text("NRINVOICE", 10, "Invoice", true),
        text("NMEMPRESA", 40),
        text("NRSOLISERV", 10),
    };
}

TFieldDefs buildBatch()
{
    const TFieldDefs &all = faturamento();
    TFieldDefs defs;
    for (int i = 0; i < 6; ++i)
        defs.append(all.at(i));
    TFieldDef mes = all.at(7);
    mes.displayLabel.clear();
    defs.append(mes);
    TFieldDef mesData = all.at(6);
    mesData.visible = true;
    defs.append(mesData);
    for (int i = 8; i < 27; ++i)
        defs.append(all.at(i));
    for (TFieldDef &def : defs)
        if (def.name == QLatin1String("NRLANCINVOICE"))
            def.visible = true;
    return defs;
}

} // namespace

const TFieldDefs &faturamento()
{
    static const TFieldDefs defs = buildFaturamento();
    return defs;
}

const TFieldDefs &batch()
{
    static const TFieldDefs defs = buildBatch();
    return defs;
}

} // namespace BillingItemLayout
