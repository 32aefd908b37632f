#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "platform/ui/TFieldDataLink.h"
#include "fasui_export.h"

// Data-aware controls: each shows one field of its data source's current
// record, in the field's display text. The screens use them read-only.

class FASUI_EXPORT TDBEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit TDBEdit(QWidget *parent = nullptr);
    TFieldDataLink *DataLink() const { return m_link; }
    void SetDataSource(TDataSource *source) { m_link->SetDataSource(source); }
    void SetDataField(const QString &field) { m_link->SetFieldName(field); }

private:
    TFieldDataLink *m_link;
};

class FASUI_EXPORT TDBMemo : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit TDBMemo(QWidget *parent = nullptr);
    TFieldDataLink *DataLink() const { return m_link; }
    void SetDataSource(TDataSource *source) { m_link->SetDataSource(source); }
    void SetDataField(const QString &field) { m_link->SetFieldName(field); }

private:
    TFieldDataLink *m_link;
};

// A drop-down list whose items stand for field values. Without values the
// item text itself is the value; with values ("S", "N" behind "Sim", "Não")
// the item at the same position is shown. A value matching no item shows nothing.
class FASUI_EXPORT TDBComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit TDBComboBox(QWidget *parent = nullptr);
    TFieldDataLink *DataLink() const { return m_link; }
    void SetDataSource(TDataSource *source) { m_link->SetDataSource(source); }
    void SetDataField(const QString &field) { m_link->SetFieldName(field); }
    void SetItemValues(const QStringList &values);

private:
    void refresh();

    TFieldDataLink *m_link;
    QStringList m_values;
};

class FASUI_EXPORT TDBText : public QLabel
{
    Q_OBJECT
public:
    explicit TDBText(QWidget *parent = nullptr);
    TFieldDataLink *DataLink() const { return m_link; }
    void SetDataSource(TDataSource *source) { m_link->SetDataSource(source); }
    void SetDataField(const QString &field) { m_link->SetFieldName(field); }

private:
    TFieldDataLink *m_link;
};
