#pragma once

#include "ftpclient/component/RemoteSession.h"

#include <QString>

struct ssh_session_struct;
struct sftp_session_struct;
struct sftp_file_struct;

namespace harbel::tessaly {

// The SFTP client of the program (SFTP over SSH, on libssh): the same blocking methods as
// FtpComponent, run on the calling thread. A transfer keeps the calling thread's queued calls
// flowing between its blocks, so that AbortFlag set from there ends it.
//
// The server's host key is checked against the known hosts file before anything of the login is
// sent: a key the file lists for another key of this host (a changed key) is refused with both
// fingerprints; an unknown one is asked about (CertificateQuery, with the key's type as subject and
// its SHA-256 fingerprint) and written to the file only when trusted always. The login then tries,
// in turn, IdentityFile, the user's ssh-agent, the usual keys of ~/.ssh when no IdentityFile is
// given, and the password (also answering keyboard-interactive prompts with it). A key with a
// passphrase takes Passphrase, else one remembered or saved in the keyring (SshPassphrases), else
// asks with PassphraseRequired; a key left without one is skipped, and a failed login names it.
class SftpComponent final : public RemoteSession {
    Q_OBJECT
public:
    explicit SftpComponent(QObject* parent = nullptr);
    ~SftpComponent() override;

    QString Host;
    quint16 Port = 22;
    QString User;
    QString Password;
    // A private key to log in with; empty: the agent, then ~/.ssh/id_ed25519, id_ecdsa and id_rsa.
    QString IdentityFile;
    // The passphrase of the key, once known (asked for or given); kept for the session only.
    QString Passphrase;
    // The known hosts file; empty: ~/.ssh/known_hosts.
    QString KnownHostsFile;
    int TimeoutSeconds = 60;
    // A transferred file keeps its modification time, both ways.
    bool KeepFileTimes = true;
    // The SHA-256 fingerprint of the host key the server showed ("SHA256:..."), after Connect.
    QString HostKeyFingerprint() const { return hostKey_; }

    int State() const override { return state_; }
    bool isRunning() const override { return running_; }
    void setAbortFlag(bool on) override { abortFlag_ = on; }
    bool listsSeconds() const override { return true; }

    void Connect() override;
    void Disconnect() override;
    QString CurrentFolder() override;
    void ChangeFolder(const QString& path) override;
    void CreateFolder(const QString& name) override;
    void RemoveFolder(const QString& name) override;
    void DeleteFile(const QString& name) override;
    void RenameItem(const QString& oldName, const QString& newName) override;
    QList<FolderItem> GetFolderItems(const QString& mask, int options = 0) override;
    QList<FolderItem> listItems(const QString& path) override;
    void receive(const QString& remoteName, qint64 startOffset, const QString& localPath, const Listed& listed) override;
    void SendFile(const QString& localPath, qint64 startOffset, const QString& remoteName, bool resume) override;
    bool SendFileAsking(const QString& localPath, const QString& remoteName, const QList<FolderItem>& remoteEntries) override;

    // Bytes asked for by one read request, and how many requests a download keeps in flight.
    static constexpr quint32 kReadChunk = 128 * 1024;
    static constexpr int kReadWindow = 32;
    // Sessions a file of at least kMoreSessionsFrom bytes is read over.
    static constexpr int kReadSessions = 4;
    static constexpr qint64 kMoreSessionsFrom = 16 * 1024 * 1024;
    static constexpr quint32 kWriteChunk = 128 * 1024;
    // What one write may carry to a server that says it is OpenSSH's (limits@openssh.com): it
    // takes messages up to 256 KiB, and each write waits for its answer, so fewer go faster.
    static constexpr quint32 kOpenSshWriteChunk = 252 * 1024;

signals:
    // The private key at keyFile needs its passphrase: answer it (left empty, the key is not used).
    void PassphraseRequired(const QString& keyFile, QString& passphrase);

private:
    friend class SftpFileTransfer;
    class Running;
    // ssh_connect, with the abort flag and the time-out looked at while it waits.
    void connectAbortably();
    void checkHostKey();
    void authenticate();
    // The path of a name in the current folder (an absolute path stays as it is).
    QString resolve(const QString& name) const;
    // Throws the FtpError the last failure of the SFTP session stands for.
    [[noreturn]] void fail(const QString& what);
    // Throws when the session is gone (or going).
    void requireConnected() const;
    // Throws when the abort flag is set.
    void checkAbort();
    void closeAll();

    ssh_session_struct* ssh_ = nullptr;
    sftp_session_struct* sftp_ = nullptr;
    int state_ = NotConnected;
    bool running_ = false;
    bool abortFlag_ = false;
    // The session is to be freed once the running method has returned.
    bool closeWhenDone_ = false;
    QString cwd_;
    QString hostKey_;
    QString knownHostsPath_;
};

}  // namespace harbel::tessaly
