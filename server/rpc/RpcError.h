#pragma once

#include "platform/data/FasError.h"

// The JSON-RPC error codes this server answers with. The server's own codes lie in
// -32000..-32099; docs/protocol.md lists them with their meaning.
namespace RpcCode {
inline constexpr int ParseError = -32700;
inline constexpr int InvalidRequest = -32600;
inline constexpr int MethodNotFound = -32601;
inline constexpr int InvalidParams = -32602;

inline constexpr int ServerFailure = -32000;        // unexpected failure; details only in the log
inline constexpr int Unauthorized = -32001;         // bearer token missing or wrong
inline constexpr int DatabaseUnavailable = -32002;  // the database cannot be reached
inline constexpr int RequestTooLarge = -32003;      // body above the configured limit
inline constexpr int UnsupportedContent = -32004;   // compressed or not JSON (HTTP 415)
inline constexpr int BatchTooLarge = -32005;        // more calls in a batch than allowed
inline constexpr int AnswerTooLarge = -32006;       // a batch's answer reached its limit: call not run
inline constexpr int UnsendableValue = -32007;      // a stored value no data packet can carry (NaN, ±Inf, year 0)
inline constexpr int Forbidden = -32008;            // the user lacks the method's right (HTTP 403)
inline constexpr int KeyReused = -32009;            // an Idempotency-Key sent again with another call
inline constexpr int ItemNotFound = -32010;         // a batch item that does not exist
inline constexpr int ItemAlreadyBilled = -32011;    // already has a note/invoice entry or is realized
inline constexpr int ItemCancelled = -32012;        // the calculation was cancelled
inline constexpr int ItemNotPending = -32013;       // any other status than pending
inline constexpr int ItemWrongNationality = -32014; // domestic client in GeraInvoice, foreign in GeraNF
inline constexpr int EntryNotFound = -32015;        // a run or entry to read or reverse that does not exist
inline constexpr int EntryAlreadyReversed = -32016; // an entry (or every entry of a run) already reversed
inline constexpr int NfseRegistration = -32017;     // GeraNF: what a national note (NFS-e) needs is missing
inline constexpr int Busy = -32020;                 // another generation held the data too long
inline constexpr int ClientGone = -32021;           // the client went away: the call was stopped, nothing kept
} // namespace RpcCode

// A failure answered as a JSON-RPC error object: the code and a Portuguese message
// that a user can act on (it never holds SQL or internal names).
class RpcError : public FasError
{
public:
    RpcError(int code, QString message)
        : FasError(std::move(message))
        , m_code(code)
    {
    }
    int code() const noexcept { return m_code; }

    // The call stopped because its client went away (no one reads this answer; the
    // log line does).
    static RpcError clientGone()
    {
        return RpcError(RpcCode::ClientGone,
                        QStringLiteral("Chamada interrompida: o cliente desconectou antes da resposta."));
    }

private:
    int m_code;
};
