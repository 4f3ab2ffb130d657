#include "ftpclient/window/TransferCommands.h"

#include "common/prompts/Prompts.h"
#include "common/support/VbText.h"
#include "ftpclient/component/SessionLogin.h"
#include "ftpclient/config/ClientSettings.h"
#include "ftpclient/window/CertificateQuestion.h"
#include "ftpclient/window/ConnectionLog.h"
#include "ftpclient/window/TessalyExist.h"
#include "ftpclient/window/TessalyMain.h"

#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <optional>

namespace harbel::tessaly {

namespace {

// The path without a final "/" (the root stays "/").
QString folderOf(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

bool within(const QString& path, const QString& folder)
{
    return !folder.isEmpty() && (folder == QLatin1String("/") ? path.startsWith(folder) : path.startsWith(folder + QLatin1Char('/')));
}

}  // namespace

TransferCommands::TransferCommands(frmMain& main) : store(TransferQueueStore::defaultPath()), main_(main)
{
    store.track(&queue);
    applyOptions();
    QObject::connect(&queue, &TransferQueue::fileExists, &queue, [this](const FileClash& clash, int& answer) { answer = ask(clash); });
    QObject::connect(&queue, &TransferQueue::certificateQuery, &queue,
                     [](const CertificateInfo& info, int& answer) { answer = askAboutCertificate(info); });
    QObject::connect(&queue, &TransferQueue::logLine, &queue, [this](int connection, const QString& text) {
        main_.DisplayMessage(ConnectionLog::connectionLine(connection, text));
    });
    QObject::connect(&queue, &TransferQueue::itemChanged, &queue, [this](int id) { itemChanged(id); });
    QObject::connect(&queue, &TransferQueue::finished, &queue, [this] { finished(); });
    QObject::connect(&panel, &QueuePanel::updated, &queue, [this] { showProgress(); });
}

TransferCommands::~TransferCommands()
{
    queue.disconnect();
    panel.disconnect();
}

void TransferCommands::applyOptions()
{
    queue.setParallel(transferConnections());
}

void TransferCommands::unload()
{
    // From here on the file keeps what is unfinished now, whatever leaving does to the queue.
    store.flush();
    store.track(nullptr);
}

QString TransferCommands::remoteFolder() const
{
    return folderOf(main_.sRemotePath);
}

int TransferCommands::ask(const FileClash& clash)
{
    if (!checkAll_) {
        frmExist question;
        question.describe(clash);
        Prompts::instance().ShowModal(question);
        allAnswer_ = question.eResumeFile;
        checkAll_ = question.chkAll.Value() == 1;
    }
    return allAnswer_;
}

bool TransferCommands::settleClash(TransferItem& item, const FileClash& clash, bool& skip)
{
    skip = false;
    switch (ask(clash)) {
    case FileClash::Overwrite:
        item.replace = true;
        return true;
    case FileClash::Resume:
        item.resume = true;
        return true;
    case FileClash::Skip:
        skip = true;
        return true;
    default:
        return false;
    }
}

void TransferCommands::sessionOpened()
{
    refreshLogin();
    const SessionLogin& login = queue.login();
    const TransferQueueStore::Site site = TransferQueueStore::Site::of(login);
    qsizetype kept = 0;
    for (const TransferQueueStore::Saved& saved : store.kept())
        if (saved.site == site)
            kept += saved.items.size();
    if (kept == 0)
        return;
    const QString text = QStringLiteral("%1 transfer(s) to or from %2 were not finished when Tessaly last ended. Resume them now?\n\n"
                                         "(No keeps them for the next time you connect.)")
                             .arg(kept)
                             .arg(login.host);
    if (Prompts::instance().MsgBox(text, MsgButtons::YesNo, MsgIcon::Question, kQuery) != MsgAnswer::Yes)
        return;
    checkAll_ = false;
    queue.add(store.take(login));
    main_.StatusBarInfo(QStringLiteral("%1 unfinished transfer(s) resumed.").arg(kept));
}

void TransferCommands::uploadSelection()
{
    const frmMain::Operation op(main_);
    if (op.refused())
        return;
    if (main_.remoteSession().State() == FtpComponent::NotConnected) {
        main_.StatusBarInfo(QStringLiteral("Cannot upload file(s) when not connected."));
        return;
    }
    checkAll_ = false;
    QList<TransferItem> items;
    bool cancelled = false;
    try {
        // The clash questions look at the folder the remote list shows, listed once for them all.
        if (!main_.ServerToListedFolder())
            throw FtpError(ftpErrProtocol, QStringLiteral("Could not enter the listed remote folder ") + main_.sRemotePath);
        QList<std::pair<QString, int>> rows;
        for (ListRow* r : main_.lstLocalFileList.selectedRows())
            rows.append({r->Text(), r->SmallIcon()});
        std::optional<QList<FolderItem>> entries;
        const bool mlsd = main_.remoteSession().listsSeconds() || (main_.xFtp.offersMlsd() && main_.xFtp.ListingOption == 1);
        for (const auto& [name, icon] : rows) {
            const QString reason = listing::unsafeNameReason(name);
            if (!reason.isEmpty()) {
                main_.DisplayMessage(QStringLiteral("Refused to upload '%1': %2.").arg(name, reason));
                continue;
            }
            TransferItem item;
            item.direction = TransferItem::Direction::Upload;
            item.localPath = main_.sLocalPath + name;
            item.remotePath = main_.listedPath(name);
            if (icon == 2) {
                item.folder = true;
                item.recurse = Prompts::instance().MsgBox(QStringLiteral("Do you want to send any subfolders that are contained in the '")
                                                              + item.localPath + QStringLiteral("' folder?"),
                                                          MsgButtons::YesNo, MsgIcon::Question, kConfirm) == MsgAnswer::Yes;
                items.append(item);
                continue;
            }
            if (!entries)
                entries = main_.remoteSession().GetFolderItems(QString(), 0);
            const QFileInfo local(item.localPath);
            item.size = local.size();
            item.remoteListed = true;
            for (const FolderItem& there : std::as_const(*entries)) {
                if (there.Name != name || there.Kind == FolderItem::Folder)
                    continue;
                item.remoteSize = there.Size;
                if (mlsd)
                    item.remoteTime = there.Date;
                const bool sameTime = listing::compareTimes(there.Date, local.lastModified(), listing::listedPrecision(there, mlsd)) == 0;
                if (there.Size == local.size() && sameTime)
                    break;  // the same file: sent again without a question, as before
                FileClash clash;
                clash.upload = true;
                clash.localPath = item.localPath;
                clash.remoteName = item.remotePath;
                clash.localSize = local.size();
                clash.localTime = local.lastModified();
                clash.remoteSize = there.Size;
                clash.remoteTime = there.Date;
                bool skip = false;
                if (!settleClash(item, clash, skip))
                    cancelled = true;
                else if (skip)
                    main_.DisplayMessage(QStringLiteral("Skipped sending file: ") + name);
                if (skip || cancelled)
                    item.id = -1;
                break;
            }
            if (cancelled)
                break;
            if (item.id == 0)
                items.append(item);
        }
    } catch (const FtpError& e) {
        main_.DisplayMessage(QStringLiteral("Error while uploading file(s). Description: ") + e.Description());
        main_.StatusBarInfo(QStringLiteral("Error while uploading file(s)."));
        return;
    }
    if (cancelled) {
        main_.DisplayMessage(QStringLiteral("Upload successfully aborted."));
        main_.StatusBarInfo(QStringLiteral("Upload aborted."));
        return;
    }
    if (items.isEmpty()) {
        main_.UpdateAction(QStringLiteral("Upload complete"));
        return;
    }
    refreshLogin();
    queue.add(items);
    main_.StatusBarInfo(QStringLiteral("%1 upload(s) queued.").arg(items.size()));
}

void TransferCommands::downloadSelection()
{
    const frmMain::Operation op(main_);
    if (op.refused())
        return;
    checkAll_ = false;
    QList<TransferItem> items;
    bool cancelled = false;
    try {
        QList<std::pair<QString, int>> rows;
        for (ListRow* r : main_.lstRemoteFileList.selectedRows())
            rows.append({r->Text(), r->SmallIcon()});
        const bool mlsd = main_.remoteSession().listsSeconds() || (main_.xFtp.offersMlsd() && main_.xFtp.ListingOption == 1);
        for (const auto& [text, icon] : rows) {
            const QString reason = listing::unsafeNameReason(text);
            if (!reason.isEmpty()) {
                main_.DisplayMessage(QStringLiteral("Refused to download '%1': %2.").arg(text, reason));
                continue;
            }
            TransferItem item;
            item.localPath = main_.sLocalPath + text;
            item.remotePath = main_.listedPath(text);
            if (icon == 2) {
                // A folder that is there already is received into: each file in it is asked about.
                const QFileInfo there(item.localPath);
                if (there.isSymLink() || (there.exists() && !there.isDir()))
                    throw FtpError(ftpErrLocalFile, QStringLiteral("Cannot create the local folder ") + item.localPath + QLatin1Char('/'));
                item.folder = true;
                item.recurse = Prompts::instance().MsgBox(QStringLiteral("Do you want to receive any subfolders that are contained in the '")
                                                              + text + QStringLiteral("' folder?"),
                                                          MsgButtons::YesNo, MsgIcon::Question, kConfirm) == MsgAnswer::Yes;
                items.append(item);
                continue;
            }
            // A file's listed size and exact time spare the server a SIZE and an MDTM; a link's
            // size is the link's own.
            const FolderItem* listed = main_.remote_.listedItem(text);
            if (listed && listed->Kind == FolderItem::File) {
                item.remoteListed = true;
                item.size = item.remoteSize = listed->Size;
                if (mlsd)
                    item.remoteTime = listed->Date;
            }
            const QFileInfo local(item.localPath);
            if (local.exists()) {
                FileClash clash;
                clash.localPath = item.localPath;
                clash.remoteName = item.remotePath;
                clash.localSize = local.size();
                clash.localTime = local.lastModified();
                clash.remoteSize = listed ? listed->Size : -1;
                clash.remoteTime = listed ? listed->Date : QDateTime();
                bool skip = false;
                if (!settleClash(item, clash, skip)) {
                    cancelled = true;
                    break;
                }
                if (skip) {
                    main_.DisplayMessage(item.localPath + QStringLiteral(" was skipped. Reason code: 0x")
                                         + QString::number(ftpSkipNotReplaced, 16).toUpper());
                    continue;
                }
            }
            items.append(item);
        }
    } catch (const FtpError& e) {
        main_.DisplayMessage(QStringLiteral("Error while downloading file(s). Description: ") + e.Description());
        main_.StatusBarInfo(QStringLiteral("Error downloading file(s)."));
        return;
    }
    if (cancelled) {
        main_.DisplayMessage(QStringLiteral("Download successfully aborted."));
        main_.StatusBarInfo(QStringLiteral("Download aborted."));
        return;
    }
    if (items.isEmpty()) {
        main_.StatusBarInfo(QStringLiteral("File download(s) complete."));
        return;
    }
    refreshLogin();
    queue.add(items);
    main_.StatusBarInfo(QStringLiteral("%1 download(s) queued.").arg(items.size()));
}

void TransferCommands::refreshLogin()
{
    // The session's settings as they are now: the mode or passive may have changed since login.
    SessionLogin login = main_.overSftp() ? main_.xSftp.sessionLogin() : SessionLogin::from(main_.xFtp);
    if (main_.bAutoMode) {
        login.transferMode = 2;
        login.asciiTypes = main_.autoTypes;
    }
    if (login.acceptedFingerprint.isEmpty())
        login.acceptedFingerprint = queue.login().acceptedFingerprint;
    queue.setLogin(login);
}

void TransferCommands::sessionClosed()
{
    // The transfers end with the session; Retry takes them up again once it is back.
    for (const TransferItem& item : queue.items())
        if (!item.finished())
            queue.cancel(item.id);
}

void TransferCommands::itemChanged(int id)
{
    const TransferItem item = queue.item(id);
    if (item.state == TransferItem::State::Running) {
        ran_.insert(id);
        return;
    }
    if (item.state == TransferItem::State::Failed && ran_.contains(id))
        main_.DisplayMessage(QStringLiteral("Error while %1 %2. Description: %3")
                                 .arg(item.upload() ? QStringLiteral("uploading") : QStringLiteral("downloading"),
                                      item.upload() ? item.localPath : item.remotePath, item.reason));
    if (item.state != TransferItem::State::Done && item.state != TransferItem::State::Cancelled)
        return;
    // What the panes show changed: the list is listed again once the queue is done.
    if (item.upload())
        remoteTouched_ = remoteTouched_ || within(item.remotePath, remoteFolder());
    else
        localTouched_ = localTouched_ || within(item.localPath, folderOf(main_.sLocalPath));
}

void TransferCommands::finished()
{
    int uploads = 0, downloads = 0, failed = 0, cancelled = 0;
    for (int id : std::as_const(ran_)) {
        const TransferItem item = queue.item(id);
        if (item.id == 0 || item.folder)
            continue;
        (item.upload() ? uploads : downloads) += 1;
        failed += item.state == TransferItem::State::Failed;
        cancelled += item.state == TransferItem::State::Cancelled;
    }
    ran_.clear();
    // The panel shows the end at once, not at its next turn.
    panel.tmrQueue_Timer();
    main_.ResetProgress();
    main_.Tray1.setTrayToolTip(main_.sProgramTitle);
    if (main_.Tray1.IsVisible())
        main_.Tray1.Show(true);
    if (std::exchange(localTouched_, false))
        main_.RefreshLocalList();
    if (std::exchange(remoteTouched_, false))
        refreshRemoteWhenFree();
    QString outcome;
    if (uploads && !downloads) {
        if (cancelled)
            main_.DisplayMessage(QStringLiteral("Upload successfully aborted."));
        outcome = failed ? QStringLiteral("Error while uploading file(s).") : cancelled ? QStringLiteral("Upload aborted.") : QStringLiteral("Upload complete");
    } else if (downloads && !uploads) {
        if (cancelled)
            main_.DisplayMessage(QStringLiteral("Download successfully aborted."));
        outcome = failed ? QStringLiteral("Error downloading file(s).") : cancelled ? QStringLiteral("Download aborted.") : QStringLiteral("File download(s) complete.");
    } else {
        outcome = failed ? QStringLiteral("Transfers ended: %1 failed.").arg(failed) : QStringLiteral("Transfers complete.");
    }
    main_.UpdateAction(outcome);
}

void TransferCommands::refreshRemoteWhenFree()
{
    if (main_.remoteSession().State() != FtpComponent::Idle)
        return;
    // A command of the user's runs on the session: the list waits until it is over.
    if (main_.remoteSession().isRunning() || main_.operationRunning()) {
        QTimer::singleShot(200, &queue, [this] { refreshRemoteWhenFree(); });
        return;
    }
    main_.RefreshRemoteList();
}

void TransferCommands::showProgress()
{
    if (queue.isIdle())
        return;
    main_.StatusBarInfo(panel.summary());
    const qint64 total = queue.totalBytes();
    main_.prgStatus.setValue(total > 0 ? int(qBound(qint64(0), queue.bytesMoved() * 100 / total, qint64(100))) : 0);
    main_.movToolbar.SetVariable(QStringLiteral("_root.Progress_mc._xscale"), vb::numberText(main_.prgStatus.Value()));
    main_.Tray1.setTrayToolTip(main_.sProgramTitle + QStringLiteral(" - ") + panel.summary());
    if (main_.Tray1.IsVisible())
        main_.Tray1.Show(true);
}

}  // namespace harbel::tessaly
