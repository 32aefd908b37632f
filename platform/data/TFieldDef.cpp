#include "platform/data/TFieldDef.h"

QString fieldTypeName(TFieldType type)
{
    switch (type) {
    case TFieldType::String:
        return QStringLiteral("string");
    case TFieldType::FixedChar:
        return QStringLiteral("fixed");
    case TFieldType::DateTime:
        return QStringLiteral("datetime");
    case TFieldType::Float:
        return QStringLiteral("float");
    }
    return QString();
}

bool TFieldDef::sameShape(const TFieldDef &other) const
{
    return type == other.type && size == other.size && name.compare(other.name, Qt::CaseInsensitive) == 0;
}
