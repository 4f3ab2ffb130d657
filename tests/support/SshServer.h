#pragma once

#include "tests/support/ServerProcess.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace harbel::test {

// OpenSSH's sshd on a free loopback port, run as the tests' own user without a system service: a
// private folder holds a host key and a client key made by ssh-keygen, the client key as the only
// authorised one, and a configuration that serves SFTP.
//
// Keys log in (Logins::Keys, without PAM). An unprivileged sshd cannot check a password, so
// Logins::Passwords needs root: it makes a system account of its own (no shell, SFTP only, a home
// in the private folder, a long random password) that sshd checks through PAM, answering password
// and keyboard-interactive logins on port() and keyboard-interactive ones only on
// keyboardOnlyPort(). The account goes with the object; one left by a killed test program goes
// when the next one starts.
class SshServer final {
public:
    enum class Logins { Keys, Passwords };

    SshServer() = default;
    ~SshServer();
    SshServer(const SshServer&) = delete;
    SshServer& operator=(const SshServer&) = delete;

    // Makes the keys and the configuration and starts sshd; false (with why()) when it fails.
    bool start(Logins logins = Logins::Keys);
    const QString& why() const { return why_; }
    quint16 port() const { return port_; }
    // Logins::Passwords: the account, its password and home, and the port without password logins.
    const QString& user() const { return user_; }
    const QString& password() const { return password_; }
    QString home() const { return folder_->filePath(QStringLiteral("home")); }
    quint16 keyboardOnlyPort() const { return keyboardOnlyPort_; }
    // The client's private key (its public half beside it, with ".pub").
    QString clientKey() const { return folder_->filePath(QStringLiteral("client_key")); }
    // The host key's SHA-256 fingerprint as ssh shows it ("SHA256:...").
    const QString& hostFingerprint() const { return hostFingerprint_; }
    // A known_hosts line for this server with its own host key, or (otherKey) with another key; with
    // Logins::Passwords, one for each of its ports.
    QString knownHostsLine(bool otherKey = false) const;
    // Makes another client key, with the passphrase given, and authorises it too.
    QString addClientKey(const QString& name, const QString& passphrase);

private:
    bool keygen(const QString& name, const QString& passphrase);
    bool run(const QString& program, const QStringList& arguments, const QByteArray& input = {});
    bool makeAccount();
    QString passwordConfig() const;

    std::unique_ptr<QTemporaryDir> folder_;
    ServerProcess sshd_;
    quint16 port_ = 0;
    quint16 keyboardOnlyPort_ = 0;
    QString user_;
    QString password_;
    QString hostFingerprint_;
    QString why_;
};

}  // namespace harbel::test
