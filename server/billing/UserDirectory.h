#pragma once

#include <optional>
#include <string>

#include "server/rpc/RequestContext.h"
#include "server/sql/ThreadDatabase.h"

// The users of the application server, as the database holds them (USUARIOFAT), on
// the calling thread's connection: every server of a shared installation sees the
// same ones. A token is found by one look-up of its hash in the table's unique
// index, as fast for ten thousand users as for ten; every call reads the table as
// it is, so a user disabled by `fas-admin user` is refused on the next call.
class UserDirectory
{
public:
    struct Match
    {
        bool anyUser = false;                     // the table has a user, enabled or not
        std::optional<RequestContext::User> user; // the token's owner
        bool disabled = false;                    // ...who may no longer sign in
    };

    explicit UserDirectory(const ThreadDatabase &database);

    // Throws DatabaseError or SqlFailure when the database cannot be asked; a
    // connection found broken is replaced and asked once more.
    Match find(const std::optional<std::string> &token) const;
    // Whether an enabled user exists, so that every call must bring a user's token.
    // Throws SqlFailure when the database cannot be asked.
    bool hasEnabledUser() const;

private:
    Match read(const std::optional<std::string> &token) const;

    const ThreadDatabase &m_database;
};
