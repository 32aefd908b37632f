#include "admin/import/CsvReader.h"

#include <algorithm>

namespace {

bool allEmpty(const QStringList &fields)
{
    return std::all_of(fields.begin(), fields.end(), [](const QString &field) { return field.isEmpty(); });
}

} // namespace

CsvReader::CsvReader(QStringView text, int firstLine)
    : m_text(text)
    , m_line(firstLine)
{
}

bool CsvReader::atLineEnd() const
{
    return m_at >= m_text.size() || m_text[m_at] == u'\n' || m_text[m_at] == u'\r';
}

void CsvReader::skipLineEnd()
{
    if (m_at < m_text.size() && m_text[m_at] == u'\r')
        ++m_at;
    if (m_at < m_text.size() && m_text[m_at] == u'\n')
        ++m_at;
    ++m_line;
}

QString CsvReader::plainField()
{
    const qsizetype start = m_at;
    while (!atLineEnd() && m_text[m_at] != u';')
        ++m_at;
    return m_text.sliced(start, m_at - start).trimmed().toString();
}

// From the opening quote to the separator or line end after the closing one.
QString CsvReader::quotedField(CsvRecord &record)
{
    QString value;
    ++m_at;
    for (;;) {
        if (m_at >= m_text.size()) {
            record.error = QStringLiteral("aspas abertas e não fechadas até o fim do arquivo");
            return value;
        }
        const QChar c = m_text[m_at++];
        if (c == u'\n')
            ++m_line;
        if (c == u'\r' && m_at < m_text.size() && m_text[m_at] == u'\n')
            continue; // a line break inside a cell is kept as LF
        if (c != u'"') {
            value += c;
        } else if (m_at < m_text.size() && m_text[m_at] == u'"') {
            value += c;
            ++m_at;
        } else {
            break;
        }
    }
    const QString rest = plainField();
    if (!rest.isEmpty() && record.error.isEmpty())
        record.error = QStringLiteral("texto \"%1\" depois das aspas que fecham um campo").arg(rest);
    return value.trimmed();
}

bool CsvReader::next(CsvRecord &record)
{
    while (m_at < m_text.size()) {
        const qsizetype expected = record.fields.size();
        record = CsvRecord();
        record.fields.reserve(expected);
        record.line = m_line;
        for (;;) {
            while (m_at < m_text.size() && (m_text[m_at] == u' ' || m_text[m_at] == u'\t'))
                ++m_at;
            const bool quoted = m_at < m_text.size() && m_text[m_at] == u'"';
            record.fields << (quoted ? quotedField(record) : plainField());
            if (atLineEnd())
                break;
            ++m_at; // the ';'
        }
        skipLineEnd();
        if (!allEmpty(record.fields) || !record.error.isEmpty())
            return true;
    }
    return false;
}
