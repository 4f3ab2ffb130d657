#pragma once

#include <QString>

#include <optional>

namespace harbel::tessaly {

// An ftp://, ftps:// or sftp:// address of the command line, cut into its parts:
//   ftp[s]://[USER[:PASSWORD]@]HOST[:PORT][/PATH]
//   sftp://[USER[:PASSWORD]@]HOST[:PORT][/PATH]
// The user, the password and the path are percent-decoded once (a password may hold "@" as it is
// or as %40; the last "@" ends it); an IPv6 host is written in brackets. ftps:// is explicit TLS
// (AUTH TLS on the usual port 21). As curl and lftp read it, the path goes from the folder the
// login lands in, unless it begins with a second "/" (or "%2F"): "ftp://h/pub/a" is "pub/a" in the
// login folder, "ftp://h//srv/a" is "/srv/a". An address without a user logs in as "anonymous".
// sftp:// (SSH, port 22) reads the path as curl does: from the server's root, unless it begins
// with "~/", the login folder: "sftp://h/srv/a" is "/srv/a", "sftp://h/~/a" is "a".
struct FtpAddress {
    bool tls = false;
    bool sftp = false;
    QString host;
    quint16 port = 21;
    QString user;
    QString password;
    bool hasPassword = false;  // a password was given, maybe an empty one ("user:@host")
    // "/srv/a" from the server's root, or "pub/a" from the login folder ("" for the login folder
    // itself); runs of "/" are one, and there is no final "/" but the root's.
    QString path;
    bool namesFolder = true;  // the path was empty or ended with "/"
    bool absolute() const { return path.startsWith(u'/'); }

    // nullopt, with why, for anything else than such an address.
    static std::optional<FtpAddress> parse(const QString& text, QString* why);
    // The address as lines show it: without the password.
    QString shown() const;
    // The last part of the path ("" for the root or the login folder).
    QString name() const;
    // The path as a path from the server's root, given the login folder.
    QString pathFrom(const QString& loginFolder) const;
};

}  // namespace harbel::tessaly
