#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>

#include <QDateTime>

#include "server/nfse/NfseOutbox.h"
#include "server/nfse/NfseSettings.h"

class DpsSigner;
class NfseConnection;

// Sends the outbox's declarations and cancellation requests to the national service
// and keeps each answer in the outbox:
//   - POST {endpoint}/nfse with {"dpsXmlGZipB64": the signed DPS}; an answer with the
//     access key and the NFS-e is the note, authorized;
//   - a list of errors is a rejection, kept with its codes and not sent again; but the
//     error E0014 (the DPS's Id was already used) means an earlier try made the
//     note: it is fetched (GET /dps/{Id}, then GET /nfse/{key}) and kept as
//     authorized, so that a lost answer never makes a second note;
//   - no answer (network, time-out, refused connection) or a 5xx is tried again
//     later with the SAME DPS (same Id), after 1 minute, then 2, 4... up to 1 hour.
// Cancellations go the same way to POST {endpoint}/nfse/{key}/eventos with
// {"pedidoRegistroEventoXmlGZipB64": the signed request}.
// One sender is used by one thread; the signers and connections of each company are
// made at its first document.
class NfseSender
{
public:
    using Clock = std::function<QDateTime()>;

    NfseSender(NfseSettings settings, NfseOutbox &outbox, Clock clock = &QDateTime::currentDateTime);
    ~NfseSender();

    // Sends the next due declaration; false when none was due.
    bool sendNextDeclaration();
    // Sends the next due cancellation request; false when none was due.
    bool sendNextCancellation();
    // Sends everything due now; how many documents were handled.
    int sendDue();

    // The wait before try number `attempts + 1`: 1 minute doubled per failed try, at
    // most 1 hour.
    static std::chrono::seconds backoff(int attempts);

private:
    struct Company;
    Company &company(const QString &code);
    void send(const NfseOutbox::Declaration &declaration);
    void cancel(const NfseOutbox::Cancellation &cancellation);
    bool recoverDuplicate(Company &company, const NfseOutbox::Declaration &declaration);

    NfseSettings m_settings;
    NfseOutbox &m_outbox;
    Clock m_clock;
    std::map<QString, std::unique_ptr<Company>> m_companies;
};
