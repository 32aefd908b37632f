#include <QtTest>

#include <atomic>
#include <latch>

#include <unistd.h>
#include <random>
#include <set>
#include <thread>

#include <httplib.h>
#include <sqlite3.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "billing/BillingItemLayout.h"
#include "tests/support/BillingRows.h"
#include "tests/support/BooksInvariants.h"
#include "platform/data/DataPacket.h"
#include "platform/sql/DatabaseConnection.h"
#include "platform/sql/DatabaseUrl.h"
#include "tests/support/NfseSchema.h"
#include "tests/support/RawHttp.h"
#include "tests/support/ServerFixture.h"
#include "server/billing/PreviewQuery.h"
#include "server/sql/ThreadDatabase.h"

// GeraNF and GeraInvoice: entries grouped and numbered, refused items and batches,
// a busy SQLite file, two desks generating the same items at once, and a random walk
// of generations, reversals, imports, copies and retried keys from several clients.
using namespace ServerTest;

namespace {

// The call each rights row makes.
QByteArray rightsCall(const QString &method)
{
    if (method == u"GetFaturamento")
        return request(method, Filter().params());
    if (method == u"GetGeracoes")
        return request(method, {"", "", "", ""});
    if (method == u"GetLancamentosGeracao")
        return request(method, {1});
    if (method == u"EstornaGeracao")
        return request(method, {1, QStringLiteral("teste")});
    if (method == u"GetFaturaDocumento")
        return request(method, {"02", 1});
    if (method == u"EstornaLancamento")
        return request(method, {"01", "N", 1, QStringLiteral("Nota em duplicidade")});
    return generationRequest(method, batchOf({method == u"GeraNF" ? "c1-6-04" : "f2-7-04"}));
}

// The books walk (booksHoldUnderRandomSteps): calculations of its own, before 2024
// so that the fixture's never mix in; C1 and C2 at home, F1 and F2 abroad.
struct WalkPlace
{
    const char *company;
    const char *branch;
};
const WalkPlace WalkPlaces[] = {{"01", "0001"}, {"01", "0002"}, {"02", "0001"}};
const char *const WalkClients[] = {"C1", "C2", "F1", "F2"};

std::vector<ItemKey> walkKeys()
{
    std::vector<ItemKey> keys;
    for (const WalkPlace &place : WalkPlaces)
        for (const char *client : WalkClients)
            for (int month = 1; month <= 10; ++month)
                for (const char *type : {"1", "6"})
                    keys.push_back({s(place.company), s(place.branch), s(client), s(type), QDate(2023, month, 1)});
    return keys;
}

QString keyText(const QString &company, const QString &branch, const QString &client, const QString &type,
                const QString &month /* MM/yyyy */)
{
    return QStringList{company, branch, client, type, month}.join(u'|');
}

QString keyText(const ItemKey &key)
{
    return keyText(key.company, key.branch, key.client, key.type, key.month.toString(QStringLiteral("MM/yyyy")));
}

bool domestic(const ItemKey &key)
{
    return key.client.startsWith(u'C');
}

QString money(double value)
{
    return QString::number(value, 'f', 2).replace(u'.', u',');
}

// The books as a step starts: each walk item pending or billed, and its value;
// the live entries and the runs that made them.
struct Books
{
    std::vector<bool> billed;
    std::vector<double> value;
    QList<QJsonArray> liveEntries; // company, kind, number
    QList<qint64> liveRuns;
    qint64 lastRun = 0;
};

// One client's call in a step, set up before the step and judged after it.
struct Call
{
    enum Kind { Preview, Generate, Reverse, Import, Backup, Retry } kind = Preview;
    QString method;
    QByteArray body;
    httplib::Headers headers;
    std::vector<int> items;      // generation: its batch; import: its lines
    bool twin = false;           // generation: a second client sends the same key and body at once
    bool billedInside = false;   // generation: an item billed before the step; import: a billed line changed
    bool otherUser = false;      // retry: sent by another user
    QByteArray stored;           // retry: the answer the key keeps
    std::map<int, double> lines; // import: the file's values
    QString path;                // import or backup: its file
    Answer answer, twinAnswer;
    int exitCode = -1;
    QString output;
    std::string key; // generation: its Idempotency-Key
    int desk = 0;    // generation: the billing desk that sent it

    QString name() const
    {
        static const char *const names[] = {"preview", "generation", "reversal", "import", "backup", "retry"};
        return QString::fromLatin1(names[kind]) + (method.isEmpty() ? QString() : u' ' + method)
               + (twin ? QStringLiteral(" twice at once") : QString())
               + (otherUser ? QStringLiteral(" by another user") : QString());
    }
};

// The operations the walk may draw, from FAS_BOOKS_OPS ("generate,reverse,...");
// all when unset.
QList<Call::Kind> walkKinds()
{
    const QStringList names{"preview", "generate", "reverse", "import", "backup", "retry"};
    const QString wanted = qEnvironmentVariable("FAS_BOOKS_OPS");
    QList<Call::Kind> kinds;
    // Weights: generation and reversal most, so that the books keep moving.
    const int weights[] = {1, 4, 2, 2, 1, 1};
    for (int k = 0; k < names.size(); ++k)
        if (wanted.isEmpty() || wanted.split(u',').contains(names.at(k)))
            for (int w = 0; w < weights[k]; ++w)
                kinds << Call::Kind(k);
    return kinds;
}

} // namespace

class TstServerGeneration : public ServerFixture
{
    Q_OBJECT

public:
    using ServerFixture::ServerFixture;

private:
    // --- the books walk (booksHoldUnderRandomSteps) ---
    std::vector<ItemKey> m_walk;
    QHash<QString, int> m_walkIndex;
    QString m_tokens[3]; // two billing desks and a supervisor
    struct StoredKey
    {
        QByteArray body, answer;
        std::string key;
        int desk;
    };
    std::vector<StoredKey> m_storedKeys;
    QHash<QString, QString> m_numbers; // company/kind/number: its run, as every step saw it
    QTemporaryDir m_walkDir;

    // Every walk calculation, whatever its situation.
    static QByteArray walkPreview()
    {
        Filter filter;
        filter.dtIni = QStringLiteral("2023-01-01");
        filter.dtFin = QStringLiteral("2023-12-31");
        filter.types = QStringLiteral("_1__6_");
        filter.situations = QStringLiteral("T");
        return request(QStringLiteral("GetFaturamento"), filter.params());
    }

    static QString walkGroup(const ItemKey &key)
    {
        return key.type == u"1" && key.month.month() % 2 ? QStringLiteral("LIC") : QStringLiteral("SERV");
    }

    QString itemMatch(const QString &alias) const
    {
        return QStringLiteral("%1.CDEMPRESA = ? AND %1.CDFILIAL = ? AND %1.CDCLIENTE = ? AND %1.IDAPURFATFAS = ? AND "
                              "%1.DTMESAPURFAS = %2")
            .arg(alias, dateParam());
    }

    static QVariantList itemValues(const ItemKey &key)
    {
        return {key.company, key.branch, key.client, key.type, key.month.toString(Qt::ISODate)};
    }

    bool insertWalk(std::mt19937 &random)
    {
        m_walk = walkKeys();
        for (size_t i = 0; i < m_walk.size(); ++i) {
            const ItemKey &key = m_walk[i];
            m_walkIndex.insert(keyText(key), int(i));
            if (!exec(QStringLiteral("INSERT INTO APURFATFAS (CDEMPRESA, CDFILIAL, CDCLIENTE, IDAPURFATFAS, "
                                     "DTMESAPURFAS, IDSTAPFATFAS, CDGRUPONFAPUR, VRTOTAFATFAS) VALUES (?, ?, ?, ?, "
                                     "%1, 'P', ?, ?)")
                          .arg(dateParam()),
                      itemValues(key) + QVariantList{walkGroup(key), double(1 + random() % 99999) / 100}))
                return false;
        }
        return true;
    }

    // Each walk calculation: its key, situation, entry kind and number (null
    // without one) and value.
    QSqlQuery walkRows()
    {
        QSqlQuery rows(db());
        rows.exec(QStringLiteral("SELECT a.CDEMPRESA, a.CDFILIAL, a.CDCLIENTE, a.IDAPURFATFAS, a.DTMESAPURFAS, "
                                 "a.IDSTAPFATFAS, l.IDTPLANCFAT, l.NRLANCFAT, a.VRTOTAFATFAS FROM APURFATFAS a LEFT "
                                 "JOIN ITEMLANCFAT l ON l.CDEMPRESA = a.CDEMPRESA AND l.CDFILIAL = a.CDFILIAL AND "
                                 "l.CDCLIENTE = a.CDCLIENTE AND l.DTMESAPURFAS = a.DTMESAPURFAS AND l.IDAPURFATFAS = "
                                 "a.IDAPURFATFAS WHERE a.DTMESAPURFAS < '2024-01-01'"));
        return rows;
    }

    static QString walkKeyOf(const QSqlQuery &row)
    {
        return keyText(row.value(0).toString(), row.value(1).toString(), row.value(2).toString(),
                       row.value(3).toString(), row.value(4).toDate().toString(QStringLiteral("MM/yyyy")));
    }

    Books readBooks()
    {
        Books books;
        books.billed.assign(m_walk.size(), false);
        books.value.assign(m_walk.size(), 0);
        QSqlQuery items = walkRows();
        while (items.next()) {
            const int i = m_walkIndex.value(walkKeyOf(items));
            books.value[size_t(i)] = items.value(8).toDouble();
            books.billed[size_t(i)] = !items.value(7).isNull();
        }
        QSqlQuery entries(db());
        entries.exec(QStringLiteral("SELECT CDEMPRESA, IDTPLANCFAT, NRLANCFAT, IDEXECFAT FROM LANCFATFAS WHERE "
                                    "DTESTORNO IS NULL ORDER BY 1, 2, 3"));
        while (entries.next()) {
            books.liveEntries << QJsonArray{entries.value(0).toString(), entries.value(1).toString(),
                                            entries.value(2).toInt()};
            if (!entries.value(3).isNull() && !books.liveRuns.contains(entries.value(3).toLongLong()))
                books.liveRuns << entries.value(3).toLongLong();
        }
        books.lastRun = scalar(QStringLiteral("SELECT COALESCE(MAX(IDEXECFAT), 0) FROM EXECFAT")).toLongLong();
        return books;
    }

    httplib::Headers walkHeaders(int desk, const std::string &key) const
    {
        httplib::Headers headers = bearer(m_tokens[desk]);
        headers.emplace("Idempotency-Key", key);
        return headers;
    }

    // The call of `kind`, drawn from the books; a kind with nothing to act on becomes a preview.
    Call planCall(Call::Kind kind, const Books &books, std::mt19937 &random, const QString &tag)
    {
        Call call;
        call.kind = kind;
        const std::string key = "passeio-" + tag.toStdString();
        const auto pick = [&random](qsizetype size) { return qsizetype(random() % quint32(size)); };
        if (kind == Call::Retry && m_storedKeys.empty())
            call.kind = kind = Call::Generate;
        if (kind == Call::Generate) {
            const bool home = random() % 2;
            std::vector<int> pool, billed;
            for (size_t i = 0; i < m_walk.size(); ++i)
                if (domestic(m_walk[i]) == home)
                    (books.billed[i] ? billed : pool).push_back(int(i));
            if (pool.empty())
                return planCall(Call::Preview, books, random, tag);
            const qsizetype start = pick(qsizetype(pool.size()));
            for (qsizetype i = start; i < qMin(start + 1 + pick(6), qsizetype(pool.size())); ++i)
                call.items.push_back(pool[size_t(i)]);
            call.billedInside = !billed.empty() && random() % 5 == 0;
            if (call.billedInside)
                call.items.push_back(billed[size_t(pick(qsizetype(billed.size())))]);
            std::vector<ItemKey> batch;
            for (int i : call.items)
                batch.push_back(m_walk[size_t(i)]);
            call.method = home ? QStringLiteral("GeraNF") : QStringLiteral("GeraInvoice");
            call.body = generationRequest(call.method, batchOfKeys(batch));
            call.key = key;
            call.desk = int(random() % 2);
            call.headers = walkHeaders(call.desk, key);
            call.twin = random() % 4 == 0;
        } else if (kind == Call::Retry) {
            const StoredKey &stored = m_storedKeys[size_t(pick(qsizetype(m_storedKeys.size())))];
            call.otherUser = random() % 3 == 0;
            call.body = stored.body;
            call.stored = stored.answer;
            call.key = stored.key;
            call.desk = call.otherUser ? 1 - stored.desk : stored.desk;
            call.headers = walkHeaders(call.desk, stored.key);
            // The other desk may have billed under the same key already: then the key
            // is its own, and the call a repeat of its answer.
            for (const StoredKey &own : m_storedKeys)
                if (call.otherUser && own.key == stored.key && own.desk == call.desk) {
                    call.otherUser = false;
                    call.stored = own.answer;
                }
        } else if (kind == Call::Reverse) {
            const QString why = QStringLiteral("passo ") + tag;
            if (!books.liveRuns.isEmpty() && random() % 2) {
                call.method = QStringLiteral("EstornaGeracao");
                call.body = request(call.method, {books.liveRuns.at(pick(books.liveRuns.size())), why});
            } else if (!books.liveEntries.isEmpty()) {
                call.method = QStringLiteral("EstornaLancamento");
                QJsonArray params = books.liveEntries.at(pick(books.liveEntries.size()));
                params.append(why);
                call.body = request(call.method, params);
            } else {
                return planCall(Call::Preview, books, random, tag);
            }
            call.headers = walkHeaders(2, key);
        } else if (kind == Call::Import) {
            planImport(call, books, random, tag);
        } else if (kind == Call::Backup) {
            call.path = m_walkDir.filePath(
                QStringLiteral("copia-%1.%2")
                    .arg(tag, m_backend == Backend::Sqlite ? QStringLiteral("sqlite") : QStringLiteral("dump")));
        } else {
            call.body = walkPreview();
            call.headers = bearer(m_tokens[0]);
        }
        return call;
    }

    // A month's file of 25 calculations, some with new values; now and then one of
    // them billed with a new value, which must refuse the whole file. Billed lines
    // otherwise come unchanged and pending, as the month's file still has them.
    void planImport(Call &call, const Books &books, std::mt19937 &random, const QString &tag)
    {
        std::vector<int> billed;
        while (call.lines.size() < 25) {
            const int i = int(random() % quint32(m_walk.size()));
            const bool change = !books.billed[size_t(i)] && random() % 3 == 0;
            call.lines[i] = change ? double(1 + random() % 99999) / 100 : books.value[size_t(i)];
            if (books.billed[size_t(i)])
                billed.push_back(i);
        }
        call.billedInside = !billed.empty() && random() % 3 == 0;
        if (call.billedInside)
            call.lines[billed[random() % billed.size()]] += 1;
        QStringList file{QStringLiteral(
            "CDEMPRESA;CDFILIAL;CDCLIENTE;DTMESAPURFAS;IDAPURFATFAS;IDSTAPFATFAS;CDGRUPONFAPUR;DTAPURFATFAS;"
            "CDPRODUTO;CDOPERAPUR;CDTIPOSERV;IDCOMIFATFAS;DSEMISSPRONF;DSBOLEFATFAS;DSFATURCLIE;VRTOTAFATFAS;"
            "NRNOTAFISC;NRINVOICE;NRSOLISERV")};
        for (const auto &[i, value] : call.lines) {
            const ItemKey &key = m_walk[size_t(i)];
            file << QStringList{key.company,   key.branch,
                                key.client,    key.month.toString(QStringLiteral("dd/MM/yyyy")),
                                key.type,      QStringLiteral("P"),
                                walkGroup(key)}
                            .join(u';')
                        + QString(9, u';') + money(value) + QStringLiteral(";;;");
        }
        call.path = m_walkDir.filePath(QStringLiteral("apuracoes-%1.csv").arg(tag));
        QFile out(call.path);
        if (out.open(QIODevice::WriteOnly)) // else the import names the missing file
            out.write(file.join(u'\n').toUtf8() + '\n');
    }

    // What a client thread does: one call; nothing here touches the test's database connection.
    static void perform(Call &call, int port, const QString &url, bool sqlite)
    {
        if (call.kind == Call::Import) {
            call.output = adminTool(url, {QStringLiteral("import"), QStringLiteral("apuracoes"), call.path},
                                    &call.exitCode);
        } else if (call.kind == Call::Backup) {
            call.output = adminTool(url, {QStringLiteral("backup"), call.path}, &call.exitCode);
            if (!sqlite && !QStandardPaths::findExecutable(QStringLiteral("pg_dump")).isEmpty()) {
                // The documented copy of a PostgreSQL database.
                QProcess dump;
                dump.setProcessChannelMode(QProcess::MergedChannels);
                dump.start(QStringLiteral("pg_dump"),
                           {QStringLiteral("--format=custom"), QStringLiteral("--file=") + call.path,
                            QStringLiteral("--dbname=") + url});
                dump.waitForFinished(120000);
                call.output += QString::fromUtf8(dump.readAll());
            }
        } else {
            call.answer = post(port, call.body, call.headers);
        }
    }

    static QString walkLinks()
    {
        return QStringLiteral("l.CDEMPRESA = e.CDEMPRESA AND l.IDTPLANCFAT = e.IDTPLANCFAT AND l.NRLANCFAT = "
                              "e.NRLANCFAT");
    }

    // A generation's answer against the books: the items asked, each in a live
    // entry, under the number answered, of one run that holds nothing else.
    QString judgeBilled(const Call &call, const Answer &answer)
    {
        const TRecordStore rows = answer.packet();
        const bool notes = call.method == u"GeraNF";
        QStringList answered, asked;
        QSet<QString> runs;
        for (int r = 0; r < rows.rowCount(); ++r) {
            const auto cell = [&](const char *field) { return BillingRows::cell(rows, r, field); };
            const QString text = keyText(cell("CDEMPRESA"), cell("CDFILIAL"), cell("CDCLIENTE"), cell("IDAPURFATFAS"),
                                         cell("MESAPURADO"));
            answered << text;
            runs << scalar(QStringLiteral("SELECT e.IDEXECFAT FROM ITEMLANCFAT l JOIN LANCFATFAS e ON %1 WHERE "
                                          "e.DTESTORNO IS NULL AND e.IDTPLANCFAT = ? AND e.NRLANCFAT = ? AND ")
                                   .arg(walkLinks())
                               + itemMatch(QStringLiteral("l")),
                           QVariantList{notes ? QStringLiteral("N") : QStringLiteral("I"),
                                        cell(notes ? "NRLANCTONF" : "NRLANCINVOICE").toInt()}
                               + itemValues(m_walk[size_t(m_walkIndex.value(text))]))
                        .toString();
        }
        for (int i : call.items)
            asked << keyText(m_walk[size_t(i)]);
        asked.removeDuplicates();
        if (sorted(answered) != sorted(asked))
            return QStringLiteral("answered the items %1 for %2").arg(answered.join(u' '), asked.join(u' '));
        if (runs.size() != 1 || runs.contains(QString()))
            return QStringLiteral("the items answered are not each in the live entry answered, of one run");
        const int links = scalar(QStringLiteral("SELECT COUNT(*) FROM ITEMLANCFAT l JOIN LANCFATFAS e ON %1 WHERE "
                                                "e.IDEXECFAT = ?")
                                     .arg(walkLinks()),
                                 {*runs.begin()})
                              .toInt();
        return links == asked.size() ? QString()
                                     : QStringLiteral("run %1 holds %2 items, answered %3")
                                           .arg(*runs.begin())
                                           .arg(links)
                                           .arg(asked.size());
    }

    // A generation (and its twin with the same key) billed its batch whole, or was
    // refused whole because an item was billed already.
    QString judgeGeneration(const Call &call, bool reversals)
    {
        const bool billed = call.answer.hasResult();
        if (!billed && call.answer.errorCode() != -32011)
            return QStringLiteral("answered ") + QString::fromUtf8(call.answer.body.left(300));
        if (billed && call.billedInside && !reversals)
            return QStringLiteral("a batch holding an item billed before was billed");
        if (const QString problem = billed ? judgeBilled(call, call.answer) : QString(); !problem.isEmpty())
            return problem;
        if (!call.twin)
            return {};
        const Answer &twin = call.twinAnswer;
        if (!twin.hasResult() && twin.errorCode() != -32011)
            return QStringLiteral("the same key at once answered ") + QString::fromUtf8(twin.body.left(300));
        if (billed && twin.hasResult() && twin.body != call.answer.body)
            return QStringLiteral("the same key at once gave two different answers");
        if (billed != twin.hasResult() && !reversals)
            return QStringLiteral("the same key at once was billed once and refused once");
        return {};
    }

    QString judgeRetry(const Call &call)
    {
        if (!call.otherUser)
            return call.answer.body == call.stored ? QString()
                                                   : QStringLiteral("the key's answer was not given again: ")
                                                         + QString::fromUtf8(call.answer.body.left(300));
        if (call.answer.body == call.stored)
            return QStringLiteral("another user's call with the same key got the first user's stored answer");
        if (!call.answer.hasResult() && call.answer.errorCode() != -32011)
            return QStringLiteral("another user's call with the same key answered ")
                   + QString::fromUtf8(call.answer.body.left(300));
        return {};
    }

    // A reversal reversed what it answered, in one run of its method; "reversed
    // already" only when another reversal ran beside it.
    QString judgeReversal(const Call &call, int reversals)
    {
        if (call.answer.errorCode() == -32016 && reversals > 1)
            return {};
        if (!call.answer.hasResult())
            return QStringLiteral("answered ") + QString::fromUtf8(call.answer.body.left(300));
        const TRecordStore rows = call.answer.packet();
        QSet<QString> runs;
        for (int r = 0; r < rows.rowCount(); ++r)
            runs << scalar(QStringLiteral("SELECT x.NMMETODO FROM LANCFATFAS e JOIN EXECFAT x ON x.IDEXECFAT = "
                                          "e.IDEXECESTORNO WHERE e.DTESTORNO IS NOT NULL AND e.CDEMPRESA = ? AND "
                                          "e.IDTPLANCFAT = ? AND e.NRLANCFAT = ?"),
                           {BillingRows::cell(rows, r, "CDEMPRESA"), BillingRows::cell(rows, r, "IDTPLANCFAT"),
                            BillingRows::cell(rows, r, "NRLANCFAT").toInt()})
                        .toString();
        return rows.rowCount() > 0 && runs == QSet<QString>{call.method}
                   ? QString()
                   : QStringLiteral("the entries answered are not reversed by a run of ") + call.method;
    }

    // A file changing no billed calculation is imported whole; one that changes a
    // billed one is refused whole, saying so.
    QString judgeImport(const Call &call, const Books &before, bool reversals)
    {
        bool billedChange = false, changedBilledAtStart = false;
        QStringList differ;
        for (const auto &[i, value] : call.lines) {
            const ItemKey &key = m_walk[size_t(i)];
            const double was = before.value[size_t(i)];
            const double now = scalar(QStringLiteral("SELECT VRTOTAFATFAS FROM APURFATFAS a WHERE ")
                                          + itemMatch(QStringLiteral("a")),
                                      itemValues(key))
                                   .toDouble();
            const bool changed = qAbs(value - was) > 0.005;
            const bool billedNow = scalar(QStringLiteral("SELECT COUNT(*) FROM ITEMLANCFAT l WHERE ")
                                              + itemMatch(QStringLiteral("l")),
                                          itemValues(key))
                                       .toInt()
                                   > 0;
            changedBilledAtStart |= changed && before.billed[size_t(i)];
            billedChange |= changed && (before.billed[size_t(i)] || billedNow);
            if (qAbs(now - (call.exitCode == 0 ? value : was)) > 0.005)
                differ << keyText(key) + u'=' + money(now);
        }
        if (call.exitCode == 0 && changedBilledAtStart && !reversals)
            return QStringLiteral("a file changing a billed calculation was imported");
        if (call.exitCode == 1 && !(billedChange && call.output.contains(QStringLiteral("já foi faturada"))))
            return QStringLiteral("refused without changing a billed calculation: ") + call.output;
        if (call.exitCode != 0 && call.exitCode != 1)
            return QStringLiteral("exit %1: %2").arg(call.exitCode).arg(call.output);
        return differ.isEmpty()
                   ? QString()
                   : QStringLiteral("exit %1, but the calculations hold %2").arg(call.exitCode).arg(differ.join(u' '));
    }

    // A copy taken while the others write holds the books too.
    QString judgeBackup(const Call &call)
    {
        if (m_backend == Backend::Sqlite) {
            if (call.exitCode != 0)
                return QStringLiteral("the copy failed: ") + call.output;
            QStringList broken;
            {
                QSqlDatabase copy = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("walk-copy"));
                copy.setDatabaseName(call.path);
                broken = copy.open() ? BooksInvariants::broken(copy) : QStringList{copy.lastError().text()};
            }
            QSqlDatabase::removeDatabase(QStringLiteral("walk-copy"));
            return broken.isEmpty() ? QString() : QStringLiteral("the copy's books broke: ") + broken.join(u"; ");
        }
        if (call.exitCode != 3 || !call.output.contains(QStringLiteral("pg_dump")))
            return QStringLiteral("backup on PostgreSQL: ") + call.output;
        if (!QFileInfo::exists(call.path)) {
            qInfo("pg_dump is not installed here: the copy of a PostgreSQL database is not tried");
            return {};
        }
        return restoredBooks(call.path);
    }

    QString restoredBooks(const QString &dump)
    {
        const QString name = m_databaseName + QStringLiteral("_copia");
        const QString url = m_adminUrl.left(m_adminUrl.lastIndexOf(u'/') + 1) + name;
        QStringList broken;
        {
            QSqlDatabase admin = DatabaseConnection::open(DatabaseUrl::parse(m_adminUrl), QStringLiteral("walk-admin"));
            QSqlQuery(admin).exec(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(name));
            QSqlQuery(admin).exec(QStringLiteral("CREATE DATABASE %1").arg(name));
            QProcess restore;
            restore.setProcessChannelMode(QProcess::MergedChannels);
            restore.start(QStringLiteral("pg_restore"),
                          {QStringLiteral("--no-owner"), QStringLiteral("--dbname=") + url, dump});
            if (!restore.waitForFinished(120000) || restore.exitCode() != 0)
                broken << QStringLiteral("pg_restore: ") + QString::fromUtf8(restore.readAll());
            else
                broken << BooksInvariants::broken(
                    DatabaseConnection::open(DatabaseUrl::parse(url), QStringLiteral("walk-copy")));
            DatabaseConnection::close(QStringLiteral("walk-copy"));
            QSqlQuery(admin).exec(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(name));
        }
        DatabaseConnection::close(QStringLiteral("walk-admin"));
        return broken.isEmpty() ? QString() : QStringLiteral("the copy's books broke: ") + broken.join(u"; ");
    }

    // The preview shows each walk calculation as the books hold it: situation,
    // entry number and value.
    QString judgePreview()
    {
        const Answer answer = post(m_server.port(), walkPreview(), bearer(m_tokens[0]));
        if (!answer.hasResult())
            return QStringLiteral("the preview failed: ") + QString::fromUtf8(answer.body.left(300));
        const TRecordStore rows = answer.packet();
        QStringList shown, held;
        for (int r = 0; r < rows.rowCount(); ++r) {
            const auto cell = [&](const char *field) { return BillingRows::cell(rows, r, field); };
            shown << QStringList{keyText(cell("CDEMPRESA"), cell("CDFILIAL"), cell("CDCLIENTE"), cell("IDAPURFATFAS"),
                                         cell("MESAPURADO")),
                                 cell("IDSTAPFATFAS"), cell("NRLANCTONF"), cell("NRLANCINVOICE"),
                                 money(cell("VRTOTAFATFAS").toDouble())}
                         .join(u' ');
        }
        QSqlQuery books = walkRows();
        while (books.next()) {
            const QString kind = books.value(6).toString(), number = books.value(7).toString();
            held << QStringList{walkKeyOf(books), books.value(5).toString(), kind == u"N" ? number : QString(),
                                kind == u"I" ? number : QString(), money(books.value(8).toDouble())}
                        .join(u' ');
        }
        shown.sort();
        held.sort();
        for (qsizetype i = 0; i < qMax(shown.size(), held.size()); ++i)
            if (shown.value(i) != held.value(i))
                return QStringLiteral("the preview shows \"%1\" where the books hold \"%2\"")
                    .arg(shown.value(i), held.value(i));
        return {};
    }

    // Each number a step saw stays with the entry and run it was given to.
    QString judgeNumbers()
    {
        QSqlQuery entries(db());
        entries.exec(QStringLiteral("SELECT CDEMPRESA, IDTPLANCFAT, NRLANCFAT, IDEXECFAT FROM LANCFATFAS"));
        QHash<QString, QString> now;
        while (entries.next())
            now.insert(
                QStringList{entries.value(0).toString(), entries.value(1).toString(), entries.value(2).toString()}.join(
                    u'/'),
                entries.value(3).toString());
        for (auto it = m_numbers.cbegin(); it != m_numbers.cend(); ++it)
            if (!now.contains(it.key()) || now.value(it.key()) != it.value())
                return QStringLiteral("entry %1 of run %2 is now %3")
                    .arg(it.key(), it.value(), now.value(it.key(), QStringLiteral("gone")));
        m_numbers = now;
        return {};
    }

    QString judgeStep(const std::vector<Call> &calls, const Books &before)
    {
        const int reversals = int(
            std::count_if(calls.begin(), calls.end(), [](const Call &c) { return c.kind == Call::Reverse; }));
        int generated = 0, reversed = 0;
        for (const Call &call : calls) {
            QString problem;
            if (call.kind == Call::Generate)
                problem = judgeGeneration(call, reversals > 0);
            else if (call.kind == Call::Retry)
                problem = judgeRetry(call);
            else if (call.kind == Call::Reverse)
                problem = judgeReversal(call, reversals);
            else if (call.kind == Call::Import)
                problem = judgeImport(call, before, reversals > 0);
            else if (call.kind == Call::Backup)
                problem = judgeBackup(call);
            else if (!call.answer.hasResult())
                problem = QStringLiteral("answered ") + QString::fromUtf8(call.answer.body.left(300));
            if (!problem.isEmpty())
                return call.name() + QStringLiteral(": ") + problem;
            if (call.kind == Call::Generate)
                generated += call.answer.hasResult() || call.twinAnswer.hasResult();
            else if (call.kind == Call::Retry)
                generated += call.otherUser && call.answer.hasResult();
            else if (call.kind == Call::Reverse)
                reversed += call.answer.hasResult();
        }
        const QString runs = QStringLiteral(
            "SELECT COUNT(*) FROM EXECFAT WHERE IDEXECFAT > ? AND CDERRO IS NULL AND IDEXECORIGEM IS NULL AND "
            "NMMETODO %1 ('GeraNF', 'GeraInvoice')");
        const int generationRuns = scalar(runs.arg(QStringLiteral("IN")), {before.lastRun}).toInt();
        const int reversalRuns = scalar(runs.arg(QStringLiteral("NOT IN")), {before.lastRun}).toInt();
        if (generationRuns != generated || reversalRuns != reversed)
            return QStringLiteral("%1 generations and %2 reversals answered, %3 and %4 runs committed")
                .arg(generated)
                .arg(reversed)
                .arg(generationRuns)
                .arg(reversalRuns);
        if (const QStringList broken = BooksInvariants::broken(db()); !broken.isEmpty())
            return QStringLiteral("the books broke: ") + broken.join(u"; ");
        if (const QString problem = judgeNumbers(); !problem.isEmpty())
            return problem;
        if (const QString problem = judgePreview(); !problem.isEmpty())
            return problem;
        int code = -1;
        const QString checked = admin({QStringLiteral("check")}, &code);
        return code == 0 ? QString() : QStringLiteral("fas-admin check: ") + checked;
    }

    // Every call of a step from its own client thread, released together.
    void runAtOnce(std::vector<Call> &calls)
    {
        const int port = m_server.port();
        const bool sqlite = m_backend == Backend::Sqlite;
        const auto twins = std::count_if(calls.begin(), calls.end(), [](const Call &c) { return c.twin; });
        std::latch ready(std::ptrdiff_t(calls.size()) + twins);
        std::vector<std::thread> threads;
        for (Call &call : calls) {
            threads.emplace_back([&call, &ready, port, sqlite, url = m_url] {
                ready.arrive_and_wait();
                perform(call, port, url, sqlite);
            });
            if (call.twin)
                threads.emplace_back([&call, &ready, port] {
                    ready.arrive_and_wait();
                    call.twinAnswer = post(port, call.body, call.headers);
                });
        }
        for (std::thread &thread : threads)
            thread.join();
    }

private slots:
    void generationGroupsAndNumbers()
    {
        const QStringList items = {"c1-1-04", "c1-2-04", "c1-3-04", "c1-4-04", "odd1-6-04", "odd3-6-04"};
        const Answer answer = post(m_server.port(), generationRequest(QStringLiteral("GeraNF"), batchOf(items)));
        QVERIFY2(answer.hasResult(), answer.body.constData());
        const TRecordStore rows = answer.packet();
        QCOMPARE(rows.fieldCount(), 28);
        QCOMPARE(sorted(labelsOf(rows)), sorted(items));

        QMap<QString, QString> number;
        for (int r = 0; r < rows.rowCount(); ++r) {
            const QString label = labelsOf(rows).at(r);
            auto field = [&](const char *name) {
                const int f = rows.indexOf(QString::fromLatin1(name));
                return rows.isNull(r, f) ? QString()
                                         : QString::fromUtf8(rows.text(r, f).data(), qsizetype(rows.text(r, f).size()));
            };
            QCOMPARE(field("IDSTAPFATFAS"), QStringLiteral("R"));
            QCOMPARE(field("IDCHECK"), QStringLiteral("D"));
            QVERIFY(field("NRLANCINVOICE").isEmpty());
            number[label] = field("NRLANCTONF");
        }
        // Same company, branch, client and group: one entry; anything different: another.
        QCOMPARE(number["c1-1-04"], number["c1-2-04"]);
        const QSet<QString> company01 = {number["c1-1-04"], number["c1-3-04"], number["c1-4-04"], number["odd1-6-04"]};
        QCOMPARE(company01.size(), 4);
        // Numbers go on from the company's last one (2) without gaps; a company
        // without a counter starts at 1.
        QCOMPARE(company01, (QSet<QString>{"3", "4", "5", "6"}));
        QCOMPARE(number["odd3-6-04"], QStringLiteral("1"));

        // The database agrees: entries with their item count and total.
        QCOMPARE(count(QStringLiteral("LANCFATFAS")), 3 + 5);
        QCOMPARE(
            scalar(QStringLiteral("SELECT QTITEMLANCFAT FROM LANCFATFAS WHERE CDEMPRESA = '01' AND IDTPLANCFAT = 'N' "
                                  "AND NRLANCFAT = ?"),
                   {number["c1-1-04"].toInt()})
                .toInt(),
            2);
        QCOMPARE(
            scalar(QStringLiteral("SELECT VRTOTLANCFAT FROM LANCFATFAS WHERE CDEMPRESA = '01' AND IDTPLANCFAT = 'N' "
                                  "AND NRLANCFAT = ?"),
                   {number["c1-1-04"].toInt()})
                .toDouble(),
            30.75);
        QCOMPARE(
            scalar(QStringLiteral("SELECT NRULTLANCFAT FROM NUMLANCFAT WHERE CDEMPRESA = '01' AND IDTPLANCFAT = 'N'"))
                .toInt(),
            6);
        QCOMPARE(scalar(QStringLiteral("SELECT NRULTLANCFAT FROM NUMLANCFAT WHERE CDEMPRESA = ? AND IDTPLANCFAT = 'N'"),
                        {s(OddCompany)})
                     .toInt(),
                 1);
        for (const QString &label : items)
            QCOMPARE(statusOf(*fixture(label)), QStringLiteral("R"));
        // One run recorded with what it made, named by each of its entries.
        QCOMPARE(count(QStringLiteral("EXECFAT")), 1);
        QCOMPARE(
            scalar(QStringLiteral("SELECT QTITENS || '/' || QTLANCAMENTOS || '/' || NMMETODO || '/' || NRIPCLIENTE "
                                  "FROM EXECFAT WHERE CDERRO IS NULL AND DTFIM >= DTINICIO"))
                .toString(),
            QStringLiteral("6/5/GeraNF/127.0.0.1"));
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM LANCFATFAS l JOIN EXECFAT e ON e.IDEXECFAT = l.IDEXECFAT"))
                     .toInt(),
                 5);

        // The next note of company 01 continues the count; invoices count apart.
        const Answer next = post(m_server.port(), generationRequest(QStringLiteral("GeraNF"), batchOf({"c1-6-05"})));
        QVERIFY2(next.hasResult(), next.body.constData());
        const TRecordStore nextRows = next.packet();
        QCOMPARE(nextRows.rowCount(), 1);
        QCOMPARE(nextRows.text(0, nextRows.indexOf(QStringLiteral("NRLANCTONF"))), std::string_view("7"));

        const Answer invoices = post(
            m_server.port(), generationRequest(QStringLiteral("GeraInvoice"), batchOf({"f2-7-04", "odd2-6-04"})));
        QVERIFY2(invoices.hasResult(), invoices.body.constData());
        const TRecordStore invoiceRows = invoices.packet();
        QSet<QString> invoiceNumbers;
        for (int r = 0; r < invoiceRows.rowCount(); ++r) {
            QVERIFY(invoiceRows.isNull(r, invoiceRows.indexOf(QStringLiteral("NRLANCTONF"))));
            const std::string_view n = invoiceRows.text(r, invoiceRows.indexOf(QStringLiteral("NRLANCINVOICE")));
            invoiceNumbers.insert(QString::fromUtf8(n.data(), qsizetype(n.size())));
        }
        QCOMPARE(invoiceNumbers, (QSet<QString>{"2", "3"}));
    }

    // A note batch with NFS-e on for a company: one DPS per entry of that company,
    // numbered on from its series' counter, schema-valid, declaring the entry's total.
    void nationalNoteOutbox_data()
    {
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QString>("national"); // the company emitting NFS-e
        QTest::addColumn<int>("counter");      // NUMDPS before the run; 0: no row
        QTest::addColumn<int>("dps");          // DPS expected
        // c1-1-04, c1-2-04 and c1-6-05 make one entry (two months): c1-3-04 and c1-4-04 one each.
        const QStringList threeEntries{"c1-1-04", "c1-2-04", "c1-6-05", "c1-3-04", "c1-4-04"};
        QTest::newRow("one DPS per entry, numbered from 1") << threeEntries << "01" << 0 << 3;
        QTest::newRow("the series' counter goes on") << threeEntries << "01" << 41 << 3;
        QTest::newRow("only the national company's entries") << QStringList{"c1-6-04", "odd3-6-04"} << "01" << 0 << 1;
        QTest::newRow("NFS-e of another company: as before") << threeEntries << "02" << 0 << 0;
    }

    void nationalNoteOutbox()
    {
        QFETCH(QStringList, items);
        QFETCH(QString, national);
        QFETCH(int, counter);
        QFETCH(int, dps);
        QVERIFY(registerNationalNotes(national));
        if (counter > 0)
            QVERIFY(exec(QStringLiteral("INSERT INTO NUMDPS (CDEMPRESA, NRSERIEDPS, NRULTDPS) VALUES ('01', '1', ?)"),
                         {counter}));
        const Answer answer = post(m_server.port(), generationRequest(QStringLiteral("GeraNF"), batchOf(items)));
        QVERIFY2(answer.hasResult(), answer.body.constData());
        QCOMPARE(count(QStringLiteral("NFSEDPS")), dps);
        QSqlQuery rows(db());
        QVERIFY(rows.exec(QStringLiteral(
            "SELECT s.NRDPS, s.IDDPS, s.DSXMLDPS, s.IDSITDPS, s.NRTENTATIVAS, l.VRTOTLANCFAT, s.NRSERIEDPS "
            "FROM NFSEDPS s JOIN LANCFATFAS l ON l.CDEMPRESA = s.CDEMPRESA AND l.IDTPLANCFAT = s.IDTPLANCFAT "
            "AND l.NRLANCFAT = s.NRLANCFAT ORDER BY s.NRDPS")));
        qint64 expected = counter + 1;
        while (rows.next()) {
            QCOMPARE(rows.value(0).toLongLong(), expected++);
            const QByteArray xml = rows.value(2).toString().toUtf8();
            QCOMPARE(NfseSchema::problems(xml, QStringLiteral("DPS_v1.01.xsd")), QString());
            QVERIFY(xml.contains("Id=\"" + rows.value(1).toString().toLatin1() + '"'));
            QVERIFY(xml.contains("<nDPS>" + QByteArray::number(rows.value(0).toLongLong()) + "</nDPS>"));
            QVERIFY2(xml.contains("<vServ>" + QByteArray::number(rows.value(5).toDouble(), 'f', 2) + "</vServ>"),
                     xml.constData());
            QVERIFY(xml.contains("<tpAmb>2</tpAmb>"));
            QCOMPARE(rows.value(3).toString() + rows.value(4).toString() + rows.value(6).toString(),
                     QStringLiteral("P01"));
        }
        QCOMPARE(expected, counter + dps + 1);
        if (dps > 0)
            QCOMPARE(scalar(QStringLiteral("SELECT NRULTDPS FROM NUMDPS WHERE CDEMPRESA = '01'")).toInt(),
                     counter + dps);

        // The run's history shows each note's NFS-e as the sender leaves it: here one
        // authorized with its key, one rejected with the service's reason.
        QVERIFY(exec(QStringLiteral("UPDATE NFSEDPS SET IDSITDPS = 'A', NRCHAVEACESSO = ? WHERE NRDPS = ?"),
                     {QString(50, u'7'), counter + 1}));
        QVERIFY(exec(QStringLiteral("UPDATE NFSEDPS SET IDSITDPS = 'R', DSRETORNO = 'E0001 CNPJ do tomador' "
                                    "WHERE NRDPS = ?"),
                     {counter + 2}));
        const TRecordStore entries = call(QStringLiteral("GetLancamentosGeracao"),
                                          {scalar(QStringLiteral("SELECT MAX(IDEXECFAT) FROM EXECFAT")).toString()})
                                         .packet();
        QCOMPARE(entries.fieldCount(), 16);
        QStringList states;
        for (int r = 0; r < entries.rowCount(); ++r)
            states << BillingRows::cell(entries, r, "IDSITDPS") + u'|' + BillingRows::cell(entries, r, "DSRETORNO")
                          + u'|' + BillingRows::cell(entries, r, "NRCHAVEACESSO").left(3);
        states.sort();
        QStringList expectedStates;
        for (int n = 0; n < entries.rowCount(); ++n)
            expectedStates << (n >= dps ? QStringLiteral("||")
                               : n == 0 ? QStringLiteral("A||777")
                               : n == 1 ? QStringLiteral("R|E0001 CNPJ do tomador|")
                                        : QStringLiteral("P||"));
        expectedStates.sort();
        QCOMPARE(states, expectedStates);
    }

    void generationRefusals_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("mentions"); // "!text": a text the message must not hold
        // "label=value": VRTOTAFATFAS set before the call; "national": NFS-e switched on for
        // company 01 (registerNationalNotes); "sql:...": a statement run before the call
        QTest::addColumn<QStringList>("stored");
        const QString nf = QStringLiteral("GeraNF");
        const QString inv = QStringLiteral("GeraInvoice");
        QTest::newRow("note already issued")
            << nf << QStringList{"c2-6-04"} << -32011
            << QStringList{"C2", "Bar do Zé", "04/2024", "Manutenção", "Nota Fiscal"} << QStringList{};
        QTest::newRow("invoice already issued")
            << inv << QStringList{"f1-2-04"} << -32011 << QStringList{"F1", "04/2024", "Service Desk", "Invoice"}
            << QStringList{};
        QTest::newRow("cancelled") << inv << QStringList{"f1-3-04"} << -32012
                                   << QStringList{"F1", "04/2024", "Customização", "cancelada"} << QStringList{};
        QTest::newRow("not by the system") << inv << QStringList{"f2-6-04"} << -32013
                                           << QStringList{"F2", "Não realizada pelo sistema"} << QStringList{};
        QTest::newRow("domestic client in an invoice")
            << inv << QStringList{"c1-6-04"} << -32014 << QStringList{"C1", "04/2024", "nacional"} << QStringList{};
        QTest::newRow("foreign client in a note")
            << nf << QStringList{"f2-7-04"} << -32014 << QStringList{"F2", "Locação", "estrangeiro"} << QStringList{};
        QTest::newRow("foreign odd key in a note")
            << nf << QStringList{"odd2-6-04"} << -32014 << QStringList{s(OddClient2), "estrangeiro"} << QStringList{};
        QTest::newRow("unknown item") << nf << QStringList{"nobody"} << -32010
                                      << QStringList{"C9", "04/2024", "não existe"} << QStringList{};
        QTest::newRow("one bad item spoils the batch")
            << nf << QStringList{"c1-6-04", "c1-6-05", "c2-6-04", "odd1-6-04"} << -32011
            << QStringList{"C2", "Nenhuma Nota Fiscal"} << QStringList{};
        QTest::newRow("a realized item without its entry")
            << nf << QStringList{"c1-6-03"} << -32011 << QStringList{"C1", "03/2024", "realizado"} << QStringList{};
        // Totals the entry column (NUMERIC(15,2)) cannot hold are refused, never rounded
        // into another number; code 0: the run goes through and keeps the total exactly.
        QTest::newRow("entry total over the column") << nf << QStringList{"c1-1-04", "c1-2-04"} << -32007
                                                     << QStringList{"C1", "04/2024", "não cabe", "Nenhuma Nota Fiscal"}
                                                     << QStringList{"c1-1-04=6000000000000", "c1-2-04=5000000000000"};
        QTest::newRow("stored value beyond 64-bit cents")
            << nf << QStringList{"c1-6-04"} << -32007 << QStringList{"C1", "Manutenção", "não cabe"}
            << QStringList{"c1-6-04=92233720368547760"};
        QTest::newRow("stored NaN") << nf << QStringList{"c1-6-04", "c1-6-05"} << -32007
                                    << QStringList{"C1", "05/2024", "NaN"} << QStringList{"c1-6-05=NaN"};
        // The connection is lost during COMMIT: whether the run was written cannot be
        // known, so the answer says so instead of "nothing was changed".
        QTest::newRow("commit lost with the connection")
            << nf << QStringList{"c1-6-04"} << -32002
            << QStringList{"Não foi possível confirmar", "consulte a prévia antes de repetir", "!Nada foi alterado"}
            << QStringList{};
        // A company emitting NFS-e: every missing registration is named, nothing written.
        const QString national = QStringLiteral("national");
        QTest::newRow("national note: client without its document")
            << nf << QStringList{"c1-6-04"} << -32017
            << QStringList{"Nenhuma Nota Fiscal", "Cliente C1", "falta o CNPJ (NRINSJURCLIE)"}
            << QStringList{national, "sql:UPDATE CLIENTE SET NRINSJURCLIE = NULL WHERE CDCLIENTE = 'C1'"};
        QTest::newRow("national note: company and product both named")
            << nf << QStringList{"c1-6-04", "c1-6-05"} << -32017
            << QStringList{"Empresa 01", "NRINSCMUNEMPRESA", "Produto P1", "PCALIQISSPRODUTO"}
            << QStringList{national, "sql:UPDATE EMPRESA SET NRINSCMUNEMPRESA = NULL",
                           "sql:UPDATE PRODUTO SET PCALIQISSPRODUTO = NULL"};
        QTest::newRow("national note: client's municipality with a wrong check digit")
            << nf << QStringList{"c1-6-04"} << -32017 << QStringList{"Cliente C1", "3304558"}
            << QStringList{national, "sql:UPDATE ENDECLIE SET CDMUNIBGE = '3304558' WHERE CDCLIENTE = 'C1'"};
        QTest::newRow("national note: calculation without product")
            << nf << QStringList{"c1-6-04"} << -32017 << QStringList{"C1", "04/2024", "não tem produto"}
            << QStringList{national, "sql:UPDATE APURFATFAS SET CDPRODUTO = NULL WHERE CDCLIENTE = 'C1'"};
        QTest::newRow("national note: one entry, two services")
            << nf << QStringList{"c1-1-04", "c1-2-04"} << -32017
            << QStringList{"serviços diferentes", "010701", "010501", "CDGRUPONFAPUR"}
            << QStringList{national,
                           "sql:INSERT INTO PRODUTO (CDPRODUTO, NMPRODUTO, CDSERVNACPRODUTO, PCALIQISSPRODUTO) "
                           "VALUES ('P2', 'Licença', '010501', 2)",
                           "sql:UPDATE APURFATFAS SET CDPRODUTO = 'P2' WHERE IDAPURFATFAS = '2'"};
        // Refused after its entries were written: the whole run is undone.
        QTest::newRow("national note: competence the declaration cannot carry")
            << nf << QStringList{"c1-6-04", "c1-6-9999-12"} << -32017
            << QStringList{"não pôde ser montada", "competência"} << QStringList{national};
        QTest::newRow("largest total that fits")
            << nf << QStringList{"c1-6-04"} << 0 << QStringList{} << QStringList{"c1-6-04=9999999999999.99"};
    }

    void generationRefusals()
    {
        QFETCH(QString, method);
        QFETCH(QStringList, items);
        QFETCH(int, code);
        QFETCH(QStringList, mentions);
        QFETCH(QStringList, stored);
        const bool commitLost = QByteArray(QTest::currentDataTag()) == "commit lost with the connection";
        if (commitLost && m_backend != Backend::Postgres)
            QSKIP("a connection lost during COMMIT needs a database server");
        // A deferred trigger ends the server's own session when the run commits.
        const auto dropTrigger = qScopeGuard([this, commitLost] {
            if (commitLost)
                QSqlQuery(db()).exec(QStringLiteral("DROP FUNCTION IF EXISTS tst_lose_commit() CASCADE"));
        });
        if (commitLost) {
            QSqlQuery ddl(db());
            QVERIFY2(ddl.exec(QStringLiteral("CREATE FUNCTION tst_lose_commit() RETURNS trigger LANGUAGE plpgsql AS "
                                             "$$ BEGIN PERFORM pg_terminate_backend(pg_backend_pid()); RETURN NULL; "
                                             "END $$"))
                         && ddl.exec(QStringLiteral("CREATE CONSTRAINT TRIGGER tst_lose_commit AFTER INSERT ON "
                                                    "LANCFATFAS DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE "
                                                    "FUNCTION tst_lose_commit()")),
                     qPrintable(ddl.lastError().text()));
        }
        for (const QString &assignment : stored) {
            if (assignment == u"national") {
                QVERIFY(registerNationalNotes());
                continue;
            }
            if (assignment.startsWith(u"sql:")) {
                QVERIFY(exec(assignment.mid(4)));
                continue;
            }
            const QString label = assignment.section(u'=', 0, 0), value = assignment.section(u'=', 1);
            if (!setValue(*fixture(label), value))
                QSKIP("this database cannot store the value");
        }
        if (QByteArray(QTest::currentDataTag()) == "a realized item without its entry") {
            QVERIFY(exec(QStringLiteral("UPDATE APURFATFAS SET IDSTAPFATFAS = 'R' WHERE CDCLIENTE = 'C1' AND "
                                        "DTMESAPURFAS = %1 AND IDAPURFATFAS = '6'")
                             .arg(dateParam()),
                         {QStringLiteral("2024-03-01")}));
        }
        const QByteArray packet = batchOf(items);
        const Answer answer = post(m_server.port(), generationRequest(method, packet));
        QCOMPARE(answer.status, 200);
        if (code == 0) {
            QVERIFY2(answer.hasResult(), answer.body.constData());
            QCOMPARE(scalar(QStringLiteral("SELECT MAX(VRTOTLANCFAT) FROM LANCFATFAS")).toString(),
                     stored.first().section(u'=', 1));
            return;
        }
        QVERIFY2(!answer.hasResult(), answer.body.constData());
        QCOMPARE(answer.errorCode(), code);
        for (const QString &part : mentions) {
            if (part.startsWith(u'!'))
                QVERIFY2(!answer.errorMessage().contains(part.mid(1)),
                         qPrintable(answer.errorMessage() + " holds " + part.mid(1)));
            else
                QVERIFY2(answer.errorMessage().contains(part), qPrintable(answer.errorMessage() + " lacks " + part));
        }
        QVERIFY2(!answer.errorMessage().contains(QStringLiteral("SELECT"), Qt::CaseInsensitive), "SQL leaked");

        // Nothing was generated, and the pending items are still pending.
        QCOMPARE(count(QStringLiteral("LANCFATFAS")), 3);
        QCOMPARE(count(QStringLiteral("ITEMLANCFAT")), 3);
        QCOMPARE(
            scalar(QStringLiteral("SELECT NRULTLANCFAT FROM NUMLANCFAT WHERE CDEMPRESA = '01' AND IDTPLANCFAT = 'N'"))
                .toInt(),
            2);
        QCOMPARE(count(QStringLiteral("NFSEDPS")), 0);
        QCOMPARE(count(QStringLiteral("NUMDPS")), 0);
        for (const QString &label : items)
            if (const Calc *c = fixture(label);
                c && c->status && QByteArray(c->status) == "P" && label != QLatin1String("c1-6-03"))
                QCOMPARE(statusOf(*c), QStringLiteral("P"));
        // The refused run is recorded with its code, and names no entry.
        QCOMPARE(count(QStringLiteral("EXECFAT")), 1);
        QCOMPARE(scalar(QStringLiteral("SELECT CDERRO FROM EXECFAT")).toInt(), code);
        QCOMPARE(scalar(QStringLiteral("SELECT NMMETODO FROM EXECFAT")).toString(), method);
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM LANCFATFAS WHERE IDEXECFAT IS NOT NULL")).toInt(), 0);
    }

    // Each right against each method, over HTTP: allowed, or refused with 403 and
    // -32008 (401 and -32001 without a valid user) and nothing changed. Without
    // users the server runs as before them; a token file alone grants every right.
    void rights_data()
    {
        QTest::addColumn<QString>("right"); // "": no users; "token file"; "desativado": a disabled user's token
        QTest::addColumn<QString>("method");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("code");
        const QString get = QStringLiteral("GetFaturamento");
        const QString nf = QStringLiteral("GeraNF");
        const QString inv = QStringLiteral("GeraInvoice");
        // The least right of each method: reading 0, generating 1, reversing 2. A
        // call that passes finds no run 1 where it needs one (-32015).
        const QList<std::tuple<QString, int, int>> methods{{get, 0, 0},
                                                           {nf, 1, 0},
                                                           {inv, 1, 0},
                                                           {QStringLiteral("GetGeracoes"), 0, 0},
                                                           {QStringLiteral("GetLancamentosGeracao"), 0, -32015},
                                                           {QStringLiteral("EstornaGeracao"), 2, -32015},
                                                           {QStringLiteral("EstornaLancamento"), 2, 0},
                                                           {QStringLiteral("GetFaturaDocumento"), 0, 0}};
        for (const auto &[method, needs, passes] : methods) {
            auto row = [&, m = method, n = needs, p = passes](const char *right, int rank) {
                QTest::addRow("%s, %s", right, qPrintable(m))
                    << QString::fromLatin1(right) << m << (rank >= n ? 200 : 403) << (rank >= n ? p : -32008);
            };
            row("consulta", 0);
            row("faturamento", 1);
            row("supervisor", 2);
            QTest::addRow("no users, %s", qPrintable(method)) << "" << method << 200 << passes;
            QTest::addRow("token file only, %s", qPrintable(method)) << "token file" << method << 200 << passes;
            QTest::addRow("disabled user, %s", qPrintable(method)) << "desativado" << method << 401 << -32001;
            QTest::addRow("no token once users exist, %s", qPrintable(method))
                << "sem token" << method << 401 << -32001;
        }
    }

    void rights()
    {
        QFETCH(QString, right);
        QFETCH(QString, method);
        QFETCH(int, status);
        QFETCH(int, code);
        int port = m_server.port();
        httplib::Headers headers;
        if (right == u"token file") {
            startTokenServer();
            port = m_tokenServer.port();
            headers = bearer(QStringLiteral("c3rto-Tok3n%41"));
        } else if (!right.isEmpty()) {
            const bool real = right != u"desativado" && right != u"sem token";
            const QString token = addUser(QStringLiteral("ana"), real ? right : QStringLiteral("supervisor"));
            QVERIFY(!token.isEmpty());
            if (right == u"desativado")
                QVERIFY(admin({QStringLiteral("user"), QStringLiteral("disable"), QStringLiteral("ana")})
                            .contains(QStringLiteral("desativado")));
            if (right != u"sem token")
                headers = bearer(token);
        }
        const Answer answer = post(port, rightsCall(method), headers);
        QCOMPARE(answer.status, status);
        QCOMPARE(answer.errorCode(), code);
        const bool reverses = method.startsWith(u"Estorna");
        if (code == -32008)
            QVERIFY2(
                answer.errorMessage().contains(reverses ? QStringLiteral("supervisor") : QStringLiteral("faturamento")),
                qPrintable(answer.errorMessage()));
        // A call that would write is journaled also when refused for its right.
        if (code == -32008 && !method.startsWith(u"Get"))
            QCOMPARE(scalar(QStringLiteral("SELECT NMMETODO || NMUSUARIO || CDERRO FROM EXECFAT")).toString(),
                     method + QStringLiteral("ana-32008"));
        if (code != 0 || method.startsWith(u"Get")) {
            expectUnchangedBilling();
            QCOMPARE(statusOf(*fixture(QStringLiteral("c1-6-04"))), QStringLiteral("P"));
            return;
        }
        if (reverses) {
            QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM LANCFATFAS WHERE DTESTORNO IS NOT NULL")).toInt(), 1);
            QCOMPARE(statusOf(*fixture(QStringLiteral("c2-6-04"))), QStringLiteral("P"));
        } else {
            QCOMPARE(count(QStringLiteral("LANCFATFAS")), 4);
        }
        // The run names its user (none without users or by the token file).
        const bool named = right != u"" && right != u"token file";
        QCOMPARE(scalar(QStringLiteral("SELECT NMUSUARIO FROM EXECFAT")).toString(),
                 named ? QStringLiteral("ana") : QString());
    }

    // A generation sent again with its Idempotency-Key gets the first answer, byte
    // for byte, and bills nothing more; the key with another call is refused.
    void idempotencyKey_data()
    {
        QTest::addColumn<QString>("method");    // of the second call
        QTest::addColumn<QStringList>("items"); // of the second call
        QTest::addColumn<bool>("sameKey");
        QTest::addColumn<int>("code"); // of the second call; 0: the first answer again
        QTest::addColumn<bool>("otherUser"); // the calls come from two users
        QTest::addColumn<QString>("resent"); // "spaced": blanks between its tokens; "earlier": key hashed as before
        const QString nf = QStringLiteral("GeraNF");
        QTest::newRow("same key, same call")
            << nf << QStringList{"c1-6-04", "c1-6-05"} << true << 0 << false << QString();
        QTest::newRow("same key, same call with other spacing")
            << nf << QStringList{"c1-6-04", "c1-6-05"} << true << 0 << false << "spaced";
        QTest::newRow("same key, same call, key stored by an earlier server")
            << nf << QStringList{"c1-6-04", "c1-6-05"} << true << 0 << false << "earlier";
        QTest::newRow("same key, same call, another user")
            << nf << QStringList{"c1-6-04", "c1-6-05"} << true << -32011 << true << QString();
        QTest::newRow("same key on a batch of two generations")
            << QStringLiteral("lote") << QStringList{"c1-6-06", "c1-6-07"} << true << -32600 << false << QString();
        QTest::newRow("same key, another batch")
            << nf << QStringList{"c1-6-06"} << true << -32009 << false << QString();
        QTest::newRow("same key, the batch in another order")
            << nf << QStringList{"c1-6-05", "c1-6-04"} << true << -32009 << false << QString();
        QTest::newRow("same key, another method") << QStringLiteral("GeraInvoice") << QStringList{"c1-6-04", "c1-6-05"}
                                                  << true << -32009 << false << QString();
        QTest::newRow("no key: billed already")
            << nf << QStringList{"c1-6-04", "c1-6-05"} << false << -32011 << false << QString();
        // The first server ends right after its commit, before it answers: the repeat,
        // on another server, gets the committed run's answer.
        QTest::newRow("same key, the first server gone after its commit")
            << nf << QStringList{"c1-6-04", "c1-6-05"} << true << 0 << false << QString();
    }

    void idempotencyKey()
    {
        QFETCH(QString, method);
        QFETCH(QStringList, items);
        QFETCH(bool, sameKey);
        QFETCH(int, code);
        QFETCH(bool, otherUser);
        QFETCH(QString, resent);
        httplib::Headers key{{"Idempotency-Key", "3f0c-chave-1"}};
        httplib::Headers secondKey = key;
        if (otherUser) {
            key.merge(bearer(addUser(QStringLiteral("ana"), QStringLiteral("faturamento"))));
            secondKey.merge(bearer(addUser(QStringLiteral("bia"), QStringLiteral("faturamento"))));
        }
        const QStringList firstItems{"c1-6-04", "c1-6-05"};
        const bool serverGone = QByteArray(QTest::currentDataTag()).endsWith("gone after its commit");
        AppServerProcess ending;
        if (serverGone) {
            ending.process().setProcessEnvironment(AppServerProcess::endingAfterCommit());
            QVERIFY2(ending.start(m_url, {}), qPrintable(ending.errorText()));
        }
        const Answer first = post(serverGone ? ending.port() : m_server.port(),
                                  generationRequest(QStringLiteral("GeraNF"), batchOf(firstItems)),
                                  sameKey ? key : httplib::Headers{});
        if (serverGone) {
            QCOMPARE(first.status, 0); // no answer
            QVERIFY(ending.process().waitForFinished(10000));
            QCOMPARE(ending.process().exitCode(), 9);
        } else {
            QVERIFY2(first.hasResult(), first.body.constData());
        }
        const int entries = count(QStringLiteral("LANCFATFAS"));
        // "lote": each item in a call of its own, the calls in one JSON-RPC batch.
        QByteArrayList calls;
        for (const QString &item : items)
            calls << generationRequest(QStringLiteral("GeraNF"), batchOf({item}));
        QByteArray request = generationRequest(method, batchOf(items));
        if (resent == u"spaced")
            request.replace("\":", "\" :\n ").replace(",\"", ", \"");
        if (resent == u"earlier") // each parameter as the parser writes it, then a line break
            QVERIFY(exec(QStringLiteral("UPDATE CHAVEEXECFAT SET HASHREQ = ?"),
                         {QString::fromLatin1(
                             QCryptographicHash::hash("GeraNF\n" + batchOf(items) + "\n", QCryptographicHash::Sha256)
                                 .toHex())}));
        const Answer second = post(m_server.port(), method == u"lote" ? "[" + calls.join(',') + "]" : request,
                                   sameKey ? secondKey : httplib::Headers{});
        QCOMPARE(second.errorCode(), code);
        // Every call is journaled: the run, then the repeat or each refused call.
        QCOMPARE(count(QStringLiteral("EXECFAT")), method == u"lote" ? 3 : 2);
        if (code == 0 && serverGone)
            QCOMPARE(second.packet().rowCount(), 2);
        else if (code == 0)
            QCOMPARE(second.body, first.body);
        QCOMPARE(count(QStringLiteral("LANCFATFAS")), entries);
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM ITEMLANCFAT WHERE CDCLIENTE = 'C1'")).toInt(), 2);
        QCOMPARE(statusOf(*fixture(QStringLiteral("c1-6-06"))), QStringLiteral("P"));
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM EXECFAT WHERE CDERRO IS NULL AND IDEXECORIGEM IS NULL"))
                     .toInt(),
                 1);
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM CHAVEEXECFAT")).toInt(), sameKey ? 1 : 0);
    }

    // Reversing a run, or one of its entries, keeps each entry with its reason and
    // frees its items: billed again, every item is in exactly one live entry under
    // a new number. The history lists the runs, newest first.
    void reverseThenBillAgain_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QStringList>("reversed"); // the items whose entries are reversed
        QTest::addColumn<QString>("reason");
        const QString reason = QStringLiteral("Cliente pediu nova nota com outro endereço");
        QTest::newRow("the whole run") << "EstornaGeracao" << QStringList{"c1-1-04", "c1-2-04", "c1-3-04"} << reason;
        QTest::newRow("one entry of the run") << "EstornaLancamento" << QStringList{"c1-3-04"} << reason;
        // The reason's limit counts characters as a reader does: 150 emoji are 150.
        QTest::newRow("a reason of 150 emoji") << "EstornaLancamento" << QStringList{"c1-3-04"}
                                               << QString::fromStdU32String(std::u32string(150, U'\U0001F4B0'));
    }

    void reverseThenBillAgain()
    {
        QFETCH(QString, method);
        QFETCH(QStringList, reversed);
        QFETCH(QString, reason);
        const httplib::Headers sara = bearer(addUser(QStringLiteral("sara"), QStringLiteral("supervisor")));
        const QStringList items{"c1-1-04", "c1-2-04", "c1-3-04"};
        const Answer made = post(m_server.port(), generationRequest(QStringLiteral("GeraNF"), batchOf(items)), sara);
        QVERIFY2(made.hasResult(), made.body.constData());

        const Answer listed = call(QStringLiteral("GetGeracoes"), {"2024-01-01", "", "sara", "01"}, sara);
        QVERIFY2(listed.hasResult(), listed.body.constData());
        const TRecordStore runs = listed.packet();
        QCOMPARE(runs.rowCount(), 1);
        const qint64 run = scalar(QStringLiteral("SELECT IDEXECFAT FROM EXECFAT")).toLongLong();
        QCOMPARE(BillingRows::cell(runs, 0, "IDGERACAO"), QString::number(run));
        QCOMPARE(BillingRows::cell(runs, 0, "NMMETODO") + BillingRows::cell(runs, 0, "CDEMPRESA"),
                 QStringLiteral("GeraNF01"));
        QCOMPARE(BillingRows::cell(runs, 0, "QTLANCAMENTOS") + '/' + BillingRows::cell(runs, 0, "QTITENS"),
                 QStringLiteral("2/3"));
        QCOMPARE(BillingRows::cell(runs, 0, "CDERRO"), QString());

        const int entry = scalar(QStringLiteral("SELECT NRLANCFAT FROM ITEMLANCFAT WHERE CDCLIENTE = 'C1' AND "
                                                "IDAPURFATFAS = '3'"))
                              .toInt();
        const Answer undone = call(
            method, method == u"EstornaGeracao" ? QJsonArray{run, reason} : QJsonArray{"01", "N", entry, reason}, sara);
        QVERIFY2(undone.hasResult(), undone.body.constData());
        const TRecordStore undoneRows = undone.packet();
        QCOMPARE(undoneRows.rowCount(), reversed.size() == 1 ? 1 : 2);
        for (int r = 0; r < undoneRows.rowCount(); ++r)
            QCOMPARE(BillingRows::cell(undoneRows, r, "IDSITUACAO") + BillingRows::cell(undoneRows, r, "NMUSUESTORNO")
                         + BillingRows::cell(undoneRows, r, "DSMOTIVOESTORNO"),
                     QStringLiteral("Esara") + reason);
        for (const QString &label : items)
            QCOMPARE(statusOf(*fixture(label)), reversed.contains(label) ? QStringLiteral("P") : QStringLiteral("R"));
        QCOMPARE(count(QStringLiteral("ITEMLANCFATHIST")), reversed.size());
        QCOMPARE(count(QStringLiteral("LANCFATFAS")), 5);
        QCOMPARE(scalar(QStringLiteral("SELECT NMMETODO || '/' || QTITENS FROM EXECFAT WHERE IDEXECFAT > ?"), {run})
                     .toString(),
                 method + '/' + QString::number(reversed.size()));

        const Answer again = post(m_server.port(), generationRequest(QStringLiteral("GeraNF"), batchOf(reversed)),
                                  sara);
        QVERIFY2(again.hasResult(), again.body.constData());
        for (const QString &label : items)
            QCOMPARE(
                scalar(QStringLiteral("SELECT COUNT(*) FROM ITEMLANCFAT l JOIN LANCFATFAS e ON e.CDEMPRESA = "
                                      "l.CDEMPRESA AND e.IDTPLANCFAT = l.IDTPLANCFAT AND e.NRLANCFAT = l.NRLANCFAT "
                                      "WHERE e.DTESTORNO IS NULL AND l.CDCLIENTE = 'C1' AND l.IDAPURFATFAS = ?"),
                       {QString::fromLatin1(fixture(label)->type)})
                    .toInt(),
                1);
        // Reversed numbers are never given again.
        QCOMPARE(scalar(QStringLiteral("SELECT MIN(NRLANCFAT) FROM LANCFATFAS WHERE IDEXECFAT = "
                                       "(SELECT MAX(IDEXECFAT) FROM EXECFAT)"))
                     .toInt(),
                 5);

        const TRecordStore entries =
            call(QStringLiteral("GetLancamentosGeracao"), {QString::number(run)}, sara).packet();
        QStringList states;
        for (int r = 0; r < entries.rowCount(); ++r)
            states << BillingRows::cell(entries, r, "IDSITUACAO");
        QCOMPARE(states, (reversed.size() == 1 ? QStringList{"E", "A"} : QStringList{"E", "E"}));
        const TRecordStore history = call(QStringLiteral("GetGeracoes"), {"", "", "", ""}, sara).packet();
        QStringList methods;
        for (int r = 0; r < history.rowCount(); ++r)
            methods << BillingRows::cell(history, r, "NMMETODO");
        QCOMPARE(methods, (QStringList{"GeraNF", method, "GeraNF"}));
    }

    // A reversal and a generation of the same items at the same moment: the
    // generation either comes first and is refused, or bills the items the reversal
    // set free; an item is pending without a live entry or realized in exactly one.
    void reversalRacesGeneration()
    {
        const QStringList items{"c1-6-02", "c1-6-03", "c1-6-04", "c1-6-05", "c1-6-06"};
        for (int round = 0; round < 4; ++round) {
            const Answer made = post(m_server.port(), generationRequest(QStringLiteral("GeraNF"), batchOf(items)));
            QVERIFY2(made.hasResult(), made.body.constData());
            const qint64 run = scalar(QStringLiteral("SELECT MAX(IDEXECFAT) FROM EXECFAT")).toLongLong();
            Answer reversal, generation;
            std::latch ready(2);
            std::thread reverser([&] {
                ready.arrive_and_wait();
                reversal = call(QStringLiteral("EstornaGeracao"), {run, QStringLiteral("corrida")});
            });
            ready.arrive_and_wait();
            generation = post(m_server.port(), generationRequest(QStringLiteral("GeraNF"), batchOf(items)));
            reverser.join();
            QVERIFY2(reversal.hasResult(), reversal.body.constData());
            QVERIFY2(generation.hasResult() || generation.errorCode() == -32011, generation.body.constData());
            const QString expected = generation.hasResult() ? QStringLiteral("R1") : QStringLiteral("P0");
            for (const QString &label : items)
                QCOMPARE(statusOf(*fixture(label))
                             + scalar(QStringLiteral("SELECT COUNT(*) FROM ITEMLANCFAT l JOIN LANCFATFAS e ON "
                                                     "e.CDEMPRESA = l.CDEMPRESA AND e.IDTPLANCFAT = l.IDTPLANCFAT AND "
                                                     "e.NRLANCFAT = l.NRLANCFAT WHERE e.DTESTORNO IS NULL AND "
                                                     "l.CDCLIENTE = 'C1' AND l.IDAPURFATFAS = '6' AND "
                                                     "l.DTMESAPURFAS = %1")
                                          .arg(dateParam()),
                                      {QString::fromLatin1(fixture(label)->month) + QStringLiteral("-01")})
                                   .toString(),
                         expected);
            if (generation.hasResult()) // free them for the next round
                QVERIFY(call(QStringLiteral("EstornaGeracao"),
                             {scalar(QStringLiteral("SELECT MAX(IDEXECFAT) FROM EXECFAT WHERE NMMETODO = 'GeraNF'"))
                                  .toLongLong(),
                              QStringLiteral("corrida")})
                            .hasResult());
        }
    }

    // A refused reversal names what it refused and leaves the database as it was
    // (the refusal itself is recorded as a run).
    void reversalRefusals_data()
    {
        QTest::addColumn<QString>("before"); // "": the fixture; "reversed": entry 01/N/1 reversed; "refused run"
        QTest::addColumn<QString>("method");
        QTest::addColumn<QJsonArray>("params"); // "$run": the newest run's id
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("mentions");
        const QString one = QStringLiteral("EstornaLancamento"), run = QStringLiteral("EstornaGeracao");
        const QString why = QStringLiteral("duplicada");
        QTest::newRow("unknown entry") << "" << one << QJsonArray{"01", "N", 99, why} << -32015 << "Nota Fiscal 99";
        QTest::newRow("unknown kind of entry") << "" << one << QJsonArray{"02", "I", 2, why} << -32015 << "Invoice 2";
        QTest::newRow("entry reversed already")
            << "reversed" << one << QJsonArray{"01", "N", 1, why} << -32016 << "já foi estornado";
        QTest::newRow("unknown run") << "" << run << QJsonArray{987, why} << -32015 << "987 não existe";
        QTest::newRow("a run that made nothing")
            << "refused run" << run << QJsonArray{"$run", why} << -32015 << "não gerou";
        QTest::newRow("no reason") << "" << one << QJsonArray{"01", "N", 1, ""} << -32602 << "motivo";
        QTest::newRow("a blank reason") << "" << run << QJsonArray{1, "   "} << -32602 << "motivo";
        QTest::newRow("a reason of 201 characters")
            << "" << one << QJsonArray{"01", "N", 1, QString(201, u'x')} << -32602 << "200";
        QTest::newRow("a NUL in the reason")
            << "" << one << QJsonArray{"01", "N", 1, QStringLiteral("duplicada\u0000x")} << -32602 << "controle";
        QTest::newRow("a line feed in the reason")
            << "" << run << QJsonArray{1, QStringLiteral("duplicada\nFORJADA")} << -32602 << "uma linha";
        QTest::newRow("a kind that is no kind") << "" << one << QJsonArray{"01", "X", 1, why} << -32602 << "N (Nota";
        QTest::newRow("entry number zero") << "" << one << QJsonArray{"01", "N", 0, why} << -32602 << "maior que zero";
    }

    void reversalRefusals()
    {
        QFETCH(QString, before);
        QFETCH(QString, method);
        QFETCH(QJsonArray, params);
        QFETCH(int, code);
        QFETCH(QString, mentions);
        if (before == u"reversed")
            QVERIFY(call(QStringLiteral("EstornaLancamento"), {"01", "N", 1, "antes"}).hasResult());
        if (before == u"refused run")
            QCOMPARE(
                post(m_server.port(), generationRequest(QStringLiteral("GeraNF"), batchOf({"f2-7-04"}))).errorCode(),
                -32014);
        for (qsizetype i = 0; i < params.size(); ++i)
            if (params.at(i).toString() == u"$run")
                params[i] = scalar(QStringLiteral("SELECT MAX(IDEXECFAT) FROM EXECFAT")).toLongLong();
        const QString state = billingState();
        const int runs = count(QStringLiteral("EXECFAT"));
        const Answer answer = call(method, params);
        QCOMPARE(answer.errorCode(), code);
        QVERIFY2(answer.errorMessage().contains(mentions), qPrintable(answer.errorMessage()));
        QCOMPARE(billingState(), state);
        QCOMPARE(count(QStringLiteral("EXECFAT")), runs + 1);
        QCOMPARE(scalar(QStringLiteral("SELECT NMMETODO || CDERRO FROM EXECFAT WHERE IDEXECFAT = "
                                       "(SELECT MAX(IDEXECFAT) FROM EXECFAT)"))
                     .toString(),
                 method + QString::number(code));
    }

    // GetFaturaDocumento: the invoice's lines with its header, live or reversed; a
    // note or an unknown entry refused, naming it.
    void invoiceDocument_data()
    {
        QTest::addColumn<bool>("reverseFirst");
        QTest::addColumn<QJsonArray>("params");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("expected"); // the lines' cells, or the refusal's words
        const QString line = QStringLiteral("Beta Tecnologia S.A.|Matriz Beta|Zurich Trading AG|0041|"
                                            "Manutenção mensal|Cobrança à vista|70|%1");
        QTest::newRow("invoice") << false << QJsonArray{"02", 1} << 0 << line.arg(QStringLiteral("A"));
        QTest::newRow("invoice, number as text, kind given")
            << false << QJsonArray{"02", "1", "I"} << 0 << line.arg(QStringLiteral("A"));
        QTest::newRow("reversed invoice") << true << QJsonArray{"02", 1} << 0 << line.arg(QStringLiteral("E"));
        QTest::newRow("unknown invoice") << false << QJsonArray{"02", 99} << -32015 << "fatura 99 da empresa 02";
        QTest::newRow("a note's number") << false << QJsonArray{"01", 1} << -32015 << "fatura 1 da empresa 01";
        QTest::newRow("a note is not an invoice") << false << QJsonArray{"01", 1, "N"} << -32602 << "não é uma fatura";
        QTest::newRow("no company") << false << QJsonArray{" ", 1} << -32602 << "Informe a empresa";
        QTest::newRow("number zero") << false << QJsonArray{"02", 0} << -32602 << "maior que zero";
        QTest::newRow("one parameter") << false << QJsonArray{"02"} << -32602 << "cdEmpresa";
    }

    void invoiceDocument()
    {
        QFETCH(bool, reverseFirst);
        QFETCH(QJsonArray, params);
        QFETCH(int, code);
        QFETCH(QString, expected);
        if (reverseFirst)
            QVERIFY(call(QStringLiteral("EstornaLancamento"), {"02", "I", 1, "errada"}).hasResult());
        const Answer answer = call(QStringLiteral("GetFaturaDocumento"), params);
        QCOMPARE(answer.errorCode(), code);
        if (code != 0) {
            QVERIFY2(answer.errorMessage().contains(expected), qPrintable(answer.errorMessage()));
            return;
        }
        const TRecordStore lines = answer.packet();
        QCOMPARE(lines.rowCount(), 1);
        QStringList cells;
        for (const char *field : {"NMEMPRESA", "NMFILIAL", "NMFANTCLIE", "CDPAIS", "NMPRODUTO", "DSFATURCLIE",
                                  "VRTOTAFATFAS", "IDSITUACAO"})
            cells << BillingRows::cell(lines, 0, field);
        QCOMPARE(cells.join(u'|'), expected);
        QCOMPARE(BillingRows::cell(lines, 0, "DTMESAPURFAS").left(10), QStringLiteral("2024-04-01"));
        QCOMPARE(BillingRows::cell(lines, 0, "VRTOTLANCFAT"), QStringLiteral("70"));
    }

    void generationBatchErrors_data()
    {
        QTest::addColumn<QByteArray>("params");
        QTest::addColumn<QString>("mentions");
        const QByteArray empty = DataPacket::encode(TRecordStore(BillingItemLayout::batch()));
        QTest::newRow("empty batch") << QByteArray("[" + empty + "]") << "vazio";
        QTest::newRow("no batch") << QByteArray("[]") << "1 parâmetro";
        QTest::newRow("batch as text") << QByteArray(R"(["lote"])") << "objeto";
        QTest::newRow("packet without rows") << QByteArray(R"([{"fields":[]}])") << "Lote";
        TFieldDefs partial;
        partial.append(BillingItemLayout::batch().at(0));
        TRecordStore keyless(partial);
        keyless.appendRow();
        keyless.setText(0, 0, "01");
        QTest::newRow("batch without the key fields")
            << QByteArray("[" + DataPacket::encode(keyless) + "]") << "CDFILIAL";
        TRecordStore noMonth(BillingItemLayout::batch());
        noMonth.appendRow();
        for (const char *f : {"CDEMPRESA", "CDFILIAL", "CDCLIENTE", "IDAPURFATFAS"})
            noMonth.setText(0, noMonth.indexOf(QString::fromLatin1(f)), "1");
        QTest::newRow("item without a month") << QByteArray("[" + DataPacket::encode(noMonth) + "]") << "mês";
        TRecordStore nulKey(BillingItemLayout::batch());
        nulKey.appendRow();
        for (const char *f : {"CDEMPRESA", "CDFILIAL", "CDCLIENTE", "IDAPURFATFAS"})
            nulKey.setText(0, nulKey.indexOf(QString::fromLatin1(f)), "1");
        nulKey.setText(0, nulKey.indexOf(QStringLiteral("MESAPURADO")), "04/2024");
        nulKey.setText(0, nulKey.indexOf(QStringLiteral("CDCLIENTE")), std::string_view("1\0", 2));
        QTest::newRow("NUL in an item's key") << QByteArray("[" + DataPacket::encode(nulKey) + "]") << "CDCLIENTE";
    }

    void generationBatchErrors()
    {
        QFETCH(QByteArray, params);
        QFETCH(QString, mentions);
        const Answer answer = post(m_server.port(),
                                   R"({"jsonrpc":"2.0","id":3,"method":"GeraNF","params":)" + params + "}");
        QCOMPARE(answer.errorCode(), -32602);
        QVERIFY2(answer.errorMessage().contains(mentions), qPrintable(answer.errorMessage()));
        expectUnchangedBilling();
    }

    // Another program holds SQLite's write lock: a generation waits once, then says
    // so; the server keeps its connection (no "lost connection", no second wait) and
    // generates as soon as the lock is gone.
    void busySqliteIsNoLostConnection()
    {
        if (m_backend != Backend::Sqlite)
            QSKIP("a writer's lock on the file is SQLite's");
        AppServerProcess server;
        QSettings ini(server.tempPath(QStringLiteral("server.ini")), QSettings::IniFormat);
        ini.setValue(QStringLiteral("database/sqlite_busy_timeout_s"), QStringLiteral("300ms"));
        ini.sync();
        QVERIFY2(server.start(m_url, {QStringLiteral("--config"), ini.fileName()}), server.newLog().constData());
        // The server's thread opens its connection before the lock is taken.
        QVERIFY(post(server.port(), request(QStringLiteral("GetFaturamento"), Filter().params())).hasResult());

        sqlite3 *writer = nullptr;
        QCOMPARE(sqlite3_open(m_url.toUtf8().constData(), &writer), SQLITE_OK);
        const auto closeWriter = qScopeGuard([writer] { sqlite3_close(writer); });
        QCOMPARE(sqlite3_exec(writer, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

        const QByteArray generation = generationRequest(QStringLiteral("GeraNF"), batchOf({"c1-6-04"}));
        const Answer busy = post(server.port(), generation);
        QCOMPARE(busy.status, 200);
        QCOMPARE(busy.errorCode(), -32020);
        QVERIFY2(busy.errorMessage().contains(QStringLiteral("Outro processo está gravando")),
                 qPrintable(busy.errorMessage()));
        QVERIFY(busy.errorMessage().contains(QStringLiteral("Nada foi alterado")));

        QCOMPARE(sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr), SQLITE_OK);
        const Answer done = post(server.port(), generation);
        QVERIFY2(done.hasResult(), done.body.constData());
        server.stop();
        const QByteArray log = server.newLog();
        QVERIFY2(!log.contains("perdida") && !log.contains("reconectando"), log.constData());
        QCOMPARE(log.count("erro do banco de dados"), 1);
        // The refusal's record did not wait for the lock a second time: it was kept,
        // and written once the database took writes again.
        QVERIFY2(!log.contains("não pôde ser registrada"), log.constData());
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) || NMMETODO || MIN(CDERRO) FROM EXECFAT WHERE CDERRO IS "
                                       "NOT NULL GROUP BY NMMETODO"))
                     .toString(),
                 QStringLiteral("1GeraNF-32020"));
    }

    // A generation that waits on an item another session has locked holds its thread
    // only until its client goes away or the statement time-out passes; the item
    // stays pending and the server's one thread serves again.
    void waitingGenerationLetsGo_data()
    {
        QTest::addColumn<bool>("clientLeaves");
        QTest::newRow("the client goes away") << true;
        QTest::newRow("the statement time-out passes") << false;
    }

    void waitingGenerationLetsGo()
    {
        if (m_backend != Backend::Postgres)
            QSKIP("a row locked by another session is PostgreSQL's");
        QFETCH(bool, clientLeaves);
        AppServerProcess server;
        QSettings ini(server.tempPath(QStringLiteral("server.ini")), QSettings::IniFormat);
        ini.setValue(QStringLiteral("database/statement_timeout_s"), clientLeaves ? 0 : 1);
        ini.sync();
        QVERIFY2(server.start(m_url, {QStringLiteral("--config"), ini.fileName(), QStringLiteral("--threads"),
                                      QStringLiteral("1")}),
                 server.newLog().constData());

        QSqlDatabase locker = QSqlDatabase::cloneDatabase(m_connection, QStringLiteral("locker"));
        const auto dropLocker = qScopeGuard([&locker] {
            locker.close();
            locker = QSqlDatabase();
            QSqlDatabase::removeDatabase(QStringLiteral("locker"));
        });
        QVERIFY(locker.open());
        QSqlQuery lock(locker);
        QVERIFY(lock.exec(QStringLiteral("BEGIN")));
        QVERIFY(lock.exec(QStringLiteral("SELECT 1 FROM APURFATFAS WHERE CDCLIENTE = 'C1' FOR UPDATE")));

        const QByteArray generation = generationRequest(QStringLiteral("GeraNF"), batchOf({"c1-6-04"}));
        if (clientLeaves) {
            const int sock = RawHttp::connectTo(server.port());
            QVERIFY(RawHttp::sendAll(sock, rawPost("Content-Type: application/json\r\nContent-Length: "
                                                       + QByteArray::number(generation.size()) + "\r\n",
                                                   generation)));
            QTRY_VERIFY_WITH_TIMEOUT(scalar(QStringLiteral("SELECT COUNT(*) FROM pg_stat_activity "
                                                           "WHERE wait_event_type = 'Lock'"))
                                             .toInt()
                                         > 0,
                                     60000); // it waits on the lock
            ::close(sock);
            QTRY_VERIFY_WITH_TIMEOUT(server.serverLog().contains("error=-32021"), 60000);
        } else {
            const Answer answer = post(server.port(), generation);
            QCOMPARE(answer.errorCode(), -32002);
            QVERIFY2(answer.errorMessage().contains(QStringLiteral("não respondeu a tempo")),
                     qPrintable(answer.errorMessage()));
        }
        // The one thread is free again while the lock is still held.
        QVERIFY(post(server.port(), request(QStringLiteral("GetFaturamento"), Filter().params())).hasResult());
        QVERIFY(lock.exec(QStringLiteral("ROLLBACK")));
        QCOMPARE(statusOf(*fixture(QStringLiteral("c1-6-04"))), QStringLiteral("P"));
        QCOMPARE(count(QStringLiteral("LANCFATFAS")), 3);
    }

    void concurrentGenerationBillsEveryItemOnce()
    {
        // 40 pending items of domestic clients, and 8 users generating overlapping
        // batches of 12 at the same moment.
        const int itemCount = 40;
        const int users = 8;
        QStringList clients = {"C1", "C2", s(OddClient1)};
        struct Item
        {
            QString client;
            QString branch;
            QDate month;
        };
        std::vector<Item> items;
        for (int i = 0; i < itemCount; ++i) {
            Item item{clients.at(i % 3), i % 2 ? QStringLiteral("0002") : QStringLiteral("0001"),
                      QDate(2020, 1, 1).addMonths(i)};
            items.push_back(item);
            QVERIFY(exec(QStringLiteral("INSERT INTO APURFATFAS (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, "
                                        "IDAPURFATFAS, IDSTAPFATFAS, CDGRUPONFAPUR, VRTOTAFATFAS) "
                                        "VALUES ('01', ?, ?, %1, '6', 'P', ?, 10)")
                             .arg(dateParam()),
                         {item.branch, item.client, item.month.toString(QStringLiteral("yyyy-MM-dd")),
                          i % 5 ? QStringLiteral("SERV") : QStringLiteral("LIC")}));
        }
        std::vector<QByteArray> batches;
        std::vector<std::vector<int>> batchItems;
        for (int u = 0; u < users; ++u) {
            TRecordStore store(BillingItemLayout::batch());
            std::vector<int> mine;
            for (int k = 0; k < 12; ++k) {
                const int i = (u * 5 + k) % itemCount;
                mine.push_back(i);
                const int row = store.appendRow();
                auto put = [&](const char *f, const QString &v) {
                    const QByteArray utf8 = v.toUtf8();
                    store.setText(row, store.indexOf(QString::fromLatin1(f)),
                                  std::string_view(utf8.constData(), size_t(utf8.size())));
                };
                put("CDEMPRESA", QStringLiteral("01"));
                put("CDFILIAL", items[size_t(i)].branch);
                put("CDCLIENTE", items[size_t(i)].client);
                put("IDAPURFATFAS", QStringLiteral("6"));
                store.setDateTimeMs(row, store.indexOf(QStringLiteral("DTMESAPURFAS")),
                                    (items[size_t(i)].month.toJulianDay() - 2440588) * 86400000LL);
            }
            batches.push_back(generationRequest(QStringLiteral("GeraNF"), DataPacket::encode(store), u));
            batchItems.push_back(mine);
        }

        std::vector<Answer> answers(static_cast<size_t>(users));
        std::latch ready(users);
        std::vector<std::thread> threads;
        const int port = m_server.port();
        for (int u = 0; u < users; ++u)
            threads.emplace_back([&, u] {
                ready.arrive_and_wait();
                answers[size_t(u)] = post(port, batches[size_t(u)]);
            });
        for (std::thread &t : threads)
            t.join();

        std::set<int> billedByAnswers;
        int successes = 0;
        for (int u = 0; u < users; ++u) {
            const Answer &a = answers[size_t(u)];
            if (a.hasResult()) {
                ++successes;
                QCOMPARE(a.packet().rowCount(), 12);
                for (int i : batchItems[size_t(u)])
                    QVERIFY2(billedByAnswers.insert(i).second, "an item was billed by two generations");
            } else {
                QVERIFY2(a.errorCode() == -32011, a.body.constData());
            }
        }
        QVERIFY(successes >= 1);

        // The database: each item at most once in an entry, exactly the answered ones.
        for (int i = 0; i < itemCount; ++i) {
            const Item &item = items[size_t(i)];
            const QVariantList key = {item.branch, item.client, item.month.toString(QStringLiteral("yyyy-MM-dd"))};
            const int links = scalar(QStringLiteral("SELECT COUNT(*) FROM ITEMLANCFAT WHERE CDEMPRESA = '01' AND "
                                                    "CDFILIAL = ? AND CDCLIENTE = ? AND DTMESAPURFAS = %1 AND "
                                                    "IDAPURFATFAS = '6'")
                                         .arg(dateParam()),
                                     key)
                                  .toInt();
            const QString status = scalar(QStringLiteral("SELECT IDSTAPFATFAS FROM APURFATFAS WHERE CDEMPRESA = '01' "
                                                         "AND CDFILIAL = ? AND CDCLIENTE = ? AND DTMESAPURFAS = %1 "
                                                         "AND IDAPURFATFAS = '6'")
                                              .arg(dateParam()),
                                          key)
                                       .toString();
            const bool billed = billedByAnswers.count(i) > 0;
            QCOMPARE(links, billed ? 1 : 0);
            QCOMPARE(status, billed ? QStringLiteral("R") : QStringLiteral("P"));
        }
        // Entry numbers of company 01 run from 1 without gaps or repeats.
        const int entries = scalar(QStringLiteral("SELECT COUNT(*) FROM LANCFATFAS WHERE CDEMPRESA = '01' AND "
                                                  "IDTPLANCFAT = 'N'"))
                                .toInt();
        QCOMPARE(scalar(QStringLiteral("SELECT MAX(NRLANCFAT) FROM LANCFATFAS WHERE CDEMPRESA = '01' AND "
                                       "IDTPLANCFAT = 'N'"))
                     .toInt(),
                 entries);
        QCOMPARE(scalar(QStringLiteral("SELECT NRULTLANCFAT FROM NUMLANCFAT WHERE CDEMPRESA = '01' AND "
                                       "IDTPLANCFAT = 'N'"))
                     .toInt(),
                 entries);
        QCOMPARE(scalar(QStringLiteral("SELECT SUM(QTITEMLANCFAT) FROM LANCFATFAS WHERE CDEMPRESA = '01' AND "
                                       "IDTPLANCFAT = 'N'"))
                     .toInt(),
                 scalar(QStringLiteral("SELECT COUNT(*) FROM ITEMLANCFAT WHERE CDEMPRESA = '01' AND "
                                       "IDTPLANCFAT = 'N'"))
                     .toInt());
        QVERIFY(serverServes());
    }

    // A bounded random walk over what touches the books: previews, generations (now
    // and then with an item billed before, or the same key sent twice at once),
    // reversals of runs and entries, imports of changed calculations, copies and
    // retried keys, three or four clients at once against one server. After each
    // step every answer must be what the database holds, the books must hold
    // (BooksInvariants), numbers stay with their entries, the preview shows the
    // books and fas-admin check finds nothing. FAS_BOOKS_SEED walks the same
    // choices again (each step's interleaving is the machine's), FAS_BOOKS_STEPS
    // bounds the walk, FAS_BOOKS_OPS keeps some operations only.
    void booksHoldUnderRandomSteps()
    {
        const quint32 seed = qEnvironmentVariableIsSet("FAS_BOOKS_SEED")
                                 ? qEnvironmentVariable("FAS_BOOKS_SEED").toUInt()
                                 : std::random_device{}();
        const int steps = qEnvironmentVariableIsSet("FAS_BOOKS_STEPS") ? qEnvironmentVariableIntValue("FAS_BOOKS_STEPS")
                                                                       : 40;
        qInfo("books walk: seed %u, %d steps (FAS_BOOKS_SEED=%u walks it again)", seed, steps, seed);
        std::mt19937 random(seed);
        const QList<Call::Kind> kinds = walkKinds();
        QVERIFY2(!kinds.isEmpty(), "FAS_BOOKS_OPS names none of preview, generate, reverse, import, backup, retry");
        QVERIFY(insertWalk(random));
        m_tokens[0] = addUser(QStringLiteral("mesa"), QStringLiteral("faturamento"));
        m_tokens[1] = addUser(QStringLiteral("caixa"), QStringLiteral("faturamento"));
        m_tokens[2] = addUser(QStringLiteral("chefe"), QStringLiteral("supervisor"));
        QVERIFY(!m_tokens[0].isEmpty() && !m_tokens[1].isEmpty() && !m_tokens[2].isEmpty());
        QVERIFY(judgeNumbers().isEmpty());
        QMap<QString, int> tally;
        for (int step = 1; step <= steps; ++step) {
            const Books before = readBooks();
            std::vector<Call> calls;
            QStringList names;
            const int clients = 3 + int(random() % 2);
            for (int c = 0; c < clients; ++c) {
                auto kind = kinds.at(qsizetype(random() % quint32(kinds.size())));
                for (const Call &other : calls) // one import and one copy at a time
                    if (other.kind == kind && (kind == Call::Import || kind == Call::Backup))
                        kind = Call::Preview;
                calls.push_back(planCall(kind, before, random, QStringLiteral("%1-%2-%3").arg(seed).arg(step).arg(c)));
                names << calls.back().name();
            }
            qInfo("step %d: %s", step, qPrintable(names.join(QStringLiteral(", "))));
            runAtOnce(calls);
            const QString problem = judgeStep(calls, before);
            QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("seed %1, step %2 (%3): %4")
                                                       .arg(seed)
                                                       .arg(step)
                                                       .arg(names.join(QStringLiteral(", ")), problem)));
            for (const Call &call : calls) {
                const QString outcome = call.kind == Call::Import || call.kind == Call::Backup
                                            ? QStringLiteral("exit %1").arg(call.exitCode)
                                            : QString::number(call.answer.errorCode());
                ++tally[call.name().section(u' ', 0, 0) + u' ' + outcome];
            }
            for (const Call &call : calls)
                if ((call.kind == Call::Generate || call.kind == Call::Retry) && call.answer.hasResult()
                    && (call.kind == Call::Generate || call.otherUser))
                    m_storedKeys.push_back({call.body, call.answer.body, call.key, call.desk});
        }
        // What the walk did (0: a result; else the error code or the program's exit).
        QStringList did;
        for (auto it = tally.cbegin(); it != tally.cend(); ++it)
            did << QStringLiteral("%1 ×%2").arg(it.key()).arg(it.value());
        qInfo("books walk done: %s", qPrintable(did.join(QStringLiteral(", "))));
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    return runOnBothDatabases<TstServerGeneration>(argc, argv);
}

#include "tst_servergeneration.moc"
