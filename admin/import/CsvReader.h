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
    explicit CsvReader(QStringView text);

    // The next record; false at the end of the text.
    bool next(CsvRecord &record);

private:
    bool atLineEnd() const;
    void skipLineEnd();
    QString quotedField(CsvRecord &record);
    QString plainField();

    QStringView m_text;
    qsizetype m_at = 0;
    int m_line = 1;
};
