#pragma once

#include "common/ssh/SshHostKey.h"

#include <QString>
#include <QThread>

#include <atomic>
#include <functional>

namespace harbel {

// One SFTP login that fetches one file into the download's file, on a thread of its own: libssh
// blocks, and the job's thread must not. It checks the server's host key against the known hosts
// file before anything of the login is sent, logs in (the ssh-agent, the keys of ~/.ssh, then the
// password; SshLogin), reads the file from an offset with a window of requests in flight and writes it at
// its place. Its signals reach the job through its thread's queue. stop() is taken between blocks:
// nothing more is written after it, and what was written stays for a resume.
class SftpRetrieval final : public QThread {
    Q_OBJECT
public:
    struct Login {
        QString server;
        quint16 port = 22;
        QString user;  // empty: the local user's name, as ssh does
        QString password;
        // Absolute, or relative to the login folder.
        QString path;
        QString localPath;
        QString knownHosts;  // empty: ~/.ssh/known_hosts
        int timeoutSeconds = 60;
        // Asked on the retrieval's thread for the passphrase of a key that has none remembered or
        // saved: the answer, or empty to leave the key out. None: such a key is skipped.
        std::function<QString(const QString& keyFile)> askPassphrase;
    };
    enum class Trust { Refuse, ThisTime, Always };
    // Asked on the retrieval's thread about a key the known hosts file does not hold; none: the key
    // is refused with its fingerprint and how to accept it.
    using HostKeyQuestion = std::function<Trust(const SshHostKey& key)>;

    SftpRetrieval(Login login, qint64 offset, HostKeyQuestion ask, QObject* parent = nullptr);
    ~SftpRetrieval() override;

    // From any thread.
    void stop() { stop_ = true; }
    bool stopping() const { return stop_; }

    // Bytes asked for by one read request, and how many requests are in flight.
    static constexpr quint32 kReadChunk = 128 * 1024;
    static constexpr int kReadWindow = 32;
    // Sessions a file of at least kMoreSessionsFrom bytes is read over.
    static constexpr int kReadSessions = 4;
    static constexpr qint64 kMoreSessionsFrom = 16 * 1024 * 1024;

signals:
    // The host key is accepted; the login goes out.
    void loggingIn();
    // The file is open: its size (-1 when the server names none).
    void opened(qint64 size);
    // Bytes up to position are in the file.
    void progressed(qint64 position);
    // The file has come to its end at position.
    void done(qint64 position);
    // The connection could not be made or was lost: another login may go on.
    void connectionFailed(const QString& reason);
    // The server refused (the host key, the login, the file) or the file cannot be written: trying
    // again would not help.
    void refused(const QString& reason);

protected:
    void run() override;

private:
    struct Outcome {
        enum End { Stopped, Done, ConnectionFailed, Refused } end = Stopped;
        QString reason;
        qint64 position = 0;
    };
    // The whole login and transfer; the session is freed when it returns.
    Outcome fetch();
    // Empty when the key was accepted, else why not.
    QString acceptHostKey(struct ssh_session_struct* ssh);

    Login login_;
    qint64 offset_;
    HostKeyQuestion ask_;
    std::atomic<bool> stop_{false};
};

}  // namespace harbel
