#pragma once

#include <optional>
#include <string>

#include <QByteArray>

#include "server/billing/UserDirectory.h"
#include "server/http/CallerIdentity.h"

// Who may call the server, decided once per request from its bearer token:
// - once the database holds a user, only an enabled user's token is admitted, with
//   that user's right (the token file, if any, is no longer accepted);
// - with no users, the token file's token, when one is configured, is admitted with
//   every right and no user named (a server set up before users existed);
// - with neither, everyone is admitted: the single desk on the loopback address.
//   A server listening beyond loopback admits no one then (it started because users
//   existed; they must not all vanish into an open door).
class AccessControl
{
public:
    AccessControl(QByteArray fileToken, const UserDirectory &users, bool openWithoutUsers);

    CallerIdentity identify(const std::optional<std::string> &token) const;

private:
    CallerIdentity byFileToken(const std::optional<std::string> &token) const;

    QByteArray m_fileToken;
    const UserDirectory &m_users;
    bool m_openWithoutUsers;
};
