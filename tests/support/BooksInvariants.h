#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// What the books keep whatever generates, reverses, imports or copies them: each
// rule is one statement counting the rows that break it, the same text on SQLite
// and on PostgreSQL.
namespace BooksInvariants {

struct Rule
{
    QString name;
    QString sql; // one row, one column: how many rows break the rule
};

const QList<Rule> &rules();

// The rules the database breaks, each as "name: count" (or the statement's error);
// empty while the books hold.
QStringList broken(const QSqlDatabase &db);

} // namespace BooksInvariants
