// The local pane of the FTP client's main window: folders, listing and local file commands.

#include "ftpclient/window/LocalBrowser.h"

#include "common/prompts/Prompts.h"
#include "common/support/Skin.h"
#include "common/support/VbText.h"
#include "ftpclient/window/FileShell.h"
#include "ftpclient/config/ClientSettings.h"
#include "ftpclient/window/TessalyMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace harbel::tessaly {

// --- local pane -----------------------------------------------------------------------------

void LocalBrowser::connectPaths()
{
    if (!main_.m_xLocalPaths)
        return;
    QObject::connect(main_.m_xLocalPaths.get(), &clsLocalPaths::UpdateLocalEntry, &main_, [this](const QString& name, const QDateTime& date, qint64 size, int attrib) {
        xLocal_UpdateLocalEntry(name, date, size, attrib);
    });
    QObject::connect(main_.m_xLocalPaths.get(), &clsLocalPaths::AddToLocalPaths, &main_, [this](const QString& path) { xLocal_AddToLocalPaths(path); });
    QObject::connect(main_.m_xLocalPaths.get(), &clsLocalPaths::LogicalDriveFound, &main_, [this](const QString& drive) { xLocal_LogicalDriveFound(drive); });
}

void LocalBrowser::loadDrives()
{
    if (main_.m_xLocalPaths)
        main_.m_xLocalPaths->RetrieveLogicalDrives();
}

void LocalBrowser::xLocal_UpdateLocalEntry(const QString& name, const QDateTime& date, qint64 size, int attrib)
{
    const bool folder = attrib != -1 && (attrib & clsLocalPaths::Directory);
    // Names keep their case: on this system "docs" and "DOCS" are different folders.
    main_.addRow(main_.lstLocalFileList, name, folder ? 2 : 1, folder ? QString() : QString::number(size), date,
                 folder ? QStringLiteral("D") : QStringLiteral("F"));
}

void LocalBrowser::xLocal_AddToLocalPaths(const QString& path)
{
    main_.AddPathToComboBox(path, main_.cboLocalPath);
}

void LocalBrowser::xLocal_LogicalDriveFound(const QString& drive)
{
    if (!main_.IsPathInList(drive, main_.cboLocalPath))
        main_.cboLocalPath.AddItem(drive);
}

bool LocalBrowser::ChangeCurrentLocalFolder(const QString& sNewLocalPath)
{
    if (sNewLocalPath.isEmpty()) {
        main_.DisplayMessage(QStringLiteral("Error while attempting to change current local folder to '") + sNewLocalPath
                             + QStringLiteral("'. Description: the path is empty"));
        main_.StatusBarInfo(QStringLiteral("Could not change current local folder."));
        return false;
    }
    main_.sLocalPath = sNewLocalPath;
    main_.AddPathToComboBox(main_.sLocalPath, main_.cboLocalPath);
    main_.StatusBarInfo(QStringLiteral("Local folder changed to ") + main_.sLocalPath);
    return true;
}

void LocalBrowser::RefreshLocalList()
{
    main_.lstLocalFileList.Clear();
    if (main_.m_xLocalPaths)
        main_.m_xLocalPaths->RetrieveLocalFolderContents(main_.sLocalPath);
    PaneCommands::sortRows(main_.lstLocalFileList);
    UpdateLocalCommands();
}

void LocalBrowser::UpdateLocalCommands()
{
    const QList<ListRow*> sel = main_.lstLocalFileList.selectedRows();
    const bool oneFile = sel.size() == 1 && sel[0]->SmallIcon() == 1;
    main_.miDeleteLocalFile.setEnabled(!sel.isEmpty() && (oneFile || sel.size() > 1));
    main_.miRenameLocalFile.setEnabled(oneFile);
    main_.miCreateLocalFolder.setEnabled(true);
    main_.cmdSend.setEnabled(main_.remoteSession().State() == FtpComponent::Idle && !sel.isEmpty() && !main_.operationRunning());
}

QString LocalBrowser::selectionName() const
{
    const QList<ListRow*> sel = main_.lstLocalFileList.selectedRows();
    return sel.isEmpty() ? QString() : sel.first()->Text();
}

void LocalBrowser::lstLocalFileList_DblClick()
{
    const QList<ListRow*> sel = main_.lstLocalFileList.selectedRows();
    if (sel.isEmpty())
        return;
    const QString name = sel.first()->Text();
    if (sel.first()->SmallIcon() == 2) {
        if (ChangeCurrentLocalFolder(main_.sLocalPath + name + QLatin1Char('/'))) {
            RefreshLocalList();
            main_.StatusBarInfo(QStringLiteral("Local folder changed."));
        } else {
            main_.StatusBarInfo(QStringLiteral("Could not change local folder."));
        }
        return;
    }
    if (main_.remoteSession().State() == FtpComponent::NotConnected) {
        main_.StatusBarInfo(QStringLiteral("Cannot upload file(s) when not connected."));
        return;
    }
    if (Prompts::instance().MsgBox(QStringLiteral("Upload file '") + name + QStringLiteral("'?"), MsgButtons::YesNo, MsgIcon::Question,
                                   kConfirm) == MsgAnswer::Yes)
        main_.UploadSelection();
    else
        main_.StatusBarInfo(QStringLiteral("File(s) not uploaded to FTP server."));
}

void LocalBrowser::cmdUpLocal_Click()
{
    if (main_.sLocalPath.size() < 2) {
        main_.StatusBarInfo(QStringLiteral("Local path already at root folder."));
        return;
    }
    const qsizetype cut = main_.sLocalPath.lastIndexOf(QLatin1Char('/'), main_.sLocalPath.size() - 2);
    if (cut < 0) {
        main_.StatusBarInfo(QStringLiteral("Local path already at root folder."));
        return;
    }
    if (ChangeCurrentLocalFolder(main_.sLocalPath.left(cut + 1)))
        RefreshLocalList();
}

void LocalBrowser::cboLocalPath_Click()
{
    QString text = main_.cboLocalPath.Text();
    if (text.isEmpty() || text == main_.sLocalPath)
        return;
    // A typed folder gets its closing separator, so its entries are addressed inside it.
    if (!text.endsWith(QLatin1Char('/')))
        text += QLatin1Char('/');
    if (text == main_.sLocalPath)
        return;
    if (ChangeCurrentLocalFolder(text))
        RefreshLocalList();
}

void LocalBrowser::cboLocalPath_KeyPress(int keyAscii)
{
    if (keyAscii == 13)
        cboLocalPath_Click();
}

void LocalBrowser::mnuLocalFilterAll_Click()
{
    RefreshLocalList();
}

void LocalBrowser::mnuLocalFilterDefineTypes_Click()
{
    const QString mask = Prompts::instance()
                             .InputBox(QStringLiteral("Please enter the type ex: *.gif"),
                                       QStringLiteral("Define Type For Local Server Directory Listing"), QStringLiteral("*.*"))
                             .value_or(QString());
    if (mask.isEmpty()) {
        Prompts::instance().MsgBox(QStringLiteral("No command was entered."), MsgButtons::OkOnly, MsgIcon::Information, main_.sProgramTitle);
        return;
    }
    main_.lstLocalFileList.Clear();
    if (main_.m_xLocalPaths)
        main_.m_xLocalPaths->RetrieveDefinedLocalFolderContents(main_.sLocalPath, mask);
    PaneCommands::sortRows(main_.lstLocalFileList);
    UpdateLocalCommands();
}

void LocalBrowser::SetLocalView(int style)
{
    main_.lstLocalFileList.setView(style);
}

void LocalBrowser::miDeleteLocalFile_Click()
{
    if (Prompts::instance().MsgBox(QStringLiteral("Are you sure you want to delete the selected local file(s)?"), MsgButtons::YesNo,
                                   MsgIcon::Question, kConfirm) != MsgAnswer::Yes) {
        main_.StatusBarInfo(QStringLiteral("Local file(s) not deleted."));
        return;
    }
    QStringList names;
    for (ListRow* r : main_.lstLocalFileList.selectedRows())
        names << r->Text();
    for (const QString& name : names) {
        if (main_.m_xLocalPaths)
            main_.m_xLocalPaths->DeleteLocalFile(main_.sLocalPath + name);
    }
    RefreshLocalList();
    main_.StatusBarInfo(QStringLiteral("Local file(s) deleted."));
}

void LocalBrowser::mnuLocalDeleteFileToRecycleBin_Click()
{
    if (Prompts::instance().MsgBox(QStringLiteral("Move the selected files to the trash?"), MsgButtons::YesNo, MsgIcon::Question,
                                   kConfirm) != MsgAnswer::Yes)
        return;
    QStringList names;
    for (ListRow* r : main_.lstLocalFileList.selectedRows())
        names << r->Text();
    for (const QString& name : names) {
        QString error;
        if (!FileShell::instance().moveToTrash(main_.sLocalPath + name, &error) && !error.isEmpty())
            main_.DisplayMessage(QStringLiteral("Error no") + QLatin1Char(' ') + error);
    }
    RefreshLocalList();
    UpdateLocalCommands();
}

void LocalBrowser::miRenameLocalFile_Click()
{
    const QString name = selectionName();
    if (name.isEmpty())
        return;
    const QString full = main_.sLocalPath + name;
    if (Prompts::instance().MsgBox(QStringLiteral("Rename local file ") + full + QLatin1Char('?'), MsgButtons::YesNo, MsgIcon::Question,
                                   kConfirm) != MsgAnswer::Yes) {
        main_.StatusBarInfo(QStringLiteral("Local file not renamed."));
        return;
    }
    const QString newName = Prompts::instance().InputBox(QStringLiteral("Enter the new name for ") + full, main_.sProgramTitle, QString()).value_or(QString());
    if (newName.isEmpty()) {
        main_.StatusBarInfo(QStringLiteral("Local file not renamed."));
        return;
    }
    if (main_.m_xLocalPaths)
        main_.m_xLocalPaths->RenameLocalFile(full, main_.sLocalPath + newName);
    RefreshLocalList();
    main_.StatusBarInfo(QStringLiteral("Local file renamed."));
}

void LocalBrowser::miCreateLocalFolder_Click()
{
    const QString name = Prompts::instance()
                             .InputBox(QStringLiteral("Enter the name of the local folder you wish to create."), main_.sProgramTitle, QString())
                             .value_or(QString());
    if (name.isEmpty())
        return;
    if (main_.m_xLocalPaths)
        main_.m_xLocalPaths->CreateLocalFolder(main_.sLocalPath + name);
    RefreshLocalList();
}

void LocalBrowser::mnuLocalOpenFile_Click()
{
    const QString name = selectionName();
    if (!name.isEmpty())
        FileShell::instance().openDocument(main_.sLocalPath + name, main_.sLocalPath);
}

void LocalBrowser::mnuLocalProperties_Click()
{
    const QString name = selectionName();
    if (name.isEmpty()) {
        Prompts::instance().MsgBox(QStringLiteral("Properties of what, Please select an item?"), MsgButtons::OkOnly, MsgIcon::Exclamation,
                                   main_.sProgramTitle);
        return;
    }
    FileShell::instance().showProperties(main_.sLocalPath + name);
}

void LocalBrowser::mnuLocalFindFiles_Click()
{
    FileShell::instance().findFiles();
}

void LocalBrowser::mnuToolsEmptyLocalRecycleBin_Click()
{
    QString error;
    if (!FileShell::instance().emptyTrash(&error) && !error.isEmpty())
        main_.DisplayMessage(QStringLiteral("Error") + QLatin1Char(' ') + error);
}

}  // namespace harbel::tessaly
