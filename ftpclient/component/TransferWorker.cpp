#include "ftpclient/component/TransferWorker.h"

#include "ftpclient/component/FtpComponent.h"
#include "ftpclient/component/LocalFile.h"
#include "ftpclient/component/SftpComponent.h"
#include "ftpclient/component/TreeWalk.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>

namespace harbel::tessaly {

namespace {

QString joined(const QString& folder, const QString& name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

QString parentOf(const QString& remotePath)
{
    const qsizetype slash = remotePath.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : remotePath.left(slash);
}

// A listed name as a message may show it: control characters become "?".
QString printable(const QString& name)
{
    return QString(name).replace(QRegularExpression(QStringLiteral("[\\x00-\\x1f\\x7f]")), QStringLiteral("?"));
}

bool connectionGone(qint64 number)
{
    return number == ftpErrConnectionLost || number == ftpErrNotConnected || number == ftpErrTimedOut;
}

}  // namespace

TransferWorker::TransferWorker(int number, Questions questions) : number_(number), questions_(std::move(questions)) {}

TransferWorker::~TransferWorker() = default;

void TransferWorker::checkCancelled() const
{
    if (cancelled_ || stopping_)
        throw FtpError(ftpErrAborted, QStringLiteral("Cancelled."));
}

void TransferWorker::makeConnection(const SessionLogin& login)
{
    if (ftp_ && qobject_cast<SftpComponent*>(ftp_) != nullptr) {
        if (login.sftp)
            return;
    } else if (ftp_ && !login.sftp) {
        return;
    }
    if (ftp_) {
        // Another protocol: the old connection gives way.
        if (ftp_->State() != FtpComponent::NotConnected)
            ftp_->Disconnect();
        delete ftp_;
    }
    if (login.sftp) {
        auto* sftp = new SftpComponent(this);
        connect(sftp, &SftpComponent::PassphraseRequired, this, [this](const QString&, QString& passphrase) { passphrase = login_.passphrase; });
        ftp_ = sftp;
    } else {
        ftp_ = new FtpComponent(this);
    }
    if (!idle_) {
        idle_ = new QTimer(this);
        idle_->setSingleShot(true);
        connect(idle_, &QTimer::timeout, this, &TransferWorker::closeConnection);
    }
    connect(ftp_, &RemoteSession::LogLine, this, [this](const QString& text) { log(text); });
    connect(ftp_, &RemoteSession::TransferProgress, this, [this](const QString&, qint64 size, qint64 done, int) {
        moved_ = done;
        // A handful of updates a second is all a progress display can use.
        if (sinceProgress_.isValid() && sinceProgress_.elapsed() < 100 && done < size)
            return;
        sinceProgress_.start();
        emit progress(current_, done, size > 0 ? size : -1);
    });
    connect(ftp_, &RemoteSession::FileExists, this, [this](const FileClash& clash, int& answer) {
        answer = replace_ ? int(FileClash::Overwrite) : stopping_ ? int(FileClash::Cancel) : questions_.clash(clash);
    });
    connect(ftp_, &RemoteSession::FileSkipped, this, [this] { skipped_ = true; });
    // A certificate, or an SSH host key, the session accepted for this run is taken again.
    connect(ftp_, &RemoteSession::CertificateQuery, this, [this](const CertificateInfo& info, int& answer) {
        if (!login_.acceptedFingerprint.isEmpty() && info.fingerprint.compare(login_.acceptedFingerprint, Qt::CaseInsensitive) == 0)
            answer = certTrustOnce;
        else
            answer = stopping_ ? int(certRefuse) : questions_.certificate(info);
        if (answer != certRefuse)
            login_.acceptedFingerprint = info.fingerprint;
    });
}

void TransferWorker::connectAs(const SessionLogin& login)
{
    if (ftp_ && ftp_->State() != FtpComponent::NotConnected && login_.sameAccount(login)) {
        login_ = login;
        return;
    }
    makeConnection(login);
    if (ftp_->State() != FtpComponent::NotConnected)
        ftp_->Disconnect();
    login_ = login;
    if (auto* sftp = qobject_cast<SftpComponent*>(ftp_))
        login.applyTo(*sftp);
    else
        login.applyTo(*static_cast<FtpComponent*>(ftp_));
    ftp_->Connect();
}

void TransferWorker::enqueue(const TransferItem& item, const SessionLogin& login)
{
    inbox_.append({item, login});
    // Called again from an event loop of the item running: the loop below takes it in turn.
    if (draining_)
        return;
    draining_ = true;
    if (idle_)
        idle_->stop();
    while (!inbox_.isEmpty() && !stopping_) {
        const auto [next, as] = inbox_.takeFirst();
        emit started(next.id);
        run(next, as);
    }
    draining_ = false;
    if (stopping_)
        return finishShutdown();
    if (idle_)
        idle_->start(kIdleSeconds * 1000);
}

void TransferWorker::run(const TransferItem& item, const SessionLogin& login)
{
    current_ = item.id;
    cancelled_ = skipped_ = false;
    replace_ = item.replace;
    moved_ = item.bytesDone;
    sinceProgress_.invalidate();
    int state = int(TransferItem::State::Done);
    QString reason;
    for (int attempt = 0;; ++attempt) {
        const bool reused = ftp_ && ftp_->State() != FtpComponent::NotConnected;
        try {
            checkCancelled();
            connectAs(login);
            if (item.folder) {
                const QList<TransferItem> items = item.upload() ? expandUpload(item) : expandDownload(item);
                current_ = 0;
                emit expanded(item.id, items);
                break;
            }
            move(item);
            if (skipped_) {
                state = int(TransferItem::State::Skipped);
                reason = item.upload() ? QStringLiteral("The file on the server was kept.") : QStringLiteral("The local file was kept.");
            }
        } catch (const FtpError& e) {
            // A connection kept open may have been closed by the server meanwhile: one more try on
            // a new one, unless bytes had begun to move.
            if (reused && attempt == 0 && connectionGone(e.Number()) && !cancelled_ && !stopping_ && moved_ == item.bytesDone)
                continue;
            state = int(cancelled_ || e.Number() == ftpErrAborted ? TransferItem::State::Cancelled : TransferItem::State::Failed);
            reason = e.Description();
            if (e.Number() == ftpErrAborted && !cancelled_ && !stopping_)
                reason = QStringLiteral("The transfer was cancelled.");
        }
        if (current_)
            emit done(item.id, state, reason, moved_);
        break;
    }
    current_ = 0;
}

void TransferWorker::cancel(int id)
{
    for (qsizetype i = 0; i < inbox_.size(); ++i) {
        if (inbox_[i].first.id == id) {
            const qint64 moved = inbox_.takeAt(i).first.bytesDone;
            emit done(id, int(TransferItem::State::Cancelled), QString(), moved);
            return;
        }
    }
    if (id != current_ || id == 0)
        return;
    cancelled_ = true;
    if (ftp_ && ftp_->isRunning())
        ftp_->setAbortFlag(true);
}

void TransferWorker::closeConnection()
{
    if (draining_ || !ftp_)
        return;
    if (ftp_->State() != FtpComponent::NotConnected)
        ftp_->Disconnect();
}

void TransferWorker::shutdown()
{
    stopping_ = true;
    inbox_.clear();
    if (draining_ && ftp_ && ftp_->isRunning()) {
        // The running item unwinds and ends the thread (run).
        ftp_->Disconnect();
        return;
    }
    if (draining_)
        return;
    finishShutdown();
}

void TransferWorker::finishShutdown()
{
    if (ftp_) {
        if (ftp_->State() != FtpComponent::NotConnected && !ftp_->isRunning())
            ftp_->Disconnect();
        delete ftp_;
        ftp_ = nullptr;
    }
    delete idle_;
    idle_ = nullptr;
    QThread::currentThread()->quit();
}

void TransferWorker::move(const TransferItem& item)
{
    if (auto* ftp = qobject_cast<FtpComponent*>(ftp_))
        ftp->TransferMode = login_.modeFor(item.localPath.isEmpty() ? item.remotePath : item.localPath);
    if (item.upload())
        upload(item);
    else
        download(item);
}

void TransferWorker::download(const TransferItem& item)
{
    const QFileInfo local(item.localPath);
    const QString folder = local.absolutePath();
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder))
        throw FtpError(ftpErrLocalFile, QStringLiteral("Could not create the local folder %1.").arg(folder));
    qint64 offset = 0;
    const auto* ftp = qobject_cast<const FtpComponent*>(ftp_);
    const bool binary = !ftp || ftp->TransferMode == 0;
    if (item.resume && binary && local.exists() && !LocalFile::isLink(item.localPath)) {
        offset = local.size();
        if (item.remoteListed && item.remoteSize >= 0 && offset >= item.remoteSize) {
            if (offset == item.remoteSize) {
                moved_ = offset;
                return;
            }
            offset = 0;  // longer than the original: not a part of it
        }
    }
    RemoteSession::Listed listed;
    if (item.remoteListed) {
        listed.size = item.remoteSize;
        listed.time = item.remoteTime;
    }
    ftp_->receive(item.remotePath, offset, item.localPath, listed);
}

void TransferWorker::upload(const TransferItem& item)
{
    const QString name = item.remotePath.section(QLatin1Char('/'), -1);
    QList<FolderItem> entries;
    if (item.replace) {
        // Agreed to be replaced: nothing there is asked about.
    } else if (item.remoteListed) {
        if (item.remoteSize >= 0)
            entries.append(FolderItem{name, item.remoteTime, item.remoteSize, FolderItem::File, {}});
    } else {
        // Nothing told what the server holds: its folder is listed (the window and a tree walk
        // give listed items, so this is for single files).
        entries = ftp_->listItems(parentOf(item.remotePath));
    }
    checkCancelled();
    if (item.resume) {
        qint64 there = -1;
        for (const FolderItem& entry : std::as_const(entries))
            if (entry.Name == name && entry.Kind != FolderItem::Folder)
                there = entry.Size;
        const qint64 size = QFileInfo(item.localPath).size();
        if (there == size) {
            moved_ = size;
            return;
        }
        const bool append = there > 0 && there < size;
        ftp_->SendFile(item.localPath, append ? there : 0, item.remotePath, append);
        return;
    }
    if (!ftp_->SendFileAsking(item.localPath, item.remotePath, entries))
        skipped_ = true;
}

QList<TransferItem> TransferWorker::expandDownload(const TransferItem& item)
{
    if (LocalFile::isLink(item.localPath))
        throw FtpError(ftpErrLocalFile, QStringLiteral("The local %1 is a symbolic link.").arg(item.localPath));
    if (!QFileInfo(item.localPath).isDir() && !QDir().mkpath(item.localPath))
        throw FtpError(ftpErrLocalFile, QStringLiteral("Could not create the local folder %1.").arg(item.localPath));
    QList<TransferItem> items;
    const bool mlsd = ftp_->listsSeconds();
    const auto child = [&item](const QString& local, const QString& remote) {
        TransferItem c;
        c.direction = TransferItem::Direction::Download;
        c.localPath = local;
        c.remotePath = remote;
        c.resume = item.resume;
        return c;
    };
    TreeWalk::Rules rules;
    rules.recurse = item.recurse;
    rules.sameListingIsLoop = true;
    TreeWalk::Hooks hooks;
    hooks.list = [this](TreeWalk::Folder& folder) -> std::optional<QList<TreeWalk::Entry>> {
        checkCancelled();
        ftp_->ChangeFolder(folder.remote);
        QList<TreeWalk::Entry> entries;
        for (const FolderItem& entry : ftp_->GetFolderItems(QString()))
            entries.append(TreeWalk::remoteEntry(entry));
        return entries;
    };
    hooks.file = [&](const TreeWalk::Folder& in, const TreeWalk::Entry& file) {
        TransferItem c = child(joined(in.local, file.name), joined(in.remote, file.name));
        if (file.kind == TreeWalk::Kind::File) {
            c.size = c.remoteSize = file.size;
            c.remoteListed = true;
            if (mlsd)
                c.remoteTime = file.date;
        }
        items.append(c);
    };
    hooks.skipped = [&](const TreeWalk::Folder& in, const TreeWalk::Entry& entry, TreeWalk::Skip, const QString& why) {
        TransferItem c = child(QString(), joined(in.remote, printable(entry.name)));
        c.state = TransferItem::State::Skipped;
        c.reason = why.isEmpty() ? QStringLiteral("Not a regular file.") : QStringLiteral("Skipped the listed name: %1.").arg(why);
        log(QStringLiteral("Skipped the listed name '%1' in %2: %3").arg(printable(entry.name), in.remote, c.reason));
        items.append(c);
    };
    hooks.enter = [&](const TreeWalk::Folder& in, const TreeWalk::Entry& folder, TreeWalk::Folder& into) {
        const QString sub = joined(in.local, folder.name);
        if (LocalFile::isLink(sub)) {
            log(QStringLiteral("Skipped the folder %1: the local %2 is a symbolic link.").arg(folder.name, sub));
            return TreeWalk::Step::Pass;
        }
        into.local = sub;
        into.remote = joined(in.remote, folder.name);
        into.made = !QFileInfo(sub).isDir();
        if (into.made && !QDir().mkdir(sub))
            throw FtpError(ftpErrLocalFile, QStringLiteral("Could not create the local folder %1.").arg(sub));
        return TreeWalk::Step::Enter;
    };
    hooks.leave = [&](const TreeWalk::Folder&, const TreeWalk::Entry&, const TreeWalk::Folder& left, TreeWalk::Outcome outcome) {
        if (outcome == TreeWalk::Outcome::Loop) {
            log(QStringLiteral("Skipped the folder %1: it lists the same entries as a folder it lies in.").arg(left.remote));
            if (left.made)
                QDir().rmdir(left.local);
        }
        return true;
    };
    hooks.tooDeep = [this](const TreeWalk::Folder& in, const QList<TreeWalk::Entry>&) {
        log(QStringLiteral("Folders nested deeper than %1 levels are not received: %2").arg(TreeWalk::kMaxDepth).arg(in.remote));
    };
    TreeWalk::Folder root;
    root.remote = item.remotePath;
    root.local = item.localPath.size() > 1 && item.localPath.endsWith(QLatin1Char('/')) ? item.localPath.chopped(1) : item.localPath;
    TreeWalk(rules, hooks).walk(root);
    return items;
}

QList<TransferItem> TransferWorker::expandUpload(const TransferItem& item)
{
    if (!QFileInfo(item.localPath).isDir())
        throw FtpError(ftpErrLocalFile, QStringLiteral("The local folder %1 does not exist.").arg(item.localPath));
    QList<TransferItem> items;
    const bool mlsd = ftp_->listsSeconds();
    bool rootMade = false;
    try {
        ftp_->ChangeFolder(item.remotePath);
    } catch (const FtpError& e) {
        if (e.Number() != ftpErrServerRefused)
            throw;
        ftp_->CreateFolder(item.remotePath);
        rootMade = true;
    }
    QHash<QString, QList<FolderItem>> remote;
    const auto find = [&remote](const QString& folder, const QString& name) -> const FolderItem* {
        for (const FolderItem& entry : remote[folder])
            if (entry.Name == name)
                return &entry;
        return nullptr;
    };
    TreeWalk::Rules rules;
    rules.recurse = item.recurse;
    TreeWalk::Hooks hooks;
    hooks.list = [&](TreeWalk::Folder& folder) -> std::optional<QList<TreeWalk::Entry>> {
        checkCancelled();
        // A folder just made holds nothing: it needs no listing.
        remote.insert(folder.remote, folder.made ? QList<FolderItem>() : ftp_->listItems(folder.remote));
        return TreeWalk::localEntries(folder.local);
    };
    hooks.file = [&](const TreeWalk::Folder& in, const TreeWalk::Entry& file) {
        TransferItem c;
        c.direction = TransferItem::Direction::Upload;
        c.localPath = file.path;
        c.remotePath = joined(in.remote, file.name);
        c.size = file.size;
        c.resume = item.resume;
        c.remoteListed = true;
        if (const FolderItem* there = find(in.remote, file.name); there && there->Kind != FolderItem::Folder) {
            c.remoteSize = there->Size;
            if (mlsd)
                c.remoteTime = there->Date;
        }
        items.append(c);
    };
    hooks.skipped = [&](const TreeWalk::Folder&, const TreeWalk::Entry& entry, TreeWalk::Skip why, const QString& reason) {
        TransferItem c;
        c.direction = TransferItem::Direction::Upload;
        c.localPath = entry.path;
        c.state = TransferItem::State::Skipped;
        c.reason = why == TreeWalk::Skip::UnsafeName ? QStringLiteral("Skipped the local name: %1.").arg(reason)
                   : why == TreeWalk::Skip::FolderLink ? QStringLiteral("A symbolic link to a folder.")
                                                       : QStringLiteral("Not a regular file.");
        log(QStringLiteral("Skipped %1: %2").arg(printable(entry.path), c.reason));
        items.append(c);
    };
    hooks.enter = [&](const TreeWalk::Folder& in, const TreeWalk::Entry& folder, TreeWalk::Folder& into) {
        into.local = joined(in.local, folder.name);
        into.remote = joined(in.remote, folder.name);
        const FolderItem* there = find(in.remote, folder.name);
        if (there && there->Kind == FolderItem::Folder)
            return TreeWalk::Step::Enter;
        try {
            ftp_->CreateFolder(into.remote);
        } catch (const FtpError& e) {
            if (e.Number() != ftpErrServerRefused)
                throw;
            log(QStringLiteral("Skipped the folder %1: %2").arg(into.local, e.Description()));
            return TreeWalk::Step::Pass;
        }
        into.made = true;
        return TreeWalk::Step::Enter;
    };
    hooks.tooDeep = [this](const TreeWalk::Folder& in, const QList<TreeWalk::Entry>&) {
        log(QStringLiteral("Folders nested deeper than %1 levels are not sent: %2").arg(TreeWalk::kMaxDepth).arg(in.local));
    };
    TreeWalk::Folder root;
    root.local = item.localPath;
    root.remote = item.remotePath;
    root.made = rootMade;
    TreeWalk(rules, hooks).walk(root);
    return items;
}

}  // namespace harbel::tessaly
