// The toolbar of the FTP client's main window: each command text and what it runs.

#include "ftpclient/core/frmMain.h"

#include "common/platform/AppFolder.h"
#include "common/platform/Prompts.h"
#include "ftpclient/config/frmOptions.h"
#include "ftpclient/core/DesktopShell.h"
#include "ftpclient/core/MainWindowText.h"

#include <QFileInfo>
#include <QHash>

#include <functional>

namespace harbel::tessaly {

// --- toolbar --------------------------------------------------------------------------------

void frmMain::movToolbar_FSCommand(const QString& command)
{
    const QHash<QString, std::function<void()>> table{
        {QStringLiteral("IDC_FS_tray"), [this] { Hide(); }},
        {QStringLiteral("IDC_FS_minimize"), [this] { setWindowState(1); }},
        {QStringLiteral("IDC_FS_close"), [this] { Form_Unload(); }},
        {QStringLiteral("IDC_FS_Options"), [this] {
             frmOptions options(autoTypes);
             options.ShowForm();
         }},
        {QStringLiteral("IDC_FS_drag"), [this] { emit dragRequested(); }},
        {QStringLiteral("IDC_FS_launchDM"), [this] { LaunchDownloadManager(); }},
        {QStringLiteral("IDC_FS_LocalUpLevel"), [this] { cmdUpLocal_Click(); }},
        {QStringLiteral("IDC_FS_LocalRefresh"), [this] { RefreshLocalList(); }},
        {QStringLiteral("IDC_FS_RemoteUpLevel"), [this] { cmdUpFtp_Click(); }},
        {QStringLiteral("IDC_FS_RemoteRefresh"), [this] {
             const Operation op(*this);
             if (!op.refused() && xFtp.State() == FtpComponent::Idle) {
                 RefreshRemoteList();
                 UpdateRemoteCommands();
             }
         }},
        {QStringLiteral("IDC_FS_Download"), [this] { DownloadSelection(); }},
        {QStringLiteral("IDC_FS_Upload"), [this] { UploadSelection(); }},
        {QStringLiteral("IDC_FS_RDirSynchronize"), [this] { mnuDirSyncDown_Click(); }},
        {QStringLiteral("IDC_FS_LDirSynchronize"), [this] { mnuSyncDirUp_Click(); }},
        {QStringLiteral("IDC_FS_RDelete"), [this] { DeleteRemoteSelection(); }},
        {QStringLiteral("IDC_FS_RRename"), [this] { RenameRemoteItem(); }},
        {QStringLiteral("IDC_FS_RCreateFolder"), [this] { CreateRemoteFolder(); }},
        {QStringLiteral("IDC_FS_MoveFileFolder"), [this] { MoveRemoteSelection(); }},
        {QStringLiteral("IDC_FS_FileReceive"), [this] { ManualReceive(); }},
        {QStringLiteral("IDC_FS_ManualSend"), [this] { ManualSend(); }},
        {QStringLiteral("IDC_FS_CustomCommand"), [this] { mnuRemoteSendCommand_Click(); }},
        {QStringLiteral("IDC_FS_LocalLargeIcons"), [this] { SetLocalView(0); }},
        {QStringLiteral("IDC_FS_LocalSmallIcons"), [this] { SetLocalView(1); }},
        {QStringLiteral("IDC_FS_LocalListIcons"), [this] { SetLocalView(2); }},
        {QStringLiteral("IDC_FS_LocalDetailsIcons"), [this] { SetLocalView(3); }},
        {QStringLiteral("IDC_FS_RemoteLargeIcons"), [this] { SetRemoteView(0); }},
        {QStringLiteral("IDC_FS_RemoteSmallIcons"), [this] { SetRemoteView(1); }},
        {QStringLiteral("IDC_FS_RemoteListIcons"), [this] { SetRemoteView(2); }},
        {QStringLiteral("IDC_FS_RemoteDetailsIcons"), [this] { SetRemoteView(3); }},
        {QStringLiteral("IDC_FS_ShowA"), [this] { frameQuickConnect.setVisible(true); }},
        {QStringLiteral("IDC_FS_HideA"), [this] { frameQuickConnect.setVisible(false); }},
        {QStringLiteral("IDC_FS_ShowB"), [this] {
             FrameMainLists.setVisible(true);
             frameLog.setVisible(true);
         }},
        {QStringLiteral("IDC_FS_HideB"), [this] {
             FrameMainLists.setVisible(false);
             frameLog.setVisible(false);
         }},
        {QStringLiteral("IDC_FS_ShowC"), [this] {
             frameLog.setVisible(true);
             frameCustomCommand.setVisible(true);
         }},
        {QStringLiteral("IDC_FS_HideC"), [this] {
             frameLog.setVisible(false);
             frameCustomCommand.setVisible(false);
         }},
        {QStringLiteral("IDC_FS_Connect"), [this] { ConnectToSite(); }},
        {QStringLiteral("IDC_FS_Disconnect"), [this] { CloseSession(); }},
        {QStringLiteral("IDC_FS_Reconnect"), [this] { cmdQConnect_Click(); }},
        {QStringLiteral("IDC_FS_Abort"), [this] { Abort(); }},
        {QStringLiteral("IDC_FS_OpenFile"), [this] { mnuLocalOpenFile_Click(); }},
        {QStringLiteral("IDC_FS_FindFile"), [this] { mnuLocalFindFiles_Click(); }},
        {QStringLiteral("IDC_FS_Properties"), [this] { mnuLocalProperties_Click(); }},
        {QStringLiteral("IDC_FS_LDirFilters"), [this] { mnuLocalFilterDefineTypes_Click(); }},
        {QStringLiteral("IDC_FS_Erase"), [this] { miDeleteLocalFile_Click(); }},
        {QStringLiteral("IDC_FS_LDelete"), [this] { mnuLocalDeleteFileToRecycleBin_Click(); }},
        {QStringLiteral("IDC_FS_LRename"), [this] { miRenameLocalFile_Click(); }},
        {QStringLiteral("IDC_FS_LCreateFolder"), [this] { miCreateLocalFolder_Click(); }},
        {QStringLiteral("IDC_FS_GoToRemoteDir"), [this] { mnuRemoteGoToRemoteDirectory_Click(); }},
        {QStringLiteral("IDC_FS_RDirFilters"), [this] { mnuRemoteFilterDefineTypes_Click(); }},
        {QStringLiteral("IDC_FS_Chmod"), [] {}},
        {QStringLiteral("IDC_FS_FTPCommands"), [] {}},
        {QStringLiteral("IDC_FS_ClearLog"), [this] { ClearLog(); }},
        {QStringLiteral("IDC_FS_Recycle"), [this] { mnuToolsEmptyLocalRecycleBin_Click(); }},
        {QStringLiteral("IDC_FS_UserGuide"), [this] {
             const QString guide = AppFolder::file(QStringLiteral("UserGuide.html"));
             if (!QFileInfo::exists(guide) || !DesktopShell::instance().openDocument(guide, AppFolder::path()))
                 StatusBarInfo(QStringLiteral("The user guide could not be opened."));
         }},
        {QStringLiteral("IDC_FS_openAbout"), [this] { showPanels(false, false, false, false); }},
        {QStringLiteral("IDC_FS_closeAbout"), [this] {
             frameQuickConnect.setVisible(true);
             FrameMainLists.setVisible(true);
             frameLog.setVisible(true);
         }},
    };
    const auto it = table.find(command);
    if (it != table.end())
        it.value()();
}

}  // namespace harbel::tessaly
