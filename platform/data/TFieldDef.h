#pragma once

#include <QList>
#include <QString>

#include "fasdata_export.h"

enum class TFieldType {
    String,    // text of at most `size` characters
    FixedChar, // fixed-length text of `size` characters
    DateTime,  // wall-clock date and time, millisecond precision, no time zone
    Float,     // IEEE double
};

FASDATA_EXPORT QString fieldTypeName(TFieldType type); // "string", "fixed", "datetime", "float"

// The persistent definition of one field of a client dataset.
struct FASDATA_EXPORT TFieldDef
{
    QString name;
    TFieldType type = TFieldType::String;
    int size = 0;          // characters, for text fields; 0 for the others
    QString displayLabel;  // empty: the field name is used
    QString displayFormat; // e.g. "#,##0.00" for a float field
    bool visible = true;
    int displayWidth = 0; // 0: derived from size

    bool isText() const { return type == TFieldType::String || type == TFieldType::FixedChar; }
    bool sameShape(const TFieldDef &other) const; // name (case-insensitive), type, size
};

using TFieldDefs = QList<TFieldDef>;
