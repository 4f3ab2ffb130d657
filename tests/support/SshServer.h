#pragma once

#include "tests/support/ServerProcess.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace harbel::test {

// The real OpenSSH server (Debian's sshd) on a free loopback port, run for a test program as the
// user the tests run as: a private folder holds a host key and a client key made with ssh-keygen,
// the client key's public half as the only authorised key, and an sshd_config that serves SFTP
// (internal-sftp) without PAM or any system service. Password logins cannot work this way: the key
// (or an agent holding it) is how a test logs in.
class SshServer final {
public:
    SshServer() = default;
    SshServer(const SshServer&) = delete;
    SshServer& operator=(const SshServer&) = delete;
    ~SshServer();

    // Makes the keys and the configuration and starts sshd; false (with why()) when it does not
    // come up.
    bool start();
    void stop();
    const QString& why() const { return why_; }

    quint16 port() const { return port_; }
    QString user() const { return user_; }
    // The client's private key (its public half beside it, with ".pub").
    QString clientKey() const { return folder_->filePath(QStringLiteral("client_key")); }
    // The host key's SHA-256 fingerprint as ssh shows it ("SHA256:...").
    const QString& hostFingerprint() const { return hostFingerprint_; }
    // A known_hosts line for this server holding its real host key, or (otherKey) a key of the
    // same type that is not its own.
    QString knownHostsLine(bool otherKey = false) const;
    // Makes another client key (with a passphrase when one is given) and authorises it too.
    QString addClientKey(const QString& name, const QString& passphrase);

private:
    bool keygen(const QString& path, const QString& passphrase);
    QString hostEntry(const QString& publicKeyFile) const;

    std::unique_ptr<QTemporaryDir> folder_;
    ServerProcess sshd_;
    quint16 port_ = 0;
    QString user_;
    QString hostFingerprint_;
    QString why_;
};

}  // namespace harbel::test
