#include "ftpclient/component/SftpComponent.h"

#include "common/ssh/SshHostKey.h"
#include "common/ssh/SshLogin.h"
#include "ftpclient/component/FtpError.h"
#include "ftpclient/component/LocalFile.h"
#include "ftpclient/component/SftpFileTransfer.h"
#include "ftpclient/component/TransferEnds.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <libssh/libssh.h>
#include <libssh/sftp.h>

#include <memory>

#include <poll.h>

namespace harbel::tessaly {

namespace {

QByteArray utf8(const QString& text)
{
    return text.toUtf8();
}

QDateTime fromSeconds(quint32 seconds)
{
    return QDateTime::fromSecsSinceEpoch(qint64(seconds), Qt::UTC);
}

FolderItem itemOf(sftp_attributes a)
{
    FolderItem item;
    item.Name = QString::fromUtf8(a->name);
    item.Size = qint64(a->size);
    if (a->flags & SSH_FILEXFER_ATTR_ACMODTIME)
        item.Date = fromSeconds(a->mtime);
    item.Kind = a->type == SSH_FILEXFER_TYPE_DIRECTORY ? FolderItem::Folder
              : a->type == SSH_FILEXFER_TYPE_SYMLINK   ? FolderItem::Link
                                                       : FolderItem::File;
    return item;
}

struct AttributesFree {
    void operator()(sftp_attributes a) const { sftp_attributes_free(a); }
};
using Attributes = std::unique_ptr<sftp_attributes_struct, AttributesFree>;

}  // namespace

// Marks the component busy for one method; a method called while another runs fails.
class SftpComponent::Running final {
public:
    explicit Running(SftpComponent& c) : c_(c)
    {
        if (c.running_)
            throw FtpError(ftpErrBusy, QStringLiteral("Another operation is running."));
        c.requireConnected();
        c.running_ = true;
        c.abortFlag_ = false;
        if (c.state_ == Idle)
            c.state_ = Busy;
    }
    ~Running()
    {
        c_.running_ = false;
        if (c_.state_ == Busy || c_.state_ == Receiving || c_.state_ == Sending)
            c_.state_ = Idle;
        // The session ended while the method ran: it is freed now that nothing of it is in use.
        if (c_.closeWhenDone_)
            c_.closeAll();
    }

private:
    SftpComponent& c_;
};

SftpComponent::SftpComponent(QObject* parent) : RemoteSession(parent) {}

SftpComponent::~SftpComponent()
{
    closeAll();
}

void SftpComponent::closeAll()
{
    closeWhenDone_ = false;
    if (sftp_)
        sftp_free(sftp_);
    sftp_ = nullptr;
    if (ssh_) {
        ssh_disconnect(ssh_);
        ssh_free(ssh_);
    }
    ssh_ = nullptr;
    const bool was = state_ != NotConnected;
    state_ = NotConnected;
    if (was)
        emit Disconnected();
}

void SftpComponent::requireConnected() const
{
    if (!ssh_ || !sftp_ || state_ == NotConnected || closeWhenDone_)
        throw FtpError(ftpErrNotConnected, QStringLiteral("Not connected."));
}

void SftpComponent::checkAbort()
{
    if (abortFlag_)
        throw FtpError(ftpErrAborted, QStringLiteral("Cancelled."));
}

void SftpComponent::fail(const QString& what)
{
    if (!ssh_ || !ssh_is_connected(ssh_)) {
        const QString why = ssh_ ? QString::fromUtf8(ssh_get_error(ssh_)) : QString();
        closeWhenDone_ = true;
        throw FtpError(ftpErrConnectionLost, QStringLiteral("%1: the connection was lost%2").arg(what, why.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(why)));
    }
    switch (sftp_ ? sftp_get_error(sftp_) : SSH_FX_FAILURE) {
    case SSH_FX_NO_SUCH_FILE:
    case SSH_FX_NO_SUCH_PATH:
        throw FtpError(ftpErrServerRefused, QStringLiteral("%1: no such file or folder.").arg(what));
    case SSH_FX_PERMISSION_DENIED:
        throw FtpError(ftpErrServerRefused, QStringLiteral("%1: permission denied.").arg(what));
    case SSH_FX_FILE_ALREADY_EXISTS:
        throw FtpError(ftpErrServerRefused, QStringLiteral("%1: it exists already.").arg(what));
    case SSH_FX_FAILURE:
    case SSH_FX_OP_UNSUPPORTED:
        throw FtpError(ftpErrServerRefused, QStringLiteral("%1: the server refused it.").arg(what));
    default:
        throw FtpError(ftpErrProtocol, QStringLiteral("%1: %2").arg(what, QString::fromUtf8(ssh_get_error(ssh_))));
    }
}

void SftpComponent::Connect()
{
    if (running_)
        throw FtpError(ftpErrBusy, QStringLiteral("Another operation is running."));
    closeAll();
    running_ = true;
    abortFlag_ = false;
    state_ = Connecting;
    try {
        ssh_ = ssh_new();
        if (!ssh_)
            throw FtpError(ftpErrConnectFailed, QStringLiteral("Could not start an SSH session."));
        const QByteArray host = utf8(Host);
        const QByteArray user = utf8(User);
        const unsigned int port = Port;
        const long timeout = TimeoutSeconds;
        const int no = 0;
        knownHostsPath_ = KnownHostsFile.isEmpty() ? SshHostKey::defaultKnownHostsPath() : KnownHostsFile;
        const QByteArray knownHostsPath = QFile::encodeName(knownHostsPath_);
        ssh_options_set(ssh_, SSH_OPTIONS_HOST, host.constData());
        ssh_options_set(ssh_, SSH_OPTIONS_PORT, &port);
        if (!user.isEmpty())
            ssh_options_set(ssh_, SSH_OPTIONS_USER, user.constData());
        ssh_options_set(ssh_, SSH_OPTIONS_TIMEOUT, &timeout);
        // What this session does is given by its properties alone, not by ~/.ssh/config.
        ssh_options_set(ssh_, SSH_OPTIONS_PROCESS_CONFIG, &no);
        ssh_options_set(ssh_, SSH_OPTIONS_KNOWNHOSTS, knownHostsPath.constData());
        // Each small request waits for its answer: none may wait for the acknowledgement of the one before.
        const int yes = 1;
        ssh_options_set(ssh_, SSH_OPTIONS_NODELAY, &yes);
        emit LogLine(QStringLiteral("Connecting to %1 port %2 (SFTP)").arg(Host).arg(Port));
        connectAbortably();
        checkHostKey();
        authenticate();
        sftp_ = sftp_new(ssh_);
        if (!sftp_ || sftp_init(sftp_) != SSH_OK)
            throw FtpError(ftpErrProtocol, QStringLiteral("The server offers no SFTP: %1").arg(QString::fromUtf8(ssh_get_error(ssh_))));
        char* home = sftp_canonicalize_path(sftp_, ".");
        cwd_ = home ? QString::fromUtf8(home) : QStringLiteral("/");
        ssh_string_free_char(home);
        state_ = Idle;
        running_ = false;
        emit LogLine(QStringLiteral("Logged in as %1; the folder is %2").arg(User, cwd_));
    } catch (const FtpError& e) {
        running_ = false;
        emit LogLine(e.Description());
        closeAll();
        state_ = NotConnected;
        throw;
    }
}

void SftpComponent::connectAbortably()
{
    // Without blocking, so that an abort (a queued call let in between the tries) ends a connection
    // that hangs, to a server that takes the connection and says nothing, or to an address that
    // drops it: libssh's own time-out covers only a blocking connect.
    ssh_set_blocking(ssh_, 0);
    const QDeadlineTimer limit(std::chrono::seconds(qMax(1, TimeoutSeconds)));
    int rc = SSH_AGAIN;
    while ((rc = ssh_connect(ssh_)) == SSH_AGAIN) {
        QCoreApplication::processEvents();
        checkAbort();
        if (limit.hasExpired())
            throw FtpError(ftpErrConnectFailed, QStringLiteral("Could not connect to %1 port %2: no answer in %3 seconds").arg(Host).arg(Port).arg(TimeoutSeconds));
        const socket_t fd = ssh_get_fd(ssh_);
        if (fd == SSH_INVALID_SOCKET) {
            QThread::msleep(20);
            continue;
        }
        pollfd wait{fd, POLLIN | POLLOUT, 0};
        ::poll(&wait, 1, 50);
    }
    ssh_set_blocking(ssh_, 1);
    if (rc != SSH_OK)
        throw FtpError(ftpErrConnectFailed, QStringLiteral("Could not connect to %1 port %2: %3").arg(Host).arg(Port).arg(QString::fromUtf8(ssh_get_error(ssh_))));
}

void SftpComponent::checkHostKey()
{
    const SshHostKey key = SshHostKey::check(ssh_, Host, Port);
    hostKey_ = key.fingerprint;
    switch (key.verdict) {
    case SshHostKey::Verdict::Known:
        emit LogLine(QStringLiteral("The host key of %1 is known: %2 %3").arg(key.where, key.type, key.fingerprint));
        return;
    case SshHostKey::Verdict::Missing:
        throw FtpError(ftpErrHostKey, QStringLiteral("The server showed no host key."));
    case SshHostKey::Verdict::Changed:
        throw FtpError(ftpErrHostKey, key.changedText());
    case SshHostKey::Verdict::Unreadable:
        throw FtpError(ftpErrHostKey, QStringLiteral("The known hosts file could not be read: %1").arg(key.error));
    case SshHostKey::Verdict::Unknown:
        break;
    }
    CertificateInfo info;
    info.host = Host;
    info.port = Port;
    info.subject = QStringLiteral("%1 host key").arg(key.type);
    info.fingerprint = key.fingerprint;
    info.reason = QStringLiteral("the server's host key is not known yet");
    int answer = certRefuse;
    emit CertificateQuery(info, answer);
    if (answer == certRefuse)
        throw FtpError(ftpErrHostKey, QStringLiteral("The host key of %1 is not known (%2 %3), and it was not accepted.").arg(key.where, key.type, key.fingerprint));
    if (answer != certTrustAlways)
        return;
    if (SshHostKey::remember(ssh_, knownHostsPath_))
        emit LogLine(QStringLiteral("Added the host key of %1 to %2").arg(key.where, knownHostsPath_));
    else
        emit LogLine(QStringLiteral("Could not add the host key of %1 to %2").arg(key.where, knownHostsPath_));
}

void SftpComponent::authenticate()
{
    SshLogin login;
    login.password = Password;
    login.identityFile = IdentityFile;
    login.passphrase = Passphrase;
    login.timeoutSeconds = TimeoutSeconds;
    login.askPassphrase = [this](const QString& keyFile) {
        QString passphrase;
        emit PassphraseRequired(keyFile, passphrase);
        return passphrase;
    };
    login.log = [this](const QString& line) { emit LogLine(line); };
    const bool in = login.authenticate(ssh_);
    Passphrase = login.passphrase;
    if (!in) {
        const QString locked = login.failureReason();
        throw FtpError(ftpErrLoginFailed, QStringLiteral("The server did not take the login of %1: %2%3")
                                              .arg(User, QString::fromUtf8(ssh_get_error(ssh_)), locked.isEmpty() ? QString() : u' ' + locked));
    }
}

void SftpComponent::Disconnect()
{
    if (running_) {
        // Called from an event the running method let in: it ends (aborted), then the session.
        abortFlag_ = true;
        closeWhenDone_ = true;
        return;
    }
    if (state_ != NotConnected)
        emit LogLine(QStringLiteral("Disconnected"));
    closeAll();
}

QString SftpComponent::resolve(const QString& name) const
{
    if (name.startsWith(u'/'))
        return name;
    if (name.isEmpty() || name == QLatin1String("."))
        return cwd_;
    return cwd_.endsWith(u'/') ? cwd_ + name : cwd_ + u'/' + name;
}

QString SftpComponent::CurrentFolder()
{
    requireConnected();
    return cwd_;
}

void SftpComponent::ChangeFolder(const QString& path)
{
    Running running(*this);
    const QString target = resolve(path);
    char* canonical = sftp_canonicalize_path(sftp_, utf8(target).constData());
    if (!canonical)
        fail(target);
    const QString folder = QString::fromUtf8(canonical);
    ssh_string_free_char(canonical);
    const Attributes a(sftp_stat(sftp_, utf8(folder).constData()));
    if (!a)
        fail(target);
    if (a->type != SSH_FILEXFER_TYPE_DIRECTORY)
        throw FtpError(ftpErrServerRefused, QStringLiteral("%1: not a folder.").arg(target));
    cwd_ = folder;
}

void SftpComponent::CreateFolder(const QString& name)
{
    Running running(*this);
    if (sftp_mkdir(sftp_, utf8(resolve(name)).constData(), 0755) != SSH_OK)
        fail(resolve(name));
}

void SftpComponent::RemoveFolder(const QString& name)
{
    Running running(*this);
    if (sftp_rmdir(sftp_, utf8(resolve(name)).constData()) != SSH_OK)
        fail(resolve(name));
}

void SftpComponent::DeleteFile(const QString& name)
{
    Running running(*this);
    if (sftp_unlink(sftp_, utf8(resolve(name)).constData()) != SSH_OK)
        fail(resolve(name));
}

void SftpComponent::RenameItem(const QString& oldName, const QString& newName)
{
    Running running(*this);
    if (sftp_rename(sftp_, utf8(resolve(oldName)).constData(), utf8(resolve(newName)).constData()) != SSH_OK)
        fail(resolve(oldName));
}

QList<FolderItem> SftpComponent::listItems(const QString& path)
{
    Running running(*this);
    const QString folder = resolve(path);
    sftp_dir dir = sftp_opendir(sftp_, utf8(folder).constData());
    if (!dir)
        fail(folder);
    QList<FolderItem> items;
    while (sftp_attributes a = sftp_readdir(sftp_, dir)) {
        const Attributes owned(a);
        const QByteArray name(a->name);
        // As in an FTP listing, the folder itself and its parent are no entries; devices, pipes
        // and sockets cannot be moved.
        if (name == "." || name == ".." || a->type == SSH_FILEXFER_TYPE_SPECIAL)
            continue;
        items.append(itemOf(a));
    }
    const bool complete = sftp_dir_eof(dir);
    sftp_closedir(dir);
    if (!complete)
        fail(folder);
    return items;
}

QList<FolderItem> SftpComponent::GetFolderItems(const QString& mask, int)
{
    QList<FolderItem> items = listItems(cwd_);
    if (!mask.isEmpty())
        items.removeIf([&mask](const FolderItem& item) { return !listing::matchesMask(item.Name, mask); });
    return items;
}

void SftpComponent::receive(const QString& remoteName, qint64 startOffset, const QString& localPath, const Listed& listed)
{
    Running running(*this);
    SftpFileTransfer(*this).receive(resolve(remoteName), startOffset, localPath, listed);
}

void SftpComponent::SendFile(const QString& localPath, qint64 startOffset, const QString& remoteName, bool resume)
{
    Running running(*this);
    SftpFileTransfer(*this).send(localPath, startOffset, resolve(remoteName), resume);
}

bool SftpComponent::SendFileAsking(const QString& localPath, const QString& remoteName, const QList<FolderItem>& remoteEntries)
{
    const QString name = remoteName.section(u'/', -1);
    const QFileInfo local(localPath);
    for (const FolderItem& entry : remoteEntries) {
        if (entry.Name != name || entry.Kind == FolderItem::Folder)
            continue;
        const bool sameTime = entry.Date.isValid() && entry.Date.toSecsSinceEpoch() == local.lastModified().toSecsSinceEpoch();
        if (entry.Size == local.size() && sameTime)
            break;
        FileClash clash;
        clash.upload = true;
        clash.localPath = localPath;
        clash.remoteName = remoteName;
        clash.remoteSize = entry.Size;
        clash.remoteTime = entry.Date;
        switch (TransferEnds::ask(*this, clash)) {
        case FileClash::Overwrite:
            break;
        case FileClash::Resume:
            SendFile(localPath, entry.Size, remoteName, true);
            return true;
        case FileClash::Skip:
            emit FileSkipped(localPath, remoteName, ftpSkipNotReplaced);
            return false;
        default:
            throw FtpError(ftpErrAborted, QStringLiteral("Cancelled."));
        }
        break;
    }
    SendFile(localPath, 0, remoteName, false);
    return true;
}

}  // namespace harbel::tessaly
