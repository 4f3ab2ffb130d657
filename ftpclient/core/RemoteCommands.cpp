// The commands of the main window that change the remote side or talk to the server directly:
// delete (folders with all they hold), rename, create folder, move, manual receive and send, the
// raw command menu and the custom-command panel.
#include "common/platform/Prompts.h"
#include "ftpclient/core/FtpListing.h"
#include "ftpclient/core/MainWindowText.h"
#include "ftpclient/core/frmMain.h"

#include <QHash>

#include <algorithm>
#include <optional>

#include <utility>

namespace harbel::tessaly {

namespace {

const QString kCommandTitle = QStringLiteral("Remote Server Custom Command");

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
        if (xFtp.State() == FtpComponent::Idle)
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

// --- rename, create, move -------------------------------------------------------------------

void frmMain::RenameRemoteItem()
{
    const Operation op(*this);
    if (op.refused())
        return;
    const QList<ListRow*> sel = lstRemoteFileList.selectedRows();
    if (sel.isEmpty())
        return;
    const QString name = sel.first()->Text();
    if (Prompts::instance().MsgBox(QStringLiteral("Rename remote file ") + name + QLatin1Char('?'), MsgButtons::YesNo, MsgIcon::Question,
                                   kConfirm)
        != MsgAnswer::Yes) {
        StatusBarInfo(QStringLiteral("Remote file not renamed."));
        return;
    }
    const QString newName = Prompts::instance().InputBox(QStringLiteral("Rename remote file to : "), kClientTitle, QString()).value_or(QString());
    if (newName.isEmpty()) {
        Prompts::instance().MsgBox(QStringLiteral("You can not rename the folder/file to empty string"), MsgButtons::OkOnly,
                                   MsgIcon::Critical, sProgramTitle);
        StatusBarInfo(QStringLiteral("Remote file not renamed."));
        return;
    }
    try {
        const QString reason = listing::unsafeNameReason(name);
        if (!reason.isEmpty())
            throw FtpError(ftpErrUnsafeName, QStringLiteral("Refused to rename '%1': %2.").arg(name, reason));
        xFtp.RenameItem(name, newName);
        RefreshRemoteList();
        StatusBarInfo(QStringLiteral("Remote file renamed."));
    } catch (const FtpError& e) {
        DisplayMessage(QStringLiteral("Error renaming remote file: ") + e.Description());
        RefreshRemoteList();
        StatusBarInfo(QStringLiteral("Remote file not renamed."));
    }
}

void frmMain::CreateRemoteFolder()
{
    const Operation op(*this);
    if (op.refused())
        return;
    const QString name = Prompts::instance()
                             .InputBox(QStringLiteral("Enter the name of the folder you want to create."), kClientTitle, QString())
                             .value_or(QString());
    if (name.isEmpty()) {
        StatusBarInfo(QStringLiteral("Remote folder not created."));
        return;
    }
    try {
        xFtp.CreateFolder(name);
        RefreshRemoteList();
        StatusBarInfo(QStringLiteral("Remote folder created."));
    } catch (const FtpError& e) {
        DisplayMessage(QStringLiteral("Error creating remote folder: ") + e.Description());
        RefreshRemoteList();
        StatusBarInfo(QStringLiteral("Remote folder not created."));
    }
}

void frmMain::MoveRemoteSelection()
{
    const Operation op(*this);
    if (op.refused())
        return;
    if (xFtp.State() != FtpComponent::Idle)
        return;
    QStringList names;
    for (const ListRow* r : lstRemoteFileList.selectedRows())
        names << r->Text();
    if (names.isEmpty())
        return;
    const ListRow* focused = lstRemoteFileList.SelectedItem();
    const QString shown = focused ? focused->Text() : names.first();
    if (Prompts::instance().MsgBox(QStringLiteral("Move remote files / folders") + QLatin1Char(' ') + shown + QLatin1Char('?'),
                                   MsgButtons::YesNo, MsgIcon::Question, kConfirm)
        != MsgAnswer::Yes)
        return;
    for (const QString& name : std::as_const(names)) {
        const QString reason = listing::unsafeNameReason(name);
        if (!reason.isEmpty()) {
            DisplayMessage(QStringLiteral("Refused to move '%1': %2.").arg(name, reason));
            continue;
        }
        const std::optional<QString> target = Prompts::instance().InputBox(
            QStringLiteral("Move") + QLatin1Char(' ') + name + QStringLiteral(" to : "), QStringLiteral("Tessaly"), QString());
        if (!target)
            continue;  // cancelled: this one stays where it is
        // An empty target is the server's root.
        const QString newName = target->isEmpty() ? QLatin1Char('/') + name : remotePath(*target, name);
        try {
            xFtp.RenameItem(name, newName);
        } catch (const FtpError& e) {
            DisplayMessage(QStringLiteral("Error:") + QLatin1Char(' ') + e.Description());
            if (endsTheWalk(e))
                break;
        }
    }
    RefreshRemoteList();
}

// --- manual transfers -----------------------------------------------------------------------

void frmMain::ManualReceive()
{
    manualTransfer(true);
}

void frmMain::ManualSend()
{
    manualTransfer(false);
}

void frmMain::manualTransfer(bool receive)
{
    const Operation op(*this);
    if (op.refused())
        return;
    const QString name = askCommandText(
        receive ? QStringLiteral("Enter File Name to Receive (Make sure you are in the Remote directory where the file ")
                : QStringLiteral("Enter File Name to Send (Make sure you are in the local directory where the file resides, "));
    if (name.isEmpty())
        return;
    setMousePointer(kHourglass);
    SetBusyState(true);
    try {
        if (receive) {
            xFtp.ReceiveFile(name, 0, sLocalPath + name);
            SetBusyState(false);
            RefreshLocalList();
            UpdateLocalCommands();
        } else {
            xFtp.SendFile(sLocalPath + name, 0, name, false);
            SetBusyState(false);
            RefreshRemoteList();
            UpdateRemoteCommands();
        }
    } catch (const FtpError& e) {
        SetBusyState(false);
        if (!e.Description().isEmpty())
            DisplayMessage(QStringLiteral("Error:") + QLatin1Char(' ') + e.Description());
    }
    setMousePointer(0);
}

// --- raw commands ---------------------------------------------------------------------------

// Asks for the text of a command; empty (also when cancelled) after telling the user so.
QString frmMain::askCommandText(const QString& prompt)
{
    const QString text = Prompts::instance().InputBox(prompt, kCommandTitle, QString()).value_or(QString());
    if (text.isEmpty())
        Prompts::instance().MsgBox(QStringLiteral("No command entered, quiting"), MsgButtons::OkOnly, MsgIcon::Information, sProgramTitle);
    return text;
}

// The reply reaches the user through the connection log; the remote list stays as it is.
void frmMain::sendRawCommand(const QString& line, const QString& errorPrefix)
{
    setMousePointer(kHourglass);
    try {
        xFtp.SendCommand(line);
    } catch (const FtpError& e) {
        if (!e.Description().isEmpty())
            DisplayMessage(errorPrefix + QLatin1Char(' ') + e.Description());
    }
    setMousePointer(0);
}

void frmMain::mnuRemoteFtpCommandsHelp_Click()
{
    const Operation op(*this);
    if (!op.refused())
        sendRawCommand(QStringLiteral("HELP"), QStringLiteral("Error"));
}

void frmMain::mnuRemoteFtpCommandsList_Click()
{
    const Operation op(*this);
    if (!op.refused())
        sendRawCommand(QStringLiteral("LIST"), QStringLiteral("Error"));
}

void frmMain::mnuRemoteFtpCommandsNlst_Click()
{
    const Operation op(*this);
    if (!op.refused())
        sendRawCommand(QStringLiteral("NLST"), QStringLiteral("Error"));
}

void frmMain::mnuRemoteFtpCommandsPwd_Click()
{
    const Operation op(*this);
    if (!op.refused())
        sendRawCommand(QStringLiteral("PWD"), QStringLiteral("Error"));
}

void frmMain::mnuRemoteFtpCommandsSyst_Click()
{
    const Operation op(*this);
    if (!op.refused())
        sendRawCommand(QStringLiteral("SYST"), QStringLiteral("Error"));
}

void frmMain::mnuRemoteFtpCommandsCwd_Click()
{
    const Operation op(*this);
    if (op.refused())
        return;
    const QString folder = askCommandText(QStringLiteral("Please enter the remote folder name"));
    if (!folder.isEmpty())
        sendRawCommand(QStringLiteral("CWD ") + folder, QStringLiteral("Error:"));
}

void frmMain::mnuRemoteFtpCommandsQuote_Click()
{
    const Operation op(*this);
    if (op.refused())
        return;
    const QString text = askCommandText(QStringLiteral("Please enter command for remote site"));
    if (!text.isEmpty())
        sendRawCommand(QStringLiteral("QUOTE ") + text, QStringLiteral("Error"));
}

// --- custom-command panel -------------------------------------------------------------------

void frmMain::mnuRemoteSendCommand_Click()
{
    showPanels(false, false, false, true);
    emit focusRequested(&txtCommand);
}

void frmMain::txtCommand_KeyPress(int keyAscii)
{
    if (keyAscii != 13)
        return;
    const Operation op(*this);
    if (op.refused())
        return;
    const QString line = txtCommand.Text();
    if (!line.isEmpty()) {
        try {
            xFtp.SendCommand(line);
        } catch (const FtpError& e) {
            DisplayMessage(QStringLiteral("Error no") + QLatin1Char(' ') + e.Description());
        }
    }
    txtCommand.setText(QString());
}

void frmMain::cmdCloseCommand_Click()
{
    showPanels(true, true, true, false);
}

}  // namespace harbel::tessaly
