#include "CalculationDateColumn.h"

#include "FormatSettings.h"
#include "TClientDataSet.h"
#include "TDBGrid.h"
#include "TField.h"

CalculationDateColumn::CalculationDateColumn(TDBGrid *grid, TClientDataSet *dataSet)
    : QObject(grid)
{
    dataSet->FieldByName(FieldName())->SetOnGetText([](const TField &field, bool displayText) {
        if (!displayText || field.IsNull())
            return field.AsString();
        return field.AsDateTime().date().toString(FormatSettings::shortDateFormat());
    });
}
