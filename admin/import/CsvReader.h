#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// One record of a CSV file: its first line's number and its fields, trimmed.
struct CsvRecord
{
    int line = 0;
    QStringList fields;
    QString error; // a field whose quotes are not closed or are followed by text
};

// Reads CSV text as spreadsheets in Brazil write it: ';' between fields, CRLF or
// LF at the end of a line, a field in double quotes may hold ';', line breaks and
// "" for a quote. Lines with nothing but separators are skipped.
class CsvReader
{
public:
    // `firstLine`: the number of the text's first line (a piece of a longer file).
    explicit CsvReader(QStringView text, int firstLine = 1);

    // The next record; false at the end of the text.
    bool next(CsvRecord &record);
    // The number of the line the reader is on: after the text, its last line's + 1.
    int line() const { return m_line; }

private:
    bool atLineEnd() const;
    void skipLineEnd();
    QString quotedField(CsvRecord &record);
    QString plainField();

    QStringView m_text;
    qsizetype m_at = 0;
    int m_line = 1;
};
