#pragma once

#include <exception>

#include <QByteArray>
#include <QString>

#include "fasdata_export.h"

// Base of every failure the system reports to a user: the message is complete,
// in words the user can act on, and is what the error dialog shows.
class FASDATA_EXPORT FasError : public std::exception
{
public:
    explicit FasError(QString message);
    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// A data packet that cannot be read: names what is wrong and where.
class FASDATA_EXPORT PacketError : public FasError
{
public:
    using FasError::FasError;
};

// A dataset operation that the dataset's state or definition does not allow.
class FASDATA_EXPORT DataSetError : public FasError
{
public:
    using FasError::FasError;
};

// Thrown after a message has already been shown to the user: it only unwinds the
// running operation (so its clean-up runs) and is swallowed by the event guard.
class FASDATA_EXPORT SilentAbort : public std::exception
{
public:
    const char *what() const noexcept override { return "operation abandoned"; }
};
