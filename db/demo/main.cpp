// fas-demo-data: creates the billing database's tables and fills them with demo data.

#include <cstdio>
#include <optional>

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

// What the command line asks for; `status` set when the program ends at once.
struct DemoRequest
{
    QString database;
    DemoDataGenerator::Options options;
    bool replace = false;
    bool schemaOnly = false;
    std::optional<int> status;
};

DemoRequest readCommandLine()
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
    DemoRequest request;
    if (!parser.parse(QCoreApplication::arguments())) {
        say(CommandLineText::error(parser, QStringLiteral("fas-demo-data")));
        request.status = CommandLineText::UsageStatus;
    } else if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(CommandLineText::help(parser, QStringLiteral("fas-demo-data"))), stdout);
        request.status = 0;
    } else if (parser.isSet(QStringLiteral("version"))) {
        std::printf("fas-demo-data %s\n", qPrintable(QCoreApplication::applicationVersion()));
        request.status = 0;
    } else if (!parser.isSet(databaseOption)) {
        say(QStringLiteral("Informe o banco de dados com --database (arquivo SQLite ou postgresql://...)."));
        request.status = 2;
    }
    if (request.status)
        return request;
    bool rowsOk = false;
    bool seedOk = false;
    request.options.rows = parser.value(rowsOption).toInt(&rowsOk);
    request.options.seed = parser.value(seedOption).toUInt(&seedOk);
    if (!rowsOk || request.options.rows < 0 || request.options.rows > 50'000'000) {
        say(QStringLiteral("--rows deve ser um número de 0 a 50000000."));
        request.status = 2;
    } else if (!seedOk) {
        say(QStringLiteral("--seed deve ser um número inteiro não negativo."));
        request.status = 2;
    }
    request.database = parser.value(databaseOption);
    request.replace = parser.isSet(replaceOption);
    request.schemaOnly = parser.isSet(schemaOnlyOption);
    request.options.nationalNotes = parser.isSet(nfseOption);
    return request;
}

int fill(QSqlDatabase &db, const DatabaseUrl &url, const DemoRequest &request)
{
    const QStringList existing = SchemaScript::existingTables(db);
    if (!existing.isEmpty() && !request.replace) {
        say(QStringLiteral("O banco de dados %1 já tem as tabelas do faturamento (%2). Nada foi alterado; "
                           "use --replace para apagá-las e gerar tudo de novo.")
                .arg(url.displayName(), existing.join(QStringLiteral(", "))));
        return 3;
    }
    QElapsedTimer timer;
    timer.start();
    SchemaScript::drop(db);
    SchemaScript::create(db);
    if (request.schemaOnly) {
        say(QStringLiteral("%1: tabelas criadas, sem dados.").arg(url.displayName()));
        return 0;
    }
    const DemoDataGenerator::Summary summary = DemoDataGenerator(db, request.options).fill();
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
    return 0;
}

int run()
{
    const DemoRequest request = readCommandLine();
    if (request.status)
        return *request.status;
    const DatabaseUrl url = DatabaseUrl::parse(request.database);
    const QString connection = QStringLiteral("fas-demo-data");
    int status = 0;
    {
        QSqlDatabase db = DatabaseConnection::open(url, connection, DatabaseConnection::Mode::CreateIfMissing);
        status = fill(db, url, request);
    }
    DatabaseConnection::close(connection);
    return status;
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
