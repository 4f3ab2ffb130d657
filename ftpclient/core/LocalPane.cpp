// The local pane of the FTP client's main window: folders, listing and local file commands.

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

// --- local pane -----------------------------------------------------------------------------

void frmMain::xLocal_UpdateLocalEntry(const QString& name, const QDateTime& date, qint64 size, int attrib)
{
    const bool folder = attrib != -1 && (attrib & clsLocalPaths::Directory);
    // Names keep their case: on this system "docs" and "DOCS" are different folders.
    addRow(lstLocalFileList, name, folder ? 2 : 1, folder ? QString() : QString::number(size), generalDate(date),
           folder ? QStringLiteral("D") : QStringLiteral("F"));
}

void frmMain::xLocal_AddToLocalPaths(const QString& path)
{
    AddPathToComboBox(path, cboLocalPath);
}

void frmMain::xLocal_LogicalDriveFound(const QString& drive)
{
    if (!IsPathInList(drive, cboLocalPath))
        cboLocalPath.AddItem(drive);
}

bool frmMain::ChangeCurrentLocalFolder(const QString& sNewLocalPath)
{
    if (sNewLocalPath.isEmpty()) {
        DisplayMessage(QStringLiteral("Error while attempting to change current local folder to '") + sNewLocalPath
                       + QStringLiteral("'. Description: the path is empty"));
        StatusBarInfo(QStringLiteral("Could not change current local folder."));
        return false;
    }
    sLocalPath = sNewLocalPath;
    AddPathToComboBox(sLocalPath, cboLocalPath);
    StatusBarInfo(QStringLiteral("Local folder changed to ") + sLocalPath);
    return true;
}

void frmMain::RefreshLocalList()
{
    lstLocalFileList.Clear();
    if (m_xLocalPaths)
        m_xLocalPaths->RetrieveLocalFolderContents(sLocalPath);
    UpdateLocalCommands();
}

void frmMain::UpdateLocalCommands()
{
    const QList<ListRow*> sel = lstLocalFileList.selectedRows();
    const bool oneFile = sel.size() == 1 && sel[0]->SmallIcon() == 1;
    miDeleteLocalFile.setEnabled(!sel.isEmpty() && (oneFile || sel.size() > 1));
    miRenameLocalFile.setEnabled(oneFile);
    miCreateLocalFolder.setEnabled(true);
    cmdSend.setEnabled(xFtp.State() == FtpComponent::Idle && !sel.isEmpty() && operations_ == 0);
}

void frmMain::listLocalAfterChange()
{
    RefreshLocalList();
}

QString frmMain::localSelectionName() const
{
    const QList<ListRow*> sel = lstLocalFileList.selectedRows();
    return sel.isEmpty() ? QString() : sel.first()->Text();
}

void frmMain::lstLocalFileList_DblClick()
{
    const QList<ListRow*> sel = lstLocalFileList.selectedRows();
    if (sel.isEmpty())
        return;
    const QString name = sel.first()->Text();
    if (sel.first()->SmallIcon() == 2) {
        if (ChangeCurrentLocalFolder(sLocalPath + name + QLatin1Char('/'))) {
            listLocalAfterChange();
            StatusBarInfo(QStringLiteral("Local folder changed."));
        } else {
            StatusBarInfo(QStringLiteral("Could not change local folder."));
        }
        return;
    }
    if (xFtp.State() == FtpComponent::NotConnected) {
        StatusBarInfo(QStringLiteral("Cannot upload file(s) when not connected."));
        return;
    }
    if (Prompts::instance().MsgBox(QStringLiteral("Upload file '") + name + QStringLiteral("'?"), MsgButtons::YesNo, MsgIcon::Question,
                                   kConfirm) == MsgAnswer::Yes)
        UploadSelection();
    else
        StatusBarInfo(QStringLiteral("File(s) not uploaded to FTP server."));
}

void frmMain::cmdUpLocal_Click()
{
    if (sLocalPath.size() < 2) {
        StatusBarInfo(QStringLiteral("Local path already at root folder."));
        return;
    }
    const qsizetype cut = sLocalPath.lastIndexOf(QLatin1Char('/'), sLocalPath.size() - 2);
    if (cut < 0) {
        StatusBarInfo(QStringLiteral("Local path already at root folder."));
        return;
    }
    if (ChangeCurrentLocalFolder(sLocalPath.left(cut + 1)))
        listLocalAfterChange();
}

void frmMain::cboLocalPath_Click()
{
    QString text = cboLocalPath.Text();
    if (text.isEmpty() || text == sLocalPath)
        return;
    // A typed folder gets its closing separator, so its entries are addressed inside it.
    if (!text.endsWith(QLatin1Char('/')))
        text += QLatin1Char('/');
    if (text == sLocalPath)
        return;
    if (ChangeCurrentLocalFolder(text))
        listLocalAfterChange();
}

void frmMain::cboLocalPath_KeyPress(int keyAscii)
{
    if (keyAscii == 13)
        cboLocalPath_Click();
}

void frmMain::mnuLocalFilterAll_Click()
{
    RefreshLocalList();
}

void frmMain::mnuLocalFilterDefineTypes_Click()
{
    const QString mask = Prompts::instance()
                             .InputBox(QStringLiteral("Please enter the type ex: *.gif"),
                                       QStringLiteral("Define Type For Local Server Directory Listing"), QStringLiteral("*.*"))
                             .value_or(QString());
    if (mask.isEmpty()) {
        Prompts::instance().MsgBox(QStringLiteral("No command entered, quiting"), MsgButtons::OkOnly, MsgIcon::Information, sProgramTitle);
        return;
    }
    lstLocalFileList.Clear();
    if (m_xLocalPaths)
        m_xLocalPaths->RetrieveDefinedLocalFolderContents(sLocalPath, mask);
    UpdateLocalCommands();
}

void frmMain::SetLocalView(int style)
{
    lstLocalFileList.setView(style);
}

void frmMain::miDeleteLocalFile_Click()
{
    if (Prompts::instance().MsgBox(QStringLiteral("Are you sure you want to delete the selected local file(s)?"), MsgButtons::YesNo,
                                   MsgIcon::Question, kConfirm) != MsgAnswer::Yes) {
        StatusBarInfo(QStringLiteral("Local file(s) not deleted."));
        return;
    }
    QStringList names;
    for (ListRow* r : lstLocalFileList.selectedRows())
        names << r->Text();
    for (const QString& name : names) {
        if (m_xLocalPaths)
            m_xLocalPaths->DeleteLocalFile(sLocalPath + name);
    }
    RefreshLocalList();
    StatusBarInfo(QStringLiteral("Local file(s) deleted."));
}

void frmMain::mnuLocalDeleteFileToRecycleBin_Click()
{
    if (Prompts::instance().MsgBox(QStringLiteral("do you want to send this files to recycle bin"), MsgButtons::YesNo, MsgIcon::Question,
                                   kConfirm) != MsgAnswer::Yes)
        return;
    QStringList names;
    for (ListRow* r : lstLocalFileList.selectedRows())
        names << r->Text();
    for (const QString& name : names) {
        QString error;
        if (!DesktopShell::instance().moveToTrash(sLocalPath + name, &error) && !error.isEmpty())
            DisplayMessage(QStringLiteral("Error no") + QLatin1Char(' ') + error);
    }
    RefreshLocalList();
    UpdateLocalCommands();
}

void frmMain::miRenameLocalFile_Click()
{
    const QString name = localSelectionName();
    if (name.isEmpty())
        return;
    const QString full = sLocalPath + name;
    if (Prompts::instance().MsgBox(QStringLiteral("Rename local file ") + full + QLatin1Char('?'), MsgButtons::YesNo, MsgIcon::Question,
                                   kConfirm) != MsgAnswer::Yes) {
        StatusBarInfo(QStringLiteral("Local file not renamed."));
        return;
    }
    const QString newName = Prompts::instance().InputBox(QStringLiteral("Enter the new name for ") + full, sProgramTitle, QString()).value_or(QString());
    if (newName.isEmpty()) {
        StatusBarInfo(QStringLiteral("Local file not renamed."));
        return;
    }
    if (m_xLocalPaths)
        m_xLocalPaths->RenameLocalFile(full, sLocalPath + newName);
    RefreshLocalList();
    StatusBarInfo(QStringLiteral("Local file renamed."));
}

void frmMain::miCreateLocalFolder_Click()
{
    const QString name = Prompts::instance()
                             .InputBox(QStringLiteral("Enter the name of the local folder you wish to create."), sProgramTitle, QString())
                             .value_or(QString());
    if (name.isEmpty())
        return;
    if (m_xLocalPaths)
        m_xLocalPaths->CreateLocalFolder(sLocalPath + name);
    RefreshLocalList();
}

void frmMain::mnuLocalOpenFile_Click()
{
    const QString name = localSelectionName();
    if (!name.isEmpty())
        DesktopShell::instance().openDocument(sLocalPath + name, sLocalPath);
}

void frmMain::mnuLocalProperties_Click()
{
    const QString name = localSelectionName();
    if (name.isEmpty()) {
        Prompts::instance().MsgBox(QStringLiteral("Properties of what, Please select an item?"), MsgButtons::OkOnly, MsgIcon::Exclamation,
                                   sProgramTitle);
        return;
    }
    DesktopShell::instance().showProperties(sLocalPath + name);
}

void frmMain::mnuLocalFindFiles_Click()
{
    DesktopShell::instance().findFiles();
}

void frmMain::mnuToolsEmptyLocalRecycleBin_Click()
{
    QString error;
    if (!DesktopShell::instance().emptyTrash(&error) && !error.isEmpty())
        DisplayMessage(QStringLiteral("Error") + QLatin1Char(' ') + error);
}

}  // namespace harbel::tessaly
