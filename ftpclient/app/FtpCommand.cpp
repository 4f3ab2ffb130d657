#include "ftpclient/app/FtpCommand.h"

#include "ftpclient/app/ConsoleOutput.h"
#include "ftpclient/app/MirrorTree.h"
#include "ftpclient/app/TransferRun.h"
#include "ftpclient/component/FtpComponent.h"
#include "ftpclient/component/SessionLogin.h"
#include "ftpclient/component/SftpComponent.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace harbel::tessaly {

namespace {

QString sizeText(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 bytes").arg(bytes);
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KiB").arg(double(bytes) / 1024, 0, 'f', 1);
    if (bytes < 1024LL * 1024 * 1024)
        return QStringLiteral("%1 MiB").arg(double(bytes) / (1024 * 1024), 0, 'f', 1);
    return QStringLiteral("%1 GiB").arg(double(bytes) / (1024 * 1024 * 1024), 0, 'f', 2);
}

}  // namespace

FtpCommand::FtpCommand(const TessalyOptions& options, ConsoleOutput& out)
    : options_(options), out_(out)
{
    const FtpAddress& a = options_.address;
    if (a.sftp) {
        auto sftp = std::make_unique<SftpComponent>();
        sftp->Host = a.host;
        sftp->Port = a.port;
        sftp->User = a.user.isEmpty() ? qEnvironmentVariable("USER") : a.user;
        sftp->Password = a.password;
        sftp->IdentityFile = options_.identity;
        sftp->KnownHostsFile = options_.knownHosts;
        sftp->TimeoutSeconds = options_.timeout;
        // Nobody is there to answer: a host key not known yet is taken only when the command says
        // so, and then kept as ssh's StrictHostKeyChecking=accept-new does. A key that changed
        // never reaches the question.
        const bool acceptNew = options_.acceptNewHostKey;
        QObject::connect(sftp.get(), &RemoteSession::CertificateQuery, sftp.get(), [acceptNew](const CertificateInfo&, int& answer) {
            answer = acceptNew ? certTrustAlways : certRefuse;
        });
        ftp_ = std::move(sftp);
        return;
    }
    auto ftp = std::make_unique<FtpComponent>();
    configureFtp(*ftp);
    ftp_ = std::move(ftp);
}

void FtpCommand::configureFtp(FtpComponent& ftp)
{
    const FtpAddress& a = options_.address;
    ftp.Host = a.host;
    ftp.Port = a.port;
    ftp.User = a.user.isEmpty() ? QStringLiteral("anonymous") : a.user;
    ftp.Password = a.user.isEmpty() && !a.hasPassword ? QStringLiteral("anonymous@") : a.password;
    ftp.UseTls = a.tls;
    ftp.Passive = options_.passive;
    ftp.TimeoutSeconds = options_.timeout;
    // Nobody is there to answer: a certificate that fails verification is refused (the default
    // answer), and the reason is in the error that follows.
    QObject::connect(&ftp, &FtpComponent::CertificateQuery, &ftp, [](const CertificateInfo&, int& answer) {
        answer = certRefuse;
    });
}

FtpCommand::~FtpCommand() = default;

int FtpCommand::run()
{
    int status = 1;
    try {
        switch (options_.verb) {
        case TessalyOptions::Verb::List:
            status = list();
            break;
        case TessalyOptions::Verb::Get:
            status = get();
            break;
        case TessalyOptions::Verb::Put:
            status = put();
            break;
        case TessalyOptions::Verb::Mirror:
            status = options_.reverse ? mirrorUp() : mirrorDown();
            break;
        }
    } catch (const FtpError& e) {
        out_.error(QStringLiteral("tessaly: %1: %2").arg(options_.address.shown(), e.Description()));
        status = 1;
    }
    if (ftp_->State() != FtpComponent::NotConnected) {
        try {
            ftp_->Disconnect();
        } catch (const FtpError&) {
        }
    }
    return status;
}

bool FtpCommand::connect()
{
    try {
        ftp_->Connect();
        // A path of the address that goes from the login folder needs to know that folder.
        remote_ = options_.address.pathFrom(options_.address.absolute() ? QString() : ftp_->CurrentFolder());
    } catch (const FtpError& e) {
        out_.error(QStringLiteral("tessaly: ") + e.Description());
        if (e.Number() == ftpErrCertificate)
            out_.error(QStringLiteral("tessaly: give the authority that signed it with --ca-certificate FILE to trust it"));
        if (e.Number() == ftpErrHostKey && e.Description().contains(QLatin1String("not known")))
            out_.error(QStringLiteral("tessaly: check the fingerprint, then give --accept-new-host-key to take the key and keep it"));
        return false;
    }
    return true;
}

void FtpCommand::fail(const QString& what, const QString& why)
{
    ++failures_;
    out_.error(QStringLiteral("Failed: %1: %2").arg(ConsoleOutput::printable(what), why));
}

int FtpCommand::list()
{
    if (!connect())
        return 1;
    const FtpAddress& a = options_.address;
    QList<FolderItem> items;
    try {
        ftp_->ChangeFolder(remote_);
        items = ftp_->GetFolderItems(QString());
    } catch (const FtpError& e) {
        // Not a folder: perhaps a file, or a mask of files, in its parent.
        if (e.Number() != ftpErrServerRefused || remote_ == QLatin1String("/") || a.namesFolder)
            throw;
        const QString parent = remote_.section(u'/', 0, -2);
        ftp_->ChangeFolder(parent.isEmpty() ? QStringLiteral("/") : parent);
        items = ftp_->GetFolderItems(a.name());
        if (items.isEmpty())
            throw;
    }
    std::stable_sort(items.begin(), items.end(), [](const FolderItem& x, const FolderItem& y) {
        if ((x.Kind == FolderItem::Folder) != (y.Kind == FolderItem::Folder))
            return x.Kind == FolderItem::Folder;
        return x.Name < y.Name;
    });
    for (const FolderItem& item : items) {
        const QChar kind = item.Kind == FolderItem::Folder ? u'd' : item.Kind == FolderItem::Link ? u'l' : u'-';
        QString line = kind + QStringLiteral(" %1  %2  %3")
                                  .arg(item.Size, 12)
                                  .arg(item.Date.isValid() ? item.Date.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"))
                                                           : QStringLiteral("-"),
                                       ConsoleOutput::printable(item.Name));
        if (!item.LinkTarget.isEmpty())
            line += QStringLiteral(" -> ") + ConsoleOutput::printable(item.LinkTarget);
        out_.answer(line);
    }
    return 0;
}

int FtpCommand::get()
{
    const FtpAddress& a = options_.address;
    QString local = options_.local.isEmpty() ? QDir::currentPath() : options_.local;
    if (QFileInfo(local).isDir()) {
        // Saved under the server's name, which must stay a name in that folder.
        if (const QString why = listing::unsafeNameReason(a.name()); !why.isEmpty()) {
            fail(a.shown(), QStringLiteral("the file's name cannot be a local name (%1); give the local file name").arg(why));
            return 1;
        }
        local = MirrorTree::join(local, a.name());
    }
    if (!connect())
        return 1;
    TransferRun run(SessionLogin::of(*ftp_), options_.parallel, out_);
    TransferItem file;
    file.localPath = QFileInfo(local).absoluteFilePath();
    file.remotePath = remote_;
    file.resume = options_.resume;
    file.replace = !options_.resume;
    run.add(file);
    return transfer(run, 0, 0);
}

int FtpCommand::put()
{
    const QFileInfo source(options_.local);
    if (!source.isFile()) {
        fail(options_.local, source.exists() ? QStringLiteral("not a regular file") : QStringLiteral("no such file"));
        return 1;
    }
    if (!connect())
        return 1;
    TransferRun run(SessionLogin::of(*ftp_), options_.parallel, out_);
    TransferItem file;
    file.direction = TransferItem::Direction::Upload;
    file.localPath = source.absoluteFilePath();
    file.remotePath = options_.address.namesFolder ? MirrorTree::join(remote_, source.fileName()) : remote_;
    file.size = source.size();
    file.resume = options_.resume;
    file.replace = !options_.resume;
    run.add(file);
    return transfer(run, 0, 0);
}

int FtpCommand::mirrorDown()
{
    const QString localRoot = QFileInfo(options_.local).absoluteFilePath();
    if (!connect())
        return 1;
    if (!QDir().mkpath(localRoot) || !QFileInfo(localRoot).isDir()) {
        fail(localRoot, QStringLiteral("the local folder cannot be made"));
        return 1;
    }
    const QString root = remote_;
    const MirrorTree source = MirrorTree::remote(*ftp_, root, out_, true);
    MirrorTree target = MirrorTree::local(localRoot, out_, false);
    if (!source.complete)
        ++failures_;

    const int removed = removeExtra(source, target, localRoot, [this](const QString& path, bool folder) {
        if (folder ? QDir(path).removeRecursively() : QFile::remove(path))
            return true;
        fail(path, QStringLiteral("could not be removed"));
        return false;
    });

    QSet<QString> blocked;
    TransferRun run(SessionLogin::of(*ftp_), options_.parallel, out_);
    int unchanged = 0;
    for (auto s = source.entries.cbegin(); s != source.entries.cend(); ++s) {
        const QString& relative = s.key();
        if (MirrorTree::liesIn(blocked, relative))
            continue;
        const QString path = MirrorTree::join(localRoot, relative);
        if (target.isLeftOut(relative)) {
            fail(path, QStringLiteral("a link or special file is in the way; it is left alone"));
            blocked.insert(relative);
            continue;
        }
        const auto t = target.entries.constFind(relative);
        if (t != target.entries.cend() && t->folder != s->folder) {
            fail(path, QStringLiteral("the server has a %1 of that name (--delete replaces it)")
                           .arg(s->folder ? QStringLiteral("folder") : QStringLiteral("file")));
            blocked.insert(relative);
            continue;
        }
        if (s->folder) {
            if (t == target.entries.cend() && !QDir().mkdir(path)) {
                fail(path, QStringLiteral("the local folder cannot be made"));
                blocked.insert(relative);
            }
            continue;
        }
        if (t != target.entries.cend() && MirrorTree::same(*s, *t)) {
            ++unchanged;
            continue;
        }
        // What the listing said spares the transfer a SIZE and an MDTM; what differs is replaced.
        // A listing that gives the time to the minute (LIST) only gives the copy that time, as
        // lftp does: it compares equal at the listing's precision, so the next run moves nothing,
        // and no MDTM is spent per file.
        TransferItem file;
        file.localPath = path;
        file.remotePath = MirrorTree::join(root, relative);
        file.size = s->size;
        file.remoteListed = s->size >= 0;
        file.remoteSize = s->size;
        file.remoteTime = s->time;
        file.replace = true;
        run.add(file);
    }
    return transfer(run, unchanged, removed);
}

int FtpCommand::mirrorUp()
{
    const QString localRoot = QFileInfo(options_.local).absoluteFilePath();
    if (!QFileInfo(localRoot).isDir()) {
        fail(localRoot, QStringLiteral("no such local folder"));
        return 1;
    }
    if (!connect())
        return 1;
    const QString root = remote_;
    bool exists = true;
    try {
        ftp_->ChangeFolder(root);
    } catch (const FtpError& e) {
        if (e.Number() != ftpErrServerRefused)
            throw;
        exists = false;
        makeRemoteFolders(root);
    }
    const MirrorTree source = MirrorTree::local(localRoot, out_, true);
    MirrorTree target = exists ? MirrorTree::remote(*ftp_, root, out_, false) : MirrorTree();
    if (!source.complete)
        ++failures_;
    // A server that cannot take a file's time gives an upload the time it arrived.
    const bool notOlder = !serverKeepsTimes();

    const int removed = removeExtra(source, target, root, [this](const QString& path, bool folder) {
        try {
            // Backwards, so a folder's entries are gone before it.
            if (folder)
                ftp_->RemoveFolder(path);
            else
                ftp_->DeleteFile(path);
            return true;
        } catch (const FtpError& e) {
            if (e.Number() != ftpErrServerRefused)
                throw;
            fail(path, e.Description());
            return false;
        }
    });

    QSet<QString> blocked;
    TransferRun run(SessionLogin::of(*ftp_), options_.parallel, out_);
    int unchanged = 0;
    for (auto s = source.entries.cbegin(); s != source.entries.cend(); ++s) {
        const QString& relative = s.key();
        if (MirrorTree::liesIn(blocked, relative))
            continue;
        const QString path = MirrorTree::join(root, relative);
        const auto t = target.entries.constFind(relative);
        if (target.isLeftOut(relative) || (t != target.entries.cend() && t->folder != s->folder)) {
            fail(path, QStringLiteral("the server has something else of that name (--delete replaces it)"));
            blocked.insert(relative);
            continue;
        }
        if (s->folder) {
            if (t == target.entries.cend()) {
                try {
                    ftp_->CreateFolder(path);
                } catch (const FtpError& e) {
                    if (e.Number() != ftpErrServerRefused)
                        throw;
                    fail(path, e.Description());
                    blocked.insert(relative);
                }
            }
            continue;
        }
        if (t != target.entries.cend() && MirrorTree::same(*s, *t, notOlder)) {
            ++unchanged;
            continue;
        }
        TransferItem file;
        file.direction = TransferItem::Direction::Upload;
        file.localPath = MirrorTree::join(localRoot, relative);
        file.remotePath = path;
        file.size = s->size;
        file.remoteListed = true;
        file.remoteSize = t != target.entries.cend() ? t->size : -1;
        file.replace = true;
        run.add(file);
    }
    return transfer(run, unchanged, removed);
}

int FtpCommand::removeExtra(const MirrorTree& source, MirrorTree& target, const QString& root,
                            const std::function<bool(const QString&, bool)>& remove)
{
    if (!options_.deleteExtra)
        return 0;
    int removed = 0;
    // Backwards: what a folder holds comes after it.
    for (auto t = target.entries.end(); t != target.entries.begin();) {
        --t;
        const auto s = source.entries.constFind(t.key());
        if (s != source.entries.cend() && s->folder == t->folder)
            continue;
        const QString path = MirrorTree::join(root, t.key());
        if (!remove(path, t->folder))
            continue;
        out_.info(QStringLiteral("Removed ") + path);
        ++removed;
        t = target.entries.erase(t);
    }
    return removed;
}

void FtpCommand::makeRemoteFolders(const QString& path)
{
    QString made;
    for (const QString& part : path.split(u'/', Qt::SkipEmptyParts)) {
        made += u'/' + part;
        try {
            ftp_->ChangeFolder(made);
        } catch (const FtpError& e) {
            if (e.Number() != ftpErrServerRefused)
                throw;
            ftp_->CreateFolder(made);
        }
    }
}

bool FtpCommand::serverKeepsTimes()
{
    auto* ftp = qobject_cast<FtpComponent*>(ftp_.get());
    if (!ftp)
        return true;  // SFTP sets a file's times
    FtpReply reply;
    try {
        reply = ftp->SendCommand(QStringLiteral("FEAT"));
    } catch (const FtpError& e) {
        if (e.Number() != ftpErrServerRefused)
            throw;
        return false;
    }
    for (const QString& line : reply.lines) {
        const QString feature = line.trimmed().toUpper();
        if (feature == QLatin1String("MFMT") || (feature.startsWith(QLatin1String("SITE")) && feature.contains(QLatin1String("UTIME"))))
            return true;
    }
    return false;
}

int FtpCommand::transfer(TransferRun& run, int unchanged, int removed)
{
    if (run.size() > 0)
        run.run();
    failures_ += run.failures();
    if (options_.verb == TessalyOptions::Verb::Mirror) {
        QString summary = QStringLiteral("%1 of %2 files moved (%3), %4 unchanged")
                              .arg(run.size() - run.failures())
                              .arg(run.size())
                              .arg(sizeText(run.bytesMoved()))
                              .arg(unchanged);
        if (options_.deleteExtra)
            summary += QStringLiteral(", %1 removed").arg(removed);
        out_.info(summary + u'.');
    }
    return failures_ == 0 ? 0 : 1;
}

}  // namespace harbel::tessaly
