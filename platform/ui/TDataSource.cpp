#include "platform/ui/TDataSource.h"

TDataSource::TDataSource(QObject *parent)
    : QObject(parent)
{
}

void TDataSource::SetDataSet(TClientDataSet *dataSet)
{
    if (dataSet == m_dataSet)
        return;
    disconnect(m_stateConnection);
    disconnect(m_resetConnection);
    m_dataSet = dataSet;
    if (dataSet) {
        // State changes are control notifications too: while the dataset's
        // controls are disabled (a pass over its rows editing one after the other)
        // they are held back, and EnableControls reports the state once if it
        // is not the one reported last.
        m_stateConnection = connect(dataSet, &TClientDataSet::StateChange, this, [this, dataSet] {
            if (!dataSet->ControlsDisabled())
                reportState();
        });
        m_resetConnection = connect(dataSet, &TClientDataSet::controlsReset, this, [this] {
            if (State() != m_reported)
                reportState();
        });
    }
    emit DataSetChanged(dataSet);
    reportState();
}

void TDataSource::reportState()
{
    m_reported = State();
    emit StateChange(this);
}

TDataSetState TDataSource::State() const
{
    return m_dataSet ? m_dataSet->State() : TDataSetState::Inactive;
}
