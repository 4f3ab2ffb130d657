#pragma once

#include <QString>
#include <QStringList>

#include <functional>

struct ssh_session_struct;

namespace harbel {

// The login of an SSH session whose host key has been accepted. It tries, in turn, identityFile,
// the user's ssh-agent, the usual keys of ~/.ssh (id_ed25519, id_ecdsa, id_rsa) when no
// identityFile is given, and the password (also answering keyboard-interactive prompts with it).
// A key with a passphrase takes the one given, else the one remembered or saved in the keyring
// (SshPassphrases), else asks through askPassphrase; a key left without one is skipped and named
// by lockedKeysReason().
class SshLogin final {
public:
    QString password;
    QString identityFile;
    // The passphrase of the key, once known (given or asked for).
    QString passphrase;
    // The private key at keyFile needs its passphrase: the answer, or empty to leave the key out.
    std::function<QString(const QString& keyFile)> askPassphrase;
    std::function<void(const QString& line)> log;
    // How long the server may take to answer one request of the login.
    int timeoutSeconds = 60;
    // The keys skipped for want of their passphrase.
    QStringList lockedKeys;

    // True once the server has taken one of them.
    bool authenticate(ssh_session_struct* ssh);
    // After a failed login: which keys needed their passphrase and how to give it, or empty.
    QString lockedKeysReason() const;
    // After a failed login: what the user can do about it (lockedKeysReason(), and a server that
    // ended the login midway), or empty.
    QString failureReason() const;

private:
    bool tryKeyFile(ssh_session_struct* ssh, const QString& path);
    bool tryPassword(ssh_session_struct* ssh);
    // The answer to a request of the login, or SSH_AUTH_ERROR once the server has ended it.
    int answer(ssh_session_struct* ssh, const std::function<int()>& request);
    void note(const QString& line) const
    {
        if (log)
            log(line);
    }

    // Why the login stopped before its end (the server closed it, or did not answer), or empty.
    QString ended_;
};

}  // namespace harbel
