#include "ftpclient/component/FtpComponent.h"

#include "ftpclient/component/ControlChannel.h"
#include "ftpclient/component/FolderTransfer.h"
#include "ftpclient/component/LocalFile.h"
#include "ftpclient/component/TransferEnds.h"
#include "ftpclient/component/ops/CommandOperation.h"
#include "ftpclient/component/ops/ListingOperation.h"
#include "ftpclient/component/ops/LoginOperation.h"
#include "ftpclient/component/ops/TransferOperation.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

namespace harbel::tessaly {

namespace {

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
    : RemoteSession(parent), control_(new ControlChannel(this)), watchdog_(new QTimer(this))
{
    watchdog_->setSingleShot(true);
    connect(watchdog_, &QTimer::timeout, this, [this] {
        if (current_) {
            current_->fail(ftpErrTimedOut, current_->timeoutText());
            // A reply may still be on its way: the stream is out of step, so start over.
            control_->close();
        }
    });
    connect(control_, &ControlChannel::logLine, this, &FtpComponent::LogLine);
    connect(control_, &ControlChannel::replyReceived, this, &FtpComponent::onReply);
    connect(control_, &ControlChannel::closed, this, &FtpComponent::onControlClosed);
    connect(control_, &ControlChannel::opened, this, [this] {
        if (auto* login = qobject_cast<LoginOperation*>(current_))
            login->opened();
    });
    connect(control_, &ControlChannel::openFailed, this, [this](const QString& why) {
        if (auto* login = qobject_cast<LoginOperation*>(current_))
            login->openFailed(why);
    });
}

FtpComponent::~FtpComponent()
{
    control_->disconnect(this);
}

net::Proxy FtpComponent::proxy() const
{
    net::Proxy p;
    // A kind without a proxy server is no proxy: the connections go straight to the server.
    if (ProxyKind == 0 || ProxyHost.isEmpty())
        return p;
    p.kind = ProxyKind == 4 ? net::Proxy::Kind::Socks4 : net::Proxy::Kind::Socks5;
    p.host = ProxyHost;
    p.port = ProxyPort;
    p.login = !ProxyUser.isEmpty();
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
    auto conn = connect(control_, &ControlChannel::replyReceived, &loop, [this, &loop] {
        if (control_->owedReplies() == 0)
            loop.quit();
    });
    auto closed = connect(control_, &ControlChannel::closed, &loop, &QEventLoop::quit);
    limit.start(qMax(1, qMin(TimeoutSeconds, 15)) * 1000);
    loop.exec();
    disconnect(conn);
    disconnect(closed);
    if (control_->isOpen() && control_->owedReplies() > 0) {
        emit LogLine(QStringLiteral("The server did not answer the pending commands; closing the connection."));
        control_->close();
    }
}

QString FtpComponent::typeToSend(bool ascii) const
{
    const QString line = ascii ? QStringLiteral("TYPE A") : QStringLiteral("TYPE I");
    return line == type_ ? QString() : line;
}

void FtpComponent::sendLine(const QString& line)
{
    // Until its answer comes the type is unknown; any other command that may reset the session's
    // state (REIN, USER) makes it unknown too.
    const QString verb = line.section(QLatin1Char(' '), 0, 0).toUpper();
    if (verb == QLatin1String("TYPE")) {
        type_.clear();
        typeAsked_ = QStringLiteral("TYPE ") + line.section(QLatin1Char(' '), 1).trimmed().toUpper();
    } else if (verb == QLatin1String("REIN") || verb == QLatin1String("USER")) {
        type_.clear();
    }
    control_->send(line);
}

void FtpComponent::onReply(const FtpReply& reply)
{
    touch();
    if (!typeAsked_.isEmpty() && reply.code >= 200) {
        if (reply.isCompletion())
            type_ = typeAsked_;
        typeAsked_.clear();
    }
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
        current_->reply(reply);
}

void FtpComponent::onControlClosed()
{
    aborSent_ = false;
    type_.clear();
    typeAsked_.clear();
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
    mlsd_ = utf8_ = size_ = rest_ = mdtm_ = mfmt_ = siteUtime_ = false;
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
        else if (f == QLatin1String("MDTM") || f == QLatin1String("MFMT"))
            (f == QLatin1String("MDTM") ? mdtm_ : mfmt_) = true;
        else if (f.startsWith(QLatin1String("SITE")) && f.contains(QLatin1String("UTIME")))
            siteUtime_ = true;
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
    const QString verb = line.section(QLatin1Char(' '), 0, 0).toUpper();
    if (verb == QLatin1String("LIST") || verb == QLatin1String("NLST") || verb == QLatin1String("MLSD"))
        return dataCommand(line);
    if (verb == QLatin1String("RETR") || verb == QLatin1String("STOR") || verb == QLatin1String("APPE") || verb == QLatin1String("STOU"))
        throw FtpError(ftpErrProtocol, QStringLiteral("%1 moves a file over a data connection: use the file transfer commands for it.").arg(verb));
    CommandOperation op(*this, {{line, true}});
    run(op);
    return op.lastReply();
}

FtpReply FtpComponent::dataCommand(const QString& line)
{
    QByteArray text;
    TransferOperation::Request request;
    request.command = line;
    request.ascii = true;
    request.reportProgress = false;
    request.buffer = &text;
    TransferOperation op(*this, request);
    run(op);
    for (QByteArray entry : text.split('\n')) {
        if (entry.endsWith('\r'))
            entry.chop(1);
        if (!entry.isEmpty())
            emit LogLine(QString::fromUtf8(entry));
    }
    return op.finalReply().value_or(FtpReply{});
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

// --- listings -------------------------------------------------------------------------------

QList<FolderItem> FtpComponent::listItems(const QString& path)
{
    ListingOperation op(*this, path);
    run(op);
    return op.items();
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

void FtpComponent::ReceiveFile(const QString& remoteName, qint64 startOffset, const QString& localPath)
{
    receive(remoteName, startOffset, localPath, Listed{});
}

void FtpComponent::receive(const QString& remoteName, qint64 startOffset, const QString& localPath, const Listed& listed)
{
    MethodScope scope(nesting_, abortFlag_);
    requireIdle();
    requireOneLine(remoteName);
    LocalFile::requireSafeTarget(localPath, startOffset);
    const QFileInfo local(localPath);
    const bool ascii = TransferMode == 1;
    if (startOffset == 0 && local.exists()) {
        switch (TransferEnds(*this).askDownload(remoteName, localPath, listed.size, listed.time)) {
        case FileClash::Overwrite:
            break;
        case FileClash::Resume:
            // Text changes its line ends on the way, so only a binary copy continues by its length.
            startOffset = ascii ? 0 : local.size();
            if (ascii)
                emit LogLine(QStringLiteral("%1 is received in ASCII mode, so it is received again from its start.").arg(remoteName));
            break;
        case FileClash::Skip:
            emit LogLine(QStringLiteral("Kept the existing file %1.").arg(localPath));
            emit FileSkipped(localPath, remoteName, ftpSkipNotReplaced);
            return;
        default:
            throw FtpError(ftpErrAborted, QStringLiteral("The download was cancelled."));
        }
    }
    emit ReceivingFile(remoteName);
    TransferOperation::Request request;
    request.command = QStringLiteral("RETR ") + remoteName;
    request.displayName = remoteName;
    request.ascii = ascii;
    request.restOffset = startOffset;
    if (!ascii && listed.size >= 0)
        request.totalSize = listed.size;
    else if (!ascii)
        request.sizeOf = remoteName;
    request.openSink = [localPath, startOffset](QString& why) { return LocalFile::openForWriting(localPath, startOffset, why); };
    TransferOperation op(*this, request);
    run(op, Receiving);
    TransferEnds(*this).keepRemoteTime(remoteName, localPath, listed.time);
}

void FtpComponent::SendFile(const QString& localPath, qint64 startOffset, const QString& remoteName, bool resume)
{
    send(localPath, startOffset, remoteName, resume, true);
}

void FtpComponent::send(const QString& localPath, qint64 startOffset, const QString& remoteName, bool resume, bool verify)
{
    MethodScope scope(nesting_, abortFlag_);
    requireIdle();
    requireOneLine(remoteName);
    const qint64 offset = resume ? startOffset : 0;
    QFile source;
    LocalFile::openForSending(source, localPath, offset);
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
    if (!ascii && (verify || offset > 0))
        request.sizeOf = remoteName;
    TransferOperation op(*this, request);
    run(op, Sending);
    source.close();
    TransferEnds(*this).keepLocalTime(localPath, remoteName);
}

bool FtpComponent::SendFileAsking(const QString& localPath, const QString& remoteName, const QList<FolderItem>& remoteEntries)
{
    MethodScope scope(nesting_, abortFlag_);
    requireIdle();
    return TransferEnds(*this).sendAsking(localPath, remoteName, remoteEntries);
}

void FtpComponent::ReceiveFiles(const QString& remoteMask, const QString& localFolder, bool recurse)
{
    MethodScope scope(nesting_, abortFlag_);
    requireIdle();
    const auto parts = listing::splitMask(remoteMask);  // not a structured binding: clang 14 cannot capture one
    const QString &folder = parts.first, &mask = parts.second;
    if (!QFileInfo(localFolder).isDir())
        throw FtpError(ftpErrLocalFile, QStringLiteral("The local folder %1 does not exist.").arg(localFolder));
    const QString start = CurrentFolder();
    if (!folder.isEmpty())
        ChangeFolder(folder);
    inFolderThenBack(start, [&] { FolderTransfer(*this).receive(localFolder, mask, recurse); });
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

void FtpComponent::SendFiles(const QString& localMask, const QString& remoteFolder, bool createFolder, bool recurse)
{
    MethodScope scope(nesting_, abortFlag_);
    requireIdle();
    const auto parts = listing::splitMask(localMask);
    const QString &folder = parts.first, &mask = parts.second;
    const QString localFolder = folder.isEmpty() ? QDir::currentPath() : folder;
    if (!QFileInfo(localFolder).isDir())
        throw FtpError(ftpErrLocalFile, QStringLiteral("The local folder %1 does not exist.").arg(localFolder));
    const QString start = CurrentFolder();
    bool made = false;
    if (!remoteFolder.isEmpty()) {
        try {
            ChangeFolder(remoteFolder);
        } catch (const FtpError& e) {
            if (!createFolder || e.Number() != ftpErrServerRefused)
                throw;
            CreateFolder(remoteFolder);
            ChangeFolder(remoteFolder);
            made = true;
        }
    }
    inFolderThenBack(start, [&] { FolderTransfer(*this).send(localFolder, mask, recurse, made); });
}

}  // namespace harbel::tessaly
