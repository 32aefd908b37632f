#pragma once

#include <QObject>
#include <QPointer>

#include "platform/data/TClientDataSet.h"
#include "fasui_export.h"

// Binds controls to a dataset and reports the dataset's state changes
// (opened, closed, editing begun or ended) as OnStateChange. Like the other
// control notifications, state changes are not reported while the dataset's
// controls are disabled; EnableControls reports the state then reached, when it
// differs from the one reported before.
class FASUI_EXPORT TDataSource : public QObject
{
    Q_OBJECT
public:
    explicit TDataSource(QObject *parent = nullptr);

    TClientDataSet *DataSet() const { return m_dataSet; }
    void SetDataSet(TClientDataSet *dataSet);
    TDataSetState State() const;

signals:
    void StateChange(TDataSource *sender);
    void DataSetChanged(TClientDataSet *dataSet);

private:
    void reportState();

    QPointer<TClientDataSet> m_dataSet;
    QMetaObject::Connection m_stateConnection;
    QMetaObject::Connection m_resetConnection;
    TDataSetState m_reported = TDataSetState::Inactive;
};
