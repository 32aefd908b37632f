#pragma once

#include <functional>

#include <QDateTime>
#include <QString>
#include <QVariant>

#include "TFieldDef.h"
#include "fasdata_export.h"

class TClientDataSet;

// One field of a client dataset, seen at the dataset's current record (the edit
// buffer while editing or inserting). Owned by its dataset.
class FASDATA_EXPORT TField
{
public:
    // Get-text handler: (field, displayText) -> text. displayText is true when the
    // text is wanted for display, false when wanted for editing.
    using GetTextHandler = std::function<QString(const TField &field, bool displayText)>;

    TField(TClientDataSet *dataSet, int index);

    TClientDataSet *DataSet() const { return m_dataSet; }
    int Index() const { return m_index; }
    const TFieldDef &Def() const;
    QString FieldName() const;
    TFieldType DataType() const;
    int Size() const;
    QString DisplayLabel() const;   // the label, or the field name when none is set
    QString DisplayFormat() const;
    bool Visible() const;

    bool IsNull() const;
    QString AsString() const;       // dates in the host's short form, floats with its decimal separator
    QDateTime AsDateTime() const;   // null reads as the zero date-time 1899-12-30 00:00
    double AsFloat() const;         // null reads as 0
    QVariant Value() const;         // null is a null QVariant, distinct from empty text
    QString DisplayText() const;    // get-text handler, else display format, else AsString
    QString Text() const;           // get-text handler for editing, else AsString

    void SetAsString(const QString &text); // empty text clears a date or float field
    void SetAsDateTime(const QDateTime &value);
    void SetAsFloat(double value);
    void SetValue(const QVariant &value);
    void Clear();

    void SetOnGetText(GetTextHandler handler) { m_onGetText = std::move(handler); }
    const GetTextHandler &OnGetText() const { return m_onGetText; }

private:
    TClientDataSet *m_dataSet;
    int m_index;
    GetTextHandler m_onGetText;
};
