// The commands of the main window that change the remote side or talk to the server directly:
// delete (folders with all they hold), rename, create folder, move, manual receive and send, the
// raw command menu and the custom-command panel.
#include "ftpclient/window/RemoteFileCommands.h"

#include "common/prompts/Prompts.h"
#include "ftpclient/component/TreeWalk.h"
#include "ftpclient/config/ClientSettings.h"
#include "ftpclient/window/TessalyMain.h"

#include <QHash>

#include <algorithm>
#include <optional>

#include <utility>

namespace harbel::tessaly {

namespace {

const QString kCommandTitle = QStringLiteral("Remote Server Custom Command");

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

void RemoteFileCommands::DeleteRemoteSelection()
{
    const frmMain::Operation op(main_);
    if (op.refused())
        return;
    main_.setMousePointer(frmMain::kHourglass);
    // Names and kinds first: the live list changes under the walk.
    QList<std::pair<QString, int>> rows;
    for (const ListRow* r : main_.lstRemoteFileList.selectedRows())
        rows.append({r->Text(), r->SmallIcon()});
    const bool yes = Prompts::instance().MsgBox(QStringLiteral("Are you sure you want to delete the selected remote items?"),
                                                MsgButtons::YesNo, MsgIcon::Question, kConfirm)
                     == MsgAnswer::Yes;
    main_.CopyRemoteListToDelList();
    try {
        if (yes && !rows.isEmpty()) {
            // The rows are those of the listed folder, wherever a raw command left the server.
            const QString start = main_.sRemotePath;
            if (start.isEmpty())
                throw FtpError(ftpErrProtocol, QStringLiteral("The listed remote folder is unknown; nothing was deleted."));
            // The list may come from MLSD, which shows a link as what it leads to; LIST shows links
            // as links, and a link is deleted itself, never entered.
            QHash<QString, int> listed;
            if (std::any_of(rows.begin(), rows.end(), [](const auto& r) { return r.second != 1; })) {
                if (!main_.ServerToListedFolder())
                    throw FtpError(ftpErrProtocol, QStringLiteral("Could not enter the listed remote folder %1; no folder was deleted.").arg(start));
                for (const FolderItem& item : listWithLinks())
                    listed.insert(item.Name, item.Kind);
            }
            for (const auto& [name, icon] : rows) {
                const QString reason = listing::unsafeNameReason(name);
                if (!reason.isEmpty()) {
                    main_.DisplayMessage(QStringLiteral("Refused to delete '%1': %2.").arg(name, reason));
                    continue;
                }
                const bool folder = icon == 2 && listed.value(name, FolderItem::Folder) == FolderItem::Folder;
                if (!folder) {
                    main_.remoteSession().DeleteFile(frmMain::remotePath(start, name));
                    continue;
                }
                main_.sDeleteRoot = frmMain::remotePath(start, name);
                const bool back = DeleteRemoteFolderRec(name);
                main_.sDeleteRoot.clear();
                // The next rows are deleted by name: only where the delete began.
                if (!back || !sameRemoteFolder(main_.GetRemoteFolder(), start))
                    throw FtpError(ftpErrProtocol, QStringLiteral("Could not return to the remote folder %1 after deleting %2; the delete stopped there.")
                                                             .arg(start, name));
            }
            main_.RefreshRemoteList();
        }
    } catch (const FtpError& e) {
        main_.sDeleteRoot.clear();
        if (!e.Description().isEmpty())
            main_.DisplayMessage(QStringLiteral("Error:") + QLatin1Char(' ') + e.Description());
        // Show what is left, also after a failure part-way.
        if (main_.remoteSession().State() == FtpComponent::Idle)
            main_.RefreshRemoteList();
    }
    main_.setMousePointer(0);
    main_.hideDelCopies();
}

bool RemoteFileCommands::DeleteRemoteFolderRec(const QString& path)
{
    const QString start = main_.GetRemoteFolder();
    if (start.isEmpty())
        return false;
    // LIST shows links as links: they are deleted as links and never entered, so the walk needs no
    // watch for folders that lead back up. Every folder change is checked against the folder the
    // server reports, and a folder is removed only once the walk is back in the folder above it.
    TreeWalk::Hooks hooks;
    hooks.enter = [this](const TreeWalk::Folder& in, const TreeWalk::Entry& folder, TreeWalk::Folder& into) {
        const QString expected = frmMain::remotePath(in.remote, folder.name);
        // A folder that cannot be entered keeps everything it holds.
        if (!main_.ChangeCurrentRemoteFolder(expected, true))
            return returnToRemoteFolder(in.remote) ? TreeWalk::Step::Pass : TreeWalk::Step::Stop;
        into.remote = main_.sRemotePath;
        if (!sameRemoteFolder(into.remote, expected)) {
            // A link the server resolved, or a name it took for a path: not ours to empty.
            main_.DisplayMessage(QStringLiteral("Did not delete %1: entering it led to %2.").arg(expected, into.remote));
            return returnToRemoteFolder(in.remote) ? TreeWalk::Step::Pass : TreeWalk::Step::Stop;
        }
        return TreeWalk::Step::Enter;
    };
    hooks.list = [this](TreeWalk::Folder&) -> std::optional<QList<TreeWalk::Entry>> {
        QList<FolderItem> items;
        main_.lstRemoteFileList.Clear();
        main_.SetBusyState(true);
        try {
            items = listWithLinks();
        } catch (const FtpError& e) {
            main_.SetBusyState(false);
            if (endsTheWalk(e))
            throw;
            main_.DisplayMessage(QStringLiteral("Error while listing remote folder's contents. Description: ") + e.Description());
            main_.StatusBarInfo(QStringLiteral("Could not list remote folder's contents."));
            return std::nullopt;
        }
        main_.SetBusyState(false);
        QList<TreeWalk::Entry> entries;
        for (const FolderItem& item : std::as_const(items)) {
            main_.remote_.addListed(item.Name, item.Date, item.Size, item.Kind);
            entries.append(TreeWalk::remoteEntry(item));
        }
        main_.UpdateRemoteCommands();
        return entries;
    };
    hooks.skipped = [this](const TreeWalk::Folder& in, const TreeWalk::Entry& entry, TreeWalk::Skip, const QString& reason) {
        main_.DisplayMessage(QStringLiteral("Skipped '%1' in %2: %3.").arg(entry.name, in.remote, reason));
    };
    // Files, and links as links.
    hooks.file = [this](const TreeWalk::Folder& in, const TreeWalk::Entry& file) {
        tolerateRefusal([&] { main_.remoteSession().DeleteFile(frmMain::remotePath(in.remote, file.name)); });
    };
    hooks.tooDeep = [this](const TreeWalk::Folder& in, const QList<TreeWalk::Entry>& folders) {
        for (const TreeWalk::Entry& folder : folders)
            main_.DisplayMessage(QStringLiteral("Did not delete %1: it lies more than %2 folders deep.")
                                     .arg(frmMain::remotePath(in.remote, folder.name))
                                     .arg(TreeWalk::kMaxDepth));
    };
    hooks.leave = [this](const TreeWalk::Folder& in, const TreeWalk::Entry& folder, const TreeWalk::Folder&, TreeWalk::Outcome outcome) {
        if (!returnToRemoteFolder(in.remote))
            return false;
        // A folder that could not be listed keeps what it holds, and so stays.
        if (outcome == TreeWalk::Outcome::Walked)
            tolerateRefusal([&] { main_.remoteSession().RemoveFolder(frmMain::remotePath(in.remote, folder.name)); });
        return true;
    };
    TreeWalk::Folder parent;
    parent.remote = start;
    TreeWalk::Entry folder;
    folder.name = path;
    folder.kind = TreeWalk::Kind::Folder;
    // The folder selected is the first level: 64 levels in all, the one the limit counts.
    TreeWalk::Rules rules;
    rules.maxDepth = TreeWalk::kMaxDepth - 1;
    return TreeWalk(rules, hooks).walkInto(parent, folder);
}

// Changes to an absolute remote folder and checks that the server is there.
bool RemoteFileCommands::returnToRemoteFolder(const QString& folder)
{
    tolerateRefusal([&] { main_.remoteSession().ChangeFolder(folder); });
    const QString now = main_.GetRemoteFolder();
    if (!sameRemoteFolder(now, folder)) {
        main_.DisplayMessage(QStringLiteral("Could not return to the remote folder %1.").arg(folder));
        return false;
    }
    main_.sRemotePath = now;
    return true;
}

QList<FolderItem> RemoteFileCommands::listWithLinks()
{
    struct Restore {
        int& option;
        int old;
        ~Restore() { option = old; }
    } restore{main_.xFtp.ListingOption, main_.xFtp.ListingOption};
    main_.xFtp.ListingOption = 0;
    return main_.remoteSession().GetFolderItems(QString());
}

// --- rename, create, move -------------------------------------------------------------------

void RemoteFileCommands::RenameRemoteItem()
{
    const frmMain::Operation op(main_);
    if (op.refused())
        return;
    const QList<ListRow*> sel = main_.lstRemoteFileList.selectedRows();
    if (sel.isEmpty())
        return;
    const QString name = sel.first()->Text();
    if (Prompts::instance().MsgBox(QStringLiteral("Rename remote file ") + name + QLatin1Char('?'), MsgButtons::YesNo, MsgIcon::Question,
                                   kConfirm)
        != MsgAnswer::Yes) {
        main_.StatusBarInfo(QStringLiteral("Remote file not renamed."));
        return;
    }
    const QString newName = Prompts::instance().InputBox(QStringLiteral("Rename remote file to : "), kClientTitle, QString()).value_or(QString());
    if (newName.isEmpty()) {
        Prompts::instance().MsgBox(QStringLiteral("You can not rename the folder/file to empty string"), MsgButtons::OkOnly,
                                   MsgIcon::Critical, main_.sProgramTitle);
        main_.StatusBarInfo(QStringLiteral("Remote file not renamed."));
        return;
    }
    try {
        const QString reason = listing::unsafeNameReason(name);
        if (!reason.isEmpty())
            throw FtpError(ftpErrUnsafeName, QStringLiteral("Refused to rename '%1': %2.").arg(name, reason));
        main_.remoteSession().RenameItem(main_.listedPath(name), main_.listedPath(newName));
        main_.RefreshRemoteList();
        main_.StatusBarInfo(QStringLiteral("Remote file renamed."));
    } catch (const FtpError& e) {
        main_.DisplayMessage(QStringLiteral("Error renaming remote file: ") + e.Description());
        main_.RefreshRemoteList();
        main_.StatusBarInfo(QStringLiteral("Remote file not renamed."));
    }
}

void RemoteFileCommands::CreateRemoteFolder()
{
    const frmMain::Operation op(main_);
    if (op.refused())
        return;
    const QString name = Prompts::instance()
                             .InputBox(QStringLiteral("Enter the name of the folder you want to create."), kClientTitle, QString())
                             .value_or(QString());
    if (name.isEmpty()) {
        main_.StatusBarInfo(QStringLiteral("Remote folder not created."));
        return;
    }
    try {
        main_.remoteSession().CreateFolder(main_.listedPath(name));
        main_.RefreshRemoteList();
        main_.StatusBarInfo(QStringLiteral("Remote folder created."));
    } catch (const FtpError& e) {
        main_.DisplayMessage(QStringLiteral("Error creating remote folder: ") + e.Description());
        main_.RefreshRemoteList();
        main_.StatusBarInfo(QStringLiteral("Remote folder not created."));
    }
}

void RemoteFileCommands::MoveRemoteSelection()
{
    const frmMain::Operation op(main_);
    if (op.refused())
        return;
    if (main_.remoteSession().State() != FtpComponent::Idle)
        return;
    QStringList names;
    for (const ListRow* r : main_.lstRemoteFileList.selectedRows())
        names << r->Text();
    if (names.isEmpty())
        return;
    const ListRow* focused = main_.lstRemoteFileList.SelectedItem();
    const QString shown = focused ? focused->Text() : names.first();
    if (Prompts::instance().MsgBox(QStringLiteral("Move remote files / folders") + QLatin1Char(' ') + shown + QLatin1Char('?'),
                                   MsgButtons::YesNo, MsgIcon::Question, kConfirm)
        != MsgAnswer::Yes)
        return;
    for (const QString& name : std::as_const(names)) {
        const QString reason = listing::unsafeNameReason(name);
        if (!reason.isEmpty()) {
            main_.DisplayMessage(QStringLiteral("Refused to move '%1': %2.").arg(name, reason));
            continue;
        }
        const std::optional<QString> target = Prompts::instance().InputBox(
            QStringLiteral("Move") + QLatin1Char(' ') + name + QStringLiteral(" to : "), QStringLiteral("Tessaly"), QString());
        if (!target)
            continue;  // cancelled: this one stays where it is
        try {
            // An empty target is the server's root; a relative one lies in the listed folder.
            const QString newName = target->isEmpty() ? QLatin1Char('/') + name : frmMain::remotePath(main_.listedPath(*target), name);
            main_.remoteSession().RenameItem(main_.listedPath(name), newName);
        } catch (const FtpError& e) {
            main_.DisplayMessage(QStringLiteral("Error:") + QLatin1Char(' ') + e.Description());
            if (endsTheWalk(e))
                break;
        }
    }
    main_.RefreshRemoteList();
}

// --- manual transfers -----------------------------------------------------------------------

void RemoteFileCommands::ManualReceive()
{
    manualTransfer(true);
}

void RemoteFileCommands::ManualSend()
{
    manualTransfer(false);
}

void RemoteFileCommands::manualTransfer(bool receive)
{
    const frmMain::Operation op(main_);
    if (op.refused())
        return;
    const QString name = askCommandText(
        receive ? QStringLiteral("Enter File Name to Receive (Make sure you are in the Remote directory where the file ")
                : QStringLiteral("Enter File Name to Send (Make sure you are in the local directory where the file resides, "));
    if (name.isEmpty())
        return;
    main_.setMousePointer(frmMain::kHourglass);
    main_.SetBusyState(true);
    try {
        // The file lands in, or goes to, the folder each pane shows.
        const QString file = name.section(QLatin1Char('/'), -1);
        if (receive) {
            main_.receiveFile(main_.listedPath(name), main_.sLocalPath + file);
            main_.SetBusyState(false);
            main_.RefreshLocalList();
            main_.UpdateLocalCommands();
        } else {
            main_.remoteSession().SendFile(main_.sLocalPath + name, 0, main_.listedPath(file), false);
            main_.SetBusyState(false);
            main_.RefreshRemoteList();
            main_.UpdateRemoteCommands();
        }
    } catch (const FtpError& e) {
        main_.SetBusyState(false);
        if (!e.Description().isEmpty())
            main_.DisplayMessage(QStringLiteral("Error:") + QLatin1Char(' ') + e.Description());
    }
    main_.setMousePointer(0);
}

// --- raw commands ---------------------------------------------------------------------------

// Asks for the text of a command; empty (also when cancelled) after telling the user so.
QString RemoteFileCommands::askCommandText(const QString& prompt)
{
    const QString text = Prompts::instance().InputBox(prompt, kCommandTitle, QString()).value_or(QString());
    if (text.isEmpty())
        Prompts::instance().MsgBox(QStringLiteral("No command was entered."), MsgButtons::OkOnly, MsgIcon::Information, main_.sProgramTitle);
    return text;
}

// The reply reaches the user through the connection log.
void RemoteFileCommands::sendRawCommand(const QString& line, const QString& errorPrefix)
{
    if (main_.overSftp()) {
        main_.DisplayMessage(SiteProtocol::notOverSftp() + QStringLiteral(": ") + line);
        return;
    }
    main_.setMousePointer(frmMain::kHourglass);
    try {
        main_.xFtp.SendCommand(line);
    } catch (const FtpError& e) {
        if (!e.Description().isEmpty())
            main_.DisplayMessage(errorPrefix + QLatin1Char(' ') + e.Description());
    }
    followServer(line);
    main_.setMousePointer(0);
}

// A raw command may have taken the server to another folder (CWD, CDUP...) or changed what a
// folder holds (DELE, RNTO, MKD, SITE...): the remote pane then lists the server's folder again,
// so that the list, the path box and the server agree before the next command acts on a row.
// Nothing is sent after the first half of a pair (RNFR before RNTO, USER before PASS, REST and
// the data port before a transfer): the server would forget it.
void RemoteFileCommands::followServer(const QString& line)
{
    static const QStringList leavesAlone{
        QStringLiteral("HELP"), QStringLiteral("PWD"),  QStringLiteral("XPWD"), QStringLiteral("SYST"), QStringLiteral("NOOP"),
        QStringLiteral("STAT"), QStringLiteral("LIST"), QStringLiteral("NLST"), QStringLiteral("MLSD"), QStringLiteral("MLST"),
        QStringLiteral("FEAT"), QStringLiteral("SIZE"), QStringLiteral("MDTM"), QStringLiteral("TYPE"), QStringLiteral("MODE"),
        QStringLiteral("STRU"), QStringLiteral("OPTS"), QStringLiteral("CLNT"), QStringLiteral("ALLO"), QStringLiteral("RNFR"),
        QStringLiteral("USER"), QStringLiteral("REST"), QStringLiteral("PASV"), QStringLiteral("EPSV"), QStringLiteral("PORT"),
        QStringLiteral("EPRT")};
    if (leavesAlone.contains(line.section(QLatin1Char(' '), 0, 0).toUpper()) || main_.remoteSession().State() != FtpComponent::Idle)
        return;
    main_.ShowServerFolder();
}

void RemoteFileCommands::sendMenuCommand(const QString& line)
{
    const frmMain::Operation op(main_);
    if (!op.refused())
        sendRawCommand(line, QStringLiteral("Error"));
}

void RemoteFileCommands::mnuRemoteFtpCommandsCwd_Click()
{
    const frmMain::Operation op(main_);
    if (op.refused())
        return;
    const QString folder = askCommandText(QStringLiteral("Please enter the remote folder name"));
    if (!folder.isEmpty())
        sendRawCommand(QStringLiteral("CWD ") + folder, QStringLiteral("Error:"));
}

void RemoteFileCommands::mnuRemoteFtpCommandsQuote_Click()
{
    const frmMain::Operation op(main_);
    if (op.refused())
        return;
    const QString text = askCommandText(QStringLiteral("Please enter command for remote site"));
    if (!text.isEmpty())
        sendRawCommand(text, QStringLiteral("Error"));  // the text is the command itself
}

// --- custom-command panel -------------------------------------------------------------------

void RemoteFileCommands::mnuRemoteSendCommand_Click()
{
    if (main_.overSftp() && main_.remoteSession().State() != RemoteSession::NotConnected)
        return;
    // The log stays in view: it shows the server's replies.
    main_.showPanels(false, false, true, true);
    emit main_.focusRequested(&main_.txtCommand);
}

void RemoteFileCommands::txtCommand_KeyPress(int keyAscii)
{
    if (keyAscii != 13)
        return;
    const frmMain::Operation op(main_);
    if (op.refused())
        return;
    const QString line = main_.txtCommand.Text();
    if (!line.isEmpty() && main_.overSftp()) {
        main_.DisplayMessage(SiteProtocol::notOverSftp() + QStringLiteral(": ") + line);
    } else if (!line.isEmpty()) {
        try {
            main_.xFtp.SendCommand(line);
        } catch (const FtpError& e) {
            main_.DisplayMessage(QStringLiteral("Error no") + QLatin1Char(' ') + e.Description());
        }
        followServer(line);
    }
    main_.txtCommand.setText(QString());
}

void RemoteFileCommands::cmdCloseCommand_Click()
{
    main_.showPanels(true, true, true, false);
}

}  // namespace harbel::tessaly
