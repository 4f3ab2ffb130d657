#include "ftpclient/component/ThreadedSftpSession.h"

#include "ftpclient/component/FtpError.h"
#include "ftpclient/component/SftpComponent.h"

#include <QEventLoop>

#include <exception>

namespace harbel::tessaly {

ThreadedSftpSession::ThreadedSftpSession(QObject* parent) : RemoteSession(parent), sftp_(new SftpComponent)
{
    login.sftp = true;
    login.port = 22;
    thread_.setObjectName(QStringLiteral("sftp session"));
    // The component's signals come from its thread: the news is queued to this one, and a question
    // holds that thread until it is answered here.
    connect(sftp_, &RemoteSession::LogLine, this, &RemoteSession::LogLine, Qt::QueuedConnection);
    connect(sftp_, &RemoteSession::TransferProgress, this, &RemoteSession::TransferProgress, Qt::QueuedConnection);
    connect(sftp_, &RemoteSession::FileSkipped, this, &RemoteSession::FileSkipped, Qt::QueuedConnection);
    connect(sftp_, &RemoteSession::Disconnected, this, [this] {
        if (!running_)
            state_ = NotConnected;
        emit Disconnected();
    }, Qt::QueuedConnection);
    connect(sftp_, &RemoteSession::CertificateQuery, sftp_, [this](const CertificateInfo& info, int& answer) {
        askOnOwnerThread([&] {
            hostKeyAsked_ = true;
            emit CertificateQuery(info, answer);
        });
    }, Qt::DirectConnection);
    connect(sftp_, &RemoteSession::FileExists, sftp_, [this](const FileClash& clash, int& answer) {
        askOnOwnerThread([&] { emit FileExists(clash, answer); });
    }, Qt::DirectConnection);
    connect(sftp_, &SftpComponent::PassphraseRequired, sftp_, [this](const QString& keyFile, QString& passphrase) {
        askOnOwnerThread([&] { emit PassphraseRequired(keyFile, passphrase); });
    }, Qt::DirectConnection);
    sftp_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, sftp_, &QObject::deleteLater);
    thread_.start();
}

ThreadedSftpSession::~ThreadedSftpSession()
{
    disconnect(sftp_, nullptr, this, nullptr);
    setAbortFlag(true);
    // The component is freed on its own thread as that thread ends (it closes the session).
    thread_.quit();
    thread_.wait();
}

SessionLogin ThreadedSftpSession::sessionLogin() const
{
    SessionLogin out = state_ == NotConnected ? login : connected_;
    out.trust = login.trust;
    return out;
}

void ThreadedSftpSession::askOnOwnerThread(const std::function<void()>& question)
{
    QMetaObject::invokeMethod(this, question, Qt::BlockingQueuedConnection);
}

void ThreadedSftpSession::run(int stateWhileRunning, const std::function<void()>& work)
{
    if (running_)
        throw FtpError(ftpErrBusy, QStringLiteral("Another operation is running."));
    running_ = true;
    state_ = stateWhileRunning;
    QEventLoop loop;
    std::exception_ptr error;
    int stateAfter = NotConnected;
    QString folder;
    SessionLogin connected;
    QMetaObject::invokeMethod(sftp_, [&] {
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
        stateAfter = sftp_->State();
        if (stateAfter != NotConnected) {
            folder = sftp_->CurrentFolder();
            connected = SessionLogin::from(*sftp_);
        }
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    }, Qt::QueuedConnection);
    loop.exec();
    folder_ = folder;
    if (stateAfter != NotConnected)
        connected_ = connected;
    state_ = stateAfter;
    running_ = false;
    if (error)
        std::rethrow_exception(error);
}

void ThreadedSftpSession::setAbortFlag(bool on)
{
    // Taken by the component between the blocks of what it runs, or before the next call begins.
    SftpComponent* sftp = sftp_;
    QMetaObject::invokeMethod(sftp, [sftp, on] { sftp->setAbortFlag(on); }, Qt::QueuedConnection);
}

void ThreadedSftpSession::Connect()
{
    hostKeyAsked_ = false;
    const SessionLogin next = login;
    run(Connecting, [this, next] {
        next.applyTo(*sftp_);
        sftp_->Connect();
    });
}

void ThreadedSftpSession::Disconnect()
{
    if (running_) {
        // The running call ends aborted, then the session closes.
        SftpComponent* sftp = sftp_;
        QMetaObject::invokeMethod(sftp, [sftp] { sftp->Disconnect(); }, Qt::QueuedConnection);
        return;
    }
    run(Busy, [this] { sftp_->Disconnect(); });
}

QString ThreadedSftpSession::CurrentFolder()
{
    if (state_ == NotConnected)
        throw FtpError(ftpErrNotConnected, QStringLiteral("Not connected."));
    return folder_;
}

void ThreadedSftpSession::ChangeFolder(const QString& path)
{
    run(Busy, [this, path] { sftp_->ChangeFolder(path); });
}

void ThreadedSftpSession::CreateFolder(const QString& name)
{
    run(Busy, [this, name] { sftp_->CreateFolder(name); });
}

void ThreadedSftpSession::RemoveFolder(const QString& name)
{
    run(Busy, [this, name] { sftp_->RemoveFolder(name); });
}

void ThreadedSftpSession::DeleteFile(const QString& name)
{
    run(Busy, [this, name] { sftp_->DeleteFile(name); });
}

void ThreadedSftpSession::RenameItem(const QString& oldName, const QString& newName)
{
    run(Busy, [this, oldName, newName] { sftp_->RenameItem(oldName, newName); });
}

QList<FolderItem> ThreadedSftpSession::GetFolderItems(const QString& mask, int options)
{
    QList<FolderItem> items;
    run(Busy, [&] { items = sftp_->GetFolderItems(mask, options); });
    return items;
}

QList<FolderItem> ThreadedSftpSession::listItems(const QString& path)
{
    QList<FolderItem> items;
    run(Busy, [&] { items = sftp_->listItems(path); });
    return items;
}

void ThreadedSftpSession::receive(const QString& remoteName, qint64 startOffset, const QString& localPath, const Listed& listed)
{
    run(Receiving, [&] { sftp_->receive(remoteName, startOffset, localPath, listed); });
}

void ThreadedSftpSession::SendFile(const QString& localPath, qint64 startOffset, const QString& remoteName, bool resume)
{
    run(Sending, [&] { sftp_->SendFile(localPath, startOffset, remoteName, resume); });
}

bool ThreadedSftpSession::SendFileAsking(const QString& localPath, const QString& remoteName, const QList<FolderItem>& remoteEntries)
{
    bool sent = false;
    run(Sending, [&] { sent = sftp_->SendFileAsking(localPath, remoteName, remoteEntries); });
    return sent;
}

}  // namespace harbel::tessaly
