#pragma once

#include <vector>

#include <QList>
#include <QString>
#include <QStringList>

// A line of an import file that cannot be taken, and why.
struct ImportProblem
{
    int line = 0;   // 0: the file as a whole
    QString column; // empty: the line as a whole
    QString reason;

    // "linha 12, coluna VRTOTAFATFAS: valor '12,3,4' não é um número ..."
    QString text() const;
};

// One row for a target table: the values in the target's column order, in the
// database's text forms; a null QString is SQL NULL.
struct ImportRow
{
    int line = 0;
    QStringList values;
};

// What a valid file writes: the rows of each of its layout's targets, in order.
struct ImportBatch
{
    std::vector<std::vector<ImportRow>> targets;
    int lines = 0; // data lines read
};
