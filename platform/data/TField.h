#pragma once

#include <functional>

#include <QDateTime>
#include <QString>
#include <QVariant>

#include "platform/data/TFieldDef.h"
#include "fasdata_export.h"

class TClientDataSet;

// One field of a client dataset, seen at the dataset's current record (the edit
// buffer while editing or inserting; the display row while a grid paints). Owned
// by its dataset.
//
// Date-times are wall-clock values without a zone: AsDateTime returns them as
// Qt::UTC date-times so that no zone or daylight-saving rule shifts them, and the
// setters take the date and time fields of the value they are given as they stand.
// A null field reads as "" (AsString), 0 (AsFloat), the zero date-time
// 1899-12-30 00:00 (AsDateTime) and a null QVariant (Value); empty text is a
// value, not null.
//
// The setters need the dataset in Edit or Insert state (DataSetError otherwise).
// A text longer than the field's size in characters is refused with DataSetError;
// a FixedChar field keeps its text as given, without padding to its size, so that
// "S" reads back as "S" (codes compare as whole strings).
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
    QString DisplayLabel() const; // the label, or the field name when none is set
    QString DisplayFormat() const;
    bool Visible() const;

    bool IsNull() const;
    // Text as stored; a date-time in the host's short form "dd/MM/yyyy", plus
    // " hh:mm:ss" when the time is not midnight; a float with the host's decimal
    // separator and no grouping ("1234,5").
    QString AsString() const;
    // null reads as the zero date-time 1899-12-30 00:00. A float field reads as days
    // since that date (the desktop convention for date-times as numbers); a text
    // field is parsed like SetAsString (DataSetError when it is not a date).
    QDateTime AsDateTime() const;
    // null reads as 0. A date-time reads as days since 1899-12-30; a text field is
    // parsed with the host's decimal separator (DataSetError when not a number).
    double AsFloat() const;
    QVariant Value() const; // null is a null QVariant, distinct from empty text
    // The get-text handler (displayText = true) when set; else, for a float field
    // with a display format, the formatted number ("" when null); else AsString.
    QString DisplayText() const;
    QString Text() const; // get-text handler for editing, else AsString

    // Text fields store the text (empty text is not null). Date-time fields read
    // "dd/MM/yyyy[ hh:mm[:ss]]" or ISO 8601; float fields read the host's number
    // form; for both, empty text (or only spaces) clears the field.
    void SetAsString(const QString &text);
    void SetAsDateTime(const QDateTime &value); // an invalid QDateTime clears the field
    void SetAsFloat(double value);              // NaN and infinities are refused
    void SetValue(const QVariant &value);       // a null or invalid QVariant clears the field
    void Clear();                               // stores null

    void SetOnGetText(GetTextHandler handler) { m_onGetText = std::move(handler); }
    const GetTextHandler &OnGetText() const { return m_onGetText; }

private:
    [[noreturn]] void refuse(const QString &why) const;

    TClientDataSet *m_dataSet;
    int m_index;
    GetTextHandler m_onGetText;
};
