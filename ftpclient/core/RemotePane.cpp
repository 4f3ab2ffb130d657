// The remote pane of the FTP client's main window: listing, folder changes and downloads.

#include "ftpclient/core/frmMain.h"

#include "common/platform/Prompts.h"
#include "common/support/Skin.h"
#include "common/support/VbText.h"
#include "ftpclient/core/DesktopShell.h"
#include "ftpclient/core/MainWindowText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace harbel::tessaly {

// --- remote pane ----------------------------------------------------------------------------

void frmMain::addRow(harbel::ListView& list, const QString& name, int icon, const QString& size, const QString& date,
                     const QString& kind)
{
    ListRow* row = list.Add(name, icon);
    row->setCell(1, size);
    row->setCell(2, date);
    row->setCell(3, kind);
}

void frmMain::xFtp_ListingItem(const QString& name, const QDateTime& date, qint64 size, int kind)
{
    static const char* const letters[] = {"F", "D", "E"};
    if (kind < 0 || kind > 2)
        return;
    if (lstRemoteFileList.count() >= remoteRowLimit) {
        ++remoteRowsLeftOut_;
        return;
    }
    addRow(lstRemoteFileList, name, kind + 1, QString::number(size), generalDate(date), QLatin1String(letters[kind]));
}

void frmMain::reportRemoteRowsLeftOut()
{
    if (remoteRowsLeftOut_ > 0)
        DisplayMessage(QStringLiteral("%1 entries of the remote folder are not shown: the list shows at most %2.")
                           .arg(remoteRowsLeftOut_)
                           .arg(remoteRowLimit));
    remoteRowsLeftOut_ = 0;
}

void frmMain::ListFilesOnServer()
{
    remoteRowsLeftOut_ = 0;
    SetBusyState(true);
    xFtp.ListingOption = 1;
    StatusBarInfo(QStringLiteral("Obtaining remote folder's contents..."));
    try {
        xFtp.ListFolder(QString());
        SetBusyState(false);
        StatusBarInfo(QStringLiteral("Listing of remote folder completed."));
    } catch (const FtpError& e) {
        DisplayMessage(QStringLiteral("Error while listing remote folder's contents. Description: ") + e.Description());
        StatusBarInfo(QStringLiteral("Could not list remote folder's contents."));
        SetBusyState(false);
    }
    reportRemoteRowsLeftOut();
    UpdateRemoteCommands();
}

void frmMain::ListDefinedFilesOnServer(const QString& defineString)
{
    remoteRowsLeftOut_ = 0;
    xFtp.ListingOption = 1;
    StatusBarInfo(QStringLiteral("Obtaining directory listing..."));
    try {
        xFtp.ListFolder(defineString);
    } catch (const FtpError& e) {
        if (!e.Description().isEmpty())
            DisplayMessage(QStringLiteral("Error") + QLatin1Char(' ') + e.Description());
    }
    reportRemoteRowsLeftOut();
    setMousePointer(0);
    UpdateRemoteCommands();
}

QString frmMain::GetRemoteFolder()
{
    try {
        return xFtp.CurrentFolder();
    } catch (const FtpError& e) {
        DisplayMessage(QStringLiteral("Error while querying current remote folder. Description: ") + e.Description());
        return {};
    }
}

bool frmMain::ChangeCurrentRemoteFolder(const QString& sNewRemotePath, bool bInteractive)
{
    try {
        xFtp.ChangeFolder(sNewRemotePath);
    } catch (const FtpError& e) {
        if (bInteractive) {
            DisplayMessage(QStringLiteral("Error while attempting to change current remote folder to '") + sNewRemotePath
                           + QStringLiteral("'. Description: ") + e.Description());
            StatusBarInfo(QStringLiteral("Could not change current remote folder."));
        }
        return false;
    }
    try {
        const QString folder = xFtp.CurrentFolder();
        AddPathToComboBox(folder, cboRemotePath);
        sRemotePath = folder;
        StatusBarInfo(QStringLiteral("Remote folder changed to ") + folder);
        return true;
    } catch (const FtpError& e) {
        if (bInteractive) {
            DisplayMessage(QStringLiteral("Error obtaining new current remote folder while attempting to change current remote folder to '")
                           + sNewRemotePath + QStringLiteral("'. Description: ") + e.Description());
            StatusBarInfo(QStringLiteral("Current folder changed but new path unknown."));
        }
        return false;
    }
}

bool frmMain::IsPathInList(const QString& path, const ComboBox& combo)
{
    for (const QString& entry : combo.List())
        if (entry.compare(path, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

void frmMain::AddPathToComboBox(const QString& sPathToAdd, ComboBox& combo)
{
    if (IsPathInList(sPathToAdd, combo)) {
        combo.setText(sPathToAdd);
        return;
    }
    combo.AddItem(sPathToAdd);
    combo.setListIndex(combo.ListCount() - 1);
}

void frmMain::RefreshRemoteList()
{
    setMousePointer(kHourglass);
    lstRemoteFileList.Clear();
    SetBusyState(true);
    ListFilesOnServer();
    SetBusyState(false);
    sRemotePath = GetRemoteFolder();
    cboRemotePath.setText(sRemotePath);
    setMousePointer(0);
}

void frmMain::UpdateRemoteCommands()
{
    const QList<ListRow*> sel = lstRemoteFileList.selectedRows();
    const bool fileOrFolder = sel.size() == 1 && (sel[0]->SmallIcon() == 1 || sel[0]->SmallIcon() == 2);
    miDeleteRemoteFile.setEnabled(!sel.isEmpty() && (sel.size() > 1 || fileOrFolder));
    miRenameRemoteFile.setEnabled(fileOrFolder);
    cmdReceive.setEnabled(!sel.isEmpty() && operations_ == 0);
}

void frmMain::listRemoteAfterChange()
{
    lstRemoteFileList.Clear();
    ListFilesOnServer();
    UpdateRemoteCommands();
}

void frmMain::lstRemoteFileList_DblClick()
{
    const Operation op(*this);
    if (op.refused())
        return;
    if (xFtp.State() != FtpComponent::Idle)
        return;
    const QList<ListRow*> sel = lstRemoteFileList.selectedRows();
    if (sel.isEmpty())
        return;
    const QString name = sel.first()->Text();
    const int icon = sel.first()->SmallIcon();
    try {
        switch (icon) {
        case 1:
            DownloadSelection();
            break;
        case 2:
            if (ChangeCurrentRemoteFolder(name, true)) {
                listRemoteAfterChange();
                StatusBarInfo(QStringLiteral("Changed current remote folder."));
            } else {
                StatusBarInfo(QStringLiteral("Unable to change current remote folder."));
            }
            break;
        case 3:
            if (ChangeCurrentRemoteFolder(name, false)) {
                listRemoteAfterChange();
                StatusBarInfo(QStringLiteral("Changed current remote folder."));
            } else {
                DownloadSelection();
            }
            break;
        default:
            break;
        }
    } catch (const FtpError& e) {
        if (e.Number() != 91)
            Prompts::instance().MsgBox(QStringLiteral("Error No. ") + QString::number(e.Number()) + QStringLiteral("  ,") + e.Description(),
                                       MsgButtons::OkOnly, MsgIcon::None, sProgramTitle);
    }
}

void frmMain::cmdUpFtp_Click()
{
    const Operation op(*this);
    if (op.refused())
        return;
    try {
        const QString before = xFtp.CurrentFolder();
        xFtp.ChangeToParent();
        const QString now = GetRemoteFolder();
        if (now != before) {
            if (!ChangeCurrentRemoteFolder(now, true))
                return;
            listRemoteAfterChange();
            StatusBarInfo(QStringLiteral("Remote path now up one folder."));
        } else {
            StatusBarInfo(QStringLiteral("Remote path already at a root folder."));
        }
    } catch (const FtpError& e) {
        DisplayMessage(QStringLiteral("Error while attempting to change current remote folder to its parent folder. Description: ") + e.Description());
        StatusBarInfo(QStringLiteral("Could not change to remote folder's parent."));
    }
}

void frmMain::cboRemotePath_Click()
{
    const Operation op(*this);
    if (op.refused())
        return;
    const QString text = cboRemotePath.Text();
    if (xFtp.State() != FtpComponent::Idle || text == GetRemoteFolder())
        return;
    if (ChangeCurrentRemoteFolder(text, true))
        listRemoteAfterChange();
}

void frmMain::cboRemotePath_KeyPress(int keyAscii)
{
    if (keyAscii == 13)
        cboRemotePath_Click();
}

void frmMain::mnuRemoteGoToRemoteDirectory_Click()
{
    const Operation op(*this);
    if (op.refused())
        return;
    const QString answer = Prompts::instance()
                               .InputBox(QStringLiteral("Type Directory Name To Go TO ( WITHOUT THE WORD CD OR DIR IN THE BEGINNING! )"),
                                         QStringLiteral("Remote Server Custom Command"), QString())
                               .value_or(QString());
    if (answer.isEmpty()) {
        Prompts::instance().MsgBox(QStringLiteral("No command entered, quiting"), MsgButtons::OkOnly, MsgIcon::Information, sProgramTitle);
        return;
    }
    cboRemotePath.setText(answer);
    cboRemotePath_KeyPress(13);
}

void frmMain::mnuRemoteFilterAll_Click()
{
    const Operation op(*this);
    if (op.refused())
        return;
    if (xFtp.State() != FtpComponent::Idle)
        return;
    lstRemoteFileList.Clear();
    ListFilesOnServer();
}

void frmMain::mnuRemoteFilterDefineTypes_Click()
{
    const Operation op(*this);
    if (op.refused())
        return;
    const QString mask = Prompts::instance()
                             .InputBox(QStringLiteral("Please enter the type ex: *.gif"),
                                       QStringLiteral("Define Type For Remote Server Directory Listing"), QStringLiteral("*.*"))
                             .value_or(QString());
    if (mask.isEmpty()) {
        Prompts::instance().MsgBox(QStringLiteral("No command entered,quiting"), MsgButtons::OkOnly, MsgIcon::Information, sProgramTitle);
        return;
    }
    lstRemoteFileList.Clear();
    SetBusyState(true);
    ListDefinedFilesOnServer(mask);
    SetBusyState(false);
}

void frmMain::SetRemoteView(int style)
{
    lstRemoteFileList.setView(style);
}

void frmMain::DownloadSelection()
{
    const Operation op(*this);
    if (op.refused())
        return;
    setMousePointer(kHourglass);
    SetBusyState(true);
    bool complete = true;
    try {
        // Names and kinds first: the list may change while the files arrive.
        QList<std::pair<QString, int>> rows;
        for (ListRow* r : lstRemoteFileList.selectedRows())
            rows.append({r->Text(), r->SmallIcon()});
        for (const auto& [text, icon] : rows) {
            const QString reason = listing::unsafeNameReason(text);
            if (!reason.isEmpty()) {
                DisplayMessage(QStringLiteral("Refused to download '%1': %2.").arg(text, reason));
                continue;
            }
            if (icon == 2) {
                const QString folder = sLocalPath + text + QLatin1Char('/');
                if (QFileInfo(folder).exists() || QFileInfo(folder.chopped(1)).isSymLink() || !QDir().mkdir(folder))
                    throw FtpError(ftpErrLocalFile, QStringLiteral("Cannot create the local folder ") + folder);
                const bool sub = Prompts::instance().MsgBox(QStringLiteral("Do you want to receive any subfolders that are contained in the '")
                                                                + text + QStringLiteral("' folder?"),
                                                            MsgButtons::YesNo, MsgIcon::Question, kConfirm) == MsgAnswer::Yes;
                xFtp.ReceiveFiles(text + QStringLiteral("/*"), folder, sub);
            } else {
                xFtp.ReceiveFile(text, 0, sLocalPath + text);
            }
        }
    } catch (const FtpError& e) {
        complete = false;
        if (e.Number() == ftpErrAborted) {
            DisplayMessage(QStringLiteral("Download successfully aborted."));
            StatusBarInfo(QStringLiteral("Download aborted."));
        } else {
            DisplayMessage(QStringLiteral("Error while downloading file(s). Description: ") + e.Description());
            StatusBarInfo(QStringLiteral("Error downloading file(s)."));
        }
    }
    if (complete)
        StatusBarInfo(QStringLiteral("File download(s) complete."));
    ResetProgress();
    setMousePointer(0);
    SetBusyState(false);
    RefreshLocalList();
}

void frmMain::CopyRemoteListToDelList()
{
    if (lstRemoteFileList.count() > 0) {
        lstDel.Clear();
        lstDel.setView(lstRemoteFileList.View());
        for (int i = 0; i < lstRemoteFileList.count(); ++i) {
            const ListRow* from = lstRemoteFileList.at(i);
            ListRow* to = lstDel.Add(from->Text(), from->SmallIcon());
            for (int c = 1; c < 4; ++c)
                to->setCell(c, from->cell(c));
        }
        cmbDel.setText(cboRemotePath.Text());
    }
    cmbDel.setVisible(true);
    lstDel.setVisible(true);
}

void frmMain::hideDelCopies()
{
    lstDel.setVisible(false);
    cmbDel.setVisible(false);
}

QString frmMain::remotePath(const QString& folder, const QString& name)
{
    if (folder.isEmpty())
        return name;
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

}  // namespace harbel::tessaly
