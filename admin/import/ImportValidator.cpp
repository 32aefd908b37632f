#include "admin/import/ImportValidator.h"

#include "admin/import/ImportValue.h"

ImportValidator::ImportValidator(const ImportLayout &layout)
    : m_layout(layout)
    , m_keys(size_t(layout.targets.size()))
    , m_firstRows(size_t(layout.targets.size()))
{
    m_batch.targets.resize(size_t(layout.targets.size()));
    for (const ImportTarget &target : layout.targets) {
        std::vector<int> columns;
        for (const QString &name : target.columns)
            columns.push_back(layout.columnIndex(name));
        m_targetColumns.push_back(columns);
        std::vector<int> key;
        for (const QString &name : target.key)
            key.push_back(int(target.columns.indexOf(name)));
        m_keyColumns.push_back(key);
    }
}

void ImportValidator::problem(int line, const QString &column, const QString &reason)
{
    m_problems.append({line, column, reason});
}

void ImportValidator::read(QStringView text)
{
    CsvReader reader(text, m_line);
    CsvRecord record;
    if (!m_header && !m_stopped && reader.next(record)) {
        m_header = true;
        m_stopped = !checkHeader(record);
    }
    while (!m_stopped && reader.next(record)) {
        ++m_lines;
        readLine(record);
    }
    m_line = reader.line();
}

void ImportValidator::finish()
{
    if (!m_header)
        problem(0, {},
                QStringLiteral("O arquivo está vazio; a primeira linha deve ser o cabeçalho %1.")
                    .arg(m_layout.header().join(u';')));
}

ImportBatch ImportValidator::takeRows()
{
    ImportBatch rows = std::move(m_batch);
    m_batch = ImportBatch();
    m_batch.targets.resize(size_t(m_layout.targets.size()));
    rows.lines = m_lines;
    return rows;
}

bool ImportValidator::checkHeader(const CsvRecord &record)
{
    const QStringList expected = m_layout.header();
    const QString wanted = QStringLiteral("o cabeçalho de %1 é %2").arg(m_layout.keyword, expected.join(u';'));
    if (record.fields.size() == 1 && record.fields.first().contains(u',')) {
        problem(record.line, {},
                QStringLiteral("as colunas estão separadas por vírgula; salve o arquivo como CSV "
                               "separado por ponto e vírgula (;); %1")
                    .arg(wanted));
        return false;
    }
    for (qsizetype i = 0; i < qMin(record.fields.size(), expected.size()); ++i) {
        if (record.fields.at(i).compare(expected.at(i), Qt::CaseInsensitive) != 0) {
            problem(record.line, {},
                    QStringLiteral("cabeçalho errado: a coluna %1 é \"%2\" e deveria ser \"%3\"; %4")
                        .arg(i + 1)
                        .arg(record.fields.at(i), expected.at(i), wanted));
            return false;
        }
    }
    if (record.fields.size() != expected.size()) {
        const QString optional =
            m_layout.shortestHeader > 0
                ? QStringLiteral(" (ou as %1 primeiras, sem as colunas da NFS-e)").arg(m_layout.shortestHeader)
                : QString();
        problem(record.line, {},
                QStringLiteral("cabeçalho errado: tem %1 colunas e deveria ter %2%3; %4")
                    .arg(record.fields.size())
                    .arg(expected.size())
                    .arg(optional, wanted));
        return false;
    }
    return true;
}

void ImportValidator::readLine(const CsvRecord &record)
{
    if (!record.error.isEmpty()) {
        problem(record.line, {}, record.error);
        return;
    }
    if (record.fields.size() != m_layout.columns.size()) {
        problem(record.line, {},
                QStringLiteral("a linha tem %1 colunas e o cabeçalho tem %2 (confira os ';' e as "
                               "aspas)")
                    .arg(record.fields.size())
                    .arg(m_layout.columns.size()));
        return;
    }
    QStringList values = record.fields;
    if (!convertValues(record, values))
        return;
    for (qsizetype t = 0; t < m_layout.targets.size(); ++t)
        if (partPresent(m_layout.targets.at(t).part, values))
            addRow(size_t(t), record.line, values);
}

bool ImportValidator::partPresent(int part, const QStringList &values) const
{
    return part == 0 || !values.at(m_layout.partKeyColumn(part)).isNull();
}

// Converts every value of the line; false when any is bad (each one reported).
bool ImportValidator::convertValues(const CsvRecord &record, QStringList &values)
{
    const qsizetype before = m_problems.size();
    for (qsizetype i = 0; i < values.size(); ++i) {
        const ImportColumn &column = m_layout.columns.at(i);
        QString reason;
        if (!ImportValue::convert(column, values[i], reason))
            problem(record.line, column.name, reason);
        else if (column.check && !values.at(i).isNull() && !(reason = column.check(values.at(i))).isEmpty())
            problem(record.line, column.name, reason);
    }
    for (qsizetype i = 0; i < values.size(); ++i) {
        const ImportColumn &column = m_layout.columns.at(i);
        const bool present = partPresent(column.part, values);
        if (present && column.required && values.at(i).isNull())
            problem(record.line, column.name, QStringLiteral("não pode ficar em branco"));
        if (!present && !values.at(i).isNull()) {
            const QString key = m_layout.columns.at(m_layout.partKeyColumn(column.part)).name;
            problem(record.line, key,
                    QStringLiteral("em branco, mas a linha traz dados em %1; numere o registro em %2 "
                                   "ou deixe em branco também as colunas dele")
                        .arg(column.name, key));
        }
    }
    return m_problems.size() == before;
}

QString ImportValidator::keyText(const ImportTarget &target, const QStringList &values) const
{
    QStringList parts;
    for (const QString &name : target.key)
        parts << QStringLiteral("%1 %2").arg(name, values.at(target.columns.indexOf(name)));
    return parts.join(QStringLiteral(", "));
}

// The client of several address lines comes once per line: the lines must agree.
bool ImportValidator::repeatable(const ImportTarget &target) const
{
    return target.part == 0 && m_layout.targets.size() > 1;
}

void ImportValidator::addRow(size_t target, int line, const QStringList &values)
{
    ImportRow row{line, {}};
    row.values.reserve(qsizetype(m_targetColumns[target].size()));
    for (const int column : m_targetColumns[target])
        row.values << values.at(column);
    const ImportTarget &layoutTarget = m_layout.targets.at(qsizetype(target));
    QString key;
    for (const int column : m_keyColumns[target])
        key += row.values.at(column) + u'\x1f';
    const int first = m_keys[target].insert(key.toUtf8(), line);
    if (first == 0) {
        if (repeatable(layoutTarget))
            m_firstRows[target].insert(key, row);
        m_batch.targets[target].push_back(std::move(row));
    } else if (repeatable(layoutTarget)) {
        compareRepeated(m_firstRows[target].value(key), row, layoutTarget);
    } else {
        problem(line, {},
                QStringLiteral("%1 (%2) aparece duas vezes no arquivo: já está na linha %3")
                    .arg(layoutTarget.what, keyText(layoutTarget, row.values))
                    .arg(first));
    }
}

void ImportValidator::compareRepeated(const ImportRow &first, const ImportRow &row, const ImportTarget &target)
{
    for (qsizetype i = 0; i < row.values.size(); ++i) {
        if (row.values.at(i) == first.values.at(i) && row.values.at(i).isNull() == first.values.at(i).isNull())
            continue;
        problem(row.line, target.columns.at(i),
                QStringLiteral("\"%1\" difere da linha %2 (\"%3\"), que traz %4 (%5); as linhas de um mesmo "
                               "registro repetem os mesmos dados")
                    .arg(row.values.at(i))
                    .arg(first.line)
                    .arg(first.values.at(i), target.what, keyText(target, row.values)));
    }
}
