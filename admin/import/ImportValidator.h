#pragma once

#include <QHash>
#include <QList>
#include <QStringView>

#include "admin/import/CsvReader.h"
#include "admin/import/ImportBatch.h"
#include "admin/import/ImportLayout.h"

// Reads a whole import file's text against its layout: the header, then every
// line's values (types, sizes, blanks) and keys (a key twice in one file is
// refused; a client's own columns repeated on its address lines must agree).
// Every bad line is listed; the batch is only meant to be written when none is.
class ImportValidator
{
public:
    explicit ImportValidator(const ImportLayout &layout);

    ImportBatch read(QStringView text);
    const QList<ImportProblem> &problems() const { return m_problems; }

private:
    bool checkHeader(const CsvRecord &record);
    void readLine(const CsvRecord &record);
    bool convertValues(const CsvRecord &record, QStringList &values);
    bool partPresent(int part, const QStringList &values) const;
    void addRow(size_t target, int line, const QStringList &values);
    void compareRepeated(const ImportRow &first, const ImportRow &row, const ImportTarget &target);
    QString keyText(const ImportTarget &target, const QStringList &values) const;
    void problem(int line, const QString &column, const QString &reason);

    const ImportLayout &m_layout;
    ImportBatch m_batch;
    std::vector<std::vector<int>> m_targetColumns; // per target: the file's column of each value
    std::vector<std::vector<int>> m_keyColumns;    // per target: the row's value of each key column
    std::vector<QHash<QString, size_t>> m_keys;    // per target: key -> row index
    QList<ImportProblem> m_problems;
};
