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
        notIdle = main_.remoteSession().State() != FtpComponent::Idle;
        if (notIdle)
            return TreeWalk::Step::Enter;
        // The folder it lies in was listed when entered; only the tree's own parent is listed here.
        const auto held = remoteEntries.constFind(in.local);
        const QList<FolderItem> siblings = held != remoteEntries.cend() ? *held : main_.remoteSession().GetFolderItems(QString(), 0);
        bool there = false;
        for (const FolderItem& item : siblings)
            there = there || item.Name.toLower() == folder.name.toLower();
        // A folder just made holds nothing: it needs no listing of its own.
        if (!there) {
            main_.remoteSession().CreateFolder(folder.name);
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
            remoteEntries.insert(folder.local, main_.remoteSession().GetFolderItems(QString(), 0));
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
        if (!main_.remoteSession().SendFileAsking(in.local + file.name, file.name, remoteEntries.value(in.local)))
            main_.DisplayMessage(QStringLiteral("Skipped sending file: ") + file.name);
    };
    hooks.tooDeep = [this](const TreeWalk::Folder& in, const QList<TreeWalk::Entry>&) {
        main_.DisplayMessage(QStringLiteral("Folders nested deeper than %1 levels are not sent: %2").arg(TreeWalk::kMaxDepth).arg(in.local));
    };
    // Back up after each sub-folder; the walk ends in the remote folder of the tree itself.
    hooks.leave = [this](const TreeWalk::Folder&, const TreeWalk::Entry&, const TreeWalk::Folder& left, TreeWalk::Outcome) {
        if (left.depth > 0) {
            main_.changeToParent();
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
    main_.remoteSession().SendFile(filePath, 0, name, false);
}

}  // namespace harbel::tessaly
