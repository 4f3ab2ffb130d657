#pragma once

#include <QString>
#include <QStringList>

namespace harbel::tessaly {

// What an OpenSSH known hosts file lists for one server, for the warning about a changed host key:
// the keys of the lines that name the server (plainly or hashed), as "type SHA256:fingerprint".
struct KnownHostKeys final {
    // The user's file, ~/.ssh/known_hosts.
    static QString defaultPath();
    static QStringList listedFor(const QString& path, const QString& host, quint16 port);
};

}  // namespace harbel::tessaly
