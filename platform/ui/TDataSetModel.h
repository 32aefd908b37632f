#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QPointer>

#include "platform/data/TClientDataSet.h"
#include "platform/ui/TColumn.h"
#include "fasui_export.h"

// The grid's view of a client dataset: one row per record, one column per
// persistent grid column. Follows the dataset's control notifications, so a
// DisableControls freezes it until the matching EnableControls.
class FASUI_EXPORT TDataSetModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit TDataSetModel(QObject *parent = nullptr);

    void SetDataSet(TClientDataSet *dataSet);
    TClientDataSet *DataSet() const { return m_dataSet; }
    void SetColumns(const QList<TColumn> &columns);
    const QList<TColumn> &Columns() const { return m_columns; }
    TField *FieldOfColumn(int column) const; // nullptr when the field does not exist

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    void currentRowChanged(int row); // the dataset's cursor moved (-1: none)

private:
    void resolveFields();
    void reset();

    QPointer<TClientDataSet> m_dataSet;
    QList<TColumn> m_columns;
    QList<int> m_fieldIndex;
    int m_rows = 0;
    int m_indicatorRow = -1;
    QList<QMetaObject::Connection> m_connections;
};
