#include "TickCommands.h"

#include <exception>

#include "BillingCodes.h"
#include "TClientDataSet.h"

namespace {

// Suspends the dataset's control updates for a command's lifetime. When the
// command fails, the row it left in edit is cancelled before the controls
// resume, so they never show a half-made change.
class ControlsSuspension
{
public:
    explicit ControlsSuspension(TClientDataSet &dataSet)
        : m_dataSet(dataSet)
    {
        m_dataSet.DisableControls();
    }

    ~ControlsSuspension()
    {
        if (std::uncaught_exceptions() > m_pending) {
            const TDataSetState state = m_dataSet.State();
            if (state == TDataSetState::Edit || state == TDataSetState::Insert) {
                try {
                    m_dataSet.Cancel();
                } catch (...) {
                    // The original failure is the one to report.
                }
            }
        }
        m_dataSet.EnableControls();
    }

    ControlsSuspension(const ControlsSuspension &) = delete;
    ControlsSuspension &operator=(const ControlsSuspension &) = delete;

private:
    TClientDataSet &m_dataSet;
    int m_pending = std::uncaught_exceptions();
};

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

    ControlsSuspension suspended(dataSet);
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
    return change;
}

void MarkAll(TClientDataSet &dataSet, bool untick)
{
    TField *tick = dataSet.FieldByName(QStringLiteral("IDCHECK"));
    TField *status = dataSet.FieldByName(QStringLiteral("IDSTAPFATFAS"));
    const QString pending = code(BillingCodes::StatusPending);
    const QString value = code(untick ? BillingCodes::TickUnticked : BillingCodes::TickTicked);

    ControlsSuspension suspended(dataSet);
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
}

} // namespace TickCommands
