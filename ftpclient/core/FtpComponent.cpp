#include "ftpclient/core/FtpComponent.h"

#include "ftpclient/core/FtpOperations.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace harbel::tessaly {

namespace {

constexpr int kMaxTreeDepth = 64;

// Opens a file for writing without ever following a symbolic link in its last component: a link
// planted where a download lands must not redirect the data elsewhere.
QFile* openForWriting(const QString& path, qint64 offset, QString& why)
{
    const QByteArray native = QFile::encodeName(path);
    // O_NONBLOCK: a FIFO waiting where the file should go would otherwise block the open until some
    // reader appears; it is refused below like any other file that is not a regular one.
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) {
        why = errno == ELOOP   ? QStringLiteral("%1 is a symbolic link; it is not written through.").arg(path)
              : errno == ENXIO ? QStringLiteral("%1 is not a regular file.").arg(path)
                               : QStringLiteral("Could not open %1 for writing: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        why = QStringLiteral("%1 is not a regular file.").arg(path);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (offset > st.st_size) {
        ::close(fd);
        why = QStringLiteral("Cannot resume %1 at byte %2: the local file holds only %3 bytes.").arg(path).arg(offset).arg(st.st_size);
        return nullptr;
    }
    if (::ftruncate(fd, offset) != 0 || ::lseek(fd, offset, SEEK_SET) != offset) {
        why = QStringLiteral("Could not prepare %1: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
        ::close(fd);
        return nullptr;
    }
    auto* file = new QFile;
    if (!file->open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        why = file->errorString();
        delete file;
        ::close(fd);
        return nullptr;
    }
    return file;
}

bool isLink(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

// What a folder's listing holds. A server that lists a link to a folder as a folder shows, behind a
// link to one of the folders above, the very same entries again, and would lead a tree walk in
// circles until its depth limit, branching at every link on the way.
QByteArray listingSignature(const QList<FolderItem>& items)
{
    QStringList entries;
    entries.reserve(items.size());
    for (const FolderItem& i : items)
        entries << QStringLiteral("%1|%2|%3|%4").arg(i.Kind).arg(i.Size).arg(i.Date.isValid() ? i.Date.toMSecsSinceEpoch() : -1).arg(i.Name);
    entries.sort();
    return QCryptographicHash::hash(entries.join(QLatin1Char('\n')).toUtf8(), QCryptographicHash::Sha256);
}

// Splits "folder/mask" (either separator) into its two parts.
std::pair<QString, QString> splitMask(const QString& text)
{
    const qsizetype cut = qMax(text.lastIndexOf(QLatin1Char('/')), text.lastIndexOf(QLatin1Char('\\')));
    if (cut < 0)
        return {QString(), text};
    QString folder = text.left(cut);
    if (folder.isEmpty())
        folder = QStringLiteral("/");
    return {folder, text.mid(cut + 1)};
}

// A name or command sent to the server must stay one command line.
void requireOneLine(const QString& text)
{
    for (const QChar c : text) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c.unicode() == 0)
            throw FtpError(ftpErrUnsafeName, QStringLiteral("Refused to send '%1': it holds a line break or NUL character.")
                                                 .arg(QString(text).replace(QLatin1Char('\r'), QLatin1Char('?'))
                                                          .replace(QLatin1Char('\n'), QLatin1Char('?'))
                                                          .replace(QChar(0), QLatin1Char('?'))));
    }
}

// Keeps the nesting of public methods so that only the outermost one clears AbortFlag.
struct MethodScope {
    explicit MethodScope(int& depth, bool& abortFlag) : depth_(depth)
    {
        if (depth_++ == 0)
            abortFlag = false;
    }
    ~MethodScope() { --depth_; }
    int& depth_;
};

}  // namespace

FtpComponent::FtpComponent(QObject* parent)
    : QObject(parent), control_(new FtpControlChannel(this)), watchdog_(new QTimer(this))
{
    watchdog_->setSingleShot(true);
    connect(watchdog_, &QTimer::timeout, this, [this] {
        if (current_) {
            current_->fail(ftpErrTimedOut, current_->timeoutText());
            // A reply may still be on its way: the stream is out of step, so start over.
            control_->close();
        }
    });
    connect(control_, &FtpControlChannel::logLine, this, &FtpComponent::LogLine);
    connect(control_, &FtpControlChannel::replyReceived, this, &FtpComponent::onReply);
    connect(control_, &FtpControlChannel::closed, this, &FtpComponent::onControlClosed);
    connect(control_, &FtpControlChannel::opened, this, [this] {
        if (auto* login = qobject_cast<LoginOperation*>(current_))
            login->opened();
    });
    connect(control_, &FtpControlChannel::openFailed, this, [this](const QString& why) {
        if (auto* login = qobject_cast<LoginOperation*>(current_))
            login->openFailed(why);
    });
}

FtpComponent::~FtpComponent()
{
    control_->disconnect(this);
}

ProxySettings FtpComponent::proxy() const
{
    ProxySettings p;
    p.kind = ProxyKind;
    p.host = ProxyHost;
    p.port = ProxyPort;
    p.user = ProxyUser;
    p.password = ProxyPassword;
    return p;
}

void FtpComponent::touch()
{
    if (current_)
        watchdog_->start(qMax(1, TimeoutSeconds) * 1000);
}

void FtpComponent::setAbortFlag(bool on)
{
    abortFlag_ = on;
    if (on && current_ && !current_->isFinished()) {
        const bool sendAbor = current_->transferInProgress();
        current_->abort();
        if (sendAbor && control_->isOpen()) {
            control_->send(QStringLiteral("ABOR"));
            aborSent_ = true;
        }
        // The operation is over for the caller even while its nested loop unwinds.
        if (state_ != Connecting)
            state_ = control_->isOpen() ? Idle : NotConnected;
    }
}

void FtpComponent::requireIdle() const
{
    if (current_)
        throw FtpError(ftpErrBusy, QStringLiteral("Another operation is running."));
    if (state_ == NotConnected || !control_->isOpen())
        throw FtpError(ftpErrNotConnected, QStringLiteral("Not connected to a server."));
}

void FtpComponent::run(FtpOperation& op, int busyState)
{
    if (current_)
        throw FtpError(ftpErrBusy, QStringLiteral("Another operation is running."));
    if (abortFlag_)
        throw FtpError(ftpErrAborted, QStringLiteral("The operation was aborted."));
    const int before = state_;
    state_ = busyState;
    current_ = &op;
    touch();
    op.start();
    if (!op.isFinished()) {
        QEventLoop loop;
        connect(&op, &FtpOperation::finished, &loop, &QEventLoop::quit);
        loop.exec();
        // The loop also ends when the program quits: an operation that has not finished then is
        // aborted, never taken for done.
        if (!op.isFinished()) {
            op.abort();
            if (!op.isFinished())
                op.fail(ftpErrAborted, QStringLiteral("The operation was interrupted."));
        }
    }
    // After an abort or a failure in mid-dialogue the server may still owe replies: take them in
    // before anything else is sent, so the next command reads its own answer.
    if (control_->isOpen() && control_->owedReplies() > 0)
        resync();
    watchdog_->stop();
    current_ = nullptr;
    state_ = control_->isOpen() && before != NotConnected ? Idle : NotConnected;
    if (op.error()) {
        if (op.error()->Number() == ftpErrAborted)
            emit OperationError(ftpErrAborted);
        throw *op.error();
    }
}

void FtpComponent::resync()
{
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    auto conn = connect(control_, &FtpControlChannel::replyReceived, &loop, [this, &loop] {
        if (control_->owedReplies() == 0)
            loop.quit();
    });
    auto closed = connect(control_, &FtpControlChannel::closed, &loop, &QEventLoop::quit);
    limit.start(qMax(1, qMin(TimeoutSeconds, 15)) * 1000);
    loop.exec();
    disconnect(conn);
    disconnect(closed);
    if (control_->isOpen() && control_->owedReplies() > 0) {
        emit LogLine(QStringLiteral("The server did not answer the pending commands; closing the connection."));
        control_->close();
    }
}

void FtpComponent::onReply(const FtpReply& reply)
{
    touch();
    if (reply.code == 0) {
        emit LogLine(QStringLiteral("The server sent a line that is not an FTP reply; closing the connection."));
        if (current_)
            current_->fail(ftpErrProtocol, QStringLiteral("The server sent an invalid reply: ") + reply.lines.value(0).left(200));
        control_->close();
        return;
    }
    if (reply.code == 421) {
        // Service closing: whatever runs has failed.
        if (current_)
            current_->fail(ftpErrConnectionLost, reply.lines.join(QLatin1Char('\n')));
        control_->close();
        return;
    }
    if (aborSent_ && reply.code >= 200) {
        aborSent_ = false;
        // "225": the aborted command had not begun its transfer, and it gets no reply of its own;
        // waiting for one would hold the session until the time limit and then drop it.
        if (reply.code == 225)
            control_->forgiveReply();
    }
    if (current_ && !current_->isFinished())
        current_->onReply(reply);
}

void FtpComponent::onControlClosed()
{
    aborSent_ = false;
    const bool wasConnected = state_ != NotConnected && state_ != Connecting;
    state_ = NotConnected;
    if (current_ && !current_->isFinished()) {
        if (auto* login = qobject_cast<LoginOperation*>(current_))
            login->fail(ftpErrConnectFailed, QStringLiteral("The server closed the connection during login."));
        else
            current_->fail(closing_ ? ftpErrAborted : ftpErrConnectionLost, QStringLiteral("The connection to the server was lost."));
    }
    if (wasConnected)
        emit Disconnected();
}

void FtpComponent::parseFeatures(const FtpReply& reply)
{
    mlsd_ = utf8_ = size_ = rest_ = false;
    for (const QString& line : reply.lines) {
        const QString f = line.trimmed().toUpper();
        if (f.startsWith(QLatin1String("MLST")) || f == QLatin1String("MLSD"))
            mlsd_ = true;
        else if (f == QLatin1String("UTF8"))
            utf8_ = true;
        else if (f == QLatin1String("SIZE"))
            size_ = true;
        else if (f.startsWith(QLatin1String("REST")))
            rest_ = true;
    }
}

// --- connection -----------------------------------------------------------------------------

void FtpComponent::Connect()
{
    MethodScope scope(nesting_, abortFlag_);
    if (current_)
        throw FtpError(ftpErrBusy, QStringLiteral("Another operation is running."));
    if (state_ != NotConnected)
        throw FtpError(ftpErrProtocol, QStringLiteral("Already connected to %1.").arg(Host));
    if (Port == 0)
        throw FtpError(ftpErrConnectFailed, QStringLiteral("The port must be a number from 1 to 65535."));
    if (Host.trimmed().isEmpty())
        throw FtpError(ftpErrConnectFailed, QStringLiteral("No server address was given."));
    abortFlag_ = false;
    LoginOperation op(*this);
    state_ = Connecting;
    try {
        run(op, Connecting);
    } catch (const FtpError&) {
        state_ = NotConnected;
        control_->close();
        throw;
    }
    state_ = Idle;
}

void FtpComponent::Disconnect()
{
    if (current_) {
        // Called from an event handler while a method runs: end it and drop the connection.
        setAbortFlag(true);
        closing_ = true;
        control_->close();
        closing_ = false;
        if (state_ != NotConnected) {
            state_ = NotConnected;
            emit Disconnected();
        }
        return;
    }
    if (state_ == NotConnected && !control_->isOpen())
        return;
    if (control_->isOpen()) {
        CommandOperation quit(*this, {{QStringLiteral("QUIT")}});
        const int saved = TimeoutSeconds;
        TimeoutSeconds = qMin(TimeoutSeconds, 5);
        try {
            abortFlag_ = false;
            run(quit);
        } catch (const FtpError&) {
            // Leaving anyway.
        }
        TimeoutSeconds = saved;
    }
    closing_ = true;
    control_->close();
    closing_ = false;
    if (state_ != NotConnected) {
        state_ = NotConnected;
        emit Disconnected();
    }
}

// --- simple commands ------------------------------------------------------------------------

void FtpComponent::simpleCommand(const QString& verb, const QString& argument)
{
    MethodScope scope(nesting_, abortFlag_);
    requireIdle();
    requireOneLine(argument);
    CommandOperation op(*this, {{argument.isEmpty() ? verb : verb + u' ' + argument}});
    run(op);
}

void FtpComponent::ChangeFolder(const QString& path)
{
    simpleCommand(QStringLiteral("CWD"), path);
}

void FtpComponent::ChangeToParent()
{
    simpleCommand(QStringLiteral("CDUP"), QString());
}

void FtpComponent::CreateFolder(const QString& name)
{
    simpleCommand(QStringLiteral("MKD"), name);
}

void FtpComponent::RemoveFolder(const QString& name)
{
    simpleCommand(QStringLiteral("RMD"), name);
}

void FtpComponent::DeleteFile(const QString& name)
{
    simpleCommand(QStringLiteral("DELE"), name);
}

void FtpComponent::RenameItem(const QString& oldName, const QString& newName)
{
    MethodScope scope(nesting_, abortFlag_);
    requireIdle();
    requireOneLine(oldName);
    requireOneLine(newName);
    CommandOperation op(*this, {{QStringLiteral("RNFR ") + oldName, true}, {QStringLiteral("RNTO ") + newName}});
    run(op);
}

FtpReply FtpComponent::SendCommand(const QString& line)
{
    MethodScope scope(nesting_, abortFlag_);
    requireIdle();
    requireOneLine(line);
    CommandOperation op(*this, {{line, true}});
    run(op);
    return op.lastReply();
}

QString FtpComponent::CurrentFolder()
{
    MethodScope scope(nesting_, abortFlag_);
    requireIdle();
    CommandOperation op(*this, {{QStringLiteral("PWD")}});
    run(op);
    const auto path = parsePwdReply(op.lastReply());
    if (!path)
        throw FtpError(ftpErrProtocol, QStringLiteral("The server's reply to PWD names no folder: ") + op.lastReply().lines.value(0));
    return *path;
}

qint64 FtpComponent::remoteSize(const QString& name)
{
    if (!size_)
        return -1;
    // Servers refuse SIZE in ASCII mode: sizes are byte counts.
    CommandOperation op(*this, {{QStringLiteral("TYPE I")}, {QStringLiteral("SIZE ") + name}});
    try {
        run(op);
    } catch (const FtpError& e) {
        if (e.Number() == ftpErrServerRefused)
            return -1;
        throw;
    }
    bool ok = false;
    const qint64 size = op.lastReply().text().trimmed().toLongLong(&ok);
    return ok && size >= 0 ? size : -1;
}

// --- listings -------------------------------------------------------------------------------

QList<FolderItem> FtpComponent::listItems(const QString& path)
{
    const bool useMlsd = mlsd_ && ListingOption == 1;
    QByteArray buffer;
    TransferOperation::Request request;
    request.command = (useMlsd ? QStringLiteral("MLSD") : QStringLiteral("LIST")) + (path.isEmpty() ? QString() : QLatin1Char(' ') + path);
    request.ascii = true;
    request.reportProgress = false;
    request.buffer = &buffer;
    TransferOperation op(*this, request);
    run(op);

    QList<FolderItem> items;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    // Line by line in place: splitting the whole buffer first would make an object for every line,
    // many times the size of a hostile listing made of nothing but line breaks.
    for (qsizetype from = 0; from < buffer.size();) {
        qsizetype end = buffer.indexOf('\n', from);
        if (end < 0)
            end = buffer.size();
        QByteArrayView line(buffer.constData() + from, end - from);
        from = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        const QString text = QString::fromUtf8(line);
        auto item = useMlsd ? listing::parseMlsdLine(text) : listing::parseListLine(text, now);
        if (!item) {
            continue;
        }
        if (item->Name == QLatin1String(".") || item->Name == QLatin1String(".."))
            continue;
        items.append(*item);
    }
    return items;
}

void FtpComponent::ListFolder(const QString& mask)
{
    MethodScope scope(nesting_, abortFlag_);
    requireIdle();
    const QList<FolderItem> items = listItems(QString());
    for (const FolderItem& item : items) {
        if (listing::matchesMask(item.Name, mask))
            emit ListingItem(item.Name, item.Date, item.Size, item.Kind);
    }
}

QList<FolderItem> FtpComponent::GetFolderItems(const QString& mask, int)
{
    MethodScope scope(nesting_, abortFlag_);
    requireIdle();
    QList<FolderItem> items = listItems(QString());
    items.removeIf([&](const FolderItem& i) { return !listing::matchesMask(i.Name, mask); });
    return items;
}

// --- transfers ------------------------------------------------------------------------------

void FtpComponent::skip(const QString& localName, const QString& remoteName, qint64 reason, const QString& why)
{
    emit LogLine(why);
    emit FileSkipped(localName, remoteName, reason);
}

void FtpComponent::ReceiveFile(const QString& remoteName, qint64 startOffset, const QString& localPath)
{
    MethodScope scope(nesting_, abortFlag_);
    requireIdle();
    requireOneLine(remoteName);
    const QFileInfo local(localPath);
    const QString reason = listing::unsafeNameReason(local.fileName());
    if (!reason.isEmpty() || localPath.split(QLatin1Char('/')).contains(QStringLiteral("..")))
        throw FtpError(ftpErrUnsafeName, QStringLiteral("Refused to write '%1': %2.").arg(localPath, reason.isEmpty() ? QStringLiteral("the path leaves its folder") : reason));
    if (startOffset < 0)
        throw FtpError(ftpErrLocalFile, QStringLiteral("A start offset cannot be negative."));
    if (isLink(localPath))
        throw FtpError(ftpErrLocalFile, QStringLiteral("%1 is a symbolic link; it is not written through.").arg(localPath));
    if (startOffset == 0 && local.exists()) {
        bool replace = false;
        emit ReplaceQuery(localPath, replace);
        if (!replace) {
            skip(localPath, remoteName, ftpSkipNotReplaced, QStringLiteral("Kept the existing file %1.").arg(localPath));
            return;
        }
    }
    emit ReceivingFile(remoteName);
    const bool ascii = TransferMode == 1;
    TransferOperation::Request request;
    request.command = QStringLiteral("RETR ") + remoteName;
    request.displayName = remoteName;
    request.ascii = ascii;
    request.restOffset = startOffset;
    request.totalSize = ascii ? -1 : remoteSize(remoteName);
    request.openSink = [localPath, startOffset](QString& why) { return openForWriting(localPath, startOffset, why); };
    TransferOperation op(*this, request);
    run(op, Receiving);
}

void FtpComponent::SendFile(const QString& localPath, qint64 startOffset, const QString& remoteName, bool resume)
{
    MethodScope scope(nesting_, abortFlag_);
    requireIdle();
    requireOneLine(remoteName);
    // Only a regular file has an end to send up to: a pipe would block the open for ever and a
    // device such as /dev/zero would never end.
    const QString notRegular = QStringLiteral("%1 is not a regular file, so it is not sent.").arg(localPath);
    if (QFileInfo(localPath).exists() && !QFileInfo(localPath).isFile())
        throw FtpError(ftpErrLocalFile, notRegular);
    QFile source(localPath);
    if (!source.open(QIODevice::ReadOnly))
        throw FtpError(ftpErrLocalFile, QStringLiteral("Could not open %1: %2").arg(localPath, source.errorString()));
    if (source.isSequential())
        throw FtpError(ftpErrLocalFile, notRegular);
    const qint64 offset = resume ? startOffset : 0;
    if (offset < 0 || offset > source.size())
        throw FtpError(ftpErrLocalFile, QStringLiteral("Cannot resume %1 at byte %2: it holds %3 bytes.").arg(localPath).arg(offset).arg(source.size()));
    if (offset > 0 && !source.seek(offset))
        throw FtpError(ftpErrLocalFile, QStringLiteral("Could not read %1: %2").arg(localPath, source.errorString()));
    emit SendingFile(remoteName);
    const bool ascii = TransferMode == 1;
    TransferOperation::Request request;
    request.direction = TransferOperation::Direction::Upload;
    request.command = QStringLiteral("STOR ") + remoteName;
    request.displayName = remoteName;
    request.ascii = ascii;
    request.restOffset = offset;
    request.totalSize = source.size();
    request.source = &source;
    TransferOperation op(*this, request);
    run(op, Sending);
    if (!ascii) {
        // Make sure the server holds what we sent before calling the file sent.
        const qint64 size = remoteSize(remoteName);
        if (size >= 0 && size != source.size())
            throw FtpError(ftpErrIncomplete, QStringLiteral("The server holds %1 bytes of %2, not %3.").arg(size).arg(remoteName).arg(source.size()));
    }
}

void FtpComponent::ReceiveFiles(const QString& remoteMask, const QString& localFolder, bool recurse)
{
    MethodScope scope(nesting_, abortFlag_);
    requireIdle();
    const auto [folder, mask] = splitMask(remoteMask);
    if (!QFileInfo(localFolder).isDir())
        throw FtpError(ftpErrLocalFile, QStringLiteral("The local folder %1 does not exist.").arg(localFolder));
    const QString start = CurrentFolder();
    if (!folder.isEmpty())
        ChangeFolder(folder);
    inFolderThenBack(start, [&] {
        QList<QByteArray> ancestors;
        receiveTree(localFolder, mask, recurse, ancestors);
    });
}

void FtpComponent::inFolderThenBack(const QString& start, const std::function<void()>& work)
{
    try {
        work();
    } catch (const FtpError&) {
        // Back to where the tree walk began, even after an abort, when the connection still
        // stands; the walk's own error is the one reported.
        if (control_->isOpen() && !current_) {
            const bool flag = abortFlag_;
            abortFlag_ = false;
            try {
                ChangeFolder(start);
            } catch (const FtpError&) {
            }
            abortFlag_ = flag;
        }
        throw;
    }
    ChangeFolder(start);
}

bool FtpComponent::receiveTree(const QString& localFolder, const QString& mask, bool recurse, QList<QByteArray>& ancestors)
{
    const QString here = CurrentFolder();
    emit ScanningFolder(here);
    const QList<FolderItem> items = listItems(QString());
    const QByteArray signature = listingSignature(items);
    if (ancestors.contains(signature)) {
        emit LogLine(QStringLiteral("Skipped the folder %1: it lists the same entries as a folder it lies in, so it is taken for a link back to it.").arg(here));
        return false;
    }
    const int depth = int(ancestors.size());
    QStringList folders;
    for (const FolderItem& item : items) {
        const QString reason = listing::unsafeNameReason(item.Name);
        if (!reason.isEmpty()) {
            skip(QString(), item.Name, ftpSkipUnsafeName,
                 QStringLiteral("Skipped the listed name '%1': %2.").arg(QString(item.Name).replace(QRegularExpression(QStringLiteral("[\\x00-\\x1f\\x7f]")), QStringLiteral("?")), reason));
            continue;
        }
        if (item.Kind == FolderItem::Folder) {
            if (recurse)
                folders.append(item.Name);
            continue;
        }
        if (!listing::matchesMask(item.Name, mask))
            continue;
        const QString target = localFolder + QLatin1Char('/') + item.Name;
        try {
            ReceiveFile(item.Name, 0, target);
        } catch (const FtpError& e) {
            // A link to a folder cannot be retrieved as a file; everything else ends the batch.
            if (item.Kind != FolderItem::Link || e.Number() != ftpErrServerRefused)
                throw;
            skip(target, item.Name, ftpSkipLocalLink, QStringLiteral("Skipped the link %1: %2").arg(item.Name, e.Description()));
        }
    }
    if (depth >= kMaxTreeDepth && !folders.isEmpty()) {
        emit LogLine(QStringLiteral("Folders nested deeper than %1 levels are not received: %2").arg(kMaxTreeDepth).arg(here));
        return true;
    }
    ancestors.append(signature);
    for (const QString& name : folders) {
        const QString sub = localFolder + QLatin1Char('/') + name;
        if (isLink(sub)) {
            skip(sub, name, ftpSkipLocalLink, QStringLiteral("Skipped the folder %1: the local %2 is a symbolic link.").arg(name, sub));
            continue;
        }
        const bool created = !QFileInfo(sub).isDir();
        if (created && !QDir().mkdir(sub))
            throw FtpError(ftpErrLocalFile, QStringLiteral("Could not create the local folder %1.").arg(sub));
        ChangeFolder(name);
        if (!receiveTree(sub, mask, recurse, ancestors) && created)
            QDir().rmdir(sub);
        ChangeFolder(here);
    }
    ancestors.removeLast();
    return true;
}

void FtpComponent::SendFiles(const QString& localMask, const QString& remoteFolder, bool createFolder, bool recurse)
{
    MethodScope scope(nesting_, abortFlag_);
    requireIdle();
    const auto [folder, mask] = splitMask(localMask);
    const QString localFolder = folder.isEmpty() ? QDir::currentPath() : folder;
    if (!QFileInfo(localFolder).isDir())
        throw FtpError(ftpErrLocalFile, QStringLiteral("The local folder %1 does not exist.").arg(localFolder));
    const QString start = CurrentFolder();
    if (!remoteFolder.isEmpty()) {
        try {
            ChangeFolder(remoteFolder);
        } catch (const FtpError& e) {
            if (!createFolder || e.Number() != ftpErrServerRefused)
                throw;
            CreateFolder(remoteFolder);
            ChangeFolder(remoteFolder);
        }
    }
    inFolderThenBack(start, [&] { sendTree(localFolder, mask, recurse, 0); });
}

void FtpComponent::sendTree(const QString& localFolder, const QString& mask, bool recurse, int depth)
{
    emit ScanningFolder(localFolder);
    const QString here = CurrentFolder();
    const QFileInfoList entries = QDir(localFolder).entryInfoList(
        QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    QStringList folders;
    for (const QFileInfo& entry : entries) {
        const QString name = entry.fileName();
        const QString reason = listing::unsafeNameReason(name);
        if (!reason.isEmpty()) {
            skip(entry.filePath(), QString(), ftpSkipUnsafeName, QStringLiteral("Skipped the local name '%1': %2.").arg(name, reason));
            continue;
        }
        if (entry.isDir()) {
            if (!recurse)
                continue;
            if (entry.isSymLink()) {
                skip(entry.filePath(), QString(), ftpSkipLocalLink, QStringLiteral("Skipped the folder %1: it is a symbolic link.").arg(entry.filePath()));
                continue;
            }
            folders.append(name);
            continue;
        }
        if (!listing::matchesMask(name, mask))
            continue;
        if (!entry.isFile()) {
            skip(entry.filePath(), QString(), ftpSkipNotRegular,
                 QStringLiteral("Skipped %1: it is not a regular file.").arg(entry.filePath()));
            continue;
        }
        SendFile(entry.filePath(), 0, name, false);
    }
    if (depth >= kMaxTreeDepth && !folders.isEmpty()) {
        emit LogLine(QStringLiteral("Folders nested deeper than %1 levels are not sent: %2").arg(kMaxTreeDepth).arg(localFolder));
        return;
    }
    for (const QString& name : folders) {
        try {
            ChangeFolder(name);
        } catch (const FtpError& e) {
            if (e.Number() != ftpErrServerRefused)
                throw;
            CreateFolder(name);
            ChangeFolder(name);
        }
        sendTree(localFolder + QLatin1Char('/') + name, mask, recurse, depth + 1);
        ChangeFolder(here);
    }
}

}  // namespace harbel::tessaly
