#include "common/ssh/SshHostKey.h"

#include "common/platform/PrivateFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <libssh/libssh.h>

namespace harbel {

namespace {

QString fingerprintOf(ssh_key key)
{
    unsigned char* hash = nullptr;
    size_t length = 0;
    if (ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &length) != 0)
        return QString();
    char* text = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, length);
    const QString fingerprint = QString::fromLatin1(text);
    ssh_string_free_char(text);
    ssh_clean_pubkey_hash(&hash);
    return fingerprint;
}

}  // namespace

SshHostKey SshHostKey::check(ssh_session_struct* ssh, const QString& host, quint16 port)
{
    SshHostKey k;
    k.where = port == 22 ? host : QStringLiteral("[%1]:%2").arg(host).arg(port);
    ssh_key key = nullptr;
    if (ssh_get_server_publickey(ssh, &key) != SSH_OK)
        return k;
    k.fingerprint = fingerprintOf(key);
    k.type = QString::fromLatin1(ssh_key_type_to_char(ssh_key_type(key)));
    ssh_key_free(key);
    struct ssh_knownhosts_entry* entry = nullptr;
    const ssh_known_hosts_e known = ssh_session_get_known_hosts_entry(ssh, &entry);
    if (entry && entry->publickey)
        k.previous = fingerprintOf(entry->publickey);
    ssh_knownhosts_entry_free(entry);
    switch (known) {
    case SSH_KNOWN_HOSTS_OK:
        k.verdict = Verdict::Known;
        break;
    case SSH_KNOWN_HOSTS_CHANGED:
    case SSH_KNOWN_HOSTS_OTHER:
        k.verdict = Verdict::Changed;
        break;
    case SSH_KNOWN_HOSTS_UNKNOWN:
    case SSH_KNOWN_HOSTS_NOT_FOUND:
        k.verdict = Verdict::Unknown;
        break;
    case SSH_KNOWN_HOSTS_ERROR:
        k.verdict = Verdict::Unreadable;
        k.error = QString::fromUtf8(ssh_get_error(ssh));
        break;
    }
    return k;
}

bool SshHostKey::remember(ssh_session_struct* ssh, const QString& path)
{
    char* line = nullptr;
    if (ssh_session_export_known_hosts_entry(ssh, &line) != SSH_OK)
        return false;
    const QByteArray text = QByteArray(line).trimmed() + '\n';
    ssh_string_free_char(line);
    QFile file;
    return PrivateFile::makeFolder(QFileInfo(path).absolutePath()) && PrivateFile::openAppend(file, path)
           && file.write(text) == text.size();
}

QString SshHostKey::defaultKnownHostsPath()
{
    return QDir::homePath() + QStringLiteral("/.ssh/known_hosts");
}

QString SshHostKey::changedText() const
{
    return QStringLiteral("The host key of %1 has changed: the known hosts file has %2, the server shows %3 %4. "
                          "Someone may be listening in between, so nothing was sent. If the key was changed on purpose, "
                          "remove its old line from the known hosts file.")
        .arg(where, previous.isEmpty() ? QStringLiteral("another key") : previous, type, fingerprint);
}

}  // namespace harbel
