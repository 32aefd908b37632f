#include "platform/ui/TDataSetModel.h"

#include <utility>

#include "platform/ui/TDisplayRowScope.h"

TDataSetModel::TDataSetModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void TDataSetModel::SetDataSet(TClientDataSet *dataSet)
{
    for (const auto &connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    m_dataSet = dataSet;
    if (dataSet) {
        m_connections << connect(dataSet, &TClientDataSet::controlsReset, this, &TDataSetModel::reset)
                      << connect(dataSet, &TClientDataSet::controlsRowChanged, this,
                                 [this](int row) {
                                     if (row >= 0 && row < m_rows)
                                         emit dataChanged(index(row, 0), index(row, columnCount() - 1));
                                 })
                      << connect(dataSet, &TClientDataSet::controlsRowInserted, this,
                                 [this](int row) {
                                     beginInsertRows({}, row, row);
                                     ++m_rows;
                                     endInsertRows();
                                 })
                      << connect(dataSet, &TClientDataSet::controlsRowRemoved, this,
                                 [this](int row) {
                                     beginRemoveRows({}, row, row);
                                     --m_rows;
                                     endRemoveRows();
                                 })
                      << connect(dataSet, &TClientDataSet::controlsCurrentChanged, this, [this](int row) {
                             const int previous = std::exchange(m_indicatorRow, row);
                             for (int changed : {previous, row}) {
                                 if (changed >= 0 && changed < m_rows)
                                     emit headerDataChanged(Qt::Vertical, changed, changed);
                             }
                             emit currentRowChanged(row);
                         });
    }
    reset();
}

void TDataSetModel::SetColumns(const QList<TColumn> &columns)
{
    beginResetModel();
    m_columns = columns;
    resolveFields();
    endResetModel();
}

void TDataSetModel::resolveFields()
{
    m_fieldIndex.clear();
    for (const TColumn &column : std::as_const(m_columns)) {
        TField *field = m_dataSet ? m_dataSet->FindField(column.FieldName) : nullptr;
        m_fieldIndex << (field ? field->Index() : -1);
    }
}

void TDataSetModel::reset()
{
    beginResetModel();
    resolveFields();
    m_rows = (m_dataSet && m_dataSet->Active()) ? m_dataSet->RecordCount() : 0;
    endResetModel();
    emit currentRowChanged(m_dataSet && m_dataSet->Active() ? m_dataSet->CurrentRow() : -1);
}

TField *TDataSetModel::FieldOfColumn(int column) const
{
    if (!m_dataSet || column < 0 || column >= m_fieldIndex.size() || m_fieldIndex[column] < 0)
        return nullptr;
    return m_dataSet->Fields(m_fieldIndex[column]);
}

int TDataSetModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int TDataSetModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant TDataSetModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    TField *field = FieldOfColumn(index.column());
    if (!field)
        return {};
    switch (role) {
    case Qt::DisplayRole: {
        TDisplayRowScope scope(m_dataSet, index.row());
        return field->DisplayText();
    }
    case Qt::TextAlignmentRole:
        return field->DataType() == TFieldType::Float ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                                      : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant TDataSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical) {
        // The row indicator: a mark on the current record, nothing on the others.
        if (role != Qt::DisplayRole)
            return {};
        const bool current = m_dataSet && m_dataSet->Active() && m_dataSet->CurrentRow() == section;
        return current ? QVariant(QString(QChar(0x25B8))) : QVariant(QString());
    }
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columns.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    const TColumn &column = m_columns[section];
    switch (role) {
    case Qt::DisplayRole: {
        if (!column.Title.isEmpty())
            return column.Title;
        TField *field = FieldOfColumn(section);
        return field ? field->DisplayLabel() : column.FieldName;
    }
    case Qt::FontRole:
        return column.HasTitleFont ? QVariant(column.TitleFont) : QVariant();
    default:
        return {};
    }
}
