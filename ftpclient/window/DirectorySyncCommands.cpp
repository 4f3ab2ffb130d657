// The two one-way synchronisations between the current local folder and the current remote folder:
// files only, one level deep, compared by modification time or by size.

#include "ftpclient/window/DirectorySyncCommands.h"

#include "ftpclient/config/ClientSettings.h"
#include "ftpclient/window/TessalyMain.h"

#include <QFileInfo>
#include <QHash>

namespace harbel::tessaly {

namespace {

using listing::Precision;
using listing::compareTimes;

// The modification time of a remote file, as exactly as the server tells it. A listing made with
// MLSD gives seconds in UTC. A LIST line gives at best minutes, so the server is asked with MDTM
// (seconds, UTC); when it refuses, the listing's own precision is used.
class RemoteTimes final {
public:
    explicit RemoteTimes(frmMain& main) : main_(main), mlsd_(main.remoteSession().listsSeconds() || (main.xFtp.offersMlsd() && main.xFtp.ListingOption == 1)) {}

    std::pair<QDateTime, Precision> of(const FolderItem& item)
    {
        if (mlsd_)
            return {item.Date, Precision::Second};
        if (mdtm_) {
            try {
                const FtpReply reply = main_.xFtp.SendCommand(QStringLiteral("MDTM ") + item.Name);
                QDateTime exact = QDateTime::fromString(reply.text().trimmed().left(14), QStringLiteral("yyyyMMddHHmmss"));
                if (exact.isValid()) {
                    exact.setTimeSpec(Qt::UTC);
                    return {exact, Precision::Second};
                }
            } catch (const FtpError& e) {
                if (e.Number() != ftpErrServerRefused)
                    throw;
                // "500"/"502"/"504": the server does not know the command; a "550" concerns one file.
                if (e.Description().startsWith(QLatin1String("50"))) {
                    mdtm_ = false;
                    main_.DisplayMessage(QStringLiteral("The server does not tell exact file times; times are compared as its listing shows them."));
                }
            }
        }
        return {item.Date, listing::listedPrecision(item, false)};
    }

private:
    frmMain& main_;
    const bool mlsd_;
    bool mdtm_ = true;
};

struct LocalEntry {
    QDateTime date;
    qint64 size = 0;
    int attrib = -1;
    bool isFolder() const { return attrib != -1 && (attrib & clsLocalPaths::Directory); }
};

// The entries of a local folder by exact name, enumerated as the local pane lists them.
QHash<QString, LocalEntry> localEntries(const QString& folder)
{
    QHash<QString, LocalEntry> entries;
    bool listed = false;
    clsLocalPaths paths;
    QObject::connect(&paths, &clsLocalPaths::UpdateLocalEntry, [&](const QString& name, const QDateTime& date, qint64 size, int attrib) {
        entries.insert(name, LocalEntry{date, size, attrib});
    });
    QObject::connect(&paths, &clsLocalPaths::AddToLocalPaths, [&](const QString&) { listed = true; });
    paths.RetrieveLocalFolderContents(folder);
    if (!listed)
        throw FtpError(ftpErrLocalFile, QStringLiteral("Cannot read the contents of ") + folder);
    return entries;
}

bool syncBySize()
{
    return vb::Val(setting(QStringLiteral("DIR SYNC BY FILE SIZE"), QStringLiteral("0"))) == 1;
}

}  // namespace

void DirectorySyncCommands::end()
{
    // Both sides are shown as the run left them, whether it ended or failed.
    main_.setMousePointer(0);
    main_.SetBusyState(false);
    main_.RefreshRemoteList();
    main_.RefreshLocalList();
}

void DirectorySyncCommands::mnuDirSyncDown_Click()
{
    const frmMain::Operation op(main_);
    if (op.refused())
        return;
    // One question for the whole run: it comes with "Apply To All" ticked.
    main_.existAllFirst = true;
    try {
        main_.setMousePointer(frmMain::kHourglass);
        main_.SetBusyState(true);
        main_.ResetProgress();
        const bool bySize = syncBySize();
        bool complete = true;
        try {
            main_.remoteSession().ChangeFolder(main_.sRemotePath);
            const QList<FolderItem> remote = main_.remoteSession().GetFolderItems(QString(), 0);
            const QHash<QString, LocalEntry> local = localEntries(main_.sLocalPath);
            RemoteTimes remoteTimes(main_);
            for (const FolderItem& item : remote) {
                if (item.Kind != FolderItem::File || item.Name == QLatin1String(".") || item.Name == QLatin1String(".."))
                    continue;
                const QString reason = listing::unsafeNameReason(item.Name);
                if (!reason.isEmpty()) {
                    main_.DisplayMessage(QStringLiteral("Refused to download '%1': %2.").arg(item.Name, reason));
                    continue;
                }
                const auto there = local.constFind(item.Name);
                bool transfer = there == local.constEnd();
                if (!transfer) {
                    if (there->isFolder() || there->attrib == -1) {
                        main_.DisplayMessage(QStringLiteral("Skipped '%1': the local entry of that name is not a file that can be replaced.").arg(item.Name));
                        continue;
                    }
                    if (bySize) {
                        transfer = there->size != item.Size;
                    } else {
                        // Only a local copy older than the server's is replaced: one of the same
                        // time, or a newer one, is kept.
                        const auto [remoteTime, precision] = remoteTimes.of(item);
                        transfer = compareTimes(there->date, remoteTime, precision) == -1;
                    }
                }
                if (transfer)
                    main_.receiveFile(item.Name, main_.sLocalPath + item.Name);
            }
        } catch (const FtpError& e) {
            complete = false;
            main_.DisplayMessage(e.Description());
        }
        end();
        main_.ResetProgress();
        // Said last: the refreshed listing would put its own text over it at once.
        if (complete)
            main_.UpdateAction(QStringLiteral("Local Directory Sync Complete"));
    } catch (const std::exception& e) {
        main_.movToolbar.SetVariable(QStringLiteral("_root.Connected"), QStringLiteral("0"));
        main_.DisplayMessage(QStringLiteral("Error: ") + QString::fromUtf8(e.what()));
        end();
    }
}

void DirectorySyncCommands::mnuSyncDirUp_Click()
{
    const frmMain::Operation op(main_);
    if (op.refused())
        return;
    try {
        main_.setMousePointer(frmMain::kHourglass);
        main_.SetBusyState(true);
        main_.CopyRemoteListToDelList();
        main_.ResetProgress();
        const bool bySize = syncBySize();
        bool complete = true;
        try {
            main_.remoteSession().ChangeFolder(main_.sRemotePath);
            const QList<FolderItem> items = main_.remoteSession().GetFolderItems(QString(), 0);
            QHash<QString, FolderItem> remote;
            remote.reserve(items.size());
            for (const FolderItem& item : items)
                remote.insert(item.Name, item);
            const QHash<QString, LocalEntry> local = localEntries(main_.sLocalPath);
            // In name order, so a run can be followed in the log.
            QStringList names = local.keys();
            names.sort();
            RemoteTimes remoteTimes(main_);
            for (const QString& name : names) {
                const LocalEntry& entry = local[name];
                if (entry.isFolder() || name == QLatin1String(".") || name == QLatin1String(".."))
                    continue;
                const QString reason = listing::unsafeNameReason(name);
                if (entry.attrib == -1 || !reason.isEmpty()) {
                    main_.DisplayMessage(QStringLiteral("Refused to upload '%1': %2.").arg(name, reason.isEmpty() ? QStringLiteral("it cannot be read") : reason));
                    continue;
                }
                const auto there = remote.constFind(name);
                bool transfer = there == remote.constEnd();
                if (!transfer) {
                    if (there->Kind != FolderItem::File) {
                        main_.DisplayMessage(QStringLiteral("Skipped '%1': the remote entry of that name is not a file.").arg(name));
                        continue;
                    }
                    if (bySize) {
                        transfer = there->Size != entry.size;
                    } else {
                        const auto [remoteTime, precision] = remoteTimes.of(*there);
                        transfer = compareTimes(remoteTime, entry.date, precision) == -1;
                    }
                }
                if (transfer)
                    main_.remoteSession().SendFile(main_.sLocalPath + name, 0, name, false);
            }
        } catch (const FtpError& e) {
            complete = false;
            const QString cannotRead = QStringLiteral("Cannot read the contents of ") + main_.sLocalPath;
            main_.DisplayMessage(cannotRead);
            // The line above names the local folder whatever failed: say what did.
            if (e.Description() != cannotRead)
                main_.DisplayMessage(e.Description());
        }
        end();
        main_.ResetProgress();
        // Said last: the refreshed listing would put its own text over it at once.
        if (complete)
            main_.UpdateAction(QStringLiteral("Remote Directory Sync Complete"));
        main_.hideDelCopies();
    } catch (const std::exception& e) {
        main_.DisplayMessage(QStringLiteral("Error: ") + QString::fromUtf8(e.what()));
        end();
        main_.hideDelCopies();
    }
}

}  // namespace harbel::tessaly
