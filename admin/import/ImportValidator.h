#pragma once

#include <QHash>
#include <QList>
#include <QStringView>

#include "admin/import/CsvReader.h"
#include "admin/import/ImportBatch.h"
#include "admin/import/ImportLayout.h"
#include "admin/import/KeySet.h"

// Reads an import file's text against its layout, piece after piece of whole
// records as the file is read: the header, then every line's values (types,
// sizes, blanks) and keys (a key twice in one file is refused, however far
// apart; a client's own columns repeated on its address lines must agree).
// Every bad line is listed; the rows are only meant to be written when none is.
class ImportValidator
{
public:
    explicit ImportValidator(const ImportLayout &layout);

    // The next piece of the file: whole records, following the previous piece.
    void read(QStringView text);
    // After the last piece: a file without even a header is refused.
    void finish();
    // The rows read since the last call.
    ImportBatch takeRows();
    int lines() const { return m_lines; }
    const QList<ImportProblem> &problems() const { return m_problems; }

private:
    bool checkHeader(const CsvRecord &record);
    void readLine(const CsvRecord &record);
    bool convertValues(const CsvRecord &record, QStringList &values);
    bool partPresent(int part, const QStringList &values) const;
    void addRow(size_t target, int line, const QStringList &values);
    bool repeatable(const ImportTarget &target) const;
    void compareRepeated(const ImportRow &first, const ImportRow &row, const ImportTarget &target);
    QString keyText(const ImportTarget &target, const QStringList &values) const;
    void problem(int line, const QString &column, const QString &reason);

    const ImportLayout &m_layout;
    ImportBatch m_batch; // the rows since the last takeRows()
    int m_lines = 0;
    std::vector<std::vector<int>> m_targetColumns; // per target: the file's column of each value
    std::vector<std::vector<int>> m_keyColumns;    // per target: the row's value of each key column
    std::vector<KeySet> m_keys;                    // per target: key -> its first line
    std::vector<QHash<QString, ImportRow>> m_firstRows; // repeatable targets: key -> its first row
    QList<ImportProblem> m_problems;
    int m_line = 1;        // the line the next piece begins on
    bool m_header = false; // the header was read
    bool m_stopped = false; // the header is wrong: nothing more is read
};
