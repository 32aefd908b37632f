#pragma once

#include <QByteArray>
#include <QString>

#include "TRemoteValue.h"
#include "kor_export.h"

// Validation helpers shared by the screens.
namespace Consiste {

// True for a text that holds nothing but blanks (a date edit's empty mask
// included, see TDateEditPlus).
KOR_EXPORT bool EmptyString(const QString &text);

// Turns what a remote method returned into the data packet to load. A result
// that is not a data packet (no value, or the text of a failure the server
// reported as its result) is an error: with `raiseError` it throws FasError
// with a message a user can act on, otherwise it gives an empty packet.
// `helpContext` is the help topic of the error report (0: none).
KOR_EXPORT QByteArray CheckResultServ(const TRemoteValue &result, bool raiseError, int helpContext);

} // namespace Consiste
