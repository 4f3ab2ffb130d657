// Uploads from the local pane into the current remote folder: files with the clash question,
// folders as trees, and the transfer mode chosen by extension in auto mode.

#include "ftpclient/window/UploadCommands.h"

#include "common/prompts/Prompts.h"
#include "ftpclient/component/TreeWalk.h"
#include "ftpclient/config/ClientSettings.h"
#include "ftpclient/window/TessalyMain.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <optional>

namespace harbel::tessaly {

void UploadCommands::applyAutoMode(const QString& fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot >= 0 ? fileName.mid(dot + 1).toLower() : QString();
    // The list's entries are compared as they are stored: one written in capitals never matches.
    main_.xFtp.TransferMode = !extension.isEmpty() && main_.autoTypes.contains(extension) ? 1 : 0;
}

void UploadCommands::UploadSelection()
{
    const frmMain::Operation op(main_);
    if (op.refused())
        return;
    if (main_.xFtp.State() == FtpComponent::NotConnected) {
        main_.StatusBarInfo(QStringLiteral("Cannot upload file(s) when not connected."));
        return;
    }
    main_.checkAll = false;
    main_.setMousePointer(frmMain::kHourglass);
    main_.SetBusyState(true);
    bool complete = true;
    QString outcome;
    try {
        // Into the folder the remote list shows: the clash questions look at its entries.
        if (!main_.ServerToListedFolder())
            throw FtpError(ftpErrProtocol, QStringLiteral("Could not enter the listed remote folder ") + main_.sRemotePath);
        // Names and kinds first: the local list may change while the files go.
        QList<std::pair<QString, int>> rows;
        std::optional<QList<FolderItem>> entries;
        for (ListRow* r : main_.lstLocalFileList.selectedRows())
            rows.append({r->Text(), r->SmallIcon()});
        for (const auto& [name, icon] : rows) {
            const QString reason = listing::unsafeNameReason(name);
            if (!reason.isEmpty()) {
                main_.DisplayMessage(QStringLiteral("Refused to upload '%1': %2.").arg(name, reason));
                continue;
            }
            const QString path = main_.sLocalPath + name;
            if (icon == 2) {
                const bool sub = Prompts::instance().MsgBox(QStringLiteral("Do you want to send any subfolders that are contained in the '")
                                                                + path + QStringLiteral("' folder?"),
                                                            MsgButtons::YesNo, MsgIcon::Question, kConfirm) == MsgAnswer::Yes;
                if (sub && main_.bAutoMode) {
                    // The tree is sent from inside it; the rest of the selection goes where it began.
                    const QString start = main_.xFtp.CurrentFolder();
                    UploadFolderTree(path);
                    if (!main_.ChangeCurrentRemoteFolder(start, true))
                        throw FtpError(ftpErrServerRefused, QStringLiteral("Could not go back to the remote folder ") + start);
                } else {
                    main_.xFtp.SendFiles(path + QStringLiteral("/*"), main_.listedPath(name), true, sub);
                }
                continue;
            }
            if (main_.bAutoMode)
                applyAutoMode(name);
            // One listing of the folder for the whole selection: the names sent meanwhile are the
            // selection's own, so what it held before is all the clash question needs.
            if (!entries)
                entries = main_.xFtp.GetFolderItems(QString(), 0);
            if (!main_.xFtp.SendFileAsking(path, main_.listedPath(name), *entries))
                main_.DisplayMessage(QStringLiteral("Skipped sending file: ") + name);
        }
    } catch (const FtpError& e) {
        complete = false;
        if (e.Number() == ftpErrAborted) {
            main_.DisplayMessage(QStringLiteral("Upload successfully aborted."));
            outcome = QStringLiteral("Upload aborted.");
        } else {
            main_.DisplayMessage(QStringLiteral("Error while uploading file(s). Description: ") + e.Description());
            outcome = QStringLiteral("Error while uploading file(s).");
        }
    }
    main_.ResetProgress();
    main_.setMousePointer(0);
    main_.SetBusyState(false);
    // The list first: its own status would hide how the upload ended.
    if (main_.xFtp.State() == FtpComponent::Idle)
        main_.RefreshRemoteList();
    if (complete)
        main_.UpdateAction(QStringLiteral("Upload complete"));
    else
        main_.StatusBarInfo(outcome);
}

void UploadCommands::UploadFolderTree(const QString& path)
{
    QString top = path;
    if (!top.endsWith(QLatin1Char('/')))
        top += QLatin1Char('/');
    const QString name = top.section(QLatin1Char('/'), -2, -2);
    // A folder reached once the session is no longer idle is neither made nor entered, and nothing
    // in it is sent.
    bool notIdle = false;
    // What each remote folder held when entered: the files about to be replaced are asked about.
    QHash<QString, QList<FolderItem>> remoteEntries;
    TreeWalk::Hooks hooks;
    hooks.enter = [this, &notIdle, &remoteEntries](const TreeWalk::Folder& in, const TreeWalk::Entry& folder, TreeWalk::Folder& into) {
        into.local = in.local + folder.name + QLatin1Char('/');
        notIdle = main_.xFtp.State() != FtpComponent::Idle;
        if (notIdle)
            return TreeWalk::Step::Enter;
        // The folder it lies in was listed when entered; only the tree's own parent is listed here.
        const auto held = remoteEntries.constFind(in.local);
        const QList<FolderItem> siblings = held != remoteEntries.cend() ? *held : main_.xFtp.GetFolderItems(QString(), 0);
        bool there = false;
        for (const FolderItem& item : siblings)
            there = there || item.Name.toLower() == folder.name.toLower();
        // A folder just made holds nothing: it needs no listing of its own.
        if (!there) {
            main_.xFtp.CreateFolder(folder.name);
            remoteEntries.insert(into.local, {});
        }
        // Sending into another folder than the one asked for would scatter the tree: stop instead.
        if (!main_.ChangeCurrentRemoteFolder(folder.name, true))
            throw FtpError(ftpErrServerRefused, QStringLiteral("Could not enter the remote folder ") + folder.name);
        return TreeWalk::Step::Enter;
    };
    hooks.list = [this, &notIdle, &remoteEntries](TreeWalk::Folder& folder) -> std::optional<QList<TreeWalk::Entry>> {
        if (std::exchange(notIdle, false))
            return QList<TreeWalk::Entry>();
        if (!remoteEntries.contains(folder.local))
            remoteEntries.insert(folder.local, main_.xFtp.GetFolderItems(QString(), 0));
        return TreeWalk::localEntries(folder.local);
    };
    hooks.skipped = [this](const TreeWalk::Folder&, const TreeWalk::Entry& entry, TreeWalk::Skip why, const QString& reason) {
        switch (why) {
        case TreeWalk::Skip::UnsafeName:
            return main_.DisplayMessage(QStringLiteral("Refused to upload '%1': %2.").arg(entry.name, reason));
        case TreeWalk::Skip::FolderLink:
            return main_.DisplayMessage(QStringLiteral("Skipped the folder %1: it is a symbolic link.").arg(entry.path));
        case TreeWalk::Skip::NotRegular:
            return main_.DisplayMessage(QStringLiteral("Skipped %1: it is not a regular file.").arg(entry.path));
        }
    };
    hooks.file = [this, &remoteEntries](const TreeWalk::Folder& in, const TreeWalk::Entry& file) {
        if (main_.optAuto.Value())
            applyAutoMode(file.name);
        if (!main_.xFtp.SendFileAsking(in.local + file.name, file.name, remoteEntries.value(in.local)))
            main_.DisplayMessage(QStringLiteral("Skipped sending file: ") + file.name);
    };
    hooks.tooDeep = [this](const TreeWalk::Folder& in, const QList<TreeWalk::Entry>&) {
        main_.DisplayMessage(QStringLiteral("Folders nested deeper than %1 levels are not sent: %2").arg(TreeWalk::kMaxDepth).arg(in.local));
    };
    // Back up after each sub-folder; the walk ends in the remote folder of the tree itself.
    hooks.leave = [this](const TreeWalk::Folder&, const TreeWalk::Entry&, const TreeWalk::Folder& left, TreeWalk::Outcome) {
        if (left.depth > 0) {
            main_.xFtp.ChangeToParent();
            main_.sRemotePath = main_.GetRemoteFolder();
        }
        return true;
    };
    TreeWalk::Folder parent;
    parent.local = top.left(top.size() - name.size() - 1);
    TreeWalk::Entry folder;
    folder.name = name;
    folder.kind = TreeWalk::Kind::Folder;
    folder.path = top;
    TreeWalk({}, hooks).walkInto(parent, folder);
}

void UploadCommands::UploadOneFile(const QString& filePath)
{
    const QString name = QFileInfo(filePath).fileName();
    if (main_.optAuto.Value())
        applyAutoMode(name);
    main_.xFtp.SendFile(filePath, 0, name, false);
}

}  // namespace harbel::tessaly
