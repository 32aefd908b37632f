#include "server/billing/RunJournal.h"

#include <QCryptographicHash>

#include "platform/data/CivilDate.h"
#include "server/rpc/RpcError.h"
#include "server/sql/SqlStatement.h"

namespace {

QVariant textOrNull(const QString &text)
{
    return text.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(text);
}

// The user a key belongs to: the empty name (never null) when the server has no users.
QVariant ownerOf(const QString &user)
{
    return user.isEmpty() ? QVariant(QStringLiteral("")) : QVariant(user);
}

} // namespace

RunJournal::RunJournal(Call call)
    : m_call(std::move(call))
{
}

QString RunJournal::hashOf(const QString &method, const std::string &params)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(method.toUtf8());
    hash.addData(QByteArrayView("\n"));
    hash.addData(QByteArrayView(params.data(), qsizetype(params.size())));
    return QString::fromLatin1(hash.result().toHex());
}

QString RunJournal::now()
{
    return CivilDate::sqlDateTime(QDateTime::currentDateTime(), CivilDate::SqlTime::Milliseconds);
}

std::optional<RunJournal::Stored> RunJournal::stored(const QSqlDatabase &db,
                                                     const std::function<QString()> &formerHash) const
{
    if (m_call.key.isEmpty())
        return std::nullopt;
    SqlStatement read(db,
                      QStringLiteral("SELECT HASHREQ, TXRESPOSTA, QTLINHAS, IDEXECFAT FROM CHAVEEXECFAT "
                                     "WHERE NMUSUARIO = ? AND CHAVEREQ = ?"),
                      "chave de idempotência");
    read.exec({ownerOf(m_call.user), m_call.key});
    if (!read.next())
        return std::nullopt;
    const QString hash = read.value(0).toString();
    if (hash != m_call.requestHash && (!formerHash || hash != formerHash()))
        throw RpcError(RpcCode::KeyReused,
                       QStringLiteral("A chave de idempotência \"%1\" já foi usada por outra chamada (outro método ou "
                                      "outro lote). Nada foi gerado; envie esta chamada com uma chave nova.")
                           .arg(m_call.key));
    Stored answer{read.value(1).toString().toStdString(), read.value(2).toInt(), read.value(3).toLongLong()};
    read.finish();
    return answer;
}

std::int64_t RunJournal::insertRun(const QSqlDatabase &db, const Outcome *ended) const
{
    const QVariant none{QMetaType(QMetaType::QString)};
    const QVariant noNumber{QMetaType(QMetaType::LongLong)};
    SqlStatement insert(db,
                        QStringLiteral("INSERT INTO EXECFAT (NMMETODO, NMUSUARIO, NRIPCLIENTE, CHAVEREQ, DTINICIO, "
                                       "DTFIM, CDERRO, IDEXECORIGEM) VALUES (?, ?, ?, ?, ?, ?, ?, ?) RETURNING "
                                       "IDEXECFAT"),
                        "registro da execução");
    insert.exec({m_call.method, textOrNull(m_call.user), textOrNull(m_call.clientAddress), textOrNull(m_call.key),
                 CivilDate::sqlDateTime(m_call.start, CivilDate::SqlTime::Milliseconds),
                 ended ? QVariant(CivilDate::sqlDateTime(ended->end, CivilDate::SqlTime::Milliseconds)) : none,
                 ended && ended->errorCode != 0 ? QVariant(ended->errorCode) : QVariant(QMetaType(QMetaType::Int)),
                 ended && ended->replays != 0 ? QVariant(qint64(ended->replays)) : noNumber});
    const std::int64_t id = insert.next() ? insert.value(0).toLongLong() : 0;
    insert.finish();
    return id;
}

std::int64_t RunJournal::open(const QSqlDatabase &db)
{
    m_run = insertRun(db, nullptr);
    if (m_call.key.isEmpty())
        return m_run;
    // On PostgreSQL this waits while another transaction holds the same key.
    SqlStatement claim(db,
                       QStringLiteral("INSERT INTO CHAVEEXECFAT (NMUSUARIO, CHAVEREQ, HASHREQ, IDEXECFAT, DTCRIACAO) "
                                      "VALUES (?, ?, ?, ?, ?) ON CONFLICT (NMUSUARIO, CHAVEREQ) DO NOTHING"),
                       "chave de idempotência");
    claim.exec({ownerOf(m_call.user), m_call.key, m_call.requestHash, qint64(m_run), now()});
    if (claim.rowsAffected() == 0)
        throw KeyTaken{};
    return m_run;
}

void RunJournal::close(const QSqlDatabase &db, const Totals &totals, const std::string &answer, int rows)
{
    SqlStatement run(db,
                     QStringLiteral("UPDATE EXECFAT SET DTFIM = ?, QTITENS = ?, QTLANCAMENTOS = ?, VRTOTAL = ? "
                                    "WHERE IDEXECFAT = ?"),
                     "registro da execução");
    run.exec({now(), totals.items, totals.entries, qRound64(totals.total * 100) / 100.0, qint64(m_run)});
    if (m_call.key.isEmpty())
        return;
    SqlStatement key(db,
                     QStringLiteral("UPDATE CHAVEEXECFAT SET TXRESPOSTA = ?, QTLINHAS = ? WHERE NMUSUARIO = ? AND "
                                    "CHAVEREQ = ?"),
                     "chave de idempotência");
    key.exec({QString::fromStdString(answer), rows, ownerOf(m_call.user), m_call.key});
}

void RunJournal::record(const QSqlDatabase &db, const Outcome &outcome) const
{
    insertRun(db, &outcome);
}

void RunJournal::pruneKeys(const QSqlDatabase &db)
{
    SqlStatement prune(db, QStringLiteral("DELETE FROM CHAVEEXECFAT WHERE DTCRIACAO < ?"), "chaves antigas");
    prune.exec({CivilDate::sqlDateTime(QDateTime::currentDateTime().addDays(-KeptDays))});
}
