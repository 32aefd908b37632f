#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include <QString>

#include "billing/AccessRight.h"

// What the server knows about the request being answered, handed explicitly from
// the HTTP front through the JSON-RPC front to the method that runs: who asks
// (the client's address; the user and right, once the request names one), the
// request's Idempotency-Key header, and a flag that tells running work to stop
// because its client has gone. Made by the HTTP layer for each request and alive
// until its answer has been written.
class RequestContext
{
public:
    struct User
    {
        QString name;
        AccessRight right = AccessRight::Anyone;
    };

    RequestContext() = default;
    explicit RequestContext(std::string clientAddress);
    RequestContext(const RequestContext &) = delete;
    RequestContext &operator=(const RequestContext &) = delete;

    // The client's IP address as the connection shows it; empty when unknown.
    const std::string &clientAddress() const { return m_clientAddress; }
    // The client behind a trusted proxy, as the proxy names it.
    void setClientAddress(std::string address) { m_clientAddress = std::move(address); }
    // The Idempotency-Key header as sent; empty when there was none.
    const std::string &idempotencyKey() const { return m_idempotencyKey; }
    void setIdempotencyKey(std::string key) { m_idempotencyKey = std::move(key); }

    // The user the bearer token named. None: the server has no users (the single
    // desk, or only a token file), and every right is granted.
    const std::optional<User> &user() const { return m_user; }
    void setUser(User user) { m_user = std::move(user); }

    // Safe from any thread: the client has gone, or the server is ending. Work that
    // runs long (reading a large answer) polls stopRequested() and gives up; a
    // statement that waits on the database is stopped through onStop.
    void requestStop() noexcept;
    bool stopRequested() const noexcept { return m_stop.load(std::memory_order_relaxed); }
    // What requestStop() also does, on the thread that asks, while the call runs
    // (cancel its statement); an empty function removes it. Set by the running call,
    // which is why it may be set on a context the call only reads.
    void setOnStop(std::function<void()> onStop) const;

private:
    std::string m_clientAddress;
    std::string m_idempotencyKey;
    std::optional<User> m_user;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_onStopMutex;
    mutable std::function<void()> m_onStop;
};
