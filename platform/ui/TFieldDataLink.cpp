#include "platform/ui/TFieldDataLink.h"

TFieldDataLink::TFieldDataLink(QObject *parent)
    : QObject(parent)
{
}

void TFieldDataLink::SetDataSource(TDataSource *source)
{
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (source)
        connect(source, &TDataSource::DataSetChanged, this, &TFieldDataLink::bind);
    bind();
}

void TFieldDataLink::SetFieldName(const QString &name)
{
    m_fieldName = name;
    emit DataChange();
}

TField *TFieldDataLink::Field() const
{
    TClientDataSet *dataSet = m_source ? m_source->DataSet() : nullptr;
    if (!dataSet || !dataSet->Active() || dataSet->IsEmpty())
        return nullptr;
    return dataSet->FindField(m_fieldName);
}

void TFieldDataLink::bind()
{
    for (const auto &connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    TClientDataSet *dataSet = m_source ? m_source->DataSet() : nullptr;
    if (dataSet) {
        const auto changed = [this] { emit DataChange(); };
        m_connections << connect(dataSet, &TClientDataSet::controlsReset, this, changed)
                      << connect(dataSet, &TClientDataSet::controlsCurrentChanged, this, changed)
                      << connect(dataSet, &TClientDataSet::controlsRowRemoved, this, changed)
                      << connect(dataSet, &TClientDataSet::controlsRowInserted, this, changed)
                      << connect(dataSet, &TClientDataSet::controlsRowChanged, this, [this, dataSet](int row) {
                             if (row == dataSet->CurrentRow())
                                 emit DataChange();
                         });
    }
    emit DataChange();
}
