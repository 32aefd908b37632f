#pragma once

#include <QByteArray>
#include <QString>

#include "outside/net/TRemoteValue.h"
#include "kor_export.h"

// Validation helpers shared by the screens.
namespace Consiste {

// True for a text that holds nothing but blanks (a date edit's empty mask
// included, see TDateEditPlus).
KOR_EXPORT bool EmptyString(const QString &text);

// Shows `text` as an error; with `abort` the running operation is then
// abandoned (SilentAbort), so its clean-up runs and nothing more is shown.
KOR_EXPORT void MensErro(const QString &text, bool abort);

// The edit mask of a client's registration number for its person type:
// "F" (individual, CPF) "999.999.999-99;0; ", "J" (company, CNPJ)
// "99.999.999/9999-99;0; "; any other type has no mask (empty text).
KOR_EXPORT QString PictPess(const QString &personType);

// Lays `value`'s characters into the mask's digit places, adding its literals
// (the mask's text before the first ";"); characters beyond the mask are dropped.
KOR_EXPORT QString FormatMaskText(const QString &mask, const QString &value);

// Turns what a remote method returned into the data packet to load. A result
// that is not a data packet (no value, or the text of a failure the server
// reported as its result) is an error: with `raiseError` it throws FasError
// with a message a user can act on, otherwise it gives an empty packet.
// `helpContext` is the help topic of the error report (0: none). A packet of a
// remote call's answer is handed on parsed, not as text.
KOR_EXPORT TDataPacket CheckResultServ(const TRemoteValue &result, bool raiseError, int helpContext);

} // namespace Consiste
