#pragma once

#include <QString>

#include "outside/net/RemoteCallError.h"
#include "kor_export.h"

// What the screens tell a clerk when the application server refuses a call:
// what happened and what to do, in words, never a method's name or a protocol
// code. Refusals about the billing itself (an item, an entry, a busy database,
// a reason the server does not take) keep the server's own words, which name
// the item and the way out; the others have the screens' words.
namespace ServerRefusals {

// The history's "Resultado" of a refused run: "já estornada", "sem permissão"…
KOR_EXPORT QString Outcome(int code);
// The message a clerk reads for a refused call; other failures keep theirs.
KOR_EXPORT QString Message(const RemoteCallError &error);

// Runs a remote call; a refusal comes out as a FasError in the clerk's words.
template<typename Call>
auto InClerkWords(Call call) -> decltype(call())
{
    try {
        return call();
    } catch (const RemoteCallError &error) {
        if (error.reason() != RemoteCallError::Reason::ServerError
            && error.reason() != RemoteCallError::Reason::Unauthorized)
            throw;
        throw FasError(Message(error));
    }
}

} // namespace ServerRefusals
