#pragma once

#include <QHash>
#include <QStringList>
#include <QVariant>

#include "platform/data/TClientDataSet.h"
#include "kor_export.h"

class TDBConnectionComponent;

// A query parameter, set before the query opens.
struct KOR_EXPORT TParam
{
    QString Name;
    QVariant Value;
    void SetAsString(const QString &text) { Value = text; }
    void SetAsFloat(double value) { Value = value; }
    void SetAsDateTime(const QDateTime &value) { Value = value; }
};

// A read-only query on the host's database connection. It holds one text per
// database dialect and runs the one that suits the connected database:
//   SQL        SQLite, PostgreSQL and any other database
//   SQL_ORACLE Oracle (when its text is empty, SQL)
//   SQL_IB     InterBase/Firebird (when its text is empty, SQL)
// Its rows are those of a client dataset, so grids and controls show them.
// Persistent fields (SetFieldDefs) are filled by column name; without them the
// fields follow the result's columns. The statement is prepared once and reused
// while the text stays the same.
class KOR_EXPORT TADOIBQuery : public TClientDataSet
{
    Q_OBJECT
public:
    explicit TADOIBQuery(QObject *parent = nullptr);
    ~TADOIBQuery() override;

    QStringList SQL;
    QStringList SQL_ORACLE;
    QStringList SQL_IB;

    void SetConnection(TDBConnectionComponent *connection);
    TDBConnectionComponent *Connection() const { return m_connection; }

    TParam &ParamByName(const QString &name);

    // Runs the query. Throws FasError naming the query's table and the
    // database's reason when it fails; the dataset then stays closed.
    void Open();
    void Close();

    // The text that runs on the connected database.
    QString ActiveSQL() const;

private:
    struct Prepared;
    TDBConnectionComponent *m_connection = nullptr;
    QHash<QString, TParam> m_params;
    std::unique_ptr<Prepared> m_prepared;
};
