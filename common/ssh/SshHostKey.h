#pragma once

#include <QString>

struct ssh_session_struct;

namespace harbel {

// What the known hosts file says of the key an SSH server showed, looked at after the key exchange
// and before anything of the login is sent. Both programs decide on it: a known key goes on, a
// changed one is refused with both fingerprints, an unknown one is asked about (or refused where
// nobody can be asked) and written to the file only when the user trusts it always.
struct SshHostKey {
    enum class Verdict { Known, Unknown, Changed, Unreadable, Missing };

    Verdict verdict = Verdict::Missing;
    QString type;         // "ssh-ed25519"
    QString fingerprint;  // "SHA256:..."
    // The fingerprint the file holds for this host when the key has changed (may be empty).
    QString previous;
    // The host as the file names it: "host", or "[host]:port" off port 22.
    QString where;
    // Why the file could not be read (Unreadable).
    QString error;

    static SshHostKey check(ssh_session_struct* ssh, const QString& host, quint16 port);
    // Appends the session's host key to the known hosts file at path (made 0600 when new).
    static bool remember(ssh_session_struct* ssh, const QString& path);
    // ~/.ssh/known_hosts.
    static QString defaultKnownHostsPath();

    // "The host key of HOST has changed: ..." with both fingerprints and what to do.
    QString changedText() const;
};

}  // namespace harbel
