#pragma once

#include <memory>
#include <vector>

#include <QByteArray>
#include <QObject>

#include "TField.h"
#include "TRecordStore.h"
#include "fasdata_export.h"

enum class TDataSetState { Inactive, Browse, Edit, Insert };

// An in-memory table with persistent fields, a cursor, states and events: the
// client dataset the screens hold their rows in. The grid reads it through
// TDataSetModel; data-aware controls follow its current record.
//
// Events (signals): AfterOpen, AfterScroll, StateChange. AfterScroll is emitted
// after every move to another record and after opening with at least one row.
// The control notifications (controls*) are what models and data-aware controls
// listen to; DisableControls silences them until the matching EnableControls,
// which then emits one controlsReset.
class FASDATA_EXPORT TClientDataSet : public QObject
{
    Q_OBJECT
public:
    explicit TClientDataSet(QObject *parent = nullptr);
    ~TClientDataSet() override;

    // Persistent fields. Only while inactive.
    void SetFieldDefs(const TFieldDefs &defs);
    void AddFieldDef(const TFieldDef &def);
    const TFieldDefs &FieldDefs() const;
    int FieldCount() const;
    TField *Fields(int index) const;
    TField *FieldByName(const QString &name) const; // throws DataSetError when absent
    TField *FindField(const QString &name) const;   // nullptr when absent

    // Opening and closing.
    void CreateDataSet(); // opens empty from the persistent fields
    void Open();          // opens on the rows it holds (after SetData or CreateDataSet)
    void Close();         // drops the rows, state Inactive
    bool Active() const;
    TDataSetState State() const;

    // Data packets.
    QByteArray GetData() const;             // the whole packet; posts nothing
    void SetData(const QByteArray &packet); // replaces all rows and reopens, or throws and leaves everything as it was
    void EmptyDataSet();
    void MergeChangeLog();
    int ChangeCount() const;

    // Cursor.
    void First();
    void Last();
    void Next();
    void Prior();
    bool Eof() const;
    bool Bof() const;
    int RecNo() const;          // 1-based; 0 when there is no current record
    void SetRecNo(int recNo);   // locate by index (1-based)
    int RecordCount() const;
    bool IsEmpty() const;

    // Editing.
    void Edit();
    void Insert();  // a new record before the current one (at the end when empty)
    void Append();
    void Post();
    void Cancel();
    void Delete();

    // Control updates.
    void DisableControls();
    void EnableControls(); // no effect when nothing is disabled
    bool ControlsDisabled() const;

    // Direct cell access for the grid model (no cursor move, no edit buffer).
    const TRecordStore &Store() const;
    int CurrentRow() const; // 0-based; -1 when none

    // Used by TField.
    const TRecordStore &BufferStore() const; // store holding the current record's values
    int BufferRow() const;
    void WriteBuffer(int field, const std::function<void(TRecordStore &, int row)> &write);

signals:
    void AfterOpen(TClientDataSet *dataSet);
    void AfterScroll(TClientDataSet *dataSet);
    void StateChange(TClientDataSet *dataSet);

    void controlsReset();                  // everything may have changed
    void controlsRowChanged(int row);      // one row's values changed
    void controlsRowInserted(int row);
    void controlsRowRemoved(int row);
    void controlsCurrentChanged(int row);  // the cursor moved (-1: none)

private:
    struct Private;
    std::unique_ptr<Private> d;
};
