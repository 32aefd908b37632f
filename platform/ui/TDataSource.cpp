#include "TDataSource.h"

TDataSource::TDataSource(QObject *parent)
    : QObject(parent)
{
}

void TDataSource::SetDataSet(TClientDataSet *dataSet)
{
    if (dataSet == m_dataSet)
        return;
    disconnect(m_stateConnection);
    m_dataSet = dataSet;
    if (dataSet)
        m_stateConnection = connect(dataSet, &TClientDataSet::StateChange, this, [this] { emit StateChange(this); });
    emit DataSetChanged(dataSet);
    emit StateChange(this);
}

TDataSetState TDataSource::State() const
{
    return m_dataSet ? m_dataSet->State() : TDataSetState::Inactive;
}
