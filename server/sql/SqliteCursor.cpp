#include "server/sql/SqliteCursor.h"

#include <string_view>

#include <sqlite3.h>

#include <QLocale>
#include <QSqlError>

#include "server/sql/RowSink.h"
#include "server/sql/SqlFailure.h"

SqliteCursor::SqliteCursor(sqlite3 *db, const QString &sql, const QVariantList &values, const char *context)
    : m_db(db)
    , m_context(context)
{
    const QByteArray text = sql.toUtf8();
    const int prepared = sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &m_statement, nullptr);
    if (prepared != SQLITE_OK)
        fail();
    for (int i = 0; i < values.size(); ++i) {
        const QVariant &value = values.at(i);
        int bound = SQLITE_OK;
        if (value.isNull()) {
            bound = sqlite3_bind_null(m_statement, i + 1);
        } else if (value.typeId() == QMetaType::Int || value.typeId() == QMetaType::LongLong) {
            bound = sqlite3_bind_int64(m_statement, i + 1, value.toLongLong());
        } else {
            const QByteArray utf8 = value.toString().toUtf8();
            bound = sqlite3_bind_text(m_statement, i + 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        }
        if (bound != SQLITE_OK)
            fail();
    }
}

SqliteCursor::~SqliteCursor()
{
    sqlite3_finalize(m_statement);
}

void SqliteCursor::fail()
{
    const QSqlError error(QStringLiteral("Unable to fetch row"), QString::fromUtf8(sqlite3_errmsg(m_db)),
                          QSqlError::StatementError, QString::number(sqlite3_extended_errcode(m_db)));
    sqlite3_finalize(m_statement);
    m_statement = nullptr;
    throw SqlFailure(QString::fromUtf8(m_context), error);
}

bool SqliteCursor::next()
{
    const int stepped = sqlite3_step(m_statement);
    if (stepped == SQLITE_ROW)
        return true;
    if (stepped == SQLITE_DONE)
        return false;
    fail();
}

// A value as the Qt driver hands it over: text as UTF-16 (SQLite's conversion),
// numbers as numbers, which QVariant then writes as text.
QString SqliteCursor::qtText(int column) const
{
    switch (sqlite3_column_type(m_statement, column)) {
    case SQLITE_INTEGER:
        return QString::number(sqlite3_column_int64(m_statement, column));
    case SQLITE_FLOAT:
        return QString::number(sqlite3_column_double(m_statement, column), 'g', QLocale::FloatingPointShortest);
    default:
        return QString(static_cast<const QChar *>(sqlite3_column_text16(m_statement, column)),
                       sqlite3_column_bytes16(m_statement, column) / 2);
    }
}

void SqliteCursor::writeRow(RowSink &writer)
{
    writer.beginRow();
    const int columns = sqlite3_column_count(m_statement);
    for (int c = 0; c < columns; ++c) {
        const int type = sqlite3_column_type(m_statement, c);
        if (type == SQLITE_NULL) {
            writer.putNull();
            continue;
        }
        switch (writer.nextFieldType()) {
        case TFieldType::String:
        case TFieldType::FixedChar:
            if (type == SQLITE_TEXT) {
                const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, c));
                if (writer.putText(std::string_view(text, std::size_t(sqlite3_column_bytes(m_statement, c)))))
                    break;
            }
            writer.putText(qtText(c));
            break;
        case TFieldType::Float:
            if (type == SQLITE_FLOAT || type == SQLITE_INTEGER)
                writer.putNumber(sqlite3_column_double(m_statement, c));
            else
                writer.putNumber(qtText(c).toDouble());
            break;
        case TFieldType::DateTime:
            // A number is no date text: blank, as through the Qt driver.
            if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
                writer.putNull();
            } else {
                const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, c));
                writer.putDateText(std::string_view(text, std::size_t(sqlite3_column_bytes(m_statement, c))));
            }
            break;
        }
    }
    writer.endRow();
}
