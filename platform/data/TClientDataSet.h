#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QByteArray>
#include <QObject>

#include "platform/data/TDataPacket.h"
#include "platform/data/TField.h"
#include "platform/data/TRecordStore.h"
#include "fasdata_export.h"

enum class TDataSetState { Inactive, Browse, Edit, Insert };

// An in-memory table with persistent fields, a cursor, states and events: the
// client dataset the screens hold their rows in. The grid reads it through
// TDataSetModel; data-aware controls follow its current record.
//
// Events (signals): AfterOpen, AfterScroll, StateChange. AfterScroll is emitted
// whenever the cursor arrives at another record (First, Next, Prior, Last,
// SetRecNo, Insert/Append onto the new record, Cancel of an insert back to the
// previous one, Delete onto the following one) and after opening with at least
// one row; not when a move ends where it started, nor when no record is left.
// StateChange follows every change of State(). The control notifications
// (controls*) are what models and data-aware controls listen to; DisableControls
// silences them until the matching EnableControls, which then emits one
// controlsReset. After controlsReset, listeners re-read everything, CurrentRow()
// included.
//
// Editing works on an edit buffer: Edit copies the current record into it, Insert
// and Append start it empty, field setters write into it, Post commits it to the
// rows and Cancel drops it. As in the classic component, moving the cursor (or
// Insert/Append) while editing first posts the buffer when a field was set and
// cancels it when none was, so an untouched inserted record disappears; Close,
// SetData and EmptyDataSet drop it.
//
// Operations that need an open dataset throw DataSetError when it is closed;
// reading (RecordCount, RecNo, Eof, fields) on a closed dataset gives the values
// of an empty one.
class FASDATA_EXPORT TClientDataSet : public QObject
{
    Q_OBJECT
public:
    explicit TClientDataSet(QObject *parent = nullptr);
    ~TClientDataSet() override;

    // Persistent fields. Only while inactive. Names are unique (case-insensitive),
    // text fields have a size of at least 1; other fields' sizes are set to 0.
    // AddFieldDef keeps the fields already made (pointers stay valid).
    void SetFieldDefs(const TFieldDefs &defs);
    void AddFieldDef(const TFieldDef &def);
    const TFieldDefs &FieldDefs() const;
    int FieldCount() const;
    TField *Fields(int index) const;                // nullptr out of range
    TField *FieldByName(const QString &name) const; // throws DataSetError when absent
    TField *FindField(const QString &name) const;   // nullptr when absent

    // Opening and closing.
    void CreateDataSet(); // opens empty from the persistent fields (closing first)
    void Open();          // opens on the rows it holds (none after Close); needs fields
    void Close();         // drops the rows and any edit, state Inactive
    bool Active() const;
    TDataSetState State() const;

    // Data packets.
    QByteArray GetData() const; // the rows in the dataset's field order; an edit in progress is not included
    // Replaces all rows and reopens, or throws and leaves everything (state, rows,
    // cursor, edit buffer) as it was. With persistent fields the packet must carry
    // the same fields (any order, same types and sizes; PacketError names a missing,
    // unknown or different field); without, the dataset takes the packet's fields.
    void SetData(const TDataPacket &packet);
    // The same for rows already read (a query's result): the store's fields are
    // checked against the persistent fields exactly as a packet's are.
    void LoadStore(TRecordStore rows);
    void EmptyDataSet(); // drops every row; ChangeCount back to 0
    void MergeChangeLog();
    // Posted inserts, modifying edits and deletes since the last SetData,
    // CreateDataSet, EmptyDataSet or MergeChangeLog.
    int ChangeCount() const;

    // Cursor.
    void First();
    void Last();
    void Next();
    void Prior();
    bool Eof() const;         // after Next past the last record; always when empty
    bool Bof() const;         // after First, or Prior before the first record
    int RecNo() const;        // 1-based; 0 when there is no current record
    void SetRecNo(int recNo); // locate by index (1-based); DataSetError out of range
    int RecordCount() const;  // posted records
    bool IsEmpty() const;

    // Editing.
    void Edit();   // on an empty dataset: Insert
    void Insert(); // a new record before the current one (at the end when empty)
    void Append();
    void Post();   // no effect in Browse
    void Cancel(); // no effect in Browse
    void Delete(); // while inserting: Cancel

    // The order the rows are kept in: by one field, ascending or descending (an
    // index over the rows, TRecordIndex, applied to the store itself), or, with
    // an empty name, the order they came in. Cursor moves, RecNo and Store() all
    // follow it. It stays set over Close and SetData, each load is put in it
    // before the dataset opens, and a posted edit keeps its row's place.
    // Changing it while open posts or cancels an edit as a cursor move does,
    // keeps the current record current (no AfterScroll) and tells the controls
    // controlsReset. DataSetError when the dataset has no such field.
    void SetIndexField(const QString &fieldName, bool descending = false);
    QString IndexField() const;
    bool IndexDescending() const;

    // Control updates.
    void DisableControls();
    void EnableControls(); // no effect when nothing is disabled
    bool ControlsDisabled() const;

    // Direct cell access for the grid model (no cursor move, no edit buffer).
    const TRecordStore &Store() const;
    int CurrentRow() const; // 0-based row of the current record in Store(); -1 when none (or inserting)

    // Makes `row` the record the fields read (a grid painting or reading a cell),
    // without moving the cursor or emitting anything; -1 returns them to the
    // current record. While editing, the current row still reads the edit buffer.
    // Returns the previous display row.
    int SetDisplayRow(int row);

    // Used by TField.
    const TRecordStore &BufferStore() const; // store holding the record the fields read
    int BufferRow() const;
    // Writes into the edit buffer; DataSetError unless in Edit or Insert state.
    void WriteBuffer(int field, const std::function<void(TRecordStore &, int row)> &write);

signals:
    void AfterOpen(TClientDataSet *dataSet);
    void AfterScroll(TClientDataSet *dataSet);
    void StateChange(TClientDataSet *dataSet);

    void controlsReset();             // everything may have changed
    void controlsRowChanged(int row); // one row's values changed
    void controlsRowInserted(int row);
    void controlsRowRemoved(int row);
    void controlsCurrentChanged(int row); // the cursor moved (-1: none)
    void controlsFieldChanged(int field); // a field of the edit buffer was set

private:
    void arriveAt(int row); // makes `row` current and tells the controls and AfterScroll
    void beginInsert(int at);
    struct Private;
    std::unique_ptr<Private> d;
};
