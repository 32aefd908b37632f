#include "Cli_fas09600/CalculationDateColumn.h"

#include "platform/data/FormatSettings.h"
#include "platform/data/TClientDataSet.h"
#include "platform/ui/TDBGrid.h"
#include "platform/data/TField.h"

CalculationDateColumn::CalculationDateColumn(TDBGrid *grid, TClientDataSet *dataSet)
    : QObject(grid)
{
    dataSet->FieldByName(FieldName())->SetOnGetText([](const TField &field, bool displayText) {
        if (!displayText || field.IsNull())
            return field.AsString();
        return field.AsDateTime().date().toString(FormatSettings::shortDateFormat());
    });
}
