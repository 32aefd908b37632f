#pragma once

#include <QFont>
#include <QString>

// One persistent column of a data grid: the field it shows, its title (empty:
// the field's display label), its width, and optionally a title font of its own.
struct TColumn
{
    QString FieldName;
    QString Title;
    int Width = -1; // -1: the grid's default for the field
    bool HasTitleFont = false;
    QFont TitleFont;
};
