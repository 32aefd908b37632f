#pragma once

#include <optional>

#include <QString>

class QSettings;

// The [email] section of the configuration file: the SMTP server the messages leave
// through and who sends them.
//
//   [email]
//   host = smtp.example.com
//   port = 587                      ; optional: 587 for starttls, 465 for tls, 25 for none
//   security = starttls             ; starttls (default), tls (implicit, "smtps") or none
//   user = faturamento@example.com  ; optional: no login when empty
//   password_file = email.senha     ; the password, in a file of the owner's alone (chmod 600)
//   sender_address = faturamento@example.com
//   sender_name = Faturamento
//   timeout_seconds = 30            ; optional: how long the server may take to answer
//   ca_file = /path/ca.pem          ; optional: the authorities trusted for the server
// Relative paths lie beside the configuration file.
struct MailSettings
{
    enum class Security { StartTls, Tls, None };

    QString host;
    int port = 587;
    Security security = Security::StartTls;
    QString user;
    QString password; // read from password_file
    QString senderAddress;
    QString senderName;
    int timeoutSeconds = 30;
    QString caFile;

    // None when the file has no [email] section (no message is sent). Throws FasError
    // naming the key that is wrong and what to write.
    static std::optional<MailSettings> fromFile(const QString &path);
    static std::optional<MailSettings> fromSettings(QSettings &settings);

    // Whether `address` can be given to an SMTP server as it is: local@domain, no
    // spaces, brackets or line breaks.
    static bool isAddress(const QString &address);
};
