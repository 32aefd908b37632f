#include <QtTest>

#include <QCheckBox>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTabWidget>

#include "tests/support/CallWatch.h"
#include "billing/BillingItemLayout.h"
#include "tests/support/BillingRows.h"
#include "Cli_fas09600/Cli_fas09600.h"
#include "Cli_fas09601/Cli_fas09601.h"
#include "outside/services/Consiste.h"
#include "platform/sql/DatabaseConnection.h"
#include "platform/sql/DatabaseUrl.h"
#include "platform/data/FasError.h"
#include "Cli_fas09600/GenerationRun.h"
#include "outside/services/HostConfig.h"
#include "outside/services/MessageDialog.h"
#include "tests/module/ModuleFixture.h"
#include "tests/support/TestSql.h"
#include "Pkg_fas09600/Pkg_fas09600.h"
#include "outside/net/RemoteArgument.h"
#include "Cli_fas09600/RunResultPanel.h"
#include "outside/services/Showavi.h"
#include "outside/data/TADOIBQuery.h"
#include "outside/forms/TApplication.h"
#include "outside/controls/TButtonFlat.h"
#include "platform/data/TClientDataSet.h"
#include "platform/ui/TDBGrid.h"
#include "outside/services/TMessages.h"
#include "outside/net/TNetConnection.h"
#include "Cli_fas09600/TfrmFaturamento.h"
#include "Cli_fas09601/TfrmFiltroFaturamento.h"

using Cli_fas09600::frmFaturamento;

namespace {

const char *const DbConnection = "tst_generation";

// The screen's catalogue, as the user reads it.
QString catalogueText(const QString &code)
{
    static const QHash<QString, QString> texts = {
        {QStringLiteral("NF_Exist"), QStringLiteral("Item marcado já possui Nota Fiscal.")},
        {QStringLiteral("Inv_Exist"), QStringLiteral("Item marcado já possui Invoice.")},
        {QStringLiteral("Apur_Canc"),
         QStringLiteral("Item marcado não pode gerar Nota Fiscal / Invoice porque a Apuração foi cancelada.")},
        {QStringLiteral("Apur_Inf"),
         QStringLiteral("Apuração deve ser informada para gerar Nota(s) Fiscal(is) / Invoice(s).")},
        {QStringLiteral("Ok"), QStringLiteral("Nota(s) Fiscal(is) / Invoice(s) gerado(s) com sucesso!")},
    };
    return texts.value(code);
}

QString errorDialog(const QString &code)
{
    return QStringLiteral("erro: ") + catalogueText(code);
}

QString infoDialog(const QString &code)
{
    return QStringLiteral("informação: ") + catalogueText(code);
}

// The key of a calculation, as the database holds it.
struct ItemKey
{
    QString company;
    QString branch;
    QString client;
    QString month; // yyyy-MM-dd
    QString type;

    QVariantList bind() const { return {company, branch, client, month, type}; }
    QString text() const { return QStringList{company, branch, client, month, type}.join(QLatin1Char('/')); }
    bool operator==(const ItemKey &o) const { return text() == o.text(); }
};

// One preview row chosen for a case: its kind (see matches()), whether it is
// ticked, where it stands and how the database had it before the run.
struct Pick
{
    QString kind;
    bool ticked = false;
    int row = -1;
    ItemKey key;
    QString entryBefore;
    QString statusBefore;
};

struct Nationality
{
    int mainInBrazil = 0; // addresses of type "P" in country "0055"
    int inBrazil = 0;     // addresses of any type in country "0055"
};

// What the test sees while a run goes on.
struct Observed
{
    bool running = false;
    int walkScrolls = 0;
    int walkOutOfState = 0;     // walk steps without hourglass, frozen controls or the grid page
    int previewOpens = 0;       // answers and reloads loaded into the preview
    int answersWithoutBusy = 0; // loads with no busy animation or with the hourglass
    int nationalityQueries = 0;
    std::function<void()> onPreviewOpen;
};

// A record as it was posted into a batch.
struct PostedRecord
{
    QString batch;
    QVariantMap values; // null fields as null QVariants
};

} // namespace

// The generation run "Gerar Nota Fiscal / Invoice" against a real application
// server on a demo database: the module's own button, menu entry and shortcut,
// rows of real calculations loaded with the stored filter, the database and the
// server's log checked afterwards.
class TstGeneration : public QObject
{
    Q_OBJECT

    ModuleFixture m_fixture;
    QStringList m_dialogs; // message dialogs, "erro: ..." or "informação: ..."
    QHash<QString, Nationality> m_clients;
    Observed m_observed;
    QList<PostedRecord> m_posted;
    QHash<TClientDataSet *, TDataSetState> m_batchStates;
    int m_activations = 0;

    static TfrmFaturamento *screen() { return frmFaturamento; }
    static TClientDataSet *preview() { return screen()->cdsFaturamento; }
    static QSqlDatabase db() { return QSqlDatabase::database(QString::fromLatin1(DbConnection)); }

    // ---- database -------------------------------------------------------

    static bool exec(const QString &sql, const QVariantList &values = {}) { return TestSql::exec(db(), sql, values); }

    static QVariant scalar(const QString &sql, const QVariantList &values = {})
    {
        QSqlQuery query(db());
        query.prepare(sql);
        for (const QVariant &value : values)
            query.addBindValue(value);
        if (!query.exec() || !query.next())
            return {};
        return query.value(0);
    }

    // "N:12" / "I:7" for the calculation's entry, "" when it has none.
    static QString entryOf(const ItemKey &key)
    {
        QSqlQuery query(db());
        query.prepare(QStringLiteral("SELECT IDTPLANCFAT, NRLANCFAT FROM ITEMLANCFAT WHERE CDEMPRESA = ? AND "
                                     "CDFILIAL = ? AND CDCLIENTE = ? AND DTMESAPURFAS = ? AND IDAPURFATFAS = ?"));
        for (const QVariant &value : key.bind())
            query.addBindValue(value);
        if (!query.exec() || !query.next())
            return {};
        return query.value(0).toString() + QLatin1Char(':') + query.value(1).toString();
    }

    static QString statusOf(const ItemKey &key)
    {
        const QVariant status = scalar(QStringLiteral("SELECT COALESCE(IDSTAPFATFAS, '') FROM APURFATFAS WHERE "
                                                      "CDEMPRESA = ? AND CDFILIAL = ? AND CDCLIENTE = ? AND "
                                                      "DTMESAPURFAS = ? AND IDAPURFATFAS = ?"),
                                       key.bind());
        return status.isNull() ? QStringLiteral("<missing>") : status.toString();
    }

    // Entries and the counters that number them: what a generation changes.
    static QString billingTotals()
    {
        return QStringLiteral("%1 entries, %2 items, counters %3, realized %4")
            .arg(scalar(QStringLiteral("SELECT COUNT(*) FROM LANCFATFAS")).toInt())
            .arg(scalar(QStringLiteral("SELECT COUNT(*) FROM ITEMLANCFAT")).toInt())
            .arg(scalar(QStringLiteral("SELECT SUM(NRULTLANCFAT) FROM NUMLANCFAT")).toInt())
            .arg(scalar(QStringLiteral("SELECT COUNT(*) FROM APURFATFAS WHERE IDSTAPFATFAS = 'R'")).toInt());
    }

    // Test clients whose names sort after every demo client, so that their rows
    // end the preview: "Zz Teste Exterior" (foreign: main address abroad, two
    // other addresses in Brazil), "Zz Teste Nacional" (domestic) and "Zz Teste
    // Ultramar" (foreign, nothing in Brazil).
    static bool insertTestClients()
    {
        bool ok = exec(QStringLiteral("INSERT INTO CLIENTE (CDCLIENTE, NMFANTCLIE, IDTPIJURCLIE) VALUES "
                                      "('ZZEST', 'Zz Teste Exterior', 'J'), ('ZZNAC', 'Zz Teste Nacional', 'J'), "
                                      "('ZZULT', 'Zz Teste Ultramar', 'J')"));
        ok = ok
             && exec(QStringLiteral("INSERT INTO ENDECLIE (CDCLIENTE, NRSEQENDECLIE, IDTPENDECLIE, CDPAIS) VALUES "
                                    "('ZZEST', 1, 'P', '0049'), ('ZZEST', 2, 'C', '0055'), "
                                    "('ZZEST', 3, 'E', '0055'), "
                                    "('ZZNAC', 1, 'P', '0055'), ('ZZNAC', 2, 'C', '0351'), "
                                    "('ZZULT', 1, 'P', '0001')"));
        return ok;
    }

    struct Inserted
    {
        const char *client;
        const char *status; // nullptr: blank
        char entry;         // 'N', 'I' or 0
        bool blankValues;
    };

    // Calculations the demo data does not give, month after month in the order
    // listed (so also in the preview's order).
    static bool insertCalculations(const QList<Inserted> &rows)
    {
        QDate month(2015, 1, 1);
        for (const Inserted &row : rows) {
            const QString monthText = month.toString(QStringLiteral("yyyy-MM-dd"));
            bool ok = exec(
                QStringLiteral("INSERT INTO APURFATFAS (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, IDAPURFATFAS, "
                               "IDSTAPFATFAS, CDGRUPONFAPUR, DTAPURFATFAS, CDPRODUTO, CDOPERAPUR, CDTIPOSERV, "
                               "IDCOMIFATFAS, DSEMISSPRONF, DSBOLEFATFAS, DSFATURCLIE, VRTOTAFATFAS) "
                               "VALUES ('01', '0001', ?, ?, '6', ?, 'SERV', ?, 'MA001', 'ADMIN', 'MAN', 'N', "
                               "'Manutenção', 'Boleto', 'Faturar', ?)"),
                {QString::fromLatin1(row.client), monthText,
                 row.status ? QVariant(QString::fromLatin1(row.status)) : QVariant(QMetaType(QMetaType::QString)),
                 row.blankValues ? QVariant(QMetaType(QMetaType::QString))
                                 : QVariant(month.addMonths(1).toString(QStringLiteral("yyyy-MM-dd 10:20:30"))),
                 row.blankValues ? QVariant(QMetaType(QMetaType::Double)) : QVariant(1234.56)});
            if (ok && row.entry) {
                const QString kind = QString(QLatin1Char(row.entry));
                ok = exec(QStringLiteral("UPDATE NUMLANCFAT SET NRULTLANCFAT = NRULTLANCFAT + 1 "
                                         "WHERE CDEMPRESA = '01' AND IDTPLANCFAT = ?"),
                          {kind});
                const int number = scalar(QStringLiteral("SELECT NRULTLANCFAT FROM NUMLANCFAT WHERE CDEMPRESA = '01' "
                                                         "AND IDTPLANCFAT = ?"),
                                          {kind})
                                       .toInt();
                ok = ok && number > 0
                     && exec(
                         QStringLiteral("INSERT INTO LANCFATFAS (CDEMPRESA, IDTPLANCFAT, NRLANCFAT, CDFILIAL, "
                                        "CDCLIENTE, CDGRUPONFAPUR, DTLANCFAT, QTITEMLANCFAT, VRTOTLANCFAT) "
                                        "VALUES ('01', ?, ?, '0001', ?, 'SERV', '2015-01-01 00:00:00', 1, 1234.56)"),
                         {kind, number, QString::fromLatin1(row.client)})
                     && exec(
                         QStringLiteral("INSERT INTO ITEMLANCFAT (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, "
                                        "IDAPURFATFAS, IDTPLANCFAT, NRLANCFAT) VALUES ('01', '0001', ?, ?, '6', ?, ?)"),
                         {QString::fromLatin1(row.client), monthText, kind, number});
            }
            if (!ok)
                return false;
            month = month.addMonths(1);
        }
        return true;
    }

    void readNationalities()
    {
        QSqlQuery query(db());
        QVERIFY(query.exec(
            QStringLiteral("SELECT c.CDCLIENTE, "
                           "(SELECT COUNT(*) FROM ENDECLIE e WHERE e.CDCLIENTE = c.CDCLIENTE AND e.CDPAIS = '0055' "
                           "AND e.IDTPENDECLIE = 'P'), "
                           "(SELECT COUNT(*) FROM ENDECLIE e WHERE e.CDCLIENTE = c.CDCLIENTE AND e.CDPAIS = '0055') "
                           "FROM CLIENTE c")));
        while (query.next())
            m_clients.insert(query.value(0).toString(), {query.value(1).toInt(), query.value(2).toInt()});
    }

    // ---- preview --------------------------------------------------------

    // The nationality queries a run makes when it walks rows [0, rows): one per
    // client of a row that can go into a batch (ticked, pending or blank, no note
    // and no invoice entry), counted from the rows themselves.
    static int nationalityQueriesFor(int rows)
    {
        QSet<QString> clients;
        for (int row = 0; row < rows; ++row) {
            const QString status = cell(row, "IDSTAPFATFAS");
            if (cell(row, "IDCHECK") == QLatin1String("S") && (status == QLatin1String("P") || status.isEmpty())
                && cell(row, "NRLANCTONF").isEmpty() && cell(row, "NRLANCINVOICE").isEmpty())
                clients.insert(cell(row, "CDCLIENTE"));
        }
        return int(clients.size());
    }

    static QString cell(int row, const char *name) { return BillingRows::cell(preview()->Store(), row, name); }

    static bool isNull(int row, const char *name)
    {
        const TRecordStore &store = preview()->Store();
        return store.isNull(row, store.indexOf(QString::fromLatin1(name)));
    }

    static ItemKey keyOf(int row)
    {
        return {cell(row, "CDEMPRESA"), cell(row, "CDFILIAL"), cell(row, "CDCLIENTE"),
                cell(row, "DTMESAPURFAS").left(10), cell(row, "IDAPURFATFAS")};
    }

    static int rowOf(const ItemKey &key)
    {
        for (int row = 0; row < preview()->Store().rowCount(); ++row) {
            if (keyOf(row) == key)
                return row;
        }
        return -1;
    }

    // Every cell of every row, null told apart from empty text.
    static QStringList snapshot()
    {
        QStringList rows;
        const TRecordStore &store = preview()->Store();
        for (int row = 0; row < store.rowCount(); ++row) {
            QStringList cells;
            for (const TFieldDef &def : store.defs()) {
                const QByteArray name = def.name.toLatin1();
                cells << (isNull(row, name.constData()) ? QStringLiteral("<null>") : cell(row, name.constData()));
            }
            rows << cells.join(QLatin1Char('|'));
        }
        return rows;
    }

    // The kinds of rows a case asks for.
    bool matches(const QString &kind, int row) const
    {
        const QString status = cell(row, "IDSTAPFATFAS");
        const bool note = !cell(row, "NRLANCTONF").isEmpty();
        const bool invoice = !cell(row, "NRLANCINVOICE").isEmpty();
        const bool clean = !note && !invoice;
        const Nationality n = m_clients.value(cell(row, "CDCLIENTE"));
        const bool domestic = n.mainInBrazil > 0;
        const bool pending = status == QLatin1String("P");
        const bool blankValues = isNull(row, "DTAPURFATFAS") && isNull(row, "VRTOTAFATFAS");
        if (kind == QLatin1String("nf")) // domestic, one main address in Brazil
            return pending && clean && n.mainInBrazil == 1 && !blankValues;
        if (kind == QLatin1String("nf2")) // domestic, two or more
            return pending && clean && n.mainInBrazil >= 2 && !blankValues;
        if (kind == QLatin1String("inv")) // foreign, no address in Brazil at all
            return pending && clean && n.inBrazil == 0 && !blankValues;
        if (kind == QLatin1String("invBr")) // foreign, other addresses in Brazil
            return pending && clean && !domestic && n.inBrazil > 0 && !blankValues;
        if (kind == QLatin1String("nfBlank"))
            return status.isEmpty() && clean && domestic;
        if (kind == QLatin1String("invBlank"))
            return status.isEmpty() && clean && !domestic;
        if (kind == QLatin1String("doneNote") || kind == QLatin1String("doneBoth"))
            return status == QLatin1String("R") && note && !invoice;
        if (kind == QLatin1String("doneInv"))
            return status == QLatin1String("R") && invoice && !note;
        if (kind == QLatin1String("doneBare"))
            return status == QLatin1String("R") && clean;
        if (kind == QLatin1String("canc"))
            return status == QLatin1String("C");
        if (kind == QLatin1String("notSys"))
            return status == QLatin1String("N");
        if (kind == QLatin1String("pendNote"))
            return pending && domestic && note;
        if (kind == QLatin1String("pendInv"))
            return pending && domestic && invoice;
        if (kind == QLatin1String("forNote"))
            return pending && !domestic && note;
        if (kind == QLatin1String("blankValues"))
            return pending && domestic && clean && blankValues;
        qFatal("unknown kind %s", qPrintable(kind));
    }

    // Picks rows for "kind+ kind- ..." (ticked +, unticked -), each a row of
    // its own; `ordered`: in the preview's order, each after the one before.
    // (The demo data follows the calendar, so which rows exist varies.)
    QList<Pick> pick(const QString &tokens, bool ordered = true) const
    {
        QList<Pick> picks;
        QSet<int> used;
        int from = 0;
        const QStringList parts = tokens.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString &token : parts) {
            Pick p;
            p.kind = token.chopped(1);
            p.ticked = token.endsWith(QLatin1Char('+'));
            for (int row = ordered ? from : 0; row < preview()->RecordCount(); ++row) {
                if (!used.contains(row) && matches(p.kind, row)) {
                    p.row = row;
                    break;
                }
            }
            if (p.row < 0) {
                QStringList chosen;
                for (const Pick &earlier : std::as_const(picks))
                    chosen << earlier.kind + QLatin1Char('@') + cell(earlier.row, "NMFANTCLIE");
                qWarning("no row of kind %s after row %d (%s)", qPrintable(p.kind), from,
                         qPrintable(chosen.join(", ")));
                return {};
            }
            p.key = keyOf(p.row);
            p.entryBefore = entryOf(p.key);
            p.statusBefore = statusOf(p.key);
            from = p.row + 1;
            used.insert(p.row);
            picks << p;
        }
        return picks;
    }

    // Ticks as a user's tick leaves the row; "doneBoth" rows also carry an
    // invoice entry number, which no real calculation can have beside a note's.
    static void tick(const Pick &p)
    {
        if (!p.ticked && p.kind != QLatin1String("doneBoth"))
            return;
        TClientDataSet *rows = preview();
        rows->SetRecNo(p.row + 1);
        rows->Edit();
        if (p.ticked)
            rows->FieldByName(QStringLiteral("IDCHECK"))->SetAsString(QStringLiteral("S"));
        if (p.kind == QLatin1String("doneBoth"))
            rows->FieldByName(QStringLiteral("NRLANCINVOICE"))->SetAsString(QStringLiteral("999999"));
        rows->Post();
    }

    // The stored filter, as the screen's verify action runs it.
    static void loadStoredFilter()
    {
        try {
            screen()->sbtVerificarClick(screen()->sbtVerificar);
        } catch (const std::exception &error) {
            QFAIL(error.what());
        }
        QVERIFY(preview()->RecordCount() > 0);
    }

    // A real answer without rows: a period before the demo data.
    static void loadEmptyAnswer()
    {
        const TRemoteValue result = screen()->netFaturamento->Call(
            QStringLiteral("GetFaturamento"),
            {RemoteArgument::date(QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC)),
             RemoteArgument::date(QDateTime(QDate(2001, 12, 31), QTime(0, 0), Qt::UTC)),
             RemoteArgument::text(QStringLiteral("_1__2__3__5__6_")), RemoteArgument::text(QString()),
             RemoteArgument::text(QStringLiteral("T")), RemoteArgument::text(QString()),
             RemoteArgument::text(QStringLiteral("T")), RemoteArgument::text(QStringLiteral("T")),
             RemoteArgument::text(QStringLiteral("T"))});
        preview()->SetData(Consiste::CheckResultServ(result, true, 0));
    }

    // ---- the run --------------------------------------------------------

    // The server logs a request after answering it. A call on the screen's
    // kept-alive connection is logged after every call made before it on that
    // connection, so once a probe's line is in, so are theirs. Returns the end
    // of the log so far, -1 when the probe's line never came.
    qsizetype settledLog()
    {
        static const QByteArray probe = QByteArrayLiteral("method=SondaDoTeste ");
        const qsizetype before = m_fixture.server.serverLog().size();
        try {
            screen()->netFaturamento->Call(QStringLiteral("SondaDoTeste"), {});
        } catch (const std::exception &) {
            // unknown method: the answer expected
        }
        if (!QTest::qWaitFor([&] { return m_fixture.server.serverLog().indexOf(probe, before) >= 0; }))
            return -1;
        const QByteArray log = m_fixture.server.serverLog();
        return log.indexOf('\n', log.indexOf(probe, before)) + 1;
    }

    // The remote methods the server answered after `mark`, in order, with the
    // error code of a refusal: "GeraNF", "GeraInvoice error=-32011".
    QStringList methodsSince(qsizetype mark, bool settle = true)
    {
        static const QRegularExpression line(QStringLiteral("method=(\\w+) .*status=\\d+( error=-?\\d+)?"));
        const qsizetype end = settle ? settledLog() : m_fixture.server.serverLog().size();
        if (end < 0)
            return {QStringLiteral("(the server's log did not come)")};
        QStringList methods;
        const QString log = QString::fromUtf8(m_fixture.server.serverLog().mid(mark, end - mark));
        for (const QString &text : log.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QRegularExpressionMatch match = line.match(text);
            if (match.hasMatch() && match.captured(1) != QLatin1String("SondaDoTeste"))
                methods << match.captured(1) + match.captured(2);
        }
        return methods;
    }

    // Runs the generation with the user's gesture; `onPreviewOpen` runs each
    // time an answer or the reload loads into the preview.
    void generate(const QString &gesture, std::function<void()> onPreviewOpen = {})
    {
        m_observed = {};
        m_observed.onPreviewOpen = std::move(onPreviewOpen);
        m_posted.clear();
        m_dialogs.clear();
        m_fixture.errors.clear();
        m_activations = CallWatch::busyAnimations();
        m_observed.running = true;
        if (gesture == QLatin1String("button")) {
            screen()->sbtGerarNF->click();
        } else if (gesture == QLatin1String("menu")) {
            screen()->mnuGerarNF->trigger();
        } else if (gesture == QLatin1String("ctrl+n")) {
            QApplication::setActiveWindow(&m_fixture.mainForm);
            screen()->dbgPadrao->setFocus();
            QTest::keyClick(screen()->dbgPadrao, Qt::Key_N, Qt::ControlModifier);
        } else {
            QFAIL(qPrintable(gesture));
        }
        m_observed.running = false;
    }

    int requestsMade() const { return CallWatch::busyAnimations() - m_activations; }

    // What every way out of a run leaves behind.
    void verifyAtRest()
    {
        QCOMPARE(Screen::Cursor(), Screen::crDefault);
        QVERIFY(!preview()->ControlsDisabled());
        QVERIFY(!screen()->cdsNota->Active());
        QVERIFY(!screen()->cdsInv->Active());
        QVERIFY(!Showavi::IsActive());
        QCOMPARE(screen()->pgcPadrao->currentWidget(), screen()->tshFolhaDados);
        QCOMPARE(m_observed.walkOutOfState, 0);
        QCOMPARE(m_observed.answersWithoutBusy, 0);
    }

    void restartServer()
    {
        QVERIFY2(m_fixture.server.start(), qPrintable(m_fixture.server.errorText()));
        HostConfig::setWebPort(m_fixture.server.port());
        screen()->netFaturamento->SetConnected(false);
        screen()->netFaturamento->SetConnected(true);
    }

private slots:
    void initTestCase()
    {
        QString why;
        QVERIFY2(m_fixture.start(&why), qPrintable(why));
        MessageDialog::setRecorder([this](MessageDialog::Kind kind, const QString &text) {
            m_dialogs << (kind == MessageDialog::Kind::Error ? QStringLiteral("erro: ")
                                                             : QStringLiteral("informação: "))
                             + text;
        });
        DatabaseConnection::open(DatabaseUrl::parse(m_fixture.server.databaseUrl()), QString::fromLatin1(DbConnection));
        QVERIFY(insertTestClients());
        QVERIFY(insertCalculations({
            {"ZZEST", "P", 'N', false},
            {"ZZEST", "P", 'N', false}, // forNote
            {"ZZEST", nullptr, 0, false},
            {"ZZEST", nullptr, 0, false},
            {"ZZEST", nullptr, 0, false}, // invBlank
            {"ZZNAC", "R", 0, false},
            {"ZZNAC", "R", 0, false}, // doneBare
            {"ZZNAC", "P", 'N', false},
            {"ZZNAC", "P", 'N', false}, // pendNote
            {"ZZNAC", "P", 'I', false},
            {"ZZNAC", "P", 'I', false}, // pendInv
            {"ZZNAC", nullptr, 0, false},
            {"ZZNAC", nullptr, 0, false},
            {"ZZNAC", nullptr, 0, false}, // nfBlank
            {"ZZNAC", "P", 0, true},
            {"ZZNAC", "P", 0, true}, // blankValues
            // Pending rows at the end of the preview, so that a case asking for
            // a domestic or a foreign row after the others always finds one,
            // whatever the demo data of the month holds.
            {"ZZNAC", "P", 0, false},
            {"ZZNAC", "P", 0, false},
            {"ZZNAC", "P", 0, false},
            {"ZZULT", "P", 0, false},
            {"ZZULT", "P", 0, false},
            {"ZZULT", "P", 0, false},
        }));
        readNationalities();

        Initialize();
        // The launch opens the filter dialog: ask for every service type the
        // dialog offers and every situation over the default period, so that the
        // stored filter shows every calculation of those types.
        bool confirmed = false;
        m_fixture.modals.arm([&confirmed](QWidget *modal) {
            auto *dialog = qobject_cast<TfrmFiltroFaturamento *>(modal);
            if (!dialog) {
                ModalWatcher::closeModal(modal);
                return;
            }
            for (QCheckBox *box : {dialog->chbLicencaUso, dialog->chbManutencao, dialog->chbCustomizacao,
                                   dialog->chbMaoObra, dialog->chbServDesk, dialog->chbTSituacao}) {
                if (!box->isChecked())
                    box->click();
            }
            dialog->sbtConfirma->click();
            confirmed = !dialog->isVisible();
            if (dialog->isVisible())
                ModalWatcher::closeModal(dialog);
        });
        IniProc();
        m_fixture.modals.disarm();
        QVERIFY(Cli_fas09600::boIdCriado);
        QVERIFY(confirmed);
        QVERIFY(preview()->RecordCount() > 1000);

        connect(preview(), &TClientDataSet::AfterScroll, this, [this] {
            if (!m_observed.running || m_observed.previewOpens > 0)
                return;
            ++m_observed.walkScrolls;
            if (Screen::Cursor() != Screen::crHourGlass || !preview()->ControlsDisabled()
                || screen()->pgcPadrao->currentWidget() != screen()->tshFolhaDados)
                ++m_observed.walkOutOfState;
        });
        connect(preview(), &TClientDataSet::AfterOpen, this, [this] {
            if (!m_observed.running)
                return;
            ++m_observed.previewOpens;
            if (!Showavi::IsActive() || Screen::Cursor() != Screen::crDefault || preview()->ControlsDisabled())
                ++m_observed.answersWithoutBusy;
            if (m_observed.onPreviewOpen)
                m_observed.onPreviewOpen();
        });
        connect(screen()->qryNacionalidade, &TClientDataSet::AfterOpen, this, [this] {
            if (m_observed.running)
                ++m_observed.nationalityQueries;
        });
        for (TClientDataSet *batch : {screen()->cdsNota, screen()->cdsInv}) {
            connect(batch, &TClientDataSet::StateChange, this, [this, batch] {
                const TDataSetState before = m_batchStates.value(batch, TDataSetState::Inactive);
                m_batchStates[batch] = batch->State();
                if (before != TDataSetState::Insert || batch->State() != TDataSetState::Browse)
                    return;
                PostedRecord record;
                record.batch = batch->objectName();
                for (int i = 0; i < batch->FieldCount(); ++i)
                    record.values.insert(batch->Fields(i)->FieldName(), batch->Fields(i)->Value());
                m_posted << record;
            });
        }
    }

    void init() { screen()->SetActivePage(screen()->tshFolhaDados); }

    void cleanup()
    {
        m_fixture.modals.disarm();
        Screen::SetCursor(Screen::crDefault);
        Showavi::DeactiveShowAvi();
    }

    void cleanupTestCase()
    {
        if (Cli_fas09600::boIdCriado) {
            QPointer<TfrmFaturamento> closing = screen();
            closing->sbtFechar->click();
            QTRY_VERIFY(closing.isNull());
        }
        Finalize();
        DatabaseConnection::close(QString::fromLatin1(DbConnection));
    }

    // tokens: rows of the kinds matches() names, "kind+" ticked, "kind-" not;
    // for a refusal (stopAt, the row that raises it) in the preview's order.
    // results: per row, 'N' a fiscal-note entry, 'I' an invoice entry, '-' none.
    void outcomes_data()
    {
        QTest::addColumn<QString>("tokens");
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<bool>("fromDetail");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("stopAt");
        QTest::addColumn<QString>("results");

        QTest::newRow("domestic client") << "nf+"
                                         << "button" << false << "Ok" << -1 << "N";
        QTest::newRow("two main addresses in Brazil: domestic") << "nf2+"
                                                                << "ctrl+n" << false << "Ok" << -1 << "N";
        QTest::newRow("foreign client") << "inv+"
                                        << "menu" << false << "Ok" << -1 << "I";
        QTest::newRow("foreign with other addresses in Brazil") << "invBr+"
                                                                << "button" << false << "Ok" << -1 << "I";
        QTest::newRow("both kinds, from the detail page") << "nf+ inv+ nf2+ invBr+"
                                                          << "button" << true << "Ok" << -1 << "NINI";
        QTest::newRow("blank status counts as pending") << "invBlank+ nfBlank+"
                                                        << "button" << false << "Ok" << -1 << "IN";
        QTest::newRow("rows meeting no rule beside a qualifying one")
            << "notSys+ nf+ forNote+ doneBare+ pendNote+ pendInv+"
            << "button" << false << "Ok" << -1 << "-N----";
        QTest::newRow("unticked refusable rows raise nothing") << "canc- doneNote- doneInv- inv+"
                                                               << "ctrl+n" << false << "Ok" << -1 << "---I";

        QTest::newRow("note already issued") << "nf+ doneNote+ inv+"
                                             << "button" << false << "NF_Exist" << 1 << "---";
        QTest::newRow("invoice already issued") << "inv+ doneInv+ nf+"
                                                << "menu" << false << "Inv_Exist" << 1 << "---";
        QTest::newRow("both entry numbers") << "doneBoth+"
                                            << "button" << false << "NF_Exist" << 0 << "-";
        QTest::newRow("cancelled among qualifying rows") << "nf+ canc+ inv+"
                                                         << "ctrl+n" << false << "Apur_Canc" << 1 << "---";
        QTest::newRow("first refusal decides: cancelled") << "canc+ doneNote+"
                                                          << "button" << false << "Apur_Canc" << 0 << "--";
        QTest::newRow("first refusal decides: invoice") << "doneInv+ canc+"
                                                        << "button" << false << "Inv_Exist" << 0 << "--";
        QTest::newRow("refusal from the detail page") << "canc+"
                                                      << "button" << true << "Apur_Canc" << 0 << "-";

        QTest::newRow("nothing ticked") << "nf- inv-"
                                        << "button" << false << "Apur_Inf" << -1 << "--";
        QTest::newRow("only rows meeting no rule") << "notSys+ forNote+ doneBare+ pendNote+ pendInv+"
                                                   << "ctrl+n" << false << "Apur_Inf" << -1 << "-----";
        QTest::newRow("nothing ticked, from the detail page") << ""
                                                              << "button" << true << "Apur_Inf" << -1 << "";
        QTest::newRow("empty preview") << "<empty>"
                                       << "button" << false << "Apur_Inf" << -1 << "";
    }

    void outcomes()
    {
        QFETCH(QString, tokens);
        QFETCH(QString, gesture);
        QFETCH(bool, fromDetail);
        QFETCH(QString, message);
        QFETCH(int, stopAt);
        QFETCH(QString, results);

        QList<Pick> picks;
        if (tokens == QLatin1String("<empty>")) {
            loadEmptyAnswer();
            QVERIFY(preview()->IsEmpty());
        } else {
            loadStoredFilter();
            // Only a refusal depends on which rows come first.
            picks = pick(tokens, stopAt >= 0);
            QCOMPARE(picks.size(), results.size());
        }
        for (const Pick &p : std::as_const(picks))
            tick(p);
        const int rowsBefore = preview()->RecordCount();
        const int queriesBefore = stopAt >= 0 ? nationalityQueriesFor(picks.at(stopAt).row)
                                              : nationalityQueriesFor(rowsBefore);
        if (rowsBefore > 0)
            preview()->SetRecNo(rowsBefore); // the run starts where the user left the cursor
        const QStringList before = snapshot();
        const QString totalsBefore = billingTotals();
        if (fromDetail)
            screen()->SetActivePage(screen()->tshFormulario);
        QVERIFY(screen()->sbtGerarNF->isEnabled());
        const qsizetype mark = settledLog();
        QVERIFY(mark >= 0);
        const QRect frameBefore = screen()->SubWindow()->geometry();
        const QSize designedPart = screen()->centralWidget()->size();

        generate(gesture);

        verifyAtRest();
        QCOMPARE(m_fixture.errors, QStringList());
        QCOMPARE(m_observed.walkScrolls > 0, rowsBefore > 0);
        if (stopAt >= 0) {
            // Refused at a row: nothing sent, the preview as it was, standing on that row.
            const Pick &offending = picks.at(stopAt);
            QCOMPARE(m_dialogs, QStringList{errorDialog(message)});
            QCOMPARE(requestsMade(), 0);
            QCOMPARE(methodsSince(mark), QStringList());
            QCOMPARE(m_observed.previewOpens, 0);
            QVERIFY(screen()->runResultPanel->Result().Entries().isEmpty());
            QCOMPARE(m_observed.nationalityQueries, queriesBefore);
            QCOMPARE(billingTotals(), totalsBefore);
            QCOMPARE(snapshot(), before);
            QCOMPARE(preview()->RecNo(), offending.row + 1);
            QCOMPARE(screen()->dbgPadrao->currentIndex().row(), offending.row);
            QCOMPARE(screen()->edtSituacao->text(),
                     message == QLatin1String("Apur_Canc") ? QStringLiteral("Cancelada") : QStringLiteral("Realizada"));
        } else if (message == QLatin1String("Apur_Inf")) {
            QCOMPARE(m_dialogs, QStringList{errorDialog(message)});
            QCOMPARE(requestsMade(), 0);
            QCOMPARE(methodsSince(mark), QStringList());
            QCOMPARE(m_observed.previewOpens, 0);
            QVERIFY(screen()->runResultPanel->Result().Entries().isEmpty());
            QVERIFY(!screen()->runResultPanel->isVisible());
            QCOMPARE(m_observed.nationalityQueries, 0);
            QCOMPARE(billingTotals(), totalsBefore);
            QCOMPARE(snapshot(), before);
            QCOMPARE(preview()->RecNo(), rowsBefore > 0 ? 1 : 0);
            if (rowsBefore > 0)
                QCOMPARE(screen()->dbgPadrao->currentIndex().row(), 0);
        } else {
            const bool notes = results.contains(QLatin1Char('N'));
            const bool invoices = results.contains(QLatin1Char('I'));
            QStringList expectedMethods;
            if (notes)
                expectedMethods << QStringLiteral("GeraNF");
            if (invoices)
                expectedMethods << QStringLiteral("GeraInvoice");
            expectedMethods << QStringLiteral("GetFaturamento");
            QCOMPARE(m_dialogs, QStringList{infoDialog(message)});
            QCOMPARE(m_observed.nationalityQueries, queriesBefore);
            QVERIFY(queriesBefore <= picks.size());
            QCOMPARE(m_observed.previewOpens, expectedMethods.size()); // each answer, then the reload
            QCOMPARE(requestsMade(), expectedMethods.size());
            QCOMPARE(methodsSince(mark), expectedMethods);
            // The reload: the stored filter's rows with the server's ticks.
            QCOMPARE(preview()->RecordCount(), rowsBefore);
            for (int row = 0; row < preview()->RecordCount(); ++row)
                QVERIFY2(cell(row, "IDCHECK") != QLatin1String("S"), qPrintable(keyOf(row).text()));
        }

        // The run's result beside the message: one line per entry made, with its items.
        QMap<QString, int> entriesMade;
        for (int i = 0; i < picks.size(); ++i) {
            const QString entry = entryOf(picks.at(i).key);
            if (results.at(i) != QLatin1Char('-'))
                ++entriesMade[(entry.startsWith(QLatin1Char('N')) ? QStringLiteral("Nota Fiscal ")
                                                                  : QStringLiteral("Invoice "))
                              + entry.mid(2)];
        }
        QMap<QString, int> entriesShown;
        for (const RunResult::Entry &entry : screen()->runResultPanel->Result().Entries())
            entriesShown[entry.kind + QLatin1Char(' ') + entry.number] += entry.items;
        QCOMPARE(entriesShown, entriesMade);
        QCOMPARE(screen()->runResultPanel->isVisible(), !entriesMade.isEmpty());
        QCOMPARE(screen()->centralWidget()->size(), designedPart); // the window grew for the result

        for (int i = 0; i < picks.size(); ++i) {
            const Pick &p = picks.at(i);
            const QChar result = results.at(i);
            const QString entry = entryOf(p.key);
            if (result == QLatin1Char('-')) {
                QVERIFY2(entry == p.entryBefore && statusOf(p.key) == p.statusBefore, qPrintable(p.key.text()));
                continue;
            }
            QVERIFY2(p.entryBefore.isEmpty(), qPrintable(p.key.text()));
            QCOMPARE(entry.left(2), QString(result) + QLatin1Char(':'));
            QCOMPARE(statusOf(p.key), QStringLiteral("R"));
            const int row = rowOf(p.key);
            QVERIFY2(row >= 0, qPrintable(p.key.text()));
            QCOMPARE(cell(row, "IDSTAPFATFAS"), QStringLiteral("R"));
            QCOMPARE(cell(row, "IDCHECK"), QStringLiteral("D"));
            QCOMPARE(cell(row, result == QLatin1Char('N') ? "NRLANCTONF" : "NRLANCINVOICE"), entry.mid(2));
            QCOMPARE(cell(row, result == QLatin1Char('N') ? "NRLANCINVOICE" : "NRLANCTONF"), QString());
        }
        if (message == QLatin1String("Ok")) { // the result stays until the next filter
            loadStoredFilter();
            QVERIFY(screen()->runResultPanel->Result().Entries().isEmpty());
            QVERIFY(!screen()->runResultPanel->isVisible());
            QCOMPARE(screen()->SubWindow()->geometry(), frameBefore);
        }
    }

    // The run on its own, given the preview's rows, a nationality lookup and a
    // connection that is not connected: which clients it asks about, and what
    // stops it (a refusal, or the first batch it tries to send).
    void runOnItsOwn_data()
    {
        QTest::addColumn<QString>("rows");     // client:status:tick:note:invoice, blank parts empty
        QTest::addColumn<QString>("abroad");   // clients with no main address in Brazil
        QTest::addColumn<QString>("outcome");  // a catalogue code, or the method that was not sent
        QTest::addColumn<QString>("asked");    // clients looked up, in order
        QTest::addColumn<QString>("sortedBy"); // the preview's order: a field, " desc"; empty: as loaded

        QTest::newRow("domestic: notes first") << "C1:P:S:: C2:P:S::"
                                               << "C2"
                                               << "GeraNF"
                                               << "C1 C2"
                                               << "";
        QTest::newRow("foreign only") << "C2::S::"
                                      << "C2"
                                      << "GeraInvoice"
                                      << "C2"
                                      << "";
        QTest::newRow("one lookup per client") << "C1:P:S:: C1::S:: C1:P:N::"
                                               << ""
                                               << "GeraNF"
                                               << "C1"
                                               << "";
        QTest::newRow("refusal ends the walk") << "C1:P:S:: C3:C:S:: C2:P:S::"
                                               << ""
                                               << "Apur_Canc"
                                               << "C1"
                                               << "";
        QTest::newRow("entry numbers need no lookup") << "C1:R:S:7: C2:P:S::9"
                                                      << ""
                                                      << "NF_Exist"
                                                      << ""
                                                      << "";
        QTest::newRow("nothing qualifies") << "C1:R:S:: C2:N:S:: C3:P:N::"
                                           << ""
                                           << "Apur_Inf"
                                           << ""
                                           << "";
        QTest::newRow("sorted rows: walked as shown") << "C3:P:S:: C1:P:S:: C2:P:S::"
                                                      << ""
                                                      << "GeraNF"
                                                      << "C1 C2 C3"
                                                      << "CDCLIENTE";
        QTest::newRow("sorted rows: the first refusal as shown") << "C1:P:S:: C2:P:S:: C3:C:S::"
                                                                 << ""
                                                                 << "Apur_Canc"
                                                                 << ""
                                                                 << "CDCLIENTE desc";
    }

    void runOnItsOwn()
    {
        QFETCH(QString, rows);
        QFETCH(QString, abroad);
        QFETCH(QString, outcome);
        QFETCH(QString, asked);
        QFETCH(QString, sortedBy);
        QList<BillingRow> items;
        for (const QString &token : rows.split(QLatin1Char(' '))) {
            const QStringList part = token.split(QLatin1Char(':'));
            BillingRow item;
            item.clientCode = part[0];
            item.status = part[1];
            item.tick = part[2];
            item.noteEntry = part[3];
            item.invoiceEntry = part[4];
            items << item;
        }
        TClientDataSet preview, notes, invoices;
        preview.SetFieldDefs(BillingItemLayout::faturamento());
        preview.SetData(BillingRows::packet(items));
        if (!sortedBy.isEmpty())
            preview.SetIndexField(sortedBy.section(QLatin1Char(' '), 0, 0), sortedBy.endsWith(QLatin1String(" desc")));
        notes.SetFieldDefs(BillingItemLayout::batch());
        invoices.SetFieldDefs(BillingItemLayout::batch());
        QStringList lookedUp;
        const auto nationality = [&](const QString &client) {
            lookedUp << client;
            return abroad.split(QLatin1Char(' ')).contains(client) ? 0.0 : 1.0;
        };
        TNetConnection offline;
        GenerationRun run(preview, {notes, invoices}, nationality, offline, *screen()->msgPadrao);
        m_dialogs.clear();
        QString failure;
        try {
            run.Run();
        } catch (const SilentAbort &) {
        } catch (const std::exception &error) {
            failure = QString::fromUtf8(error.what());
        }
        if (outcome.startsWith(QLatin1String("Gera")))
            QVERIFY2(failure.contains(outcome + QStringLiteral(" não foi enviado")), qPrintable(failure));
        else
            QCOMPARE(m_dialogs, QStringList{errorDialog(outcome)});
        QCOMPARE(lookedUp.join(QLatin1Char(' ')), asked);
        QVERIFY(run.Generated().IsEmpty());
        QVERIFY(!notes.Active() && !invoices.Active());
    }

    // Each batch record carries the preview row's values: texts as they stand,
    // the calculation's date and total as date-time and number (blank ones as
    // zero), the month through its text form (blank stays blank).
    void batchRecords_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("month"); // how the preview row's month is set before the run
        QTest::addColumn<QString>("batch");

        QTest::newRow("note batch") << "nf"
                                    << "as loaded"
                                    << "cdsNota";
        QTest::newRow("invoice batch") << "inv"
                                       << "as loaded"
                                       << "cdsInv";
        QTest::newRow("blank date and total") << "blankValues"
                                              << "as loaded"
                                              << "cdsNota";
        QTest::newRow("month with a time of day") << "nf"
                                                  << "10:20:30.456"
                                                  << "cdsNota";
        QTest::newRow("blank month") << "inv"
                                     << "blank"
                                     << "cdsInv";
    }

    void batchRecords()
    {
        QFETCH(QString, kind);
        QFETCH(QString, month);
        QFETCH(QString, batch);

        loadStoredFilter();
        const QList<Pick> picks = pick(kind + QLatin1Char('+'));
        QCOMPARE(picks.size(), 1);
        const Pick &p = picks.first();
        tick(p);
        TClientDataSet *rows = preview();
        rows->SetRecNo(p.row + 1);
        const QDateTime loadedMonth = rows->FieldByName(QStringLiteral("DTMESAPURFAS"))->AsDateTime();
        QDateTime expectedMonth = loadedMonth;
        if (month != QLatin1String("as loaded")) {
            rows->Edit();
            if (month == QLatin1String("blank")) {
                rows->FieldByName(QStringLiteral("DTMESAPURFAS"))->Clear();
                expectedMonth = QDateTime();
            } else {
                const QTime time = QTime::fromString(month, QStringLiteral("hh:mm:ss.zzz"));
                rows->FieldByName(QStringLiteral("DTMESAPURFAS"))
                    ->SetAsDateTime(QDateTime(loadedMonth.date(), time, Qt::UTC));
                // The text form holds seconds, not milliseconds.
                expectedMonth = QDateTime(loadedMonth.date(), QTime(time.hour(), time.minute(), time.second()),
                                          Qt::UTC);
            }
            rows->Post();
        }
        QVariantMap previewValues;
        for (int i = 0; i < rows->FieldCount(); ++i)
            previewValues.insert(rows->Fields(i)->FieldName(), rows->Fields(i)->Value());

        generate(QStringLiteral("button"));

        verifyAtRest();
        QCOMPARE(m_fixture.errors, QStringList());
        QCOMPARE(m_dialogs, QStringList{infoDialog(QStringLiteral("Ok"))});
        QCOMPARE(m_posted.size(), 1);
        const PostedRecord &record = m_posted.first();
        QCOMPARE(record.batch, batch);

        const QDateTime zeroDate(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
        const QVariant calcDate = previewValues.value(QStringLiteral("DTAPURFATFAS"));
        const QVariant total = previewValues.value(QStringLiteral("VRTOTAFATFAS"));
        QCOMPARE(calcDate.isNull(), kind == QLatin1String("blankValues"));
        QCOMPARE(total.isNull(), kind == QLatin1String("blankValues"));
        QCOMPARE(record.values.value(QStringLiteral("DTAPURFATFAS")).toDateTime(),
                 calcDate.isNull() ? zeroDate : calcDate.toDateTime());
        QVERIFY(!record.values.value(QStringLiteral("VRTOTAFATFAS")).isNull());
        QCOMPARE(record.values.value(QStringLiteral("VRTOTAFATFAS")).toDouble(),
                 total.isNull() ? 0.0 : total.toDouble());
        const QVariant sentMonth = record.values.value(QStringLiteral("DTMESAPURFAS"));
        QCOMPARE(sentMonth.isNull(), !expectedMonth.isValid());
        if (expectedMonth.isValid())
            QCOMPARE(sentMonth.toDateTime(), expectedMonth);
        for (auto it = record.values.cbegin(); it != record.values.cend(); ++it) {
            if (it.key() == QLatin1String("DTAPURFATFAS") || it.key() == QLatin1String("VRTOTAFATFAS")
                || it.key() == QLatin1String("DTMESAPURFAS"))
                continue;
            QVERIFY2(previewValues.contains(it.key()), qPrintable(it.key()));
            QCOMPARE(it.value().toString(), previewValues.value(it.key()).toString());
        }
        QCOMPARE(record.values.value(QStringLiteral("IDCHECK")).toString(), QStringLiteral("S"));

        // The server billed the item, its month read from the date or, when
        // blank, from the month's text.
        QCOMPARE(entryOf(p.key).left(1), batch == QLatin1String("cdsNota") ? QStringLiteral("N") : QStringLiteral("I"));
    }

    // The invoice batch is refused after the note batch went through: the notes
    // stay made and shown, and there is neither a reload nor "Ok".
    void invoiceRefusedAfterNotes()
    {
        loadStoredFilter();
        const QList<Pick> picks = pick(QStringLiteral("nf+ inv+ inv+"));
        QCOMPARE(picks.size(), 3);
        for (const Pick &p : picks)
            tick(p);

        // Another desktop bills the first foreign item meanwhile.
        TClientDataSet other;
        other.SetFieldDefs(BillingItemLayout::batch());
        other.CreateDataSet();
        other.Insert();
        for (const char *name : {"CDEMPRESA", "CDFILIAL", "CDCLIENTE", "IDAPURFATFAS"})
            other.FieldByName(QString::fromLatin1(name))->SetAsString(cell(picks[1].row, name));
        other.FieldByName(QStringLiteral("DTMESAPURFAS"))
            ->SetAsDateTime(QDateTime::fromString(cell(picks[1].row, "DTMESAPURFAS"), Qt::ISODateWithMs));
        other.Post();
        TNetConnection elsewhere;
        elsewhere.SetHost(m_fixture.server.host());
        elsewhere.SetPort(m_fixture.server.port());
        elsewhere.SetConnected(true);
        const qsizetype beforeElsewhere = m_fixture.server.serverLog().size();
        elsewhere.Call(QStringLiteral("GeraInvoice"), {RemoteArgument::packet(other.GetData())});
        const QString billedElsewhere = entryOf(picks[1].key);
        QVERIFY(billedElsewhere.startsWith(QLatin1String("I:")));
        QTRY_VERIFY(m_fixture.server.serverLog().indexOf("method=GeraInvoice", beforeElsewhere) >= 0);

        const qsizetype mark = settledLog();
        QVERIFY(mark >= 0);
        generate(QStringLiteral("button"));

        verifyAtRest();
        QCOMPARE(m_dialogs, QStringList());
        QCOMPARE(m_fixture.errors.size(), 1);
        QVERIFY2(m_fixture.errors.first().contains(QStringLiteral("Nenhuma Invoice foi gerada")),
                 qPrintable(m_fixture.errors.first()));
        QVERIFY2(m_fixture.errors.first().contains(picks[1].key.client), qPrintable(m_fixture.errors.first()));
        QCOMPARE(methodsSince(mark),
                 (QStringList{QStringLiteral("GeraNF"), QStringLiteral("GeraInvoice error=-32011")}));
        QCOMPARE(requestsMade(), 2);
        QCOMPARE(m_observed.previewOpens, 1);

        const QString note = entryOf(picks[0].key);
        QVERIFY(note.startsWith(QLatin1String("N:")));
        QCOMPARE(entryOf(picks[1].key), billedElsewhere);
        QCOMPARE(entryOf(picks[2].key), QString()); // the invoice batch is all or nothing
        QCOMPARE(statusOf(picks[2].key), QStringLiteral("P"));

        // The preview holds GeraNF's answer: the note's item, realized.
        QCOMPARE(preview()->RecordCount(), 1);
        QCOMPARE(keyOf(0), picks[0].key);
        QCOMPARE(cell(0, "IDSTAPFATFAS"), QStringLiteral("R"));
        QCOMPARE(cell(0, "NRLANCTONF"), note.mid(2));
    }

    // The reload after the generation fails: the entry stays made, no "Ok".
    void reloadFailureAfterGeneration()
    {
        loadStoredFilter();
        const QList<Pick> picks = pick(QStringLiteral("nf+"));
        QCOMPARE(picks.size(), 1);
        tick(picks.first());
        const QString address = QStringLiteral("127.0.0.1:%1").arg(m_fixture.server.port());
        const qsizetype mark = settledLog();
        QVERIFY(mark >= 0);

        // The server goes away once GeraNF's answer has loaded; it comes back
        // on another port for the tests after this one.
        bool stopped = false;
        const auto comeBack = qScopeGuard([this, &stopped] {
            if (stopped)
                restartServer();
        });
        generate(QStringLiteral("button"), [this, &stopped] {
            if (m_observed.previewOpens == 1 && !stopped) {
                m_fixture.server.stop();
                stopped = true;
            }
        });

        verifyAtRest();
        QCOMPARE(m_dialogs, QStringList());
        QCOMPARE(m_fixture.errors.size(), 1);
        QVERIFY2(m_fixture.errors.first().contains(address), qPrintable(m_fixture.errors.first()));
        // Stopping the server read its whole log.
        QCOMPARE(methodsSince(mark, false), QStringList{QStringLiteral("GeraNF")});
        QCOMPARE(requestsMade(), 2); // GeraNF and the reload that found no server
        QCOMPARE(m_observed.previewOpens, 1);
        const QString note = entryOf(picks.first().key);
        QVERIFY(note.startsWith(QLatin1String("N:")));
        QCOMPARE(preview()->RecordCount(), 1);
        QCOMPARE(keyOf(0), picks.first().key);
        QCOMPARE(cell(0, "NRLANCTONF"), note.mid(2));
    }

    // The nationality query fails: the run ends on the database's words, nothing sent.
    void databaseFailureInTheWalk()
    {
        loadStoredFilter();
        const QList<Pick> picks = pick(QStringLiteral("nf+"));
        QCOMPARE(picks.size(), 1);
        tick(picks.first());
        const QString totalsBefore = billingTotals();
        QVERIFY(exec(QStringLiteral("ALTER TABLE ENDECLIE RENAME TO ENDECLIE_FORA")));

        generate(QStringLiteral("button"));
        QVERIFY(exec(QStringLiteral("ALTER TABLE ENDECLIE_FORA RENAME TO ENDECLIE")));

        verifyAtRest();
        QCOMPARE(m_dialogs, QStringList());
        QCOMPARE(m_fixture.errors.size(), 1);
        QVERIFY2(m_fixture.errors.first().contains(QStringLiteral("ENDECLIE")), qPrintable(m_fixture.errors.first()));
        QCOMPARE(requestsMade(), 0);
        QCOMPARE(billingTotals(), totalsBefore);
        QCOMPARE(entryOf(picks.first().key), QString());

        // With the table back, the same rows generate.
        generate(QStringLiteral("button"));
        QCOMPARE(m_fixture.errors, QStringList());
        QCOMPARE(m_dialogs, QStringList{infoDialog(QStringLiteral("Ok"))});
        QVERIFY(entryOf(picks.first().key).startsWith(QLatin1String("N:")));
    }
};

QTEST_MAIN(TstGeneration)
#include "tst_generation.moc"
