#include "billing/HistoryLayout.h"

namespace HistoryLayout {
namespace {

TFieldDef field(const char *name, TFieldType type, int size, const char *label)
{
    TFieldDef def;
    def.name = QString::fromLatin1(name);
    def.type = type;
    def.size = size;
    def.displayLabel = QString::fromUtf8(label);
    if (type == TFieldType::Float && QByteArray(name).startsWith("VR"))
        def.displayFormat = QStringLiteral("#,##0.00");
    return def;
}

} // namespace

const TFieldDefs &runs()
{
    static const TFieldDefs defs{field("IDGERACAO", TFieldType::Float, 0, "Geração"),
                                 field("DTINICIO", TFieldType::DateTime, 0, "Data/hora"),
                                 field("NMUSUARIO", TFieldType::String, 40, "Usuário"),
                                 field("NMMETODO", TFieldType::String, 20, "Tipo"),
                                 field("CDEMPRESA", TFieldType::String, 2, "Empresa"),
                                 field("QTLANCAMENTOS", TFieldType::Float, 0, "Lançamentos"),
                                 field("QTITENS", TFieldType::Float, 0, "Itens"),
                                 field("VRTOTAL", TFieldType::Float, 0, "Total"),
                                 field("CDERRO", TFieldType::Float, 0, "Resultado")};
    return defs;
}

// Last, the national note (NFS-e) of a note entry of a company emitting them: its
// situation (NFSEDPS.IDSITDPS), the service's answer to a rejection, the access key;
// null for the other entries. Last, so that a module reading the older layout finds
// its fields in place.
const TFieldDefs &entries()
{
    static const TFieldDefs defs{field("CDEMPRESA", TFieldType::String, 2, "Empresa"),
                                 field("IDTPLANCFAT", TFieldType::FixedChar, 1, "Tipo"),
                                 field("NRLANCFAT", TFieldType::Float, 0, "Lançamento"),
                                 field("CDFILIAL", TFieldType::String, 4, "Filial"),
                                 field("CDCLIENTE", TFieldType::String, 21, "Cliente"),
                                 field("DTLANCFAT", TFieldType::DateTime, 0, "Data"),
                                 field("QTITEMLANCFAT", TFieldType::Float, 0, "Itens"),
                                 field("VRTOTLANCFAT", TFieldType::Float, 0, "Total"),
                                 field("IDSITUACAO", TFieldType::FixedChar, 1, "Situação"),
                                 field("NMUSUESTORNO", TFieldType::String, 40, "Estornado por"),
                                 field("DTESTORNO", TFieldType::DateTime, 0, "Estornado em"),
                                 field("DSMOTIVOESTORNO", TFieldType::String, 200, "Motivo do estorno"),
                                 field("IDGERACAO", TFieldType::Float, 0, "Geração"),
                                 field("IDSITDPS", TFieldType::FixedChar, 1, "NFS-e"),
                                 field("DSRETORNO", TFieldType::String, 1000, "Retorno da NFS-e"),
                                 field("NRCHAVEACESSO", TFieldType::String, 50, "Chave de acesso")};
    return defs;
}

} // namespace HistoryLayout
