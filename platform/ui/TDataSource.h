#pragma once

#include <QObject>
#include <QPointer>

#include "TClientDataSet.h"
#include "fasui_export.h"

// Binds controls to a dataset and reports the dataset's state changes
// (opened, closed, editing begun or ended) as OnStateChange.
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
    QPointer<TClientDataSet> m_dataSet;
    QMetaObject::Connection m_stateConnection;
};
