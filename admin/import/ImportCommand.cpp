#include "admin/import/ImportCommand.h"

#include <optional>

#include <QElapsedTimer>
#include <QScopeGuard>

#include "platform/sql/DatabaseConnection.h"
#include "platform/sql/DatabaseError.h"
#include "admin/import/CsvReader.h"
#include "admin/import/ImportError.h"
#include "admin/import/ImportSource.h"
#include "admin/import/ImportValidator.h"
#include "admin/import/ImportWriter.h"

namespace {

QString kindsText()
{
    QStringList kinds;
    for (const ImportLayout &layout : ImportLayout::all())
        kinds << QStringLiteral("%1 (%2)").arg(layout.keyword, layout.englishKeyword);
    return kinds.join(QStringLiteral(", "));
}

int refuse(const QString &path, const QList<ImportProblem> &problems, QTextStream &err)
{
    err << QStringLiteral("Arquivo %1 recusado: %2 problema(s); nada foi gravado.").arg(path).arg(problems.size())
        << Qt::endl;
    for (qsizetype i = 0; i < problems.size() && i < ImportCommand::ProblemsShown; ++i)
        err << problems.at(i).text() << Qt::endl;
    if (problems.size() > ImportCommand::ProblemsShown)
        err << QStringLiteral("… e mais %1 problema(s).").arg(problems.size() - ImportCommand::ProblemsShown)
            << Qt::endl;
    return ImportCommand::Refused;
}

void report(const QString &path, int lines, const QList<ImportWriter::TableCount> &counts, qint64 ms, QTextStream &out)
{
    out << QStringLiteral("%1: %2 linha(s) importada(s) em %3 ms.").arg(path).arg(lines).arg(ms) << Qt::endl;
    for (const ImportWriter::TableCount &count : counts) {
        out << QStringLiteral("  %1: %2 incluída(s), %3 atualizada(s)")
                   .arg(count.table)
                   .arg(count.inserted)
                   .arg(count.updated);
        if (count.keptBilled > 0)
            out << QStringLiteral(", %1 já faturada(s) mantida(s) como estavam").arg(count.keptBilled);
        out << '.' << Qt::endl;
    }
}

// The kind's layout for the file's header (in its first piece): a file of an
// older release may stop before the last columns.
ImportLayout layoutForFile(const ImportLayout &layout, const QString &firstPiece)
{
    CsvReader reader(firstPiece);
    CsvRecord header;
    return reader.next(header) ? layout.forHeaderWidth(header.fields.size()) : layout;
}

// Where the valid rows go as the file is read: the database is opened for the
// first rows to stage. A database that fails is remembered, and the file is still
// read to the end, so that a bad file is told as such whatever the database does.
class Destination
{
public:
    Destination(const DatabaseUrl &database, const ImportLayout &layout)
        : m_database(database)
        , m_layout(layout)
    {
    }
    ~Destination()
    {
        m_writer.reset();
        if (m_opened)
            DatabaseConnection::close(connectionName());
    }

    void stage(const ImportBatch &rows)
    {
        if (!m_failure.isEmpty())
            return;
        try {
            writer().stage(rows);
        } catch (const DatabaseError &error) {
            m_failure = error.message();
            m_writer.reset();
        }
    }
    ImportWriter::Outcome finish()
    {
        if (!m_failure.isEmpty())
            throw DatabaseError(m_failure);
        return writer().finish();
    }

private:
    static QString connectionName() { return QStringLiteral("fas-admin-import"); }
    ImportWriter &writer()
    {
        if (!m_writer) {
            m_opened = true;
            m_writer.emplace(DatabaseConnection::open(m_database, connectionName()), m_layout);
        }
        return *m_writer;
    }

    const DatabaseUrl &m_database;
    const ImportLayout &m_layout;
    std::optional<ImportWriter> m_writer;
    QString m_failure;
    bool m_opened = false;
};

int import(const ImportLayout &kind, const QString &path, const DatabaseUrl &database, QTextStream &out,
           QTextStream &err)
{
    QElapsedTimer timer;
    timer.start();
    ImportStream file(path);
    QString piece;
    const bool any = file.next(piece);
    const ImportLayout layout = any ? layoutForFile(kind, piece) : kind;
    ImportValidator validator(layout);
    Destination destination(database, layout);
    for (bool more = any; more; more = file.next(piece)) {
        validator.read(piece);
        const ImportBatch rows = validator.takeRows();
        if (validator.problems().isEmpty())
            destination.stage(rows);
    }
    validator.finish();
    if (!validator.problems().isEmpty())
        return refuse(path, validator.problems(), err);
    const ImportWriter::Outcome outcome = destination.finish();
    if (!outcome.problems.isEmpty())
        return refuse(path, outcome.problems, err);
    report(path, validator.lines(), outcome.counts, timer.elapsed(), out);
    return ImportCommand::Imported;
}

} // namespace

int runImport(const QStringList &args, const DatabaseUrl &database, QTextStream &out, QTextStream &err)
{
    if (args.size() != 2) {
        err << QStringLiteral("Uso: fas-admin import TIPO ARQUIVO, com TIPO um de: %1.").arg(kindsText()) << Qt::endl;
        return ImportCommand::Usage;
    }
    const ImportLayout *layout = ImportLayout::find(args.at(0));
    if (!layout) {
        err << QStringLiteral("Tipo de importação desconhecido: \"%1\". Use um de: %2.").arg(args.at(0), kindsText())
            << Qt::endl;
        return ImportCommand::Usage;
    }
    try {
        return import(*layout, args.at(1), database, out, err);
    } catch (const ImportError &error) {
        err << error.message() << Qt::endl;
        return ImportCommand::Refused;
    } catch (const DatabaseError &error) {
        err << error.message() << Qt::endl << QStringLiteral("Nada foi gravado.") << Qt::endl;
        return ImportCommand::DatabaseFailed;
    }
}
