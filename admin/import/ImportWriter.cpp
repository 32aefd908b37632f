#include "admin/import/ImportWriter.h"

#include <QScopeGuard>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

#include "platform/sql/DatabaseError.h"
#include "admin/import/StagingTable.h"

namespace {

QSqlQuery run(const QSqlDatabase &db, const QString &sql, const QString &step)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(sql))
        throw DatabaseError(QStringLiteral("A importação falhou ao %1: %2").arg(step, query.lastError().text()));
    return query;
}

// "s.A = t.A AND s.B = t.B"
QString match(const QStringList &left, const QString &leftTable, const QStringList &right, const QString &rightTable)
{
    QStringList terms;
    for (qsizetype i = 0; i < left.size(); ++i)
        terms << QStringLiteral("%1.%2 = %3.%4").arg(leftTable, left.at(i), rightTable, right.at(i));
    return terms.join(QStringLiteral(" AND "));
}

QString prefixed(const QStringList &columns, const QString &table)
{
    QStringList result;
    for (const QString &column : columns)
        result << table + u'.' + column;
    return result.join(QStringLiteral(", "));
}

} // namespace

ImportWriter::ImportWriter(QSqlDatabase db, const ImportLayout &layout)
    : m_db(std::move(db))
    , m_sql(SqlDialect::of(m_db))
    , m_layout(layout)
{
}

// The import begins as a generation does (on SQLite it takes the write lock at
// once): a transaction that read first could not write after a generation
// committed in the meantime, and would fail at once instead of waiting its turn.
void ImportWriter::begin()
{
    QSqlQuery query(m_db);
    if (!query.exec(m_sql.beginWrite()))
        throw DatabaseError(
            QStringLiteral("Não foi possível iniciar a transação da importação: %1").arg(query.lastError().text()));
}

ImportWriter::~ImportWriter()
{
    if (m_open)
        m_db.rollback();
}

void ImportWriter::stage(const ImportBatch &rows)
{
    if (!m_open) {
        begin();
        m_open = true;
        m_staged.reserve(size_t(m_layout.targets.size()));
        for (const ImportTarget &target : m_layout.targets) {
            m_staged.emplace_back(m_db, target);
            m_staged.back().create();
        }
        m_rows.assign(m_staged.size(), 0);
    }
    for (size_t t = 0; t < m_staged.size(); ++t) {
        m_staged[t].append(rows.targets.at(t));
        m_rows[t] += int(rows.targets.at(t).size());
    }
}

ImportWriter::Outcome ImportWriter::finish()
{
    if (!m_open)
        stage(ImportBatch{std::vector<std::vector<ImportRow>>(size_t(m_layout.targets.size())), 0});
    Outcome outcome;
    checkReferences(m_staged, outcome);
    std::vector<bool> known;
    for (size_t t = 0; t < m_staged.size(); ++t)
        known.push_back(holdsAnyKey(m_staged[t], m_layout.targets.at(qsizetype(t))));
    if (m_layout.keepsBilledRows && known.front())
        checkBilled(m_staged.front(), outcome);
    if (!outcome.problems.isEmpty())
        return outcome; // rolled back
    int billedMeanwhile = 0;
    for (size_t t = 0; t < m_staged.size(); ++t) {
        const ImportTarget &target = m_layout.targets.at(qsizetype(t));
        outcome.counts << upsert(m_staged[t], target, m_rows[t], known[t], billedMeanwhile);
    }
    // Calculations billed after the check, and so left as they were by the upsert:
    // a line that would have changed one is refused as the check refuses it.
    if (billedMeanwhile > 0)
        checkBilled(m_staged.front(), outcome);
    if (!outcome.problems.isEmpty())
        return outcome; // rolled back
    if (!m_db.commit())
        throw DatabaseError(QStringLiteral("Não foi possível concluir a importação: %1").arg(m_db.lastError().text()));
    m_open = false;
    return outcome;
}

// Whether the table already holds a row of any staged key.
bool ImportWriter::holdsAnyKey(const StagingTable &staged, const ImportTarget &target) const
{
    QSqlQuery query = run(m_db,
                          QStringLiteral("SELECT 1 FROM %1 s WHERE EXISTS (SELECT 1 FROM %2 t WHERE %3) LIMIT 1")
                              .arg(staged.name(), target.table,
                                   match(target.key, QStringLiteral("t"), target.key, QStringLiteral("s"))),
                          QStringLiteral("procurar as chaves de %1").arg(target.table));
    return query.next();
}

QString ImportWriter::valuesText(const QStringList &columns, const QSqlQuery &query, int first)
{
    QStringList parts;
    for (qsizetype i = 0; i < columns.size(); ++i)
        parts << QStringLiteral("%1 %2").arg(columns.at(i), query.value(first + int(i)).toString());
    return parts.join(QStringLiteral(", "));
}

// Every line that names a row missing from its table, once per line (a missing
// company is not reported again as a missing branch of it).
void ImportWriter::checkReferences(const std::vector<StagingTable> &staged, Outcome &outcome) const
{
    QSet<int> reported;
    for (const ImportReference &reference : m_layout.references) {
        QStringList filled;
        for (const QString &column : reference.columns)
            filled << QStringLiteral("s.%1 IS NOT NULL").arg(column);
        const QString sql =
            QStringLiteral("SELECT s.LINHA, %1 FROM %2 s WHERE %3 AND NOT EXISTS "
                           "(SELECT 1 FROM %4 r WHERE %5) ORDER BY s.LINHA")
                .arg(prefixed(reference.columns, QStringLiteral("s")), staged.at(size_t(reference.target)).name(),
                     filled.join(QStringLiteral(" AND ")), reference.table,
                     match(reference.tableColumns, QStringLiteral("r"), reference.columns, QStringLiteral("s")));
        QSqlQuery query = run(m_db, sql, QStringLiteral("conferir %1").arg(reference.table));
        while (query.next()) {
            const int line = query.value(0).toInt();
            if (reported.contains(line))
                continue;
            reported.insert(line);
            outcome.problems.append(
                {line, reference.columns.last(),
                 QStringLiteral("%1 (%2) não está cadastrad%3 no banco de dados; %4")
                     .arg(reference.what, valuesText(reference.columns, query, 1),
                          reference.what.startsWith(u'a') ? QStringLiteral("a") : QStringLiteral("o"),
                          reference.hint)});
        }
    }
}

// A calculation is billed when it has a fiscal-note or invoice entry or its
// situation is "R" (realized).
QString ImportWriter::billedCondition(const QString &stagedRow) const
{
    const QStringList key = m_layout.targets.front().key;
    return QStringLiteral("EXISTS (SELECT 1 FROM APURFATFAS a LEFT JOIN ITEMLANCFAT l ON %1 WHERE %2 AND "
                          "(a.IDSTAPFATFAS = 'R' OR l.NRLANCFAT IS NOT NULL))")
        .arg(match(key, QStringLiteral("l"), key, QStringLiteral("a")),
             match(key, QStringLiteral("a"), key, stagedRow));
}

// Whether a staged line s would change its stored row a. Its situation only
// counts when it asks for more than "pending" or "realized": the file of the
// month still says pending for what has been billed since.
QString ImportWriter::changedCondition(const ImportTarget &target) const
{
    QStringList terms;
    for (const QString &column : target.columns) {
        if (target.key.contains(column))
            continue;
        if (column == QLatin1String("IDSTAPFATFAS"))
            terms << QStringLiteral("COALESCE(s.IDSTAPFATFAS, 'P') NOT IN ('P', 'R')");
        else
            terms << m_sql.distinct(QStringLiteral("s.") + column, QStringLiteral("a.") + column);
    }
    return terms.join(QStringLiteral(" OR "));
}

void ImportWriter::checkBilled(const StagingTable &staged, Outcome &outcome) const
{
    const ImportTarget &target = m_layout.targets.front();
    const QString sql =
        QStringLiteral("SELECT s.LINHA, %1, a.IDSTAPFATFAS, l.IDTPLANCFAT, l.NRLANCFAT FROM %2 s "
                       "JOIN APURFATFAS a ON %3 LEFT JOIN ITEMLANCFAT l ON %4 "
                       "WHERE (a.IDSTAPFATFAS = 'R' OR l.NRLANCFAT IS NOT NULL) AND (%5) ORDER BY s.LINHA")
            .arg(prefixed(target.key, QStringLiteral("s")), staged.name(),
                 match(target.key, QStringLiteral("a"), target.key, QStringLiteral("s")),
                 match(target.key, QStringLiteral("l"), target.key, QStringLiteral("a")), changedCondition(target));
    QSqlQuery query = run(m_db, sql, QStringLiteral("conferir as apurações já faturadas"));
    const int after = 1 + int(target.key.size());
    while (query.next()) {
        const QString kind = query.value(after + 1).toString();
        const QString entry = kind.isEmpty() ? QStringLiteral("situação Realizada")
                                             : QStringLiteral("%1, lançamento %2")
                                                   .arg(kind == QLatin1String("I") ? QStringLiteral("Invoice")
                                                                                   : QStringLiteral("Nota Fiscal"),
                                                        query.value(after + 2).toString());
        outcome.problems.append({query.value(0).toInt(),
                                 {},
                                 QStringLiteral("a apuração (%1) já foi faturada (%2) e não pode ser alterada; "
                                                "tire a linha do arquivo ou deixe-a como está no banco de dados")
                                     .arg(valuesText(target.key, query, 1), entry)});
    }
}

// The unbilled condition of the stored row, checked by the upsert itself: on
// PostgreSQL under the row's lock and on its newest version, so that a
// calculation billed by a generation that committed while the import waited for
// the row is never changed.
QString ImportWriter::stillUnbilled(const ImportTarget &target) const
{
    return QStringLiteral(" WHERE COALESCE(%1.IDSTAPFATFAS, '') <> 'R' AND NOT EXISTS (SELECT 1 FROM ITEMLANCFAT l "
                          "WHERE %2)")
        .arg(target.table, match(target.key, QStringLiteral("l"), target.key, target.table));
}

// Where writers lock rows (PostgreSQL): the rows in the order generation and
// reversal lock calculations, so that the import never holds a row one of them
// waits for while it waits for theirs.
QString ImportWriter::lockOrder(const ImportTarget &target) const
{
    QStringList terms;
    for (const QString &column : target.key) {
        const ValueKind kind = m_layout.columns.at(m_layout.columnIndex(column)).kind;
        terms << (kind == ValueKind::Text || kind == ValueKind::Code ? m_sql.byteOrder(column) : column);
    }
    return m_sql.lockOrder(terms);
}

// `known`: whether the table holds any staged key. When it holds none, there is
// nothing billed to keep and nothing to update: on SQLite, where the import holds
// the write lock, the rows go in with a plain INSERT; on PostgreSQL the upsert
// still runs, for a key another import may add meanwhile.
ImportWriter::TableCount ImportWriter::upsert(const StagingTable &staged, const ImportTarget &target, int rows,
                                              bool known, int &billedMeanwhile) const
{
    TableCount count;
    count.table = target.table;
    const QString columns = target.columns.join(QStringLiteral(", "));
    if (!known && m_sql.kind() == DatabaseUrl::Kind::Sqlite) {
        run(m_db, QStringLiteral("INSERT INTO %1 (%2) SELECT %2 FROM %3").arg(target.table, columns, staged.name()),
            QStringLiteral("gravar %1").arg(target.table));
        count.inserted = rows;
        return count;
    }
    if (m_layout.keepsBilledRows && known) {
        QSqlQuery kept = run(
            m_db, QStringLiteral("DELETE FROM %1 WHERE %2").arg(staged.name(), billedCondition(staged.name())),
            QStringLiteral("separar as apurações já faturadas"));
        count.keptBilled = kept.numRowsAffected();
    }
    if (known) {
        QSqlQuery stored = run(m_db,
                               QStringLiteral("SELECT COUNT(*) FROM %1 s WHERE EXISTS (SELECT 1 FROM %2 t WHERE %3)")
                                   .arg(staged.name(), target.table,
                                        match(target.key, QStringLiteral("t"), target.key, QStringLiteral("s"))),
                               QStringLiteral("contar as linhas de %1").arg(target.table));
        count.updated = stored.next() ? stored.value(0).toInt() : 0;
    }
    count.inserted = rows - count.keptBilled - count.updated;
    QStringList updates;
    for (const QString &column : target.columns)
        if (!target.key.contains(column))
            updates << QStringLiteral("%1 = excluded.%1").arg(column);
    const bool guarded = m_layout.keepsBilledRows && &target == &m_layout.targets.front();
    const QSqlQuery written = run(
        m_db,
        QStringLiteral("INSERT INTO %1 (%2) SELECT %2 FROM %3 WHERE true%4 ON CONFLICT (%5) DO UPDATE SET %6%7")
            .arg(target.table, columns, staged.name(), guarded ? lockOrder(target) : QString(),
                 target.key.join(QStringLiteral(", ")), updates.join(QStringLiteral(", ")),
                 guarded ? stillUnbilled(target) : QString()),
        QStringLiteral("gravar %1").arg(target.table));
    if (guarded) {
        const int skipped = rows - count.keptBilled - written.numRowsAffected();
        count.keptBilled += skipped;
        count.updated -= skipped;
        billedMeanwhile += skipped;
    }
    return count;
}
