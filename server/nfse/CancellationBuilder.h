#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include "server/nfse/DpsData.h"

// The request to register the cancellation of an authorized NFS-e (pedRegEvento with
// the event e101101) in the national layout, version 1.01. Unsigned: DpsSigner signs
// its infPedReg as it signs a DPS.
struct CancellationData
{
    enum class Reason { EmissionError = 1, ServiceNotRendered = 2, Other = 9 };

    DpsData::Environment environment = DpsData::Environment::Homologation;
    QString authorDocument; // CNPJ (or CPF) of the emitting company
    QString accessKey;      // the note's 50-digit access key
    QDateTime requested;    // with its offset from UTC
    Reason reason = Reason::EmissionError;
    QString reasonText; // 15 to 255 characters

    QStringList problems() const;
};

namespace CancellationBuilder {

// "PRE", the access key (50) and the event's code (101101).
QString requestId(const CancellationData &data);

// Throws FasError listing every problem of `data`.
QByteArray build(const CancellationData &data);

} // namespace CancellationBuilder
