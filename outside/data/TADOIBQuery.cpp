#include "outside/data/TADOIBQuery.h"

#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

#include "platform/data/FasError.h"
#include "outside/data/TdtmDBGeral.h"

struct TADOIBQuery::Prepared
{
    QString text;
    QString connectionName;
    QSqlQuery query;
};

namespace {

TFieldType typeOf(const QMetaType &type)
{
    switch (type.id()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return TFieldType::Float;
    case QMetaType::QDate:
    case QMetaType::QDateTime:
        return TFieldType::DateTime;
    default:
        return TFieldType::String;
    }
}

// Dates from the database as wall-clock values without a zone.
std::int64_t wallClockMs(const QVariant &value)
{
    QDateTime dateTime;
    if (value.typeId() == QMetaType::QDate) {
        dateTime = QDateTime(value.toDate(), QTime(0, 0), Qt::UTC);
    } else if (value.typeId() == QMetaType::QDateTime) {
        const QDateTime read = value.toDateTime();
        dateTime = QDateTime(read.date(), read.time(), Qt::UTC);
    } else {
        // Text as SQLite keeps it: ISO date or date-time.
        const QString text = value.toString();
        dateTime = QDateTime::fromString(text, Qt::ISODateWithMs);
        if (!dateTime.isValid())
            dateTime = QDateTime(QDate::fromString(text.left(10), Qt::ISODate), QTime(0, 0));
        dateTime = QDateTime(dateTime.date(), dateTime.time(), Qt::UTC);
    }
    return dateTime.isValid() ? dateTime.toMSecsSinceEpoch() : 0;
}

QString tableNameOf(const QString &text)
{
    const qsizetype from = text.indexOf(QLatin1String("FROM"), 0, Qt::CaseInsensitive);
    if (from < 0)
        return {};
    return text.mid(from + 4).simplified().section(QLatin1Char(' '), 0, 0);
}

} // namespace

TADOIBQuery::TADOIBQuery(QObject *parent)
    : TClientDataSet(parent)
{
}

TADOIBQuery::~TADOIBQuery() = default;

void TADOIBQuery::SetConnection(TDBConnectionComponent *connection)
{
    m_connection = connection;
    m_prepared.reset();
}

TParam &TADOIBQuery::ParamByName(const QString &name)
{
    TParam &param = m_params[name.toUpper()];
    param.Name = name;
    return param;
}

QString TADOIBQuery::ActiveSQL() const
{
    const TdtmDBGeral *module = m_connection ? m_connection->Module() : dtmDBGeral();
    const TdtmDBGeral::Dialect dialect = module ? module->DatabaseDialect() : TdtmDBGeral::Dialect::Other;
    if (dialect == TdtmDBGeral::Dialect::Oracle && !SQL_ORACLE.isEmpty())
        return SQL_ORACLE.join(QLatin1Char('\n'));
    if (dialect == TdtmDBGeral::Dialect::InterBase && !SQL_IB.isEmpty())
        return SQL_IB.join(QLatin1Char('\n'));
    return SQL.join(QLatin1Char('\n'));
}

void TADOIBQuery::Open()
{
    if (Active())
        return;
    TdtmDBGeral *module = m_connection ? m_connection->Module() : dtmDBGeral();
    const QString text = ActiveSQL();
    const QString table = tableNameOf(text);
    const auto failure = [&](const QString &reason) {
        return FasError(QStringLiteral("Não foi possível consultar %1 no banco de dados %2: %3")
                            .arg(table.isEmpty() ? objectName() : table,
                                 module ? module->DisplayName() : QStringLiteral("(sem conexão)"), reason));
    };
    if (!module || !module->Connected())
        throw failure(QStringLiteral("o banco de dados não está conectado."));

    const QString connectionName = module->Database().connectionName();
    if (!m_prepared || m_prepared->text != text || m_prepared->connectionName != connectionName) {
        auto prepared = std::make_unique<Prepared>();
        prepared->text = text;
        prepared->connectionName = connectionName;
        prepared->query = QSqlQuery(module->Database());
        prepared->query.setForwardOnly(true);
        if (!prepared->query.prepare(text))
            throw failure(prepared->query.lastError().text());
        m_prepared = std::move(prepared);
    }
    QSqlQuery &query = m_prepared->query;
    for (auto it = m_params.cbegin(); it != m_params.cend(); ++it)
        query.bindValue(QLatin1Char(':') + it->Name, it->Value);
    if (!query.exec())
        throw failure(query.lastError().text());

    const QSqlRecord record = query.record();
    TFieldDefs defs = FieldDefs();
    if (defs.isEmpty()) {
        for (int i = 0; i < record.count(); ++i) {
            TFieldDef def;
            def.name = record.fieldName(i).toUpper();
            def.type = typeOf(record.field(i).metaType());
            def.size = def.type == TFieldType::String ? std::max(record.field(i).length(), 255) : 0;
            defs.append(def);
        }
    }
    QList<int> columnOf;
    for (const TFieldDef &def : std::as_const(defs)) {
        const int column = record.indexOf(def.name);
        if (column < 0)
            throw failure(QStringLiteral("a consulta não devolveu a coluna %1.").arg(def.name));
        columnOf.append(column);
    }

    TRecordStore rows(defs);
    while (query.next()) {
        const int row = rows.appendRow();
        for (int field = 0; field < defs.size(); ++field) {
            const QVariant value = query.value(columnOf[field]);
            if (value.isNull())
                continue;
            switch (defs[field].type) {
            case TFieldType::Float:
                rows.setNumber(row, field, value.toDouble());
                break;
            case TFieldType::DateTime:
                rows.setDateTimeMs(row, field, wallClockMs(value));
                break;
            default:
                rows.setText(row, field, value.toString().toStdString());
                break;
            }
        }
    }
    query.finish();
    LoadStore(std::move(rows));
}

void TADOIBQuery::Close()
{
    TClientDataSet::Close();
}
