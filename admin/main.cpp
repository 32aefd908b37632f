// fas-admin: the administrator's commands on the billing database.
//   fas-admin --database URL import KIND FILE
// The database is a SQLite file or a postgresql:// address (FAS_DATABASE when
// --database is not given).

#include <cstdio>

#include <QCoreApplication>
#include <QTextStream>

#include "DatabaseError.h"
#include "ImportCommand.h"
#include "fas/Version.h"

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("fas-admin"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = app.arguments().mid(1);
    if (args.size() == 1 && (args.first() == QLatin1String("--version") || args.first() == QLatin1String("-v"))) {
        out << "fas-admin " FAS_VERSION << Qt::endl;
        return 0;
    }
    QString database = qEnvironmentVariable("FAS_DATABASE");
    if (args.size() >= 2 && args.first() == QLatin1String("--database")) {
        database = args.at(1);
        args = args.mid(2);
    }
    if (args.isEmpty() || args.first() != QLatin1String("import") || database.isEmpty()) {
        err << "Uso: fas-admin --database URL import TIPO ARQUIVO" << Qt::endl;
        return 2;
    }
    try {
        return runImport(args.mid(1), DatabaseUrl::parse(database), out, err);
    } catch (const DatabaseError &error) {
        err << error.message() << Qt::endl;
        return 2;
    }
}
