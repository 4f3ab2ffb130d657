#include "ftpclient/component/FolderTransfer.h"

#include "ftpclient/component/FtpComponent.h"
#include "ftpclient/component/LocalFile.h"
#include "ftpclient/component/TreeWalk.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

namespace harbel::tessaly {

void FolderTransfer::skip(const QString& localName, const QString& remoteName, qint64 reason, const QString& why)
{
    emit ftp_.LogLine(why);
    emit ftp_.FileSkipped(localName, remoteName, reason);
}

void FolderTransfer::receive(const QString& localFolder, const QString& mask, bool recurse)
{
    TreeWalk::Rules rules;
    rules.recurse = recurse;
    rules.mask = mask;
    rules.sameListingIsLoop = true;
    TreeWalk::Hooks hooks;
    hooks.list = [this](TreeWalk::Folder& folder) -> std::optional<QList<TreeWalk::Entry>> {
        folder.remote = ftp_.CurrentFolder();
        emit ftp_.ScanningFolder(folder.remote);
        QList<TreeWalk::Entry> entries;
        for (const FolderItem& item : ftp_.GetFolderItems(QString()))
            entries.append(TreeWalk::remoteEntry(item));
        return entries;
    };
    hooks.skipped = [this](const TreeWalk::Folder&, const TreeWalk::Entry& entry, TreeWalk::Skip, const QString& reason) {
        skip(QString(), entry.name, ftpSkipUnsafeName,
             QStringLiteral("Skipped the listed name '%1': %2.")
                 .arg(QString(entry.name).replace(QRegularExpression(QStringLiteral("[\\x00-\\x1f\\x7f]")), QStringLiteral("?")), reason));
    };
    const bool mlsd = ftp_.offersMlsd() && ftp_.ListingOption == 1;
    hooks.file = [this, mlsd](const TreeWalk::Folder& in, const TreeWalk::Entry& file) {
        const QString target = in.local + QLatin1Char('/') + file.name;
        try {
            // A file's listed size and exact (MLSD) time spare the server a SIZE and an MDTM.
            FtpComponent::Listed listed;
            if (file.kind == TreeWalk::Kind::File) {
                listed.size = file.size;
                if (mlsd)
                    listed.time = file.date;
            }
            ftp_.receive(file.name, 0, target, listed);
        } catch (const FtpError& e) {
            // A link to a folder cannot be retrieved as a file; everything else ends the batch.
            if (file.kind != TreeWalk::Kind::Link || e.Number() != ftpErrServerRefused)
                throw;
            skip(target, file.name, ftpSkipLocalLink, QStringLiteral("Skipped the link %1: %2").arg(file.name, e.Description()));
        }
    };
    hooks.tooDeep = [this](const TreeWalk::Folder& in, const QList<TreeWalk::Entry>&) {
        emit ftp_.LogLine(QStringLiteral("Folders nested deeper than %1 levels are not received: %2").arg(TreeWalk::kMaxDepth).arg(in.remote));
    };
    hooks.loop = [this](const TreeWalk::Folder& folder) {
        emit ftp_.LogLine(QStringLiteral("Skipped the folder %1: it lists the same entries as a folder it lies in, so it is taken for a link back to it.")
                              .arg(folder.remote));
    };
    hooks.enter = [this](const TreeWalk::Folder& in, const TreeWalk::Entry& folder, TreeWalk::Folder& into) {
        const QString sub = in.local + QLatin1Char('/') + folder.name;
        if (LocalFile::isLink(sub)) {
            skip(sub, folder.name, ftpSkipLocalLink, QStringLiteral("Skipped the folder %1: the local %2 is a symbolic link.").arg(folder.name, sub));
            return TreeWalk::Step::Pass;
        }
        into.local = sub;
        into.made = !QFileInfo(sub).isDir();
        if (into.made && !QDir().mkdir(sub))
            throw FtpError(ftpErrLocalFile, QStringLiteral("Could not create the local folder %1.").arg(sub));
        ftp_.ChangeFolder(folder.name);
        return TreeWalk::Step::Enter;
    };
    hooks.leave = [this](const TreeWalk::Folder& in, const TreeWalk::Entry&, const TreeWalk::Folder& left, TreeWalk::Outcome outcome) {
        // A folder taken for a link back up leaves nothing behind.
        if (outcome == TreeWalk::Outcome::Loop && left.made)
            QDir().rmdir(left.local);
        ftp_.ChangeFolder(in.remote);
        return true;
    };
    TreeWalk::Folder root;
    // Names are joined with "/": a folder given with its final one would show "tree//name".
    root.local = localFolder.size() > 1 && localFolder.endsWith(QLatin1Char('/')) ? localFolder.chopped(1) : localFolder;
    TreeWalk(rules, hooks).walk(root);
}

void FolderTransfer::send(const QString& localFolder, const QString& mask, bool recurse, bool madeFolder)
{
    TreeWalk::Rules rules;
    rules.recurse = recurse;
    rules.mask = mask;
    TreeWalk::Hooks hooks;
    // What each remote folder held before the walk: the files about to be replaced are asked about.
    QHash<QString, QList<FolderItem>> remoteEntries;
    hooks.list = [this, &remoteEntries](TreeWalk::Folder& folder) -> std::optional<QList<TreeWalk::Entry>> {
        emit ftp_.ScanningFolder(folder.local);
        folder.remote = ftp_.CurrentFolder();
        // A folder just made holds nothing: it needs no listing.
        remoteEntries.insert(folder.remote, folder.made ? QList<FolderItem>() : ftp_.GetFolderItems(QString()));
        return TreeWalk::localEntries(folder.local);
    };
    hooks.skipped = [this](const TreeWalk::Folder&, const TreeWalk::Entry& entry, TreeWalk::Skip why, const QString& reason) {
        switch (why) {
        case TreeWalk::Skip::UnsafeName:
            return skip(entry.path, QString(), ftpSkipUnsafeName, QStringLiteral("Skipped the local name '%1': %2.").arg(entry.name, reason));
        case TreeWalk::Skip::FolderLink:
            return skip(entry.path, QString(), ftpSkipLocalLink, QStringLiteral("Skipped the folder %1: it is a symbolic link.").arg(entry.path));
        case TreeWalk::Skip::NotRegular:
            return skip(entry.path, QString(), ftpSkipNotRegular, QStringLiteral("Skipped %1: it is not a regular file.").arg(entry.path));
        }
    };
    hooks.file = [this, &remoteEntries](const TreeWalk::Folder& in, const TreeWalk::Entry& file) {
        if (!ftp_.SendFileAsking(file.path, file.name, remoteEntries.value(in.remote)))
            skip(file.path, file.name, ftpSkipNotReplaced, QStringLiteral("Kept the remote file %1.").arg(file.name));
    };
    hooks.tooDeep = [this](const TreeWalk::Folder& in, const QList<TreeWalk::Entry>&) {
        emit ftp_.LogLine(QStringLiteral("Folders nested deeper than %1 levels are not sent: %2").arg(TreeWalk::kMaxDepth).arg(in.local));
    };
    hooks.enter = [this](const TreeWalk::Folder& in, const TreeWalk::Entry& folder, TreeWalk::Folder& into) {
        try {
            ftp_.ChangeFolder(folder.name);
        } catch (const FtpError& e) {
            if (e.Number() != ftpErrServerRefused)
                throw;
            ftp_.CreateFolder(folder.name);
            ftp_.ChangeFolder(folder.name);
            into.made = true;
        }
        into.local = in.local + QLatin1Char('/') + folder.name;
        return TreeWalk::Step::Enter;
    };
    hooks.leave = [this](const TreeWalk::Folder& in, const TreeWalk::Entry&, const TreeWalk::Folder&, TreeWalk::Outcome) {
        ftp_.ChangeFolder(in.remote);
        return true;
    };
    TreeWalk::Folder root;
    root.local = localFolder;
    root.made = madeFolder;
    TreeWalk(rules, hooks).walk(root);
}

}  // namespace harbel::tessaly
