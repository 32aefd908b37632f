#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include <QDateTime>
#include <QSqlDatabase>
#include <QVariant>
#include <QString>

// The record of the calls that generate or reverse (EXECFAT) and of their
// Idempotency-Keys (CHAVEEXECFAT). A run that succeeds writes its row, its key and its
// answer in the transaction of its entries (open before the first claim, close before
// COMMIT), so the key is committed with its answer or not at all. A call refused
// (for its right, its key, its items or a busy database) or failed, and one answered
// again from its key's stored answer, is written afterwards on its own (record).
// A key belongs to its user: another user's same key is another key; without users
// (the single desk, a token file) the user is the empty name.
//
// The key's row is inserted first thing in the run's transaction: a second call with
// the same key waits there for the first (PostgreSQL: on the unique key, across
// servers; SQLite: on the write lock) and, when the first committed, finds its
// answer instead of running (KeyTaken).
class RunJournal
{
public:
    struct Call
    {
        QString method;
        QString user; // empty: the server has no users
        QString clientAddress;
        QString key;         // the Idempotency-Key; empty when none was sent
        QString requestHash; // SHA-256 of the method and its parameters as sent (hashOf)
        QDateTime start;
    };

    // What a committed run answered, for a repeated key.
    struct Stored
    {
        std::string answer;
        int rows = 0;
        std::int64_t run = 0; // the run that made the answer
    };

    // How a call that made no run of its own ended.
    struct Outcome
    {
        int errorCode = 0;        // the refusal's code; 0: answered from its key
        std::int64_t replays = 0; // the run whose stored answer it got
        QDateTime end = QDateTime::currentDateTime();
    };

    struct Totals
    {
        int items = 0;
        int entries = 0;
        double total = 0;
    };

    // Thrown by open() when a run with the same key committed meanwhile.
    struct KeyTaken
    { };

    static constexpr int KeptDays = 7;
    static constexpr int MaxKeyLength = 200;

    explicit RunJournal(Call call);

    const Call &call() const { return m_call; }

    // The answer of the committed run with this call's key; nullopt when there is
    // none. Throws RpcError(KeyReused) when that run was another call: its hash is
    // neither the call's nor, when given, `formerHash()` (how a key stored by an
    // earlier version of the server hashed this call; asked only on a mismatch).
    std::optional<Stored> stored(const QSqlDatabase &db, const std::function<QString()> &formerHash = {}) const;
    // Inside the run's transaction: its row, and the key's. Returns the run's id.
    std::int64_t open(const QSqlDatabase &db);
    // Inside the run's transaction, before COMMIT.
    void close(const QSqlDatabase &db, const Totals &totals, const std::string &answer, int rows);
    // After a refusal, a failure or a stored answer, outside any run's transaction.
    void record(const QSqlDatabase &db, const Outcome &outcome) const;
    // Forgets keys older than KeptDays (their runs stay).
    static void pruneKeys(const QSqlDatabase &db);

    // The hash that tells one call from another under the same key. `params`: the
    // parameter list as sent, without the blanks between its tokens
    // (RpcParams::sentText): a call sent again with other spacing is the same call;
    // with its members in another order, or a text or number spelled otherwise, it
    // is another.
    static QString hashOf(const QString &method, const std::string &params);

private:
    std::int64_t insertRun(const QSqlDatabase &db, const Outcome *ended) const;
    static QString now();

    Call m_call;
    std::int64_t m_run = 0;
};
