#include "admin/import/ImportCommand.h"

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

// The kind's layout for the file's header: a file of an older release may stop
// before the last columns.
ImportLayout layoutForFile(const ImportLayout &layout, const QString &text)
{
    CsvReader reader(text);
    CsvRecord header;
    return reader.next(header) ? layout.forHeaderWidth(header.fields.size()) : layout;
}

int import(const ImportLayout &kind, const QString &path, const DatabaseUrl &database, QTextStream &out,
           QTextStream &err)
{
    QElapsedTimer timer;
    timer.start();
    const QString text = ImportSource::load(path);
    const ImportLayout layout = layoutForFile(kind, text);
    ImportValidator validator(layout);
    const ImportBatch batch = validator.read(text);
    if (!validator.problems().isEmpty())
        return refuse(path, validator.problems(), err);
    const QString connection = QStringLiteral("fas-admin-import");
    ImportWriter::Outcome outcome;
    {
        QSqlDatabase db = DatabaseConnection::open(database, connection);
        const auto close = qScopeGuard([&connection] { DatabaseConnection::close(connection); });
        outcome = ImportWriter(db, layout).write(batch);
        db = QSqlDatabase();
    }
    if (!outcome.problems.isEmpty())
        return refuse(path, outcome.problems, err);
    report(path, batch.lines, outcome.counts, timer.elapsed(), out);
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
