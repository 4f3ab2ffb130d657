#pragma once

#include "ftpclient/component/FileClash.h"
#include "ftpclient/component/Listing.h"
#include "ftpclient/component/ServerCertificate.h"

#include <QDateTime>
#include <QObject>
#include <QString>

namespace harbel::tessaly {

// What the transfer queue, the tree walks and the command line ask of a connection to a server,
// whatever protocol it speaks: FtpComponent (FTP, FTP over TLS) and SftpComponent (SFTP over SSH).
// Every method blocks until its work is done and throws FtpError when it fails; paths are the
// server's, absolute or relative to the current folder.
class RemoteSession : public QObject {
    Q_OBJECT
public:
    enum States { NotConnected = 0, Connecting = 1, Idle = 2, Busy = 3, Receiving = 11, Sending = 17 };

    // What a listing already told of a remote file: its size (-1 unknown) and its time, when the
    // listing gives it to the second. A download that knows them asks the server for neither.
    struct Listed {
        qint64 size = -1;
        QDateTime time;
    };

    using QObject::QObject;
    ~RemoteSession() override;

    virtual int State() const = 0;
    // A blocking call is running.
    virtual bool isRunning() const = 0;
    // Ends the running call (it throws ftpErrAborted).
    virtual void setAbortFlag(bool on) = 0;
    // Listings give every entry's time to the second.
    virtual bool listsSeconds() const = 0;

    virtual void Connect() = 0;
    virtual void Disconnect() = 0;
    virtual QString CurrentFolder() = 0;
    // Refused (ftpErrServerRefused) when the path is no folder.
    virtual void ChangeFolder(const QString& path) = 0;
    virtual void CreateFolder(const QString& name) = 0;
    virtual void RemoveFolder(const QString& name) = 0;
    virtual void DeleteFile(const QString& name) = 0;
    virtual void RenameItem(const QString& oldName, const QString& newName) = 0;
    // The entries of the current folder that match the mask (empty: all).
    virtual QList<FolderItem> GetFolderItems(const QString& mask, int options = 0) = 0;
    // The entries of the folder at path.
    virtual QList<FolderItem> listItems(const QString& path) = 0;
    // Receives remoteName into localPath from startOffset (see FtpComponent::ReceiveFile).
    virtual void receive(const QString& remoteName, qint64 startOffset, const QString& localPath, const Listed& listed) = 0;
    // Sends localPath as remoteName from startOffset; with resume the server's file is continued.
    virtual void SendFile(const QString& localPath, qint64 startOffset, const QString& remoteName, bool resume) = 0;
    // Sends a file into a folder whose entries are given, asking (FileExists) about one that
    // differs; false when it was skipped.
    virtual bool SendFileAsking(const QString& localPath, const QString& remoteName, const QList<FolderItem>& remoteEntries) = 0;

signals:
    void Disconnected();
    void TransferProgress(const QString& fileName, qint64 size, qint64 bytesDone, int percent);
    void LogLine(const QString& text);
    // A transfer would write over a file: answer one of FileClash::Answer (Cancel when unanswered).
    void FileExists(const harbel::tessaly::FileClash& clash, int& answer);
    void FileSkipped(const QString& localName, const QString& remoteName, qint64 reasonCode);
    // The server's certificate (FTP over TLS) or host key (SSH) is not known to be its own: answer
    // certRefuse (the default), certTrustOnce or certTrustAlways.
    void CertificateQuery(const harbel::tessaly::CertificateInfo& certificate, int& answer);
};

}  // namespace harbel::tessaly
