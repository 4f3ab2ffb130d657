#pragma once

#include "ftpclient/component/RemoteSession.h"
#include "ftpclient/component/SessionLogin.h"

#include <QThread>

#include <atomic>
#include <functional>

namespace harbel::tessaly {

class SftpComponent;

// An SFTP session for a thread that must never block, such as a window's: it owns an
// SftpComponent on a thread of its own. Each blocking method runs the component's method there and
// waits for it in a nested event loop, as FtpComponent's methods do, so the caller's events go on
// meanwhile. Log lines, progress and Disconnected arrive queued; the questions (CertificateQuery,
// FileExists, PassphraseRequired) are emitted on the caller's thread while the component's thread
// waits for the answer. An abort or a Disconnect during a call reaches the component between its
// blocks.
class ThreadedSftpSession final : public RemoteSession {
    Q_OBJECT
public:
    explicit ThreadedSftpSession(QObject* parent = nullptr);
    ~ThreadedSftpSession() override;

    // How the next Connect logs in (host, port, user, password, key, known hosts, time-out).
    SessionLogin login;
    // The login of the session as the transfer queue's connections need it: with the passphrase
    // given and the host key accepted, once connected.
    SessionLogin sessionLogin() const;
    // A host key question was asked during the last Connect.
    bool hostKeyAsked() const { return hostKeyAsked_; }

    int State() const override { return state_; }
    bool isRunning() const override { return running_; }
    void setAbortFlag(bool on) override;
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

signals:
    // The private key at keyFile needs its passphrase: answer it (left empty, the key is not used).
    void PassphraseRequired(const QString& keyFile, QString& passphrase);

private:
    // Runs work on the component's thread with the state shown meanwhile, waits for it in a nested
    // event loop and rethrows what it threw.
    void run(int stateWhileRunning, const std::function<void()>& work);
    // Emits a question on this object's thread and waits there for its answer.
    void askOnOwnerThread(const std::function<void()>& question);

    QThread thread_;
    SftpComponent* sftp_;  // lives on thread_, deleted there
    std::atomic<int> state_{NotConnected};
    std::atomic<bool> running_{false};
    bool hostKeyAsked_ = false;
    // The component's values after the last call, copied on its thread.
    QString folder_;
    SessionLogin connected_;
};

}  // namespace harbel::tessaly
