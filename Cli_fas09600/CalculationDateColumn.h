#pragma once

#include <QObject>

#include "pkg_fas09600_export.h"

class TClientDataSet;
class TDBGrid;

// "Data da Apuração" holds a time as well, and "dd/MM/yyyy hh:mm:ss" does not
// fit the column's designed width: the grid shows the date, and the cell's tool
// tip (CellToolTips) the whole value. Editing texts (the field's Text) keep the
// whole value.
class PKG_FAS09600_EXPORT CalculationDateColumn : public QObject
{
    Q_OBJECT
public:
    CalculationDateColumn(TDBGrid *grid, TClientDataSet *dataSet);

    static QString FieldName() { return QStringLiteral("DTAPURFATFAS"); }
};
