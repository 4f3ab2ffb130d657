// The commands of the main window that change the remote side: delete, folders with all they hold.
#include "common/platform/Prompts.h"
#include "ftpclient/core/FtpListing.h"
#include "ftpclient/core/MainWindowText.h"
#include "ftpclient/core/frmMain.h"

#include <QHash>

#include <algorithm>

#include <utility>

namespace harbel::tessaly {

namespace {

// Deeper than this the delete does not go: only a server that shows a link as a plain folder and
// lets it be entered under its own name could lead the walk on without end.
constexpr int kMaxDeleteDepth = 64;

QString withoutTrailingSlash(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

bool sameRemoteFolder(const QString& a, const QString& b)
{
    return !a.isEmpty() && withoutTrailingSlash(a) == withoutTrailingSlash(b);
}

// Errors after which nothing more can be done in this session step: the user aborted, or the
// connection is gone or out of step. A negative reply (a file that cannot be deleted, a folder that
// is not empty) lets a walk go on with its next step.
bool endsTheWalk(const FtpError& e)
{
    switch (e.Number()) {
    case ftpErrAborted:
    case ftpErrNotConnected:
    case ftpErrConnectionLost:
    case ftpErrTimedOut:
    case ftpErrBusy:
    case ftpErrProtocol:
        return true;
    default:
        return false;
    }
}

template <typename Step>
void tolerateRefusal(Step&& step)
{
    try {
        step();
    } catch (const FtpError& e) {
        if (endsTheWalk(e))
            throw;
        // The server's reply is already in the connection log.
    }
}

}  // namespace

// --- delete ---------------------------------------------------------------------------------

void frmMain::DeleteRemoteSelection()
{
    const Operation op(*this);
    if (op.refused())
        return;
    setMousePointer(kHourglass);
    // Names and kinds first: the live list changes under the walk.
    QList<std::pair<QString, int>> rows;
    for (const ListRow* r : lstRemoteFileList.selectedRows())
        rows.append({r->Text(), r->SmallIcon()});
    const bool yes = Prompts::instance().MsgBox(QStringLiteral("Are you sure you want to delete the selected remote items?"),
                                                MsgButtons::YesNo, MsgIcon::Question, kConfirm)
                     == MsgAnswer::Yes;
    CopyRemoteListToDelList();
    try {
        if (yes && !rows.isEmpty()) {
            const QString start = GetRemoteFolder();
            if (start.isEmpty())
                throw FtpError(ftpErrProtocol, QStringLiteral("The current remote folder is unknown; nothing was deleted."));
            // The list may come from MLSD, which shows a link as what it leads to; LIST shows links
            // as links, and a link is deleted itself, never entered.
            QHash<QString, int> listed;
            if (std::any_of(rows.begin(), rows.end(), [](const auto& r) { return r.second != 1; })) {
                for (const FolderItem& item : listWithLinks())
                    listed.insert(item.Name, item.Kind);
            }
            for (const auto& [name, icon] : rows) {
                const QString reason = listing::unsafeNameReason(name);
                if (!reason.isEmpty()) {
                    DisplayMessage(QStringLiteral("Refused to delete '%1': %2.").arg(name, reason));
                    continue;
                }
                const bool folder = icon == 2 && listed.value(name, FolderItem::Folder) == FolderItem::Folder;
                if (!folder) {
                    xFtp.DeleteFile(name);
                    continue;
                }
                sDeleteRoot = remotePath(start, name);
                const bool back = DeleteRemoteFolderRec(name);
                sDeleteRoot.clear();
                // The next rows are deleted by name: only where the delete began.
                if (!back || !sameRemoteFolder(GetRemoteFolder(), start))
                    throw FtpError(ftpErrProtocol, QStringLiteral("Could not return to the remote folder %1 after deleting %2; the delete stopped there.")
                                                       .arg(start, name));
            }
            RefreshRemoteList();
        }
    } catch (const FtpError& e) {
        sDeleteRoot.clear();
        if (!e.Description().isEmpty())
            DisplayMessage(QStringLiteral("Error:") + QLatin1Char(' ') + e.Description());
        // Show what is left, also after a failure part-way.
        if (xFtp.State() == 2)
            RefreshRemoteList();
    }
    setMousePointer(0);
    hideDelCopies();
}

bool frmMain::DeleteRemoteFolderRec(const QString& path)
{
    const QString start = GetRemoteFolder();
    if (start.isEmpty())
        return false;
    return deleteFolderTree(start, path, 0);
}

// In the remote folder `parent` (as the server names it): deletes the folder `name` with all it
// holds and comes back. False when the current folder could not be brought back to `parent`.
bool frmMain::deleteFolderTree(const QString& parent, const QString& name, int depth)
{
    const QString expected = remotePath(parent, name);
    if (depth >= kMaxDeleteDepth) {
        DisplayMessage(QStringLiteral("Did not delete %1: it lies more than %2 folders deep.").arg(expected).arg(kMaxDeleteDepth));
        return true;
    }
    // A folder that cannot be entered keeps everything it holds.
    if (!ChangeCurrentRemoteFolder(name, true))
        return returnToRemoteFolder(parent);
    const QString here = sRemotePath;
    if (!sameRemoteFolder(here, expected)) {
        // A link the server resolved, or a name it took for a path: not ours to empty.
        DisplayMessage(QStringLiteral("Did not delete %1: entering it led to %2.").arg(expected, here));
        return returnToRemoteFolder(parent);
    }

    QList<FolderItem> items;
    lstRemoteFileList.Clear();
    SetBusyState(true);
    try {
        items = listWithLinks();
    } catch (const FtpError& e) {
        SetBusyState(false);
        if (endsTheWalk(e))
            throw;
        DisplayMessage(QStringLiteral("Error while listing remote folder's contents. Description: ") + e.Description());
        StatusBarInfo(QStringLiteral("Could not list remote folder's contents."));
        return returnToRemoteFolder(parent);
    }
    SetBusyState(false);
    for (const FolderItem& item : std::as_const(items))
        xFtp_ListingItem(item.Name, item.Date, item.Size, item.Kind);
    UpdateRemoteCommands();

    QStringList folders;
    for (const FolderItem& item : std::as_const(items)) {
        const QString reason = listing::unsafeNameReason(item.Name);
        if (!reason.isEmpty()) {
            DisplayMessage(QStringLiteral("Skipped '%1' in %2: %3.").arg(item.Name, here, reason));
            continue;
        }
        if (item.Kind == FolderItem::Folder)
            folders << item.Name;
        else  // files, and links as links: a link is never entered
            tolerateRefusal([&] { xFtp.DeleteFile(item.Name); });
    }
    for (const QString& folder : std::as_const(folders)) {
        if (!deleteFolderTree(here, folder, depth + 1))
            return false;
    }
    if (!returnToRemoteFolder(parent))
        return false;
    tolerateRefusal([&] { xFtp.RemoveFolder(name); });
    return true;
}

// Changes to an absolute remote folder and checks that the server is there.
bool frmMain::returnToRemoteFolder(const QString& folder)
{
    tolerateRefusal([&] { xFtp.ChangeFolder(folder); });
    const QString now = GetRemoteFolder();
    if (!sameRemoteFolder(now, folder)) {
        DisplayMessage(QStringLiteral("Could not return to the remote folder %1.").arg(folder));
        return false;
    }
    sRemotePath = now;
    return true;
}

QList<FolderItem> frmMain::listWithLinks()
{
    struct Restore {
        int& option;
        int old;
        ~Restore() { option = old; }
    } restore{xFtp.ListingOption, xFtp.ListingOption};
    xFtp.ListingOption = 0;
    return xFtp.GetFolderItems(QString());
}

}  // namespace harbel::tessaly
