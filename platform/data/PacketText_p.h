#pragma once

// The words of the packet codec's messages, shared by its reader, the locator of
// JSON faults and the writer. Private to libfasdata.

#include <string_view>

#include <QString>

#include <simdjson.h>

#include "platform/data/FasError.h"
#include "platform/data/TFieldDef.h"

namespace DataPacket::detail {

// ---------------------------------------------------------------------------
// Messages

inline QString inQuotes(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

inline QString inQuotes(std::string_view utf8)
{
    return inQuotes(QString::fromUtf8(utf8.data(), qsizetype(utf8.size())));
}

// A bad value shown in a message: at most 40 characters of it.
inline QString excerpt(std::string_view utf8)
{
    QString text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
    if (text.size() > 40)
        text = text.left(40) + QStringLiteral("...");
    return inQuotes(text);
}

inline QString jsonProblem(simdjson::error_code error)
{
    switch (error) {
    case simdjson::EMPTY:
        return QStringLiteral("o pacote está vazio");
    case simdjson::UNCLOSED_STRING:
        return QStringLiteral("JSON malformado: texto sem aspas de fechamento");
    case simdjson::TAPE_ERROR:
        return QStringLiteral("JSON malformado: vírgula, dois-pontos, chave ou colchete faltando ou sobrando");
    case simdjson::UNESCAPED_CHARS:
        return QStringLiteral("JSON malformado: caractere de controle sem escape dentro de um texto");
    case simdjson::STRING_ERROR:
        return QStringLiteral("JSON malformado: texto com caractere de controle ou sequência de escape inválida");
    case simdjson::UTF8_ERROR:
        return QStringLiteral("texto em UTF-8 inválido");
    case simdjson::NUMBER_ERROR:
    case simdjson::NUMBER_OUT_OF_RANGE:
        return QStringLiteral("número inválido ou fora do intervalo de um número de ponto flutuante");
    case simdjson::T_ATOM_ERROR:
    case simdjson::F_ATOM_ERROR:
    case simdjson::N_ATOM_ERROR:
        return QStringLiteral("JSON malformado: valor desconhecido (esperado true, false ou null)");
    case simdjson::DEPTH_ERROR:
        return QStringLiteral("JSON malformado: aninhamento profundo demais");
    case simdjson::INCOMPLETE_ARRAY_OR_OBJECT:
        return QStringLiteral("JSON malformado: objeto ou lista sem fechamento, ou conteúdo após o fim do pacote");
    case simdjson::TRAILING_CONTENT:
        return QStringLiteral("JSON malformado: conteúdo após o fim do pacote");
    case simdjson::CAPACITY:
    case simdjson::MEMALLOC:
        return QStringLiteral("o pacote é grande demais para ser lido");
    default:
        return QStringLiteral("JSON malformado (%1)").arg(QString::fromUtf8(simdjson::error_message(error)));
    }
}

[[noreturn]] inline void invalid(const QString &what)
{
    throw PacketError(QStringLiteral("Pacote de dados inválido: %1.").arg(what));
}

[[noreturn]] inline void notEncodable(const QString &what)
{
    throw PacketError(QStringLiteral("Não foi possível gerar o pacote de dados: %1.").arg(what));
}

inline QString cellPlace(int row, const TFieldDef &def)
{
    return QStringLiteral("linha %1, campo %2").arg(row + 1).arg(inQuotes(def.name));
}

} // namespace DataPacket::detail
