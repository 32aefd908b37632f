#include "platform/data/TClientDataSet.h"

#include <numeric>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "platform/data/DataPacket.h"
#include "platform/data/FasError.h"
#include "platform/data/TRecordIndex.h"

namespace {

[[noreturn]] void notAllowed(const QString &why)
{
    throw DataSetError(QStringLiteral("Operação não permitida: %1.").arg(why));
}

QString shapeText(const TFieldDef &def)
{
    switch (def.type) {
    case TFieldType::String:
        return QStringLiteral("texto de %1 caracteres").arg(def.size);
    case TFieldType::FixedChar:
        return QStringLiteral("texto fixo de %1 caracteres").arg(def.size);
    case TFieldType::DateTime:
        return QStringLiteral("data e hora");
    case TFieldType::Float:
        return QStringLiteral("número");
    }
    return QString();
}

} // namespace

struct TClientDataSet::Private
{
    TFieldDefs defs;
    std::vector<std::unique_ptr<TField>> fields;
    bool persistent = false; // fields set by the program, not taken from a packet

    TRecordStore store;
    TRecordStore buffer;       // one row while editing or inserting
    std::vector<bool> written; // fields of the buffer set since Edit
    TDataSetState state = TDataSetState::Inactive;
    int current = -1;
    bool bof = true;
    bool eof = true;
    int insertAt = -1; // where the inserted record goes on Post
    int rowBeforeInsert = -1;
    bool modified = false; // a field of the buffer was set
    int changeCount = 0;
    int disableCount = 0;
    int displayRow = -1;
    QString indexField; // empty: the rows in the order they came in
    bool indexDescending = false;
    std::vector<int> loadOrder; // per row, its place in the order the rows came in

    void resetLoadOrder()
    {
        loadOrder.resize(std::size_t(store.rowCount()));
        std::iota(loadOrder.begin(), loadOrder.end(), 0);
    }
    // Puts the rows in the index's order; returns the order applied (row i
    // now is row order[i] before).
    std::vector<int> applyIndex()
    {
        const std::vector<int> order = indexField.isEmpty()
                                           ? TRecordIndex::Inverse(loadOrder)
                                           : TRecordIndex::Build(store, store.indexOf(indexField), indexDescending);
        store.permuteRows(order);
        std::vector<int> places(order.size());
        for (std::size_t row = 0; row < order.size(); ++row)
            places[row] = loadOrder[std::size_t(order[row])];
        loadOrder.swap(places);
        return order;
    }

    bool editing() const { return state == TDataSetState::Edit || state == TDataSetState::Insert; }

    // The edit buffer for Edit: kept from one edit to the next while the fields
    // stay the same, so that a pass editing thousands of rows allocates nothing
    // per row.
    void prepareEditBuffer()
    {
        if (buffer.rowCount() != 1 || buffer.defs().constData() != defs.constData()) {
            buffer = TRecordStore(defs);
            buffer.appendRow();
        }
        written.assign(std::size_t(defs.size()), false);
    }
    // Post of an edit writes back only the fields that were set: the others
    // still hold what the row holds.
    void postEditBuffer()
    {
        for (int f = 0; f < int(written.size()); ++f) {
            if (written[std::size_t(f)])
                store.copyCell(current, f, buffer, 0);
        }
    }
};

TClientDataSet::TClientDataSet(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
}

TClientDataSet::~TClientDataSet() = default;

// ---------------------------------------------------------------------------
// Fields

namespace {

void checkDef(const TFieldDef &def, const TFieldDefs &others)
{
    if (def.name.isEmpty())
        throw DataSetError(QStringLiteral("Definição de campo inválida: o campo não tem nome."));
    if (def.isText() && def.size < 1)
        throw DataSetError(QStringLiteral("Definição de campo inválida: o campo de texto \"%1\" tem tamanho %2.")
                               .arg(def.name)
                               .arg(def.size));
    for (const TFieldDef &other : others) {
        if (other.name.compare(def.name, Qt::CaseInsensitive) == 0)
            throw DataSetError(
                QStringLiteral("Definição de campo inválida: o campo \"%1\" aparece mais de uma vez.").arg(def.name));
    }
}

TFieldDef normalized(TFieldDef def)
{
    if (!def.isText())
        def.size = 0;
    return def;
}

} // namespace

void TClientDataSet::SetFieldDefs(const TFieldDefs &defs)
{
    if (Active())
        notAllowed(QStringLiteral("feche o conjunto de dados antes de mudar seus campos"));
    TFieldDefs checked;
    for (const TFieldDef &def : defs) {
        checkDef(def, checked);
        checked.append(normalized(def));
    }
    d->defs = checked;
    d->fields.clear();
    for (int i = 0; i < int(d->defs.size()); ++i)
        d->fields.push_back(std::make_unique<TField>(this, i));
    d->persistent = true;
    d->store = TRecordStore(d->defs);
}

void TClientDataSet::AddFieldDef(const TFieldDef &def)
{
    if (Active())
        notAllowed(QStringLiteral("feche o conjunto de dados antes de mudar seus campos"));
    checkDef(def, d->defs);
    d->defs.append(normalized(def));
    d->fields.push_back(std::make_unique<TField>(this, int(d->defs.size()) - 1));
    d->persistent = true;
    d->store = TRecordStore(d->defs);
}

const TFieldDefs &TClientDataSet::FieldDefs() const
{
    return d->defs;
}

int TClientDataSet::FieldCount() const
{
    return int(d->fields.size());
}

TField *TClientDataSet::Fields(int index) const
{
    if (index < 0 || index >= FieldCount())
        return nullptr;
    return d->fields[std::size_t(index)].get();
}

TField *TClientDataSet::FieldByName(const QString &name) const
{
    TField *field = FindField(name);
    if (!field)
        throw DataSetError(QStringLiteral("Campo \"%1\" não encontrado.").arg(name));
    return field;
}

TField *TClientDataSet::FindField(const QString &name) const
{
    // Read through a const reference: the edit buffer shares the list, and a
    // non-const access would copy it.
    const TFieldDefs &defs = d->defs;
    for (int i = 0; i < int(defs.size()); ++i) {
        if (defs[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return d->fields[std::size_t(i)].get();
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// Opening and closing

namespace {

void checkActive(const TClientDataSet *dataSet)
{
    if (!dataSet->Active())
        notAllowed(QStringLiteral("o conjunto de dados está fechado"));
}

} // namespace

void TClientDataSet::CreateDataSet()
{
    if (d->defs.isEmpty())
        notAllowed(QStringLiteral("o conjunto de dados não tem campos definidos"));
    Close();
    d->store = TRecordStore(d->defs);
    Open();
}

void TClientDataSet::Open()
{
    if (Active())
        return;
    if (d->defs.isEmpty())
        notAllowed(QStringLiteral("o conjunto de dados não tem campos definidos"));
    if (d->store.fieldCount() != int(d->defs.size()))
        d->store = TRecordStore(d->defs);
    d->resetLoadOrder();
    if (!d->indexField.isEmpty())
        d->applyIndex();
    d->state = TDataSetState::Browse;
    d->current = d->store.rowCount() > 0 ? 0 : -1;
    d->bof = true;
    d->eof = d->store.rowCount() == 0;
    d->changeCount = 0;
    d->displayRow = -1;
    emit StateChange(this);
    if (d->disableCount == 0)
        emit controlsReset();
    emit AfterOpen(this);
    if (d->current >= 0)
        emit AfterScroll(this);
}

void TClientDataSet::Close()
{
    if (!Active())
        return;
    d->state = TDataSetState::Inactive;
    d->store.clear();
    d->loadOrder.clear();
    d->buffer = TRecordStore();
    d->current = -1;
    d->bof = d->eof = true;
    d->modified = false;
    d->changeCount = 0;
    d->displayRow = -1;
    emit StateChange(this);
    if (d->disableCount == 0)
        emit controlsReset();
}

bool TClientDataSet::Active() const
{
    return d->state != TDataSetState::Inactive;
}

TDataSetState TClientDataSet::State() const
{
    return d->state;
}

// ---------------------------------------------------------------------------
// Data packets

QByteArray TClientDataSet::GetData() const
{
    checkActive(this);
    return DataPacket::encode(d->store);
}

namespace {

// The rows a large load replaced go back to the system at once, so that each
// reload of a large preview does not leave the heap at its high-water mark.
void returnFreedMemory(int rowsFreed)
{
#ifdef __GLIBC__
    constexpr int LargeLoadRows = 10000;
    if (rowsFreed >= LargeLoadRows)
        malloc_trim(0);
#else
    Q_UNUSED(rowsFreed);
#endif
}

} // namespace

void TClientDataSet::SetData(const TDataPacket &packet)
{
    LoadStore(packet.decode());
}

void TClientDataSet::LoadStore(TRecordStore incoming)
{
    // Everything that can fail happens before the dataset is touched.
    TFieldDefs newDefs;
    const bool keepFields = d->persistent;
    if (keepFields) {
        std::vector<int> sourceColumn;
        sourceColumn.reserve(std::size_t(d->defs.size()));
        for (const TFieldDef &def : std::as_const(d->defs)) {
            const int at = incoming.indexOf(def.name);
            if (at < 0)
                throw PacketError(QStringLiteral("Pacote de dados inválido: falta o campo \"%1\".").arg(def.name));
            const TFieldDef &got = incoming.defs()[at];
            if (got.type != def.type || got.size != def.size)
                throw PacketError(
                    QStringLiteral("Pacote de dados inválido: o campo \"%1\" é %2 no pacote e %3 no conjunto de dados.")
                        .arg(def.name, shapeText(got), shapeText(def)));
            sourceColumn.push_back(at);
        }
        for (const TFieldDef &got : incoming.defs()) {
            if (!FindField(got.name))
                throw PacketError(
                    QStringLiteral("Pacote de dados inválido: o campo \"%1\" não existe no conjunto de dados.")
                        .arg(got.name));
        }
        incoming = std::move(incoming).reordered(d->defs, sourceColumn);
    }
    // Fields taken from a packet stay the same objects while the packet's fields
    // keep their names and shapes; otherwise new ones are made here, before the
    // dataset changes.
    std::vector<std::unique_ptr<TField>> newFields;
    bool replaceFields = false;
    if (!keepFields) {
        const TFieldDefs &defs = incoming.defs();
        replaceFields = defs.size() != d->defs.size();
        for (qsizetype i = 0; !replaceFields && i < defs.size(); ++i)
            replaceFields = !defs[i].sameShape(std::as_const(d->defs)[i])
                            || defs[i].name != std::as_const(d->defs)[i].name;
        if (replaceFields) {
            newDefs = defs;
            for (int i = 0; i < int(newDefs.size()); ++i)
                newFields.push_back(std::make_unique<TField>(this, i));
        }
    }

    const bool wasActive = Active();
    if (wasActive) {
        d->state = TDataSetState::Inactive;
        emit StateChange(this);
    }
    if (replaceFields) {
        d->defs.swap(newDefs);
        d->fields.swap(newFields);
    }
    const int rowsBefore = d->store.rowCount();
    d->store = std::move(incoming);
    d->buffer = TRecordStore();
    d->modified = false;
    returnFreedMemory(rowsBefore);
    Open();
}

void TClientDataSet::EmptyDataSet()
{
    checkActive(this);
    const bool wasEditing = d->editing();
    d->state = TDataSetState::Browse;
    d->store.clear();
    d->loadOrder.clear();
    d->buffer = TRecordStore();
    d->modified = false;
    d->current = -1;
    d->bof = d->eof = true;
    d->changeCount = 0;
    if (wasEditing)
        emit StateChange(this);
    if (d->disableCount == 0)
        emit controlsReset();
}

void TClientDataSet::MergeChangeLog()
{
    checkActive(this);
    d->changeCount = 0;
}

int TClientDataSet::ChangeCount() const
{
    return d->changeCount;
}

// ---------------------------------------------------------------------------
// Cursor

namespace {

// Leaves Edit or Insert before the cursor moves: posts what was set, drops an
// untouched buffer.
void checkBrowseMode(TClientDataSet *dataSet, bool modified)
{
    if (dataSet->State() != TDataSetState::Edit && dataSet->State() != TDataSetState::Insert)
        return;
    if (modified)
        dataSet->Post();
    else
        dataSet->Cancel();
}

} // namespace

void TClientDataSet::First()
{
    checkActive(this);
    checkBrowseMode(this, d->modified);
    const int rows = d->store.rowCount();
    d->bof = true;
    d->eof = rows == 0;
    arriveAt(rows > 0 ? 0 : -1);
}

void TClientDataSet::Last()
{
    checkActive(this);
    checkBrowseMode(this, d->modified);
    const int rows = d->store.rowCount();
    d->eof = true;
    d->bof = rows == 0;
    arriveAt(rows - 1);
}

void TClientDataSet::Next()
{
    checkActive(this);
    checkBrowseMode(this, d->modified);
    const int rows = d->store.rowCount();
    if (d->current + 1 >= rows) {
        d->eof = true;
        d->bof = rows == 0;
        return;
    }
    d->bof = d->eof = false;
    arriveAt(d->current + 1);
}

void TClientDataSet::Prior()
{
    checkActive(this);
    checkBrowseMode(this, d->modified);
    const int rows = d->store.rowCount();
    if (d->current <= 0) {
        d->bof = true;
        d->eof = rows == 0;
        return;
    }
    d->bof = d->eof = false;
    arriveAt(d->current - 1);
}

bool TClientDataSet::Eof() const
{
    return !Active() || d->eof;
}

bool TClientDataSet::Bof() const
{
    return !Active() || d->bof;
}

int TClientDataSet::RecNo() const
{
    if (!Active())
        return 0;
    if (d->state == TDataSetState::Insert)
        return d->insertAt + 1;
    return d->current + 1;
}

void TClientDataSet::SetRecNo(int recNo)
{
    checkActive(this);
    checkBrowseMode(this, d->modified);
    const int rows = d->store.rowCount();
    if (recNo < 1 || recNo > rows)
        throw DataSetError(
            QStringLiteral("Registro %1 inexistente: o conjunto de dados tem %2 registro(s).").arg(recNo).arg(rows));
    d->bof = d->eof = false;
    arriveAt(recNo - 1);
}

void TClientDataSet::arriveAt(int row)
{
    // A move that ends where it started is no move: nothing is told.
    if (row == d->current)
        return;
    d->current = row;
    if (d->disableCount == 0)
        emit controlsCurrentChanged(row);
    if (row >= 0)
        emit AfterScroll(this);
}

int TClientDataSet::RecordCount() const
{
    return Active() ? d->store.rowCount() : 0;
}

bool TClientDataSet::IsEmpty() const
{
    return RecordCount() == 0;
}

// ---------------------------------------------------------------------------
// Editing

void TClientDataSet::Edit()
{
    checkActive(this);
    if (d->editing())
        return;
    if (d->current < 0) {
        Insert();
        return;
    }
    d->prepareEditBuffer();
    d->buffer.copyRow(0, d->store, d->current);
    d->modified = false;
    d->state = TDataSetState::Edit;
    emit StateChange(this);
}

void TClientDataSet::Insert()
{
    checkActive(this);
    checkBrowseMode(this, d->modified);
    beginInsert(d->current < 0 ? 0 : d->current);
}

void TClientDataSet::Append()
{
    checkActive(this);
    checkBrowseMode(this, d->modified);
    beginInsert(d->store.rowCount());
}

void TClientDataSet::beginInsert(int at)
{
    // The new record lives in the edit buffer until Post puts it at `at`.
    d->rowBeforeInsert = d->current;
    d->insertAt = at;
    d->buffer = TRecordStore(d->defs);
    d->buffer.appendRow();
    d->modified = false;
    d->state = TDataSetState::Insert;
    d->bof = d->eof = false;
    emit StateChange(this);
    if (d->disableCount == 0)
        emit controlsCurrentChanged(-1);
    emit AfterScroll(this);
}

void TClientDataSet::Post()
{
    checkActive(this);
    if (d->state == TDataSetState::Edit) {
        const bool modified = d->modified;
        if (modified) {
            d->postEditBuffer();
            ++d->changeCount;
        }
        d->modified = false;
        d->state = TDataSetState::Browse;
        emit StateChange(this);
        if (modified && d->disableCount == 0)
            emit controlsRowChanged(d->current);
    } else if (d->state == TDataSetState::Insert) {
        const int row = d->insertAt;
        d->store.insertRow(row);
        d->store.copyRow(row, d->buffer, 0);
        d->loadOrder.insert(d->loadOrder.begin() + row, d->store.rowCount() - 1); // came in last
        ++d->changeCount;
        d->current = row;
        d->buffer = TRecordStore();
        d->modified = false;
        d->state = TDataSetState::Browse;
        emit StateChange(this);
        if (d->disableCount == 0) {
            emit controlsRowInserted(row);
            emit controlsCurrentChanged(row);
        }
    }
}

void TClientDataSet::Cancel()
{
    checkActive(this);
    if (d->state == TDataSetState::Edit) {
        const bool modified = d->modified;
        d->modified = false;
        d->state = TDataSetState::Browse;
        emit StateChange(this);
        if (modified && d->disableCount == 0)
            emit controlsRowChanged(d->current); // controls showed the buffer's values
    } else if (d->state == TDataSetState::Insert) {
        d->buffer = TRecordStore();
        d->modified = false;
        d->state = TDataSetState::Browse;
        d->current = d->rowBeforeInsert;
        d->bof = d->current <= 0;
        d->eof = d->store.rowCount() == 0;
        emit StateChange(this);
        if (d->disableCount == 0)
            emit controlsCurrentChanged(d->current);
        if (d->current >= 0)
            emit AfterScroll(this);
    }
}

void TClientDataSet::Delete()
{
    checkActive(this);
    if (d->state == TDataSetState::Insert) {
        Cancel();
        return;
    }
    if (d->current < 0)
        notAllowed(QStringLiteral("não há registro para excluir"));
    if (d->state == TDataSetState::Edit) {
        d->buffer = TRecordStore();
        d->modified = false;
        d->state = TDataSetState::Browse;
        emit StateChange(this);
    }
    const int row = d->current;
    d->store.removeRow(row);
    const int place = d->loadOrder[std::size_t(row)];
    d->loadOrder.erase(d->loadOrder.begin() + row);
    for (int &later : d->loadOrder)
        later -= later > place ? 1 : 0;
    ++d->changeCount;
    const int rows = d->store.rowCount();
    d->current = row < rows ? row : rows - 1;
    d->bof = d->eof = rows == 0;
    if (d->disableCount == 0) {
        emit controlsRowRemoved(row);
        emit controlsCurrentChanged(d->current);
    }
    if (d->current >= 0)
        emit AfterScroll(this);
}

// ---------------------------------------------------------------------------
// Index

void TClientDataSet::SetIndexField(const QString &fieldName, bool descending)
{
    if (!fieldName.isEmpty())
        FieldByName(fieldName); // a field the dataset has
    if (Active())
        checkBrowseMode(this, d->modified);
    d->indexField = fieldName.isEmpty() ? QString() : FieldByName(fieldName)->FieldName();
    d->indexDescending = descending && !fieldName.isEmpty();
    if (!Active())
        return;
    const std::vector<int> order = d->applyIndex();
    if (d->current >= 0)
        d->current = TRecordIndex::Inverse(order)[std::size_t(d->current)];
    if (d->disableCount == 0)
        emit controlsReset();
}

QString TClientDataSet::IndexField() const
{
    return d->indexField;
}

bool TClientDataSet::IndexDescending() const
{
    return d->indexDescending;
}

// ---------------------------------------------------------------------------
// Control updates

void TClientDataSet::DisableControls()
{
    ++d->disableCount;
}

void TClientDataSet::EnableControls()
{
    if (d->disableCount == 0)
        return;
    if (--d->disableCount == 0)
        emit controlsReset();
}

bool TClientDataSet::ControlsDisabled() const
{
    return d->disableCount > 0;
}

// ---------------------------------------------------------------------------
// Cell access

const TRecordStore &TClientDataSet::Store() const
{
    return d->store;
}

int TClientDataSet::CurrentRow() const
{
    return d->state == TDataSetState::Insert ? -1 : d->current;
}

int TClientDataSet::SetDisplayRow(int row)
{
    const int previous = d->displayRow;
    d->displayRow = row < 0 ? -1 : row;
    return previous;
}

const TRecordStore &TClientDataSet::BufferStore() const
{
    if (d->displayRow >= 0 && !(d->state == TDataSetState::Edit && d->displayRow == d->current))
        return d->store;
    return d->editing() ? d->buffer : d->store;
}

int TClientDataSet::BufferRow() const
{
    if (d->displayRow >= 0 && !(d->state == TDataSetState::Edit && d->displayRow == d->current))
        return d->displayRow;
    return d->editing() ? 0 : d->current;
}

void TClientDataSet::WriteBuffer(int field, const std::function<void(TRecordStore &, int row)> &write)
{
    if (!d->editing())
        notAllowed(QStringLiteral("o conjunto de dados não está em edição ou inclusão"));
    if (field < 0 || field >= FieldCount())
        notAllowed(QStringLiteral("campo %1 inexistente").arg(field));
    write(d->buffer, 0);
    if (std::size_t(field) < d->written.size())
        d->written[std::size_t(field)] = true;
    d->modified = true;
    if (d->disableCount == 0)
        emit controlsFieldChanged(field);
}
