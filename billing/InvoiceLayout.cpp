#include "billing/InvoiceLayout.h"

namespace InvoiceLayout {
namespace {

TFieldDef field(const char *name, TFieldType type, int size)
{
    TFieldDef def;
    def.name = QString::fromLatin1(name);
    def.type = type;
    def.size = size;
    return def;
}

} // namespace

const TFieldDefs &lines()
{
    static const TFieldDefs defs{
        field("CDEMPRESA", TFieldType::String, 2),       field("NRLANCFAT", TFieldType::Float, 0),
        field("DTLANCFAT", TFieldType::DateTime, 0),     field("VRTOTLANCFAT", TFieldType::Float, 0),
        field("IDSITUACAO", TFieldType::FixedChar, 1),   field("NMEMPRESA", TFieldType::String, 40),
        field("NRCNPJEMPRESA", TFieldType::String, 14),  field("SGESTADOEMPRESA", TFieldType::String, 2),
        field("NMFILIAL", TFieldType::String, 30),       field("NMCIDADEFILIAL", TFieldType::String, 40),
        field("CDCLIENTE", TFieldType::String, 21),      field("NMFANTCLIE", TFieldType::String, 50),
        field("NMRAZSOCCLIE", TFieldType::String, 50),   field("NRINSJURCLIE", TFieldType::String, 14),
        field("DSLOGRENDECLIE", TFieldType::String, 80), field("NMBAIRENDECLIE", TFieldType::String, 40),
        field("NMCIDADECLIE", TFieldType::String, 40),   field("SGESTADOCLIE", TFieldType::String, 3),
        field("NRCEPENDECLIE", TFieldType::String, 10),  field("CDPAIS", TFieldType::String, 4),
        field("DTMESAPURFAS", TFieldType::DateTime, 0),  field("IDAPURFATFAS", TFieldType::FixedChar, 1),
        field("NMPRODUTO", TFieldType::String, 50),      field("DSFATURCLIE", TFieldType::String, 400),
        field("VRTOTAFATFAS", TFieldType::Float, 0)};
    return defs;
}

} // namespace InvoiceLayout
