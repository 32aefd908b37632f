#include "Cli_fas09600/TickCommands.h"

#include <QScopeGuard>

#include "billing/BillingCodes.h"
#include "platform/data/TClientDataSet.h"

namespace {

// A command that fails part way cancels the row it left in edit before the
// controls resume, so they never show a half-made change.
void cancelPendingEdit(TClientDataSet &dataSet) noexcept
{
    const TDataSetState state = dataSet.State();
    if (state != TDataSetState::Edit && state != TDataSetState::Insert)
        return;
    try {
        dataSet.Cancel();
    } catch (...) {
        // The original failure is the one to report.
    }
}

QString code(char c)
{
    return QString(QLatin1Char(c));
}

} // namespace

namespace TickCommands {

TickChange ToggleCurrent(TClientDataSet &dataSet)
{
    TickChange change;
    if (dataSet.IsEmpty())
        return change;
    TField *tick = dataSet.FieldByName(QStringLiteral("IDCHECK"));
    TField *status = dataSet.FieldByName(QStringLiteral("IDSTAPFATFAS"));
    TField *total = dataSet.FieldByName(QStringLiteral("VRTOTAFATFAS"));

    dataSet.DisableControls();
    const auto controlsResumed = qScopeGuard([&dataSet] { dataSet.EnableControls(); });
    auto editCancelled = qScopeGuard([&dataSet] { cancelPendingEdit(dataSet); });
    dataSet.Edit();
    change.before = tick->AsString();
    change.total = total->AsFloat();
    if (status->AsString() == code(BillingCodes::StatusRealized))
        tick->SetAsString(code(BillingCodes::TickNotTickable));
    else if (change.before == code(BillingCodes::TickUnticked))
        tick->SetAsString(code(BillingCodes::TickTicked));
    else if (change.before == code(BillingCodes::TickTicked))
        tick->SetAsString(code(BillingCodes::TickUnticked));
    change.after = tick->AsString();
    dataSet.Post();
    editCancelled.dismiss();
    return change;
}

void MarkAll(TClientDataSet &dataSet, bool untick)
{
    TField *tick = dataSet.FieldByName(QStringLiteral("IDCHECK"));
    TField *status = dataSet.FieldByName(QStringLiteral("IDSTAPFATFAS"));
    const QString pending = code(BillingCodes::StatusPending);
    const QString value = code(untick ? BillingCodes::TickUnticked : BillingCodes::TickTicked);

    dataSet.DisableControls();
    const auto controlsResumed = qScopeGuard([&dataSet] { dataSet.EnableControls(); });
    auto editCancelled = qScopeGuard([&dataSet] { cancelPendingEdit(dataSet); });
    dataSet.First();
    while (!dataSet.Eof()) {
        if (status->AsString() == pending) {
            dataSet.Edit();
            tick->SetAsString(value);
            dataSet.Post();
        }
        dataSet.Next();
    }
    dataSet.First();
    editCancelled.dismiss();
}

} // namespace TickCommands
