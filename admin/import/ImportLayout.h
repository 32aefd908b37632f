#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// What the values of an import file's column must look like.
enum class ValueKind {
    Text,       // up to `size` characters
    Code,       // one of the letters in `codes`
    Integer,    // a whole number from 1 to 999999999
    Decimal,    // "1.234,56" or "1234,56": at most 13 digits before the comma and 2 after
    MonthStart, // dd/mm/aaaa on the first day of a month
    DateTime,   // dd/mm/aaaa, dd/mm/aaaa hh:mm or dd/mm/aaaa hh:mm:ss
};

// One column of an import file: its header name is the database column's name.
struct ImportColumn
{
    QString name;
    ValueKind kind = ValueKind::Text;
    int size = 0;          // Text: the column's size in characters
    bool required = false; // may not be blank (in a line that carries its part)
    QString codes;         // Code: the letters allowed
    int part = 0;          // 0: the line's main record; 1: the second record some lines carry
    // A further check of a converted value that is not blank: empty, or the reason
    // it is refused (fiscal identifiers).
    QString (*check)(const QString &value) = nullptr;
};

// One table an import writes, the file's columns it takes and its key.
struct ImportTarget
{
    QString table;
    QStringList columns;
    QStringList key;
    int part = 0;
    QString what; // "a empresa", "o endereço": how messages name one of its rows
};

// A row of another table that the file's lines must refer to.
struct ImportReference
{
    QStringList columns; // in the file and in the staged rows
    QString table;
    QStringList tableColumns;
    QString what;   // "a empresa", "o cliente": how the message names the row
    QString hint;   // where the user gets it from
    int target = 0; // index of the target whose staged rows carry the columns
};

// The four kinds of file `fas-admin import` reads: their keywords, columns,
// tables and checks.
struct ImportLayout
{
    QString keyword; // Portuguese keyword
    QString englishKeyword;
    QList<ImportColumn> columns;
    QList<ImportTarget> targets; // written in this order
    QList<ImportReference> references;
    // Calculations: a row already billed (an entry, or situation "R") is never changed.
    bool keepsBilledRows = false;
    // The columns a header may stop after: the files of older releases, which end
    // before the fiscal registration's columns (0: the whole header only). A file
    // without a column leaves that column of its rows as it is.
    int shortestHeader = 0;

    static const QList<ImportLayout> &all();
    // The layout of a keyword (either language, any case); null when there is none.
    static const ImportLayout *find(const QString &keyword);

    QStringList header() const;
    // This layout for a header of `width` columns: without the optional last columns
    // the header leaves out; itself when `width` is not a header it accepts.
    ImportLayout forHeaderWidth(qsizetype width) const;
    int columnIndex(const QString &name) const;
    // The column whose value says that a line carries a second record (its key).
    int partKeyColumn(int part) const;
};
