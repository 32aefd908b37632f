#include "server/sql/PgCursor.h"

#include <charconv>
#include <limits>
#include <string>
#include <string_view>

#include <libpq-fe.h>

#include <QLocale>
#include <QSqlError>

#include "server/sql/RowSink.h"
#include "server/sql/SqlFailure.h"

namespace {

// Type oids of pg_type for the values that reach a text field as numbers.
constexpr Oid Float4Oid = 700;
constexpr Oid Float8Oid = 701;
constexpr Oid NumericOid = 1700;

double toDouble(std::string_view text)
{
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec == std::errc::result_out_of_range)
        return text.starts_with('-') ? -std::numeric_limits<double>::infinity()
                                     : std::numeric_limits<double>::infinity();
    return result.ec == std::errc() ? value : QString::fromUtf8(text.data(), qsizetype(text.size())).toDouble();
}

} // namespace

QByteArray PgCursor::numberedPlaceholders(const QString &sql)
{
    const QByteArray in = sql.toUtf8();
    QByteArray out;
    out.reserve(in.size() + 32);
    char quote = 0;
    int number = 0;
    for (const char c : in) {
        if (quote) {
            quote = c == quote ? 0 : quote;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '?') {
            out += '$' + QByteArray::number(++number);
            continue;
        }
        out += c;
    }
    return out;
}

PgCursor::PgCursor(pg_conn *connection, const QString &sql, const QVariantList &values, const char *context)
    : m_connection(connection)
    , m_context(context)
{
    std::vector<std::string> texts;
    texts.reserve(std::size_t(values.size()));
    std::vector<const char *> pointers;
    for (const QVariant &value : values) {
        texts.push_back(value.toString().toStdString());
        pointers.push_back(value.isNull() ? nullptr : texts.back().c_str());
    }
    // The Qt driver reads forward-only results in single-row mode and leaves the
    // end of the last one on the connection until its next query: read it off, or
    // libpq refuses a new query while another is in progress.
    while (PGresult *rest = PQgetResult(m_connection))
        PQclear(rest);
    const QByteArray text = numberedPlaceholders(sql);
    if (!PQsendQueryParams(m_connection, text.constData(), int(pointers.size()), nullptr, pointers.data(), nullptr,
                           nullptr, 0))
        fail(nullptr);
    m_running = true;
    PQsetSingleRowMode(m_connection);
}

PgCursor::~PgCursor()
{
    PQclear(m_row);
    if (!m_running)
        return;
    if (PGcancel *cancel = PQgetCancel(m_connection)) {
        char message[256];
        PQcancel(cancel, message, sizeof message);
        PQfreeCancel(cancel);
    }
    drain();
}

void PgCursor::drain()
{
    while (PGresult *rest = PQgetResult(m_connection))
        PQclear(rest);
    m_running = false;
}

void PgCursor::fail(pg_result *result)
{
    const char *state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const QString code = state ? QString::fromLatin1(state) : QString();
    const QString message = QString::fromUtf8(result ? PQresultErrorMessage(result) : PQerrorMessage(m_connection));
    PQclear(result);
    drain();
    const bool lost = PQstatus(m_connection) == CONNECTION_BAD;
    const QSqlError error(QStringLiteral("Unable to fetch row"), message.trimmed(),
                          lost ? QSqlError::ConnectionError : QSqlError::StatementError, code);
    throw SqlFailure(QString::fromUtf8(m_context), error);
}

bool PgCursor::next()
{
    PQclear(m_row);
    m_row = nullptr;
    if (!m_running)
        return false;
    PGresult *result = PQgetResult(m_connection);
    if (!result) {
        m_running = false;
        return false;
    }
    switch (PQresultStatus(result)) {
    case PGRES_SINGLE_TUPLE:
        m_row = result;
        return true;
    case PGRES_TUPLES_OK:
    case PGRES_COMMAND_OK:
        PQclear(result);
        drain();
        return false;
    default:
        fail(result);
    }
}

void PgCursor::writeRow(RowSink &writer)
{
    writer.beginRow();
    const int columns = PQnfields(m_row);
    for (int c = 0; c < columns; ++c) {
        if (PQgetisnull(m_row, 0, c)) {
            writer.putNull();
            continue;
        }
        const std::string_view text(PQgetvalue(m_row, 0, c), std::size_t(PQgetlength(m_row, 0, c)));
        switch (writer.nextFieldType()) {
        case TFieldType::String:
        case TFieldType::FixedChar: {
            const Oid type = PQftype(m_row, c);
            if (type == Float4Oid || type == Float8Oid || type == NumericOid)
                writer.putText(QString::number(toDouble(text), 'g', QLocale::FloatingPointShortest));
            else if (!writer.putText(text))
                writer.putText(QString::fromUtf8(text.data(), qsizetype(text.size())));
            break;
        }
        case TFieldType::Float:
            writer.putNumber(toDouble(text));
            break;
        case TFieldType::DateTime:
            writer.putDateText(text);
            break;
        }
    }
    writer.endRow();
}
