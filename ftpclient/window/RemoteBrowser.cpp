// The remote pane of the FTP client's main window: listing, folder changes and downloads.

#include "ftpclient/window/RemoteBrowser.h"

#include "common/prompts/Prompts.h"
#include "common/support/Skin.h"
#include "common/support/VbText.h"
#include "ftpclient/config/ClientSettings.h"
#include "ftpclient/window/TessalyMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace harbel::tessaly {

// --- remote pane ----------------------------------------------------------------------------

void RemoteBrowser::addListed(const QString& name, const QDateTime& date, qint64 size, int kind)
{
    static const char* const letters[] = {"F", "D", "E"};
    if (kind < 0 || kind > 2)
        return;
    if (main_.lstRemoteFileList.count() >= main_.remoteRowLimit) {
        ++rowsLeftOut_;
        return;
    }
    // A list made anew begins a new listing.
    if (main_.lstRemoteFileList.isEmpty())
        listed_.clear();
    main_.addRow(main_.lstRemoteFileList, name, kind + 1, QString::number(size), date, QLatin1String(letters[kind]));
    listed_.insert(name, FolderItem{name, date, size, kind, {}});
}

void RemoteBrowser::reportRowsLeftOut()
{
    if (rowsLeftOut_ > 0)
        main_.DisplayMessage(QStringLiteral("%1 entries of the remote folder are not shown: the list shows at most %2.")
                                 .arg(rowsLeftOut_)
                                 .arg(main_.remoteRowLimit));
    rowsLeftOut_ = 0;
}

void RemoteBrowser::listFolder(const QString& mask)
{
    if (!main_.overSftp()) {
        main_.xFtp.ListFolder(mask);  // its rows arrive as ListingItem events
        return;
    }
    const QList<FolderItem> items = main_.xSftp.GetFolderItems(mask);
    for (const FolderItem& item : items)
        addListed(item.Name, item.Date, item.Size, item.Kind);
}

void RemoteBrowser::ListFilesOnServer()
{
    rowsLeftOut_ = 0;
    main_.SetBusyState(true);
    main_.xFtp.ListingOption = 1;
    main_.StatusBarInfo(QStringLiteral("Obtaining remote folder's contents..."));
    try {
        listFolder(QString());
        main_.SetBusyState(false);
        main_.StatusBarInfo(QStringLiteral("Listing of remote folder completed."));
    } catch (const FtpError& e) {
        main_.DisplayMessage(QStringLiteral("Error while listing remote folder's contents. Description: ") + e.Description());
        main_.StatusBarInfo(QStringLiteral("Could not list remote folder's contents."));
        main_.SetBusyState(false);
    }
    PaneCommands::sortRows(main_.lstRemoteFileList);
    reportRowsLeftOut();
    UpdateRemoteCommands();
}

void RemoteBrowser::ListDefinedFilesOnServer(const QString& defineString)
{
    rowsLeftOut_ = 0;
    main_.xFtp.ListingOption = 1;
    main_.StatusBarInfo(QStringLiteral("Obtaining directory listing..."));
    try {
        listFolder(defineString);
    } catch (const FtpError& e) {
        if (!e.Description().isEmpty())
            main_.DisplayMessage(QStringLiteral("Error") + QLatin1Char(' ') + e.Description());
    }
    PaneCommands::sortRows(main_.lstRemoteFileList);
    reportRowsLeftOut();
    main_.setMousePointer(0);
    UpdateRemoteCommands();
}

QString RemoteBrowser::GetRemoteFolder()
{
    try {
        return main_.remoteSession().CurrentFolder();
    } catch (const FtpError& e) {
        main_.DisplayMessage(QStringLiteral("Error while querying current remote folder. Description: ") + e.Description());
        return {};
    }
}

bool RemoteBrowser::ChangeCurrentRemoteFolder(const QString& sNewRemotePath, bool bInteractive)
{
    try {
        main_.remoteSession().ChangeFolder(sNewRemotePath);
    } catch (const FtpError& e) {
        if (bInteractive) {
            main_.DisplayMessage(QStringLiteral("Error while attempting to change current remote folder to '") + sNewRemotePath
                                 + QStringLiteral("'. Description: ") + e.Description());
            main_.StatusBarInfo(QStringLiteral("Could not change current remote folder."));
        }
        return false;
    }
    try {
        const QString folder = main_.remoteSession().CurrentFolder();
        main_.AddPathToComboBox(folder, main_.cboRemotePath);
        main_.sRemotePath = folder;
        main_.StatusBarInfo(QStringLiteral("Remote folder changed to ") + folder);
        return true;
    } catch (const FtpError& e) {
        if (bInteractive) {
            main_.DisplayMessage(QStringLiteral("Error obtaining new current remote folder while attempting to change current remote folder to '")
                                 + sNewRemotePath + QStringLiteral("'. Description: ") + e.Description());
            main_.StatusBarInfo(QStringLiteral("Current folder changed but new path unknown."));
        }
        return false;
    }
}

void RemoteBrowser::RefreshRemoteList()
{
    main_.setMousePointer(frmMain::kHourglass);
    main_.lstRemoteFileList.Clear();
    main_.SetBusyState(true);
    ListFilesOnServer();
    main_.SetBusyState(false);
    main_.sRemotePath = GetRemoteFolder();
    main_.cboRemotePath.setText(main_.sRemotePath);
    main_.setMousePointer(0);
}

bool RemoteBrowser::ShowServerFolder()
{
    main_.setMousePointer(frmMain::kHourglass);
    main_.SetBusyState(true);
    main_.xFtp.ListingOption = 1;
    main_.StatusBarInfo(QStringLiteral("Obtaining remote folder's contents..."));
    QString folder;
    QList<FolderItem> items;
    try {
        folder = main_.remoteSession().CurrentFolder();
        items = main_.remoteSession().GetFolderItems(QString());
    } catch (const FtpError& e) {
        main_.SetBusyState(false);
        main_.setMousePointer(0);
        main_.DisplayMessage(QStringLiteral("Error while listing remote folder's contents. Description: ") + e.Description());
        main_.StatusBarInfo(QStringLiteral("Could not list remote folder's contents."));
        return false;
    }
    main_.SetBusyState(false);
    main_.lstRemoteFileList.Clear();
    rowsLeftOut_ = 0;
    for (const FolderItem& item : std::as_const(items))
        addListed(item.Name, item.Date, item.Size, item.Kind);
    reportRowsLeftOut();
    main_.sRemotePath = folder;
    main_.AddPathToComboBox(folder, main_.cboRemotePath);
    UpdateRemoteCommands();
    main_.StatusBarInfo(QStringLiteral("Listing of remote folder completed."));
    main_.setMousePointer(0);
    return true;
}

bool RemoteBrowser::ServerToListedFolder()
{
    const QString listed = main_.sRemotePath;
    if (listed.isEmpty())
        return true;  // nothing listed to agree with
    const QString now = GetRemoteFolder();
    if (now == listed)
        return true;
    if (!now.isEmpty()) {
        try {
            main_.remoteSession().ChangeFolder(listed);
            if (main_.remoteSession().CurrentFolder() == listed)
                return true;
        } catch (const FtpError& e) {
            main_.DisplayMessage(e.Description());
        }
    }
    main_.DisplayMessage(QStringLiteral("Could not return to the listed remote folder %1.").arg(listed));
    return false;
}

void RemoteBrowser::UpdateRemoteCommands()
{
    const QList<ListRow*> sel = main_.lstRemoteFileList.selectedRows();
    const bool fileOrFolder = sel.size() == 1 && (sel[0]->SmallIcon() == 1 || sel[0]->SmallIcon() == 2);
    main_.miDeleteRemoteFile.setEnabled(!sel.isEmpty() && (sel.size() > 1 || fileOrFolder));
    main_.miRenameRemoteFile.setEnabled(fileOrFolder);
    main_.cmdReceive.setEnabled(!sel.isEmpty() && !main_.operationRunning());
}

void RemoteBrowser::listAfterChange()
{
    main_.lstRemoteFileList.Clear();
    ListFilesOnServer();
    UpdateRemoteCommands();
}

void RemoteBrowser::lstRemoteFileList_DblClick()
{
    const frmMain::Operation op(main_);
    if (op.refused())
        return;
    if (main_.remoteSession().State() != FtpComponent::Idle)
        return;
    const QList<ListRow*> sel = main_.lstRemoteFileList.selectedRows();
    if (sel.isEmpty())
        return;
    const QString name = sel.first()->Text();
    const int icon = sel.first()->SmallIcon();
    try {
        switch (icon) {
        case 1:
            main_.DownloadSelection();
            break;
        case 2:
            if (ChangeCurrentRemoteFolder(main_.listedPath(name), true)) {
                listAfterChange();
                main_.StatusBarInfo(QStringLiteral("Changed current remote folder."));
            } else {
                main_.StatusBarInfo(QStringLiteral("Unable to change current remote folder."));
            }
            break;
        case 3:
            if (ChangeCurrentRemoteFolder(main_.listedPath(name), false)) {
                listAfterChange();
                main_.StatusBarInfo(QStringLiteral("Changed current remote folder."));
            } else {
                main_.DownloadSelection();
            }
            break;
        default:
            break;
        }
    } catch (const FtpError& e) {
        if (e.Number() != 91)
            Prompts::instance().MsgBox(QStringLiteral("Error No. ") + QString::number(e.Number()) + QStringLiteral("  ,") + e.Description(),
                                       MsgButtons::OkOnly, MsgIcon::None, main_.sProgramTitle);
    }
}

void RemoteBrowser::cmdUpFtp_Click()
{
    const frmMain::Operation op(main_);
    if (op.refused())
        return;
    try {
        // Up from the folder the list shows, wherever a raw command left the server.
        if (!ServerToListedFolder())
            throw FtpError(ftpErrProtocol, QStringLiteral("The server is not in the listed folder ") + main_.sRemotePath);
        const QString before = main_.remoteSession().CurrentFolder();
        main_.changeToParent();
        const QString now = GetRemoteFolder();
        if (now != before) {
            if (!ChangeCurrentRemoteFolder(now, true))
                return;
            listAfterChange();
            main_.StatusBarInfo(QStringLiteral("Remote path now up one folder."));
        } else {
            main_.StatusBarInfo(QStringLiteral("Remote path already at a root folder."));
        }
    } catch (const FtpError& e) {
        main_.DisplayMessage(QStringLiteral("Error while attempting to change current remote folder to its parent folder. Description: ") + e.Description());
        main_.StatusBarInfo(QStringLiteral("Could not change to remote folder's parent."));
    }
}

void RemoteBrowser::cboRemotePath_Click()
{
    const frmMain::Operation op(main_);
    if (op.refused())
        return;
    const QString typed = main_.cboRemotePath.Text();
    // A relative path leads from the listed folder.
    const QString text = typed.startsWith(QLatin1Char('/')) || main_.sRemotePath.isEmpty() ? typed : main_.listedPath(typed);
    if (main_.remoteSession().State() != FtpComponent::Idle || text == GetRemoteFolder())
        return;
    if (ChangeCurrentRemoteFolder(text, true))
        listAfterChange();
}

void RemoteBrowser::cboRemotePath_KeyPress(int keyAscii)
{
    if (keyAscii == 13)
        cboRemotePath_Click();
}

void RemoteBrowser::mnuRemoteGoToRemoteDirectory_Click()
{
    const frmMain::Operation op(main_);
    if (op.refused())
        return;
    const QString answer = Prompts::instance()
                               .InputBox(QStringLiteral("Type Directory Name To Go TO ( WITHOUT THE WORD CD OR DIR IN THE BEGINNING! )"),
                                         QStringLiteral("Remote Server Custom Command"), QString())
                               .value_or(QString());
    if (answer.isEmpty()) {
        Prompts::instance().MsgBox(QStringLiteral("No command was entered."), MsgButtons::OkOnly, MsgIcon::Information, main_.sProgramTitle);
        return;
    }
    main_.cboRemotePath.setText(answer);
    cboRemotePath_KeyPress(13);
}

void RemoteBrowser::mnuRemoteFilterAll_Click()
{
    const frmMain::Operation op(main_);
    if (op.refused())
        return;
    if (main_.remoteSession().State() != FtpComponent::Idle)
        return;
    main_.lstRemoteFileList.Clear();
    ListFilesOnServer();
}

void RemoteBrowser::mnuRemoteFilterDefineTypes_Click()
{
    const frmMain::Operation op(main_);
    if (op.refused())
        return;
    const QString mask = Prompts::instance()
                             .InputBox(QStringLiteral("Please enter the type ex: *.gif"),
                                       QStringLiteral("Define Type For Remote Server Directory Listing"), QStringLiteral("*.*"))
                             .value_or(QString());
    if (mask.isEmpty()) {
        Prompts::instance().MsgBox(QStringLiteral("No command was entered."), MsgButtons::OkOnly, MsgIcon::Information, main_.sProgramTitle);
        return;
    }
    main_.lstRemoteFileList.Clear();
    main_.SetBusyState(true);
    ListDefinedFilesOnServer(mask);
    main_.SetBusyState(false);
}

void RemoteBrowser::SetRemoteView(int style)
{
    main_.lstRemoteFileList.setView(style);
}

void RemoteBrowser::CopyRemoteListToDelList()
{
    if (main_.lstRemoteFileList.count() > 0) {
        main_.lstDel.Clear();
        main_.lstDel.setView(main_.lstRemoteFileList.View());
        for (int i = 0; i < main_.lstRemoteFileList.count(); ++i) {
            const ListRow* from = main_.lstRemoteFileList.at(i);
            ListRow* to = main_.lstDel.Add(from->Text(), from->SmallIcon());
            for (int c = 1; c < 4; ++c)
                to->setCell(c, from->cell(c));
        }
        main_.cmbDel.setText(main_.cboRemotePath.Text());
    }
    main_.cmbDel.setVisible(true);
    main_.lstDel.setVisible(true);
}

void RemoteBrowser::hideDelCopies()
{
    main_.lstDel.setVisible(false);
    main_.cmbDel.setVisible(false);
}

}  // namespace harbel::tessaly
