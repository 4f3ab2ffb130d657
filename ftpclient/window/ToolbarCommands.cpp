// The toolbar of the FTP client's main window: each command text and what it runs.

#include "ftpclient/window/ToolbarCommands.h"

#include "common/platform/AppFolder.h"
#include "common/prompts/Prompts.h"
#include "ftpclient/config/frmOptions.h"
#include "ftpclient/window/FileShell.h"
#include "ftpclient/window/TessalyMain.h"

#include <QFileInfo>
#include <QHash>

#include <functional>

namespace harbel::tessaly {

// --- toolbar --------------------------------------------------------------------------------

void ToolbarCommands::run(const QString& command)
{
    const QHash<QString, std::function<void()>> table{
        {QStringLiteral("IDC_FS_tray"), [this] { main_.Hide(); }},
        {QStringLiteral("IDC_FS_minimize"), [this] { main_.setWindowState(1); }},
        {QStringLiteral("IDC_FS_close"), [this] { main_.Form_Unload(); }},
        {QStringLiteral("IDC_FS_Options"), [this] {
             frmOptions options(main_.autoTypes);
             options.ShowForm();
             main_.ApplyQueueOptions();
         }},
        {QStringLiteral("IDC_FS_drag"), [this] { emit main_.dragRequested(); }},
        {QStringLiteral("IDC_FS_launchDM"), [this] { main_.LaunchDownloadManager(); }},
        {QStringLiteral("IDC_FS_LocalUpLevel"), [this] { main_.cmdUpLocal_Click(); }},
        {QStringLiteral("IDC_FS_LocalRefresh"), [this] { main_.RefreshLocalList(); }},
        {QStringLiteral("IDC_FS_RemoteUpLevel"), [this] { main_.cmdUpFtp_Click(); }},
        {QStringLiteral("IDC_FS_RemoteRefresh"), [this] {
             const frmMain::Operation op(main_);
             if (!op.refused() && main_.remoteSession().State() == FtpComponent::Idle) {
                 main_.RefreshRemoteList();
                 main_.UpdateRemoteCommands();
             }
         }},
        {QStringLiteral("IDC_FS_Download"), [this] { main_.DownloadSelection(); }},
        {QStringLiteral("IDC_FS_Upload"), [this] { main_.UploadSelection(); }},
        {QStringLiteral("IDC_FS_RDirSynchronize"), [this] { main_.mnuDirSyncDown_Click(); }},
        {QStringLiteral("IDC_FS_LDirSynchronize"), [this] { main_.mnuSyncDirUp_Click(); }},
        {QStringLiteral("IDC_FS_RDelete"), [this] { main_.DeleteRemoteSelection(); }},
        {QStringLiteral("IDC_FS_RRename"), [this] { main_.RenameRemoteItem(); }},
        {QStringLiteral("IDC_FS_RCreateFolder"), [this] { main_.CreateRemoteFolder(); }},
        {QStringLiteral("IDC_FS_MoveFileFolder"), [this] { main_.MoveRemoteSelection(); }},
        {QStringLiteral("IDC_FS_FileReceive"), [this] { main_.ManualReceive(); }},
        {QStringLiteral("IDC_FS_ManualSend"), [this] { main_.ManualSend(); }},
        {QStringLiteral("IDC_FS_CustomCommand"), [this] { main_.mnuRemoteSendCommand_Click(); }},
        {QStringLiteral("IDC_FS_LocalLargeIcons"), [this] { main_.SetLocalView(0); }},
        {QStringLiteral("IDC_FS_LocalSmallIcons"), [this] { main_.SetLocalView(1); }},
        {QStringLiteral("IDC_FS_LocalListIcons"), [this] { main_.SetLocalView(2); }},
        {QStringLiteral("IDC_FS_LocalDetailsIcons"), [this] { main_.SetLocalView(3); }},
        {QStringLiteral("IDC_FS_RemoteLargeIcons"), [this] { main_.SetRemoteView(0); }},
        {QStringLiteral("IDC_FS_RemoteSmallIcons"), [this] { main_.SetRemoteView(1); }},
        {QStringLiteral("IDC_FS_RemoteListIcons"), [this] { main_.SetRemoteView(2); }},
        {QStringLiteral("IDC_FS_RemoteDetailsIcons"), [this] { main_.SetRemoteView(3); }},
        {QStringLiteral("IDC_FS_ShowA"), [this] { main_.frameQuickConnect.setVisible(true); }},
        {QStringLiteral("IDC_FS_HideA"), [this] { main_.frameQuickConnect.setVisible(false); }},
        {QStringLiteral("IDC_FS_ShowB"), [this] {
             main_.FrameMainLists.setVisible(true);
             main_.frameLog.setVisible(true);
         }},
        {QStringLiteral("IDC_FS_HideB"), [this] {
             main_.FrameMainLists.setVisible(false);
             main_.frameLog.setVisible(false);
         }},
        {QStringLiteral("IDC_FS_ShowC"), [this] {
             main_.frameLog.setVisible(true);
             main_.frameCustomCommand.setVisible(true);
         }},
        {QStringLiteral("IDC_FS_HideC"), [this] {
             main_.frameLog.setVisible(false);
             main_.frameCustomCommand.setVisible(false);
         }},
        {QStringLiteral("IDC_FS_Connect"), [this] { main_.ConnectToSite(); }},
        {QStringLiteral("IDC_FS_Disconnect"), [this] { main_.CloseSession(); }},
        {QStringLiteral("IDC_FS_Reconnect"), [this] { main_.cmdQConnect_Click(); }},
        {QStringLiteral("IDC_FS_Abort"), [this] { main_.Abort(); }},
        {QStringLiteral("IDC_FS_OpenFile"), [this] { main_.mnuLocalOpenFile_Click(); }},
        {QStringLiteral("IDC_FS_FindFile"), [this] { main_.mnuLocalFindFiles_Click(); }},
        {QStringLiteral("IDC_FS_Properties"), [this] { main_.mnuLocalProperties_Click(); }},
        {QStringLiteral("IDC_FS_LDirFilters"), [this] { main_.mnuLocalFilterDefineTypes_Click(); }},
        {QStringLiteral("IDC_FS_Erase"), [this] { main_.miDeleteLocalFile_Click(); }},
        {QStringLiteral("IDC_FS_LDelete"), [this] { main_.mnuLocalDeleteFileToRecycleBin_Click(); }},
        {QStringLiteral("IDC_FS_LRename"), [this] { main_.miRenameLocalFile_Click(); }},
        {QStringLiteral("IDC_FS_LCreateFolder"), [this] { main_.miCreateLocalFolder_Click(); }},
        {QStringLiteral("IDC_FS_GoToRemoteDir"), [this] { main_.mnuRemoteGoToRemoteDirectory_Click(); }},
        {QStringLiteral("IDC_FS_RDirFilters"), [this] { main_.mnuRemoteFilterDefineTypes_Click(); }},
        {QStringLiteral("IDC_FS_Chmod"), [] {}},
        {QStringLiteral("IDC_FS_FTPCommands"), [] {}},
        {QStringLiteral("IDC_FS_ClearLog"), [this] { main_.ClearLog(); }},
        {QStringLiteral("IDC_FS_Recycle"), [this] { main_.mnuToolsEmptyLocalRecycleBin_Click(); }},
        {QStringLiteral("IDC_FS_UserGuide"), [this] {
             const QString guide = AppFolder::file(QStringLiteral("UserGuide.html"));
             if (!QFileInfo::exists(guide) || !FileShell::instance().openDocument(guide, AppFolder::path()))
                 main_.StatusBarInfo(QStringLiteral("The user guide could not be opened."));
         }},
        // A box over the window: the panes stay where they are.
        {QStringLiteral("IDC_FS_openAbout"), [] {
             Prompts::instance().MsgBox(
                 QStringLiteral("Tessaly %1\n\nThe FTP client of the Harbel suite: FTP and FTP over TLS, two panes, "
                                "folder transfers and synchronization.")
                     .arg(QLatin1String(HARBEL_VERSION)),
                 MsgButtons::OkOnly, MsgIcon::Information, QStringLiteral("About Tessaly"));
         }},
        {QStringLiteral("IDC_FS_closeAbout"), [this] {
             main_.frameQuickConnect.setVisible(true);
             main_.FrameMainLists.setVisible(true);
             main_.frameLog.setVisible(true);
         }},
    };
    const auto it = table.find(command);
    if (it != table.end())
        it.value()();
}

}  // namespace harbel::tessaly
