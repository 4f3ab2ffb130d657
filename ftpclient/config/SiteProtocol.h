#pragma once

#include <QString>
#include <QStringList>

namespace harbel::tessaly {

// The protocols a site is reached by, in the order the protocol choices list them, and what
// changing between them does to the port a user sees.
struct SiteProtocol final {
    enum Kind { Ftp = 0, FtpTls = 1, Sftp = 2 };

    // "FTP", "FTP over TLS", "SFTP": the items of a protocol choice, index = Kind.
    static QStringList names();
    // A stored or chosen value as a Kind; anything else is FTP, or FTP over TLS when tls is set.
    static Kind fromValue(int value, bool tls);
    // The port to show after a change of protocol: a port left at the old protocol's default
    // (21 or 990 for FTP, 22 for SFTP) becomes the new one's; a port the user chose stays.
    static QString portAfterChange(const QString& port, Kind from, Kind to);
    // What the controls that SFTP cannot use say while they are greyed.
    static QString notOverSftp();
};

}  // namespace harbel::tessaly
