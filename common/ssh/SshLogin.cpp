#include "common/ssh/SshLogin.h"

#include "common/ssh/SshPassphrases.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <libssh/libssh.h>
#include <poll.h>

namespace harbel {

int SshLogin::answer(ssh_session_struct* ssh, const std::function<int()>& request)
{
    // Blocking, libssh waits out its whole timeout when the server ends the session instead of
    // answering (as sshd does at the try after its last, MaxAuthTries): the request is made without
    // blocking, and the wait for its answer ends as soon as the session is closed.
    if (!ended_.isEmpty())
        return SSH_AUTH_ERROR;
    const auto closed = [ssh] { return !ssh_is_connected(ssh) || (ssh_get_status(ssh) & (SSH_CLOSED | SSH_CLOSED_ERROR)) != 0; };
    const int blocking = ssh_is_blocking(ssh);
    ssh_set_blocking(ssh, 0);
    const QDeadlineTimer deadline(qint64(timeoutSeconds) * 1000);
    int rc = request();
    while (rc == SSH_AUTH_AGAIN && !closed() && !deadline.hasExpired()) {
        pollfd socket{ssh_get_fd(ssh), POLLIN, 0};
        poll(&socket, 1, 50);
        rc = request();
    }
    ssh_set_blocking(ssh, blocking);
    if (rc == SSH_AUTH_AGAIN || closed()) {
        ended_ = closed() ? QStringLiteral("The server ended the login, most likely after as many refused tries as it allows (six with "
                                           "OpenSSH), each key of the SSH agent being one: remove from the agent the keys this server "
                                           "does not take (ssh-add -d KEY), or log in without it (SSH_AUTH_SOCK unset).")
                          : QStringLiteral("The server did not answer within %1 seconds.").arg(timeoutSeconds);
        rc = SSH_AUTH_ERROR;
    }
    return rc;
}

bool SshLogin::tryKeyFile(ssh_session_struct* ssh, const QString& path)
{
    const QByteArray file = QFile::encodeName(path);
    // Offered first without its private half: a key the server would not take costs no passphrase.
    ssh_key publicKey = nullptr;
    if (ssh_pki_import_pubkey_file((file + ".pub").constData(), &publicKey) == SSH_OK) {
        const int offered = answer(ssh, [&] { return ssh_userauth_try_publickey(ssh, nullptr, publicKey); });
        ssh_key_free(publicKey);
        if (offered != SSH_AUTH_SUCCESS)
            return false;
    }
    ssh_key privateKey = nullptr;
    const QByteArray known = passphrase.toUtf8();
    int imported = ssh_pki_import_privkey_file(file.constData(), passphrase.isEmpty() ? nullptr : known.constData(), nullptr,
                                               nullptr, &privateKey);
    if (imported == SSH_EOF)
        return false;
    if (imported != SSH_OK) {
        // One saved for this key (a wrong one is passed over), else the question, if any.
        QString given = SshPassphrases::saved(path);
        if (given.isEmpty() || !SshPassphrases::opens(path, given))
            given = askPassphrase ? askPassphrase(path) : QString();
        const QByteArray bytes = given.toUtf8();
        imported = given.isEmpty() ? SSH_ERROR
                                   : ssh_pki_import_privkey_file(file.constData(), bytes.constData(), nullptr, nullptr, &privateKey);
        if (imported != SSH_OK) {
            note(given.isEmpty() ? QStringLiteral("The key %1 needs its passphrase; it was not used.").arg(path)
                                 : QStringLiteral("The key %1 could not be read with the passphrase given.").arg(path));
            if (!lockedKeys.contains(path))
                lockedKeys.append(path);
            return false;
        }
        passphrase = given;
    }
    const int rc = answer(ssh, [&] { return ssh_userauth_publickey(ssh, nullptr, privateKey); });
    ssh_key_free(privateKey);
    if (rc == SSH_AUTH_SUCCESS)
        note(QStringLiteral("Logged in with the key %1").arg(path));
    return rc == SSH_AUTH_SUCCESS;
}

bool SshLogin::tryPassword(ssh_session_struct* ssh)
{
    const QByteArray secret = password.toUtf8();
    const int methods = ssh_userauth_list(ssh, nullptr);
    if ((methods & SSH_AUTH_METHOD_PASSWORD)
        && answer(ssh, [&] { return ssh_userauth_password(ssh, nullptr, secret.constData()); }) == SSH_AUTH_SUCCESS)
        return true;
    if (!(methods & SSH_AUTH_METHOD_INTERACTIVE))
        return false;
    // Keyboard-interactive: every prompt that hides its answer gets the password, once per round.
    for (int round = 0; round < 4; ++round) {
        const int rc = answer(ssh, [&] { return ssh_userauth_kbdint(ssh, nullptr, nullptr); });
        if (rc == SSH_AUTH_SUCCESS)
            return true;
        if (rc != SSH_AUTH_INFO)
            return false;
        const int prompts = ssh_userauth_kbdint_getnprompts(ssh);
        for (int i = 0; i < prompts; ++i) {
            char echo = 0;
            ssh_userauth_kbdint_getprompt(ssh, unsigned(i), &echo);
            ssh_userauth_kbdint_setanswer(ssh, unsigned(i), !echo && round < 2 ? secret.constData() : "");
        }
    }
    return false;
}

bool SshLogin::authenticate(ssh_session_struct* ssh)
{
    // The host key is accepted: only now does anything of the login go out.
    if (answer(ssh, [&] { return ssh_userauth_none(ssh, nullptr); }) == SSH_AUTH_SUCCESS)
        return true;
    const int methods = ssh_userauth_list(ssh, nullptr);
    if (methods & SSH_AUTH_METHOD_PUBLICKEY) {
        if (!identityFile.isEmpty() && tryKeyFile(ssh, identityFile))
            return true;
        if (qEnvironmentVariableIsSet("SSH_AUTH_SOCK") && answer(ssh, [&] { return ssh_userauth_agent(ssh, nullptr); }) == SSH_AUTH_SUCCESS) {
            note(QStringLiteral("Logged in with a key of the SSH agent"));
            return true;
        }
        if (identityFile.isEmpty()) {
            for (const char* name : {"id_ed25519", "id_ecdsa", "id_rsa"}) {
                const QString path = QDir::homePath() + QStringLiteral("/.ssh/") + QLatin1String(name);
                if (QFileInfo(path).isFile() && tryKeyFile(ssh, path))
                    return true;
            }
        }
    }
    return !password.isEmpty() && tryPassword(ssh);
}

QString SshLogin::failureReason() const
{
    const QString locked = lockedKeysReason();
    return locked.isEmpty() || ended_.isEmpty() ? locked + ended_ : locked + u' ' + ended_;
}

QString SshLogin::lockedKeysReason() const
{
    if (lockedKeys.isEmpty())
        return {};
    const QString keys = lockedKeys.join(QStringLiteral(", "));
    return QStringLiteral("The key %1 needs its passphrase, which was not given: add the key to the SSH agent (ssh-add %2), or give "
                          "its passphrase in Pellanor's window once and save it in the keyring.")
        .arg(keys, lockedKeys.constFirst());
}

}  // namespace harbel
