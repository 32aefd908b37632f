// fas-demo-data: creates the billing database's tables and fills them with demo data.

#include <cstdio>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>

#include "platform/data/CommandLineText.h"
#include "platform/sql/DatabaseConnection.h"
#include "platform/sql/DatabaseError.h"
#include "db/demo/DemoDataGenerator.h"
#include "db/SchemaScript.h"
#include "fas/Version.h"

namespace {

void say(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

int run()
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Cria as tabelas do faturamento e as preenche com dados de demonstração."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption databaseOption(
        QStringLiteral("database"), QStringLiteral("Arquivo SQLite ou endereço postgresql://."), QStringLiteral("url"));
    const QCommandLineOption rowsOption(QStringLiteral("rows"),
                                        QStringLiteral("Número de apurações a gerar (padrão 3000)."),
                                        QStringLiteral("n"), QStringLiteral("3000"));
    const QCommandLineOption seedOption(QStringLiteral("seed"),
                                        QStringLiteral("Semente dos dados (mesma semente, mesmos dados)."),
                                        QStringLiteral("s"), QStringLiteral("9600"));
    const QCommandLineOption replaceOption(QStringLiteral("replace"),
                                           QStringLiteral("Apaga as tabelas existentes antes de criar."));
    const QCommandLineOption schemaOnlyOption(QStringLiteral("schema-only"),
                                              QStringLiteral("Cria só as tabelas, sem dados."));
    const QCommandLineOption nfseOption(
        QStringLiteral("nfse"),
        QStringLiteral("Liga a NFS-e nacional nas empresas (os cadastros fiscais vêm sempre preenchidos)."));
    parser.addOptions({databaseOption, rowsOption, seedOption, replaceOption, schemaOnlyOption, nfseOption});
    if (!parser.parse(QCoreApplication::arguments())) {
        say(CommandLineText::error(parser, QStringLiteral("fas-demo-data")));
        return CommandLineText::UsageStatus;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(CommandLineText::help(parser, QStringLiteral("fas-demo-data"))), stdout);
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("fas-demo-data %s\n", qPrintable(QCoreApplication::applicationVersion()));
        return 0;
    }

    if (!parser.isSet(databaseOption)) {
        say(QStringLiteral("Informe o banco de dados com --database (arquivo SQLite ou postgresql://...)."));
        return 2;
    }
    bool rowsOk = false;
    bool seedOk = false;
    const int rows = parser.value(rowsOption).toInt(&rowsOk);
    const quint32 seed = parser.value(seedOption).toUInt(&seedOk);
    if (!rowsOk || rows < 0 || rows > 50'000'000) {
        say(QStringLiteral("--rows deve ser um número de 0 a 50000000."));
        return 2;
    }
    if (!seedOk) {
        say(QStringLiteral("--seed deve ser um número inteiro não negativo."));
        return 2;
    }

    const DatabaseUrl url = DatabaseUrl::parse(parser.value(databaseOption));
    const QString connection = QStringLiteral("fas-demo-data");
    {
        QSqlDatabase db = DatabaseConnection::open(url, connection, DatabaseConnection::Mode::CreateIfMissing);
        const QStringList existing = SchemaScript::existingTables(db);
        if (!existing.isEmpty() && !parser.isSet(replaceOption)) {
            say(QStringLiteral("O banco de dados %1 já tem as tabelas do faturamento (%2). Nada foi alterado; "
                               "use --replace para apagá-las e gerar tudo de novo.")
                    .arg(url.displayName(), existing.join(QStringLiteral(", "))));
            return 3;
        }
        QElapsedTimer timer;
        timer.start();
        SchemaScript::drop(db);
        SchemaScript::create(db);
        if (!parser.isSet(schemaOnlyOption)) {
            DemoDataGenerator::Options options;
            options.rows = rows;
            options.seed = seed;
            options.nationalNotes = parser.isSet(nfseOption);
            const DemoDataGenerator::Summary summary = DemoDataGenerator(db, options).fill();
            // Statistics of the fresh tables, so the first queries get good plans.
            QSqlQuery(db).exec(QStringLiteral("ANALYZE"));
            say(QStringLiteral("%1: %2 empresas, %3 filiais, %4 clientes, %5 apurações, %6 lançamentos "
                               "em %7 ms.")
                    .arg(url.displayName())
                    .arg(summary.companies)
                    .arg(summary.branches)
                    .arg(summary.clients)
                    .arg(summary.calculations)
                    .arg(summary.entries)
                    .arg(timer.elapsed()));
        } else {
            say(QStringLiteral("%1: tabelas criadas, sem dados.").arg(url.displayName()));
        }
    }
    DatabaseConnection::close(connection);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("fas-demo-data"));
    QCoreApplication::setApplicationVersion(QStringLiteral(FAS_VERSION));
    try {
        return run();
    } catch (const FasError &error) {
        say(error.message());
        return 1;
    }
}
