#pragma once

#include <functional>

#include "common/ftp/FtpReply.h"
#include "common/net/Route.h"
#include "ftpclient/component/FileClash.h"
#include "ftpclient/component/FtpError.h"
#include "ftpclient/component/Listing.h"
#include "ftpclient/component/RemoteSession.h"
#include "ftpclient/component/ServerCertificate.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <memory>

class QTimer;

namespace harbel::tessaly {

class CertificateTrust;
class ControlChannel;
class FtpOperation;

// The FTP client of the program: properties, blocking methods and events (a RemoteSession's and
// its own). A method returns when its
// work is done; while it runs, a nested event loop keeps the program responsive and the component's
// events are raised on the calling thread. A failed method throws FtpError (ftpErrAborted when
// AbortFlag was set during it). One method runs at a time; a call made while another runs (from an
// event handler, say) fails with ftpErrBusy.
class FtpComponent final : public RemoteSession {
    Q_OBJECT
public:
    explicit FtpComponent(QObject* parent = nullptr);
    ~FtpComponent() override;

    // Properties.
    QString Host;
    quint16 Port = 21;
    QString User;
    QString Password;
    bool Passive = true;
    int ProxyKind = 0;  // 0 none, 4 SOCKS 4, anything else SOCKS 5
    QString ProxyHost;
    quint16 ProxyPort = 1080;
    QString ProxyUser;
    QString ProxyPassword;
    int TransferMode = 0;  // 0 binary, 1 ASCII
    // 1 lists with MLSD when the server offers it; 0 always with LIST.
    int ListingOption = 1;
    // Seconds without any sign of life from the server before a method fails.
    int TimeoutSeconds = 60;
    // Explicit FTP over TLS: AUTH TLS after the greeting, PBSZ 0 and PROT P after the login, and
    // every data connection encrypted, resuming the control connection's TLS session. A server that
    // refuses any of it fails Connect (ftpErrTls): nothing goes on in clear text. A certificate that
    // fails verification is asked about (CertificateQuery) unless it was trusted always before.
    bool UseTls = false;
    // A transferred file keeps its modification time: a download takes the server's (MDTM), an
    // upload gives the server the local one (MFMT or SITE UTIME), when the server offers it.
    bool KeepFileTimes = true;

    int State() const override { return state_; }
    // A blocking call is running (its nested event loop delivers the events of the window too).
    bool isRunning() const override { return current_ != nullptr; }
    bool AbortFlag() const { return abortFlag_; }
    void setAbortFlag(bool on) override;
    // Asks the server for its current folder (a blocking call).
    QString CurrentFolder() override;

    // Where the certificates trusted always are kept (not owned; it must outlive the component).
    // Without one, every certificate that fails verification is asked about and no answer is kept.
    void setCertificateTrust(CertificateTrust* trust) { trust_ = trust; }
    CertificateTrust* certificateTrust() const { return trust_; }

    // What the server offered at login.
    bool offersMlsd() const { return mlsd_; }
    bool listsSeconds() const override { return mlsd_ && ListingOption == 1; }
    // The session is encrypted, data connections included (read).
    bool Encrypted() const { return dataProtected_ && state_ != NotConnected; }

    // Methods.
    void Connect() override;
    void Disconnect() override;
    void ChangeFolder(const QString& path) override;
    void ChangeToParent();
    void CreateFolder(const QString& name) override;
    void RemoveFolder(const QString& name) override;
    void DeleteFile(const QString& name) override;
    void RenameItem(const QString& oldName, const QString& newName) override;
    // Sends one raw command line; the reply reaches the log. A negative reply fails. A command that
    // answers over a data connection (LIST, NLST, MLSD) gets one, and the lines it brings reach the
    // log too; one that moves a file (RETR, STOR, APPE, STOU) is refused unsent: it needs a file.
    FtpReply SendCommand(const QString& line);
    // One ListingItem event per entry matching the mask (empty: all).
    void ListFolder(const QString& mask);
    QList<FolderItem> GetFolderItems(const QString& mask, int options = 0) override;
    // Receives a remote file into localPath, starting at startOffset (a resume appends to the file
    // from that offset). An existing file received from the start is asked about first (FileExists):
    // overwritten, resumed from its length with REST, or kept; Cancel throws ftpErrAborted.
    void ReceiveFile(const QString& remoteName, qint64 startOffset, const QString& localPath);
    // remoteMask: an optional folder part and a file mask ("docs/*.txt"); files land in localFolder,
    // sub-folders (with recurse) in local sub-folders of the same names.
    void ReceiveFiles(const QString& remoteMask, const QString& localFolder, bool recurse);
    // Sends a local file as remoteName, starting at startOffset. With resume the server appends from
    // the offset (REST); otherwise the remote file is written from the start.
    void SendFile(const QString& localPath, qint64 startOffset, const QString& remoteName, bool resume) override;
    // Sends a local file into the current remote folder, whose entries are given, asking first
    // (FileExists) when a file of that name differs in size or time. False when it was skipped;
    // Cancel throws ftpErrAborted. Made for batches: unlike SendFile, a file sent whole is not
    // checked with SIZE afterwards, the server's final reply vouching for it.
    bool SendFileAsking(const QString& localPath, const QString& remoteName, const QList<FolderItem>& remoteEntries) override;
    // localMask: a local folder and a file mask ("/home/a/docs/*"); the files go into remoteFolder
    // (created when missing, with createFolder), sub-folders too with recurse.
    void SendFiles(const QString& localMask, const QString& remoteFolder, bool createFolder, bool recurse);

signals:
    void ListingItem(const QString& name, const QDateTime& date, qint64 size, int kind);
    void OperationError(qint64 code);
    void ReceivingFile(const QString& fileName);
    void SendingFile(const QString& fileName);
    void ScanningFolder(const QString& folder);
    void AccountRequired(QString& account);
    void PasswordRequired(QString& password);

private:
    friend class FtpOperation;
    friend class LoginOperation;
    friend class TransferOperation;
    friend class ListingOperation;
    friend class TransferEnds;
    friend class FolderTransfer;
    friend class TransferWorker;
    friend struct SessionLogin;

    void receive(const QString& remoteName, qint64 startOffset, const QString& localPath, const Listed& listed) override;
    // SendFile; with verify the server is asked (SIZE) whether it holds every byte afterwards.
    void send(const QString& localPath, qint64 startOffset, const QString& remoteName, bool resume, bool verify);

    void run(FtpOperation& op, int busyState = Busy);
    // One command with its argument (none when empty), checked to be a single line.
    void simpleCommand(const QString& verb, const QString& argument);
    void requireIdle() const;
    void onReply(const FtpReply& reply);
    void onControlClosed();
    void resync();
    void touch();
    // The SOCKS proxy of the properties, for every connection of the session.
    net::Proxy proxy() const;
    void parseFeatures(const FtpReply& reply);
    QList<FolderItem> listItems(const QString& path) override;
    // A raw listing command over a data connection; its lines go to the log.
    FtpReply dataCommand(const QString& line);
    // Runs a tree walk, then changes back to the start folder (also when the walk fails).
    void inFolderThenBack(const QString& start, const std::function<void()>& work);

    ControlChannel* control_;
    CertificateTrust* trust_ = nullptr;
    QTimer* watchdog_;
    FtpOperation* current_ = nullptr;
    int state_ = NotConnected;
    // ABOR has gone out and its reply has not come yet.
    bool aborSent_ = false;
    bool abortFlag_ = false;
    bool mlsd_ = false;
    bool utf8_ = false;
    bool size_ = false;
    bool rest_ = false;
    bool mdtm_ = false;
    bool mfmt_ = false;
    bool siteUtime_ = false;
    // PROT P is in force: data connections are encrypted.
    bool dataProtected_ = false;
    // The TYPE command the server last accepted ("TYPE I"), empty when unknown; a transfer sends
    // TYPE only when it needs another. typeAsked_: one sent and not yet answered.
    QString type_;
    QString typeAsked_;
    // The TYPE line a transfer in that mode needs, empty when it is in force already.
    QString typeToSend(bool ascii) const;
    // Every command line goes out through here, so that the TYPE in force is known.
    void sendLine(const QString& line);
    bool closing_ = false;
    int nesting_ = 0;
};

}  // namespace harbel::tessaly
