#include "platform/data/TField.h"

#include <cmath>

#include "platform/data/CivilDate.h"
#include "platform/data/FasError.h"
#include "platform/data/FormatSettings.h"
#include "platform/data/TClientDataSet.h"

namespace {

// Characters (code points) of a QString: a surrogate pair is one character.
qsizetype characterCount(const QString &text)
{
    qsizetype count = text.size();
    for (const QChar c : text)
        count -= c.isLowSurrogate() ? 1 : 0;
    return count;
}

} // namespace

TField::TField(TClientDataSet *dataSet, int index)
    : m_dataSet(dataSet)
    , m_index(index)
{
}

const TFieldDef &TField::Def() const
{
    return m_dataSet->FieldDefs()[m_index];
}

QString TField::FieldName() const
{
    return Def().name;
}

TFieldType TField::DataType() const
{
    return Def().type;
}

int TField::Size() const
{
    return Def().size;
}

QString TField::DisplayLabel() const
{
    const TFieldDef &def = Def();
    return def.displayLabel.isEmpty() ? def.name : def.displayLabel;
}

QString TField::DisplayFormat() const
{
    return Def().displayFormat;
}

bool TField::Visible() const
{
    return Def().visible;
}

bool TField::IsNull() const
{
    return m_dataSet->BufferStore().isNull(m_dataSet->BufferRow(), m_index);
}

QString TField::AsString() const
{
    const TRecordStore &store = m_dataSet->BufferStore();
    const int row = m_dataSet->BufferRow();
    if (store.isNull(row, m_index))
        return QString();
    switch (Def().type) {
    case TFieldType::String:
    case TFieldType::FixedChar: {
        const std::string_view text = store.text(row, m_index);
        return QString::fromUtf8(text.data(), qsizetype(text.size()));
    }
    case TFieldType::DateTime:
        return FormatSettings::dateTimeToString(CivilDate::toQt(store.dateTimeMs(row, m_index)));
    case TFieldType::Float:
        return FormatSettings::floatToString(store.number(row, m_index));
    }
    return QString();
}

QDateTime TField::AsDateTime() const
{
    const TRecordStore &store = m_dataSet->BufferStore();
    const int row = m_dataSet->BufferRow();
    if (store.isNull(row, m_index))
        return CivilDate::toQt(CivilDate::ZeroDateMs);
    switch (Def().type) {
    case TFieldType::DateTime:
        return CivilDate::toQt(store.dateTimeMs(row, m_index));
    case TFieldType::Float: {
        std::int64_t ms = 0;
        if (!CivilDate::fromZeroDateDays(store.number(row, m_index), ms))
            refuse(QStringLiteral("o valor %1 não é uma data válida").arg(AsString()));
        return CivilDate::toQt(ms);
    }
    case TFieldType::String:
    case TFieldType::FixedChar: {
        QDateTime value;
        if (!FormatSettings::stringToDateTime(AsString(), value))
            refuse(QStringLiteral("\"%1\" não é uma data válida").arg(AsString()));
        return value;
    }
    }
    return QDateTime();
}

double TField::AsFloat() const
{
    const TRecordStore &store = m_dataSet->BufferStore();
    const int row = m_dataSet->BufferRow();
    if (store.isNull(row, m_index))
        return 0.0;
    switch (Def().type) {
    case TFieldType::Float:
        return store.number(row, m_index);
    case TFieldType::DateTime:
        return CivilDate::toZeroDateDays(store.dateTimeMs(row, m_index));
    case TFieldType::String:
    case TFieldType::FixedChar: {
        double value = 0.0;
        if (!FormatSettings::stringToFloat(AsString(), value))
            refuse(QStringLiteral("\"%1\" não é um valor numérico válido").arg(AsString()));
        return value;
    }
    }
    return 0.0;
}

QVariant TField::Value() const
{
    if (IsNull())
        return QVariant();
    switch (Def().type) {
    case TFieldType::String:
    case TFieldType::FixedChar:
        return AsString();
    case TFieldType::DateTime:
        return AsDateTime();
    case TFieldType::Float:
        return AsFloat();
    }
    return QVariant();
}

QString TField::DisplayText() const
{
    if (m_onGetText)
        return m_onGetText(*this, true);
    const TFieldDef &def = Def();
    if (def.type == TFieldType::Float && !def.displayFormat.isEmpty()) {
        if (IsNull())
            return QString();
        return FormatSettings::formatFloat(AsFloat(), def.displayFormat);
    }
    return AsString();
}

QString TField::Text() const
{
    if (m_onGetText)
        return m_onGetText(*this, false);
    return AsString();
}

void TField::SetAsString(const QString &text)
{
    const TFieldDef &def = Def();
    switch (def.type) {
    case TFieldType::String:
    case TFieldType::FixedChar: {
        const qsizetype length = characterCount(text);
        if (length > def.size)
            refuse(QStringLiteral("texto com %1 caracteres excede o tamanho %2").arg(length).arg(def.size));
        std::string utf8 = text.toStdString();
        m_dataSet->WriteBuffer(m_index,
                               [this, &utf8](TRecordStore &store, int row) { store.setText(row, m_index, utf8); });
        return;
    }
    case TFieldType::DateTime: {
        if (text.trimmed().isEmpty()) {
            Clear();
            return;
        }
        QDateTime value;
        if (!FormatSettings::stringToDateTime(text, value))
            refuse(QStringLiteral("\"%1\" não é uma data válida").arg(text));
        SetAsDateTime(value);
        return;
    }
    case TFieldType::Float: {
        if (text.trimmed().isEmpty()) {
            Clear();
            return;
        }
        double value = 0.0;
        if (!FormatSettings::stringToFloat(text, value))
            refuse(QStringLiteral("\"%1\" não é um valor numérico válido").arg(text));
        SetAsFloat(value);
        return;
    }
    }
}

void TField::SetAsDateTime(const QDateTime &value)
{
    if (!value.isValid()) {
        Clear();
        return;
    }
    switch (Def().type) {
    case TFieldType::DateTime: {
        // The wall-clock fields as given, whatever zone or offset the value carries.
        const std::int64_t ms = CivilDate::fromQt(value);
        if (!CivilDate::inRange(ms))
            refuse(QStringLiteral("a data está fora do intervalo dos anos 1 a 9999"));
        m_dataSet->WriteBuffer(m_index,
                               [this, ms](TRecordStore &store, int row) { store.setDateTimeMs(row, m_index, ms); });
        return;
    }
    case TFieldType::Float:
        SetAsFloat(CivilDate::toZeroDateDays(CivilDate::fromQt(value)));
        return;
    case TFieldType::String:
    case TFieldType::FixedChar:
        SetAsString(FormatSettings::dateTimeToString(QDateTime(value.date(), value.time(), Qt::UTC)));
        return;
    }
}

void TField::SetAsFloat(double value)
{
    if (!std::isfinite(value))
        refuse(QStringLiteral("o valor não é um número finito"));
    switch (Def().type) {
    case TFieldType::Float:
        m_dataSet->WriteBuffer(m_index,
                               [this, value](TRecordStore &store, int row) { store.setNumber(row, m_index, value); });
        return;
    case TFieldType::DateTime: {
        std::int64_t ms = 0;
        if (!CivilDate::fromZeroDateDays(value, ms))
            refuse(QStringLiteral("o valor %1 não é uma data válida").arg(FormatSettings::floatToString(value)));
        m_dataSet->WriteBuffer(m_index,
                               [this, ms](TRecordStore &store, int row) { store.setDateTimeMs(row, m_index, ms); });
        return;
    }
    case TFieldType::String:
    case TFieldType::FixedChar:
        SetAsString(FormatSettings::floatToString(value));
        return;
    }
}

void TField::SetValue(const QVariant &value)
{
    if (!value.isValid() || value.isNull()) {
        Clear();
        return;
    }
    switch (value.metaType().id()) {
    case QMetaType::QDateTime:
        SetAsDateTime(value.toDateTime());
        return;
    case QMetaType::QDate:
        SetAsDateTime(QDateTime(value.toDate(), QTime(0, 0), Qt::UTC));
        return;
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        if (Def().isText())
            SetAsString(FormatSettings::floatToString(value.toDouble()));
        else
            SetAsFloat(value.toDouble());
        return;
    default:
        break;
    }
    if (!value.canConvert<QString>())
        refuse(QStringLiteral("valor do tipo %1 não pode ser atribuído").arg(QString::fromLatin1(value.typeName())));
    SetAsString(value.toString());
}

void TField::Clear()
{
    m_dataSet->WriteBuffer(m_index, [this](TRecordStore &store, int row) { store.setNull(row, m_index); });
}

void TField::refuse(const QString &why) const
{
    throw DataSetError(QStringLiteral("Campo \"%1\": %2.").arg(FieldName(), why));
}
