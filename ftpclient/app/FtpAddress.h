#pragma once

#include <QString>

#include <optional>

namespace harbel::tessaly {

// An ftp:// or ftps:// address of the command line, cut into its parts:
//   ftp[s]://[USER[:PASSWORD]@]HOST[:PORT][/PATH]
// The user, the password and the path are percent-decoded once (a password may hold "@" as it is
// or as %40; the last "@" ends it); an IPv6 host is written in brackets. ftps:// is explicit TLS
// (AUTH TLS on the usual port 21). The path is taken from the server's root, as the window's path
// box takes it; an address without a user logs in as "anonymous".
struct FtpAddress {
    bool tls = false;
    QString host;
    quint16 port = 21;
    QString user;
    QString password;
    bool hasPassword = false;  // a password was given, maybe an empty one ("user:@host")
    QString path = QStringLiteral("/");  // absolute, without a final "/" except for the root
    bool namesFolder = true;  // the path was empty or ended with "/"

    // nullopt, with why, for anything else than such an address.
    static std::optional<FtpAddress> parse(const QString& text, QString* why);
    // The address as lines show it: without the password.
    QString shown() const;
    // The last part of the path ("" for the root).
    QString name() const;
};

}  // namespace harbel::tessaly
