#pragma once

#include <QObject>
#include <QPointer>

#include "platform/ui/TDataSource.h"
#include "fasui_export.h"

// Ties a control to one field of a data source: tells it when the value it
// shows may have changed (new current record, a posted change, the dataset
// opened or closed), following the dataset's control notifications.
class FASUI_EXPORT TFieldDataLink : public QObject
{
    Q_OBJECT
public:
    explicit TFieldDataLink(QObject *parent = nullptr);

    void SetDataSource(TDataSource *source);
    TDataSource *DataSource() const { return m_source; }
    void SetFieldName(const QString &name);
    QString FieldName() const { return m_fieldName; }

    // The field at the current record, or nullptr when the dataset is closed,
    // empty, or has no such field.
    TField *Field() const;

signals:
    void DataChange();

private:
    void bind();

    QPointer<TDataSource> m_source;
    QString m_fieldName;
    QList<QMetaObject::Connection> m_connections;
};
