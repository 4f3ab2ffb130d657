#pragma once

#include "tests/support/ServerProcess.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace harbel::test {

// OpenSSH's sshd on a free loopback port, run as the tests' own user without PAM or a system
// service: a private folder holds a host key and a client key made by ssh-keygen, the client key
// as the only authorised one, and a configuration that serves SFTP. Keys log in; passwords cannot.
class SshServer final {
public:
    // Makes the keys and the configuration and starts sshd; false (with why()) when it fails.
    bool start();
    const QString& why() const { return why_; }
    quint16 port() const { return port_; }
    // The client's private key (its public half beside it, with ".pub").
    QString clientKey() const { return folder_->filePath(QStringLiteral("client_key")); }
    // The host key's SHA-256 fingerprint as ssh shows it ("SHA256:...").
    const QString& hostFingerprint() const { return hostFingerprint_; }
    // A known_hosts line for this server with its own host key, or (otherKey) with another key.
    QString knownHostsLine(bool otherKey = false) const;
    // Makes another client key, with the passphrase given, and authorises it too.
    QString addClientKey(const QString& name, const QString& passphrase);

private:
    bool keygen(const QString& name, const QString& passphrase);

    std::unique_ptr<QTemporaryDir> folder_;
    ServerProcess sshd_;
    quint16 port_ = 0;
    QString hostFingerprint_;
    QString why_;
};

}  // namespace harbel::test
