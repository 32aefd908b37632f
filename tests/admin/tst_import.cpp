// fas-admin import: good files of each kind imported and imported again, a table
// of bad files each refused with its line, column and reason and nothing
// written, and the cell readers' edge cases. The database runs once on SQLite
// and once on PostgreSQL (when FAS_TEST_PG_URL names a cluster).

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <tuple>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QFile>
#include <QMap>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include "admin/import/ImportCommand.h"
#include "admin/import/ImportLayout.h"
#include "admin/import/ImportValue.h"
#include "tests/support/ScratchDatabase.h"
#include "tests/support/TestSql.h"

namespace {

// A valid line of each kind that fits the example files' companies and clients.
const QMap<QString, QString> &baseLines()
{
    static const QMap<QString, QString> lines = {
        {QStringLiteral("empresas"), QStringLiteral("12;Empresa Nova;;SC")},
        {QStringLiteral("filiais"), QStringLiteral("10;0003;Filial Maringá;Maringá")},
        {QStringLiteral("clientes"), QStringLiteral("C500;Novo Cliente;;;J;;1;P;0055;Rua A;;Curitiba;PR;")},
        {QStringLiteral("apuracoes"),
         QStringLiteral("10;0001;C100;01/05/2024;6;P;SERV;05/06/2024 10:00;;;MAN;N;Texto;;;100,00;;;")},
    };
    return lines;
}

// The base line of `kind` (or `base`) with some columns replaced.
QString lineWith(const QString &kind, const QMap<QString, QString> &values, const QString &base = {})
{
    const ImportLayout *layout = ImportLayout::find(kind);
    QStringList fields = (base.isEmpty() ? baseLines().value(kind) : base).split(u';');
    for (auto it = values.begin(); it != values.end(); ++it)
        fields[layout->columnIndex(it.key())] = it.value();
    return fields.join(u';');
}

// A file of `kind` with the header of older releases where the kind has one (the
// base lines fit it), else the whole header; `fullHeader`: always the whole one.
QByteArray csv(const QString &kind, const QStringList &lines, bool fullHeader = false)
{
    const ImportLayout *layout = ImportLayout::find(kind);
    const QStringList header = layout->header().mid(0, fullHeader               ? -1
                                                       : layout->shortestHeader ? layout->shortestHeader
                                                                                : -1);
    return (QStringList{header.join(u';')} + lines).join(u'\n').toUtf8() + '\n';
}

QString example(const QString &kind)
{
    return QStringLiteral(FAS_SOURCE_DIR "/docs/examples/import/%1.csv").arg(kind);
}

const QString Header = QStringLiteral("<header>");

} // namespace

class TstImport : public QObject
{
    Q_OBJECT

public:
    explicit TstImport(ScratchDatabase::Kind kind)
        : m_database(kind, QStringLiteral("tst-import"))
    {
    }

private:
    struct Run
    {
        int code = -1;
        QString out;
        QString err;
    };

    ScratchDatabase m_database;
    QTemporaryDir m_dir;

    Run import(const QString &kind, const QString &path)
    {
        Run run;
        QTextStream out(&run.out);
        QTextStream err(&run.err);
        run.code = runImport({kind, path}, DatabaseUrl::parse(m_database.url()), out, err);
        return run;
    }

    QString writeFile(const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("file%1.csv").arg(QTest::currentDataTag()).remove(u' '));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
        return path;
    }

    // Loads the example files of the kinds named in `setup`, and then bills the
    // first calculation of the examples: "faturada" with a fiscal-note entry,
    // "realizada" by its situation alone, "faturando" as "faturada" in a
    // transaction left open.
    bool prepare(const QString &setup)
    {
        for (QString step : setup.split(u',', Qt::SkipEmptyParts)) {
            if (step == QLatin1String("faturando")) {
                if (!m_database.db().transaction())
                    return false;
                step = QStringLiteral("faturada");
            }
            if (step == QLatin1String("faturada")) {
                const QString key = QStringLiteral("'10', '0001', 'C100', '2024-03-01', '6'");
                if (!TestSql::exec(
                        m_database.db(),
                        QStringLiteral("INSERT INTO LANCFATFAS (CDEMPRESA, IDTPLANCFAT, NRLANCFAT, CDFILIAL, "
                                       "CDCLIENTE, CDGRUPONFAPUR, DTLANCFAT, QTITEMLANCFAT, "
                                       "VRTOTLANCFAT) VALUES ('10', 'N', 7, '0001', "
                                       "'C100', 'SERV', '2024-04-10 10:00:00', 1, 1234.56)"))
                    || !TestSql::exec(m_database.db(),
                                      QStringLiteral("INSERT INTO ITEMLANCFAT VALUES (%1, 'N', 7)").arg(key)))
                    return false;
            }
            if (step == QLatin1String("faturada") || step == QLatin1String("realizada")) {
                if (!TestSql::exec(m_database.db(),
                                   QStringLiteral("UPDATE APURFATFAS SET IDSTAPFATFAS = 'R' WHERE "
                                                  "CDCLIENTE = 'C100' AND DTMESAPURFAS = '2024-03-01'")))
                    return false;
            } else if (import(step, example(step)).code != ImportCommand::Imported) {
                return false;
            }
        }
        return true;
    }

    // A file that exists but that the importing user may not read. As root, the
    // check runs under the file-system identity of "nobody", which reads nothing
    // of a file with no permissions.
    Run importUnreadable(const QString &kind)
    {
        const QString path = writeFile(csv(kind, {baseLines().value(kind)}));
        QFile::setPermissions(path, {});
        ::chmod(QFile::encodeName(m_dir.path()).constData(), 0755);
        if (::geteuid() != 0)
            return import(kind, path);
        ::setfsuid(65534);
        const bool switched = ::setfsuid(uid_t(-1)) == 65534;
        const Run run = switched ? import(kind, path) : Run();
        ::setfsuid(0);
        return run;
    }

    // The import runs while a generation's transaction holds the calculation it
    // bills: that transaction commits once the import waits for the row.
    Run importWhileBilling(const QString &kind, const QString &path)
    {
        Run run;
        std::atomic<bool> done{false};
        std::thread importer([&] {
            run = import(kind, path);
            done = true;
        });
        const QDeadlineTimer deadline(30000);
        const QString waiting = QStringLiteral("SELECT COUNT(*) FROM pg_locks WHERE NOT granted");
        while (!done && !deadline.hasExpired() && TestSql::column(m_database.db(), waiting) == QStringList{"0"})
            QThread::msleep(10);
        m_database.db().commit();
        importer.join();
        return run;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        if (!m_database.create()) {
            if (!m_database.unavailableReason().isEmpty())
                QSKIP(qPrintable(m_database.unavailableReason()));
            QFAIL(qPrintable(m_database.error()));
        }
    }

    void init() { QVERIFY2(m_database.empty(), qPrintable(m_database.error())); }

    void goodFiles_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("firstCounts");
        QTest::addColumn<QStringList>("againCounts");
        QTest::newRow("empresas, BOM and CRLF") << ""
                                                << "empresas" << QStringList{"EMPRESA: 2 incluída(s), 0 atualizada(s)"}
                                                << QStringList{"EMPRESA: 0 incluída(s), 2 atualizada(s)"};
        QTest::newRow("filiais") << "empresas"
                                 << "branches" << QStringList{"FILIAL: 3 incluída(s)"}
                                 << QStringList{"FILIAL: 0 incluída(s), 3 atualizada(s)"};
        QTest::newRow("clientes with addresses")
            << ""
            << "Clientes" << QStringList{"CLIENTE: 4 incluída(s)", "ENDECLIE: 4 incluída(s)"}
            << QStringList{"CLIENTE: 0 incluída(s), 4 atualizada(s)", "ENDECLIE: 0 incluída(s), 4 atualizada(s)"};
        QTest::newRow("produtos") << ""
                                  << "products" << QStringList{"PRODUTO: 3 incluída(s)"}
                                  << QStringList{"PRODUTO: 0 incluída(s), 3 atualizada(s)"};
        QTest::newRow("apurações") << "empresas,filiais,clientes"
                                   << "apurações" << QStringList{"4 linha(s) importada(s)", "APURFATFAS: 4 incluída(s)"}
                                   << QStringList{"APURFATFAS: 0 incluída(s), 4 atualizada(s)."};
        QTest::newRow("the month again after billing")
            << "empresas,filiais,clientes,apuracoes,faturada"
            << "calculations"
            << QStringList{"APURFATFAS: 0 incluída(s), 3 atualizada(s), 1 já faturada(s) mantida(s) como estavam"}
            << QStringList{"1 já faturada(s) mantida(s)"};
    }

    void goodFiles()
    {
        QFETCH(QString, setup);
        QFETCH(QString, kind);
        QFETCH(QStringList, firstCounts);
        QFETCH(QStringList, againCounts);
        QVERIFY(prepare(setup));
        const QString path = example(ImportLayout::find(kind)->keyword);
        const Run first = import(kind, path);
        QVERIFY2(first.code == ImportCommand::Imported, qPrintable(first.err));
        for (const QString &count : firstCounts)
            QVERIFY2(first.out.contains(count), qPrintable(first.out));
        const QString imported = m_database.snapshot();
        const Run again = import(kind, path);
        QVERIFY2(again.code == ImportCommand::Imported, qPrintable(again.err));
        for (const QString &count : againCounts)
            QVERIFY2(again.out.contains(count), qPrintable(again.out));
        QCOMPARE(m_database.snapshot(), imported);
    }

    // A file of an older release, without the fiscal columns, changes what it
    // brings and leaves the registration as it was.
    void olderFileKeepsRegistration()
    {
        QVERIFY(prepare(QStringLiteral("empresas")));
        const Run run = import(QStringLiteral("empresas"), writeFile(csv("empresas", {"10;Araucária Serviços;;PR"})));
        QVERIFY2(run.code == ImportCommand::Imported, qPrintable(run.err));
        QCOMPARE(
            TestSql::column(m_database.db(), QStringLiteral("SELECT NMEMPRESA || '|' || NRINSCMUNEMPRESA || '|' || "
                                                            "CDMUNIBGEEMPRESA FROM EMPRESA WHERE CDEMPRESA = '10'")),
            QStringList{QStringLiteral("Araucária Serviços|0123456789|4106902")});
    }

    void storedValues_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<int>("rows");
        QTest::newRow("quoted name with ';'") << "EMPRESA WHERE NMEMPRESA = 'Ribeiro & Filhos; Consultoria S.A.' "
                                                 "AND NRCNPJEMPRESA IS NULL"
                                              << 1;
        QTest::newRow("grouped decimal") << "APURFATFAS WHERE VRTOTAFATFAS = 1234.56" << 2;
        QTest::newRow("decimal comma in quotes") << "APURFATFAS WHERE VRTOTAFATFAS = 12500.5" << 1;
        QTest::newRow("date-time without seconds") << "APURFATFAS WHERE DTAPURFATFAS = '2024-04-05 14:30:00'" << 1;
        QTest::newRow("date alone is midnight") << "APURFATFAS WHERE DTAPURFATFAS = '2024-04-05 00:00:00'" << 1;
        QTest::newRow("month") << "APURFATFAS WHERE DTMESAPURFAS = '2024-03-01'" << 3;
        QTest::newRow("blank situation is null") << "APURFATFAS WHERE IDSTAPFATFAS IS NULL" << 1;
        QTest::newRow("line break kept in a cell")
            << "APURFATFAS WHERE DSEMISSPRONF = 'Manutenção mensal do sistema' || CHAR(10) || 'referente a 03/2024'"
            << 1;
        QTest::newRow("client without address") << "ENDECLIE WHERE CDCLIENTE = 'C400'" << 0;
        QTest::newRow("two addresses") << "ENDECLIE WHERE CDCLIENTE = 'C100'" << 2;
    }

    void storedValues()
    {
        QFETCH(QString, where);
        QFETCH(int, rows);
        QVERIFY(prepare(QStringLiteral("empresas,filiais,clientes,apuracoes")));
        // CHR on PostgreSQL, CHAR on SQLite.
        const bool sqlite = m_database.db().driverName() == QLatin1String("QSQLITE");
        const QString sql = QStringLiteral("SELECT COUNT(*) FROM ")
                            + (sqlite ? where : QString(where).replace("CHAR(", "CHR("));
        QCOMPARE(TestSql::column(m_database.db(), sql), QStringList{QString::number(rows)});
    }

    void badFiles_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("messages");
        const QString all = QStringLiteral("empresas,filiais,clientes");
        const QString c = QStringLiteral("apuracoes");
        QTest::newRow("wrong header")
            << all << c << csv(c, {}).replace("VRTOTAFATFAS", "VRTOTAL")
            << QStringList{"linha 1: cabeçalho errado: a coluna 16 é \"VRTOTAL\" e deveria ser \"VRTOTAFATFAS\""};
        QTest::newRow("header one column short")
            << ""
            << "empresas" << QByteArray("CDEMPRESA;NMEMPRESA;NRCNPJEMPRESA\n")
            << QStringList{"tem 3 colunas e deveria ter 9 (ou as 4 primeiras, sem as colunas da NFS-e)",
                           "CDEMPRESA;NMEMPRESA;NRCNPJEMPRESA;SGESTADO"};
        QTest::newRow("comma separated") << ""
                                         << "empresas" << QByteArray("CDEMPRESA,NMEMPRESA,NRCNPJEMPRESA,SGESTADO\n")
                                         << QStringList{"separadas por vírgula"};
        // More than one piece of the file (read 1 MB at a time): a line break inside
        // quotes early on, a bad value and a key repeated far apart.
        QStringList lines;
        for (int i = 0; i < 2600; ++i)
            lines << lineWith(c, {{"DTMESAPURFAS", QStringLiteral("01/%1/%2").arg(i % 12 + 1).arg(2000 + i / 12)},
                                  {"DSFATURCLIE", QString(390, u'x')}});
        lines[0] = lineWith(c, {{"DSEMISSPRONF", "\"duas\nlinhas\""}}, lines[0]);
        lines[2400] = lineWith(c, {{"VRTOTAFATFAS", "12,3,4"}}, lines[2400]);
        QTest::newRow("bad lines in a later piece")
            << all << c << csv(c, lines << lines[1])
            << QStringList{"linha 2403, coluna VRTOTAFATFAS:", "linha 2603: a apuração", "já está na linha 4"};
        QTest::newRow("empty file") << ""
                                    << "empresas" << QByteArray() << QStringList{"O arquivo está vazio"};
        QTest::newRow("latin-1 on line 3")
            << ""
            << "empresas" << csv("empresas", {"12;Empresa A;;SC"}) + "13;Constru\xe7\xe3o;;SC\n"
            << QStringList{"não está codificado em UTF-8 (a linha 3", "\"CSV UTF-8\""};
        QTest::newRow("UTF-16") << ""
                                << "empresas"
                                << QByteArray("\xff\xfe"
                                              "C\0D\0",
                                              6)
                                << QStringList{"UTF-16"};
        QTest::newRow("not a number") << all << c << csv(c, {lineWith(c, {{"VRTOTAFATFAS", "12,3,4"}})})
                                      << QStringList{"linha 2, coluna VRTOTAFATFAS: valor '12,3,4' não é um número"};
        QTest::newRow("three decimals")
            << all << c << csv(c, {lineWith(c, {{"VRTOTAFATFAS", "1,234"}})})
            << QStringList{"linha 2, coluna VRTOTAFATFAS: valor '1,234' tem mais de 2 casas decimais"};
        QTest::newRow("no such day") << all << c << csv(c, {lineWith(c, {{"DTAPURFATFAS", "31/02/2024"}})})
                                     << QStringList{
                                            "linha 2, coluna DTAPURFATFAS: valor '31/02/2024' não é uma data e hora"};
        QTest::newRow("month not on day 1") << all << c << csv(c, {lineWith(c, {{"DTMESAPURFAS", "15/03/2024"}})})
                                            << QStringList{"coluna DTMESAPURFAS: valor '15/03/2024': o mês da apuração "
                                                           "é escrito como o dia 1 do mês (01/03/2024)"};
        QTest::newRow("41 characters, 40 accepted")
            << ""
            << "empresas" << csv("empresas", {"12;" + QString(40, u'ç') + ";;SC", "13;" + QString(41, u'ã') + ";;SC"})
            << QStringList{"recusado: 1 problema(s)",
                           "linha 3, coluna NMEMPRESA: texto com 41 caracteres; o máximo é 40"};
        QTest::newRow("blank required") << "empresas"
                                        << "filiais" << csv("filiais", {"10;0003;  ;Maringá"})
                                        << QStringList{"linha 2, coluna NMFILIAL: não pode ficar em branco"};
        QTest::newRow("unknown code") << ""
                                      << "clientes" << csv("clientes", {lineWith("clientes", {{"IDTPIJURCLIE", "X"}})})
                                      << QStringList{"coluna IDTPIJURCLIE: valor 'X' não é aceito; use F ou J"};
        QTest::newRow("missing column") << ""
                                        << "empresas" << csv("empresas", {"12;Empresa;SC"})
                                        << QStringList{"linha 2: a linha tem 3 colunas e o cabeçalho tem 4"};
        const QString registered = QStringLiteral("12;Empresa;11222333000181;SC;123;4205407;1;1;S");
        QTest::newRow("municipality of no state")
            << ""
            << "empresas" << csv("empresas", {QString(registered).replace("4205407", "9905407")}, true)
            << QStringList{"linha 2, coluna CDMUNIBGEEMPRESA: o código IBGE do município 9905407 não começa pelo "
                           "código de um estado"};
        QTest::newRow("Simples option not in the layout")
            << ""
            << "empresas" << csv("empresas", {QString(registered).replace(";1;1;S", ";4;1;S")}, true)
            << QStringList{"coluna IDREGTRIBEMPRESA: valor '4' não é aceito; use 1, 2 ou 3"};
        QTest::newRow("address municipality of 6 digits")
            << ""
            << "clientes" << csv("clientes", {baseLines().value("clientes") + ";410690"}, true)
            << QStringList{"coluna CDMUNIBGE: o código IBGE do município \"410690\" não tem 7 algarismos"};
        QTest::newRow("service code and ISS rate")
            << ""
            << "produtos"
            << QByteArray("CDPRODUTO;NMPRODUTO;CDSERVNACPRODUTO;PCALIQISSPRODUTO\nP1;A;10701;2\nP2;B;010701;5,01\n")
            << QStringList{"linha 2, coluna CDSERVNACPRODUTO: o código de serviço nacional \"10701\" não tem 6",
                           "linha 3, coluna PCALIQISSPRODUTO: a alíquota de ISS 5,01% não está entre 0 e 5%"};
        QTest::newRow("unclosed quote") << ""
                                        << "empresas" << csv("empresas", {"12;Empresa;;SC", "13;\"Empresa;;SC"})
                                        << QStringList{"linha 3: aspas abertas e não fechadas"};
        QTest::newRow("every bad line listed")
            << ""
            << "empresas" << csv("empresas", {"123;A;;SC", "12;B;;SC", ";C;;SC"})
            << QStringList{"recusado: 2 problema(s)", "linha 2, coluna CDEMPRESA", "linha 4, coluna CDEMPRESA"};
        QTest::newRow("same key twice")
            << ""
            << "empresas" << csv("empresas", {"12;A;;SC", "13;B;;SC", "12;C;;SC"})
            << QStringList{"linha 4: a empresa (CDEMPRESA 12) aparece duas vezes no arquivo: já está na linha 2"};
        QTest::newRow("same address twice")
            << ""
            << "clientes"
            << csv("clientes", {baseLines().value("clientes"), lineWith("clientes", {{"NRSEQENDECLIE", "01"}})})
            << QStringList{"linha 3: o endereço (CDCLIENTE C500, NRSEQENDECLIE 1) aparece duas vezes"};
        QTest::newRow("a client's lines disagree")
            << ""
            << "clientes"
            << csv("clientes", {baseLines().value("clientes"),
                                lineWith("clientes", {{"NRSEQENDECLIE", "2"}, {"NMFANTCLIE", "Outro Nome"}})})
            << QStringList{"linha 3, coluna NMFANTCLIE: \"Outro Nome\" difere da linha 2 (\"Novo Cliente\")"};
        QTest::newRow("address without its number")
            << ""
            << "clientes" << csv("clientes", {lineWith("clientes", {{"NRSEQENDECLIE", ""}, {"IDTPENDECLIE", ""}})})
            << QStringList{"coluna NRSEQENDECLIE: em branco, mas a linha traz dados em CDPAIS"};
        QTest::newRow("company not registered")
            << "empresas"
            << "filiais" << csv("filiais", {baseLines().value("filiais"), lineWith("filiais", {{"CDEMPRESA", "99"}})})
            << QStringList{"linha 3, coluna CDEMPRESA: a empresa (CDEMPRESA 99) não está cadastrada no banco de dados; "
                           "importe antes as empresas"};
        QTest::newRow("client not registered")
            << all << c << csv(c, {lineWith(c, {{"CDCLIENTE", "C999"}})})
            << QStringList{"linha 2, coluna CDCLIENTE: o cliente (CDCLIENTE C999) não está cadastrado"};
        QTest::newRow("branch not registered")
            << all << c << csv(c, {lineWith(c, {{"CDFILIAL", "0009"}})})
            << QStringList{"coluna CDFILIAL: a filial (CDEMPRESA 10, CDFILIAL 0009) não está cadastrada"};
        QTest::newRow("product not registered") << all << c << csv(c, {lineWith(c, {{"CDPRODUTO", "XX1"}})})
                                                << QStringList{"coluna CDPRODUTO: o produto (CDPRODUTO XX1)"};
        const QString billedLine = lineWith(c, {{"DTMESAPURFAS", "01/03/2024"}, {"VRTOTAFATFAS", "99,00"}});
        QTest::newRow("billed calculation changed")
            << all + ",apuracoes,faturada" << c << csv(c, {baseLines().value(c), billedLine})
            << QStringList{"linha 3: a apuração (CDEMPRESA 10, CDFILIAL 0001, CDCLIENTE C100, DTMESAPURFAS 2024-03-01, "
                           "IDAPURFATFAS 6) já foi faturada (Nota Fiscal, lançamento 7) e não pode ser alterada"};
        QTest::newRow("billed by a generation while importing")
            << all + ",apuracoes,faturando" << c << csv(c, {baseLines().value(c), billedLine})
            << QStringList{"linha 3: a apuração (CDEMPRESA 10, CDFILIAL 0001, CDCLIENTE C100, DTMESAPURFAS 2024-03-01, "
                           "IDAPURFATFAS 6) já foi faturada (Nota Fiscal, lançamento 7)"};
        // The billed calculation as the example file has it: only a null cell differs.
        const QString billedAsLoaded = QStringLiteral(
            "10;0001;C100;01/03/2024;6;P;SERV;05/04/2024 14:30;;;MAN;N;\"Manutenção mensal do sistema\nreferente a "
            "03/2024\";Pagável em qualquer banco;;1.234,56;;;SS-1001");
        for (const auto &[tag, column, value] :
             {std::tuple{"billed calculation, a blank cell filled", "NRNOTAFISC", "000123"},
              std::tuple{"billed calculation, a cell emptied", "DSBOLEFATFAS", ""}})
            QTest::newRow(tag) << all + ",apuracoes,faturada" << c
                               << csv(c, {lineWith(c, {{column, value}}, billedAsLoaded)})
                               << QStringList{"linha 2: a apuração", "já foi faturada (Nota Fiscal, lançamento 7)"};
        QTest::newRow("realized calculation cancelled")
            << all + ",apuracoes,realizada" << c
            << csv(c, {lineWith(c, {{"DTMESAPURFAS", "01/03/2024"}, {"IDSTAPFATFAS", "C"}})})
            << QStringList{"já foi faturada (situação Realizada)"};
        QTest::newRow("missing file") << ""
                                      << "empresas" << QByteArray("<missing>") << QStringList{"não existe"};
        QTest::newRow("a folder") << ""
                                  << "empresas" << QByteArray("<folder>") << QStringList{"é uma pasta"};
        QTest::newRow("unreadable file") << ""
                                         << "empresas" << QByteArray("<unreadable>")
                                         << QStringList{"Sem permissão para ler o arquivo", "file"};
    }

    void badFiles()
    {
        QFETCH(QString, setup);
        QFETCH(QString, kind);
        QFETCH(QByteArray, content);
        QFETCH(QStringList, messages);
        const bool racing = setup.endsWith(u"faturando");
        if (racing && m_database.db().driverName() == QLatin1String("QSQLITE"))
            QSKIP("SQLite has one writer: the import reads after the generation committed");
        QVERIFY(prepare(setup));
        const QString before = m_database.snapshot(); // with the open generation's rows
        Run run;
        if (racing) {
            run = importWhileBilling(kind, writeFile(content));
        } else if (content == "<unreadable>") {
            run = importUnreadable(kind);
            if (run.code == -1)
                QSKIP("the test cannot take a file-system identity that the file's permissions stop");
        } else if (content == "<missing>") {
            run = import(kind, m_dir.filePath(QStringLiteral("nada.csv")));
        } else {
            run = import(kind, content == "<folder>" ? m_dir.path() : writeFile(content));
        }
        QCOMPARE(run.code, ImportCommand::Refused);
        for (const QString &message : messages)
            QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QCOMPARE(m_database.snapshot(), before);
    }

    void usage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown kind") << QStringList{"operadores", "x.csv"}
                                      << "Tipo de importação desconhecido: \"operadores\"";
        QTest::newRow("no file") << QStringList{"empresas"} << "Uso: fas-admin import TIPO ARQUIVO";
    }

    void usage()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        QString out;
        QString err;
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        QCOMPARE(runImport(args, DatabaseUrl::parse(m_database.url()), outStream, errStream), ImportCommand::Usage);
        QVERIFY2(err.contains(message), qPrintable(err));
        QVERIFY(err.contains(QStringLiteral("apuracoes (calculations)")));
    }

    void values_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected"); // "!" and a part of the reason for a refusal
        const int decimal = int(ValueKind::Decimal);
        const int dateTime = int(ValueKind::DateTime);
        QTest::newRow("grouped") << decimal << "1.234.567,89"
                                 << "1234567.89";
        QTest::newRow("negative") << decimal << "-0,5"
                                  << "-0.5";
        QTest::newRow("whole") << decimal << "0012"
                               << "12";
        QTest::newRow("13 digits") << decimal << "9999999999999,99"
                                   << "9999999999999.99";
        QTest::newRow("14 digits") << decimal << "10000000000000"
                                   << "!grande demais";
        QTest::newRow("dot as decimal") << decimal << "1234.5"
                                        << "!não é um número";
        QTest::newRow("bad grouping") << decimal << "1.23,4"
                                      << "!não é um número";
        QTest::newRow("no whole part") << decimal << ",5"
                                       << "!não é um número";
        QTest::newRow("blank is null") << decimal << ""
                                       << "<null>";
        QTest::newRow("short day and month") << dateTime << "5/3/2024 9:05"
                                             << "2024-03-05 09:05:00";
        QTest::newRow("seconds") << dateTime << "29/02/2024 23:59:59"
                                 << "2024-02-29 23:59:59";
        QTest::newRow("not a leap year") << dateTime << "29/02/2023"
                                         << "!não é uma data e hora";
        QTest::newRow("hour 24") << dateTime << "01/01/2024 24:00"
                                 << "!não é uma data e hora";
        QTest::newRow("ISO is not the form") << dateTime << "2024-01-01"
                                             << "!não é uma data e hora";
        QTest::newRow("month with time") << int(ValueKind::MonthStart) << "01/03/2024 10:00"
                                         << "!não é uma data";
        QTest::newRow("integer leading zeros") << int(ValueKind::Integer) << "007"
                                               << "7";
        QTest::newRow("integer zero") << int(ValueKind::Integer) << "0"
                                      << "!não é um número inteiro";
        QTest::newRow("text by characters") << int(ValueKind::Text) << "ação🙂"
                                            << "ação🙂";
        QTest::newRow("text one too many") << int(ValueKind::Text) << "açãoçç"
                                           << "!texto com 6 caracteres; o máximo é 5";
    }

    void values()
    {
        QFETCH(int, kind);
        QFETCH(QString, input);
        QFETCH(QString, expected);
        const ImportColumn column{QStringLiteral("C"), ValueKind(kind), 5, false, {}, 0};
        QString value = input;
        QString reason;
        const bool ok = ImportValue::convert(column, value, reason);
        if (expected.startsWith(u'!')) {
            QVERIFY(!ok);
            QVERIFY2(reason.contains(expected.mid(1)), qPrintable(reason));
        } else {
            QVERIFY2(ok, qPrintable(reason));
            QCOMPARE(value.isNull() ? QStringLiteral("<null>") : value, expected);
        }
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int status = 0;
    {
        TstImport sqlite(ScratchDatabase::Kind::Sqlite);
        status |= QTest::qExec(&sqlite, argc, argv);
    }
    {
        TstImport postgres(ScratchDatabase::Kind::Postgres);
        status |= QTest::qExec(&postgres, argc, argv);
    }
    return status;
}

#include "tst_import.moc"
