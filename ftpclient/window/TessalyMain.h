#pragma once

#include "common/controls/Control.h"
#include "common/controls/Form.h"
#include "common/controls/ListView.h"
#include "common/controls/MovieToolbar.h"
#include "common/controls/Timer.h"
#include "common/controls/Tray.h"
#include "ftpclient/component/FtpComponent.h"
#include "ftpclient/component/IniCertificateTrust.h"
#include "ftpclient/component/ThreadedSftpSession.h"
#include "ftpclient/config/ClientControls.h"
#include "ftpclient/config/SiteProtocol.h"
#include "ftpclient/config/frmConnectionInfo.h"
#include "ftpclient/local/clsLocalPaths.h"
#include "ftpclient/window/ConnectionLog.h"
#include "ftpclient/window/DirectorySyncCommands.h"
#include "ftpclient/window/LocalBrowser.h"
#include "ftpclient/window/PaneCommands.h"
#include "ftpclient/window/TransferCommands.h"
#include "ftpclient/window/RemoteBrowser.h"
#include "ftpclient/window/RemoteFileCommands.h"
#include "ftpclient/window/SiteSession.h"
#include "ftpclient/window/ToolbarCommands.h"
#include "ftpclient/window/UploadCommands.h"

#include <memory>

namespace harbel {
class SingleInstance;
}

namespace harbel::tessaly {

// Tessaly's main window: the session with the server, the connection log, the remote and the local
// pane, the toolbar commands and the tray icon. Views render its controls and call its handlers;
// the handlers of each part of the window live in a class of their own (SiteSession, RemoteBrowser,
// LocalBrowser, RemoteFileCommands, UploadCommands, DirectorySyncCommands, ToolbarCommands,
// ConnectionLog).
class frmMain final : public Form {
    Q_OBJECT
public:
    // The pointer shape while the window works.
    static constexpr int kHourglass = 11;

    explicit frmMain(QObject* parent = nullptr);
    ~frmMain() override;

    // Start-up; false when the program must end at once (another instance runs).
    bool Form_Load();
    // After a Form_Load that returned false: true when the running copy was asked to show its window.
    bool raisedRunning() const { return raisedRunning_; }
    // Leaving the program (window close, "IDC_FS_close", File > Exit, tray Exit).
    void Form_Unload();

    // --- operations ------------------------------------------------------------------------------
    // One user command that talks to the server. Its calls block in a nested event loop, so the
    // window stays live while one runs: a command that arrives then is refused before it touches
    // any state (refused() is true), and the controls that would start one are disabled until the
    // outermost operation ends. A command that an operation runs itself, between its calls, goes on.
    class Operation final {
    public:
        explicit Operation(frmMain& main);
        ~Operation();
        Operation(const Operation&) = delete;
        Operation& operator=(const Operation&) = delete;
        bool refused() const { return refused_; }

    private:
        frmMain& main_;
        bool refused_ = false;
        bool outermost_ = false;
    };
    bool operationRunning() const { return operations_ > 0; }

    // --- session (SiteSession) -------------------------------------------------------------------
    void StatusBarInfo(const QString& sMessage);
    void UpdateAction(const QString& sMessage);
    void ConnectToSite() { session_.ConnectToSite(); }
    void cmdQConnect_Click() { session_.cmdQConnect_Click(); }
    void OpenSession() { session_.OpenSession(); }
    void CloseSession() { session_.CloseSession(); }
    void SetConnectedState(bool connected);
    void SetBusyState(bool busy);
    void txtQport_Change() { session_.txtQport_Change(); }
    // Quick Connect's protocol choice changed: its port and its FTP choices follow.
    void cboQProtocol_Click() { session_.cboQProtocol_Click(); }
    void movToolbar_FSCommand(const QString& command) { toolbar_.run(command); }
    // Starts the download manager, or brings its window up when it runs; this window stays.
    void LaunchDownloadManager();
    void Abort() { session_.Abort(); }
    void cmdCloseCommand_Click() { commands_.cmdCloseCommand_Click(); }
    void txtCommand_KeyPress(int keyAscii) { commands_.txtCommand_KeyPress(keyAscii); }
    void tmrRefresh_Timer() { session_.tmrRefresh_Timer(); }

    // --- connection log (ConnectionLog) ----------------------------------------------------------
    static constexpr int kMaxLogLines = ConnectionLog::kMaxLines;
    void DisplayMessage(const QString& sMessage) { log_.add(sMessage); }
    void ApplyLogSettings() { log_.applyStartRule(); }
    void ClearLog() { log_.clear(); }
    QString logFilePath() const { return log_.filePath(); }
    void setLogLineLimit(int lines) { log_.lineLimit = lines; }

    // --- remote pane (RemoteBrowser) -------------------------------------------------------------
    // A listing adds at most this many rows; each costs a row and its widget items, and a hostile
    // or huge folder would otherwise take all memory. What is left out is logged once per listing.
    static constexpr int kMaxRemoteRows = 100000;
    int remoteRowLimit = kMaxRemoteRows;
    void ListFilesOnServer() { remote_.ListFilesOnServer(); }
    void ListDefinedFilesOnServer(const QString& defineString) { remote_.ListDefinedFilesOnServer(defineString); }
    QString GetRemoteFolder() { return remote_.GetRemoteFolder(); }
    bool ChangeCurrentRemoteFolder(const QString& sNewRemotePath, bool bInteractive)
    {
        return remote_.ChangeCurrentRemoteFolder(sNewRemotePath, bInteractive);
    }
    void AddPathToComboBox(const QString& sPathToAdd, ComboBox& combo);
    static bool IsPathInList(const QString& path, const ComboBox& combo);
    void RefreshRemoteList() { remote_.RefreshRemoteList(); }
    void UpdateRemoteCommands() { remote_.UpdateRemoteCommands(); }
    void lstRemoteFileList_DblClick() { remote_.lstRemoteFileList_DblClick(); }
    void cmdUpFtp_Click() { remote_.cmdUpFtp_Click(); }
    void cboRemotePath_Click() { remote_.cboRemotePath_Click(); }
    void cboRemotePath_KeyPress(int keyAscii) { remote_.cboRemotePath_KeyPress(keyAscii); }
    void mnuRemoteGoToRemoteDirectory_Click() { remote_.mnuRemoteGoToRemoteDirectory_Click(); }
    void mnuRemoteFilterAll_Click() { remote_.mnuRemoteFilterAll_Click(); }
    void mnuRemoteFilterDefineTypes_Click() { remote_.mnuRemoteFilterDefineTypes_Click(); }
    void SetRemoteView(int style) { remote_.SetRemoteView(style); }
    void DownloadSelection() { queue_.downloadSelection(); }
    // Shows a frozen copy of the remote list and path (lstDel, cmbDel) in front of the live ones
    // while an operation changes the remote folder under them; hideDelCopies() ends that.
    void CopyRemoteListToDelList() { remote_.CopyRemoteListToDelList(); }
    void hideDelCopies() { remote_.hideDelCopies(); }
    // A remote path: folder and name joined with "/", as FTP servers separate them.
    static QString remotePath(const QString& folder, const QString& name);
    // Where a name the user sees or types lies on the server: in the listed folder (sRemotePath),
    // whatever folder the server is in; a path that begins with "/" as it is. Every command that
    // acts on a remote entry addresses it this way. Throws when no folder is listed.
    QString listedPath(const QString& name) const;
    // Lists the server's current folder (asked with PWD first) into the remote pane and path box.
    // A listing that fails keeps the rows and the path shown; false then.
    bool ShowServerFolder() { return remote_.ShowServerFolder(); }
    // Makes the server's current folder the listed one again when it is elsewhere; false when the
    // server cannot be brought there (logged).
    bool ServerToListedFolder() { return remote_.ServerToListedFolder(); }

    // --- remote file operations (RemoteFileCommands) ---------------------------------------------
    // Deletes the selected remote rows after asking; folders with all they hold. The walk never
    // leaves the selected folder: unsafe names are skipped, links are deleted as links and never
    // entered, and every folder change is checked against the folder the server reports.
    void DeleteRemoteSelection() { commands_.DeleteRemoteSelection(); }
    // Deletes the folder `path` (a name in the current remote folder) and everything in it; the
    // current remote folder is the same again afterwards. False when it could not be brought back
    // there, so that nothing more may be deleted by name.
    bool DeleteRemoteFolderRec(const QString& path) { return commands_.DeleteRemoteFolderRec(path); }
    // While a delete runs: the folder it began in joined with the selected folder's name.
    QString sDeleteRoot;

    void RenameRemoteItem() { commands_.RenameRemoteItem(); }
    void CreateRemoteFolder() { commands_.CreateRemoteFolder(); }
    void MoveRemoteSelection() { commands_.MoveRemoteSelection(); }
    void ManualReceive() { commands_.ManualReceive(); }
    void ManualSend() { commands_.ManualSend(); }
    // The raw command menu; RETR and STOR are ManualReceive() and ManualSend().
    void mnuRemoteFtpCommandsHelp_Click() { commands_.sendMenuCommand(QStringLiteral("HELP")); }
    void mnuRemoteFtpCommandsList_Click() { commands_.sendMenuCommand(QStringLiteral("LIST")); }
    void mnuRemoteFtpCommandsNlst_Click() { commands_.sendMenuCommand(QStringLiteral("NLST")); }
    void mnuRemoteFtpCommandsPwd_Click() { commands_.sendMenuCommand(QStringLiteral("PWD")); }
    void mnuRemoteFtpCommandsSyst_Click() { commands_.sendMenuCommand(QStringLiteral("SYST")); }
    void mnuRemoteFtpCommandsCwd_Click() { commands_.mnuRemoteFtpCommandsCwd_Click(); }
    void mnuRemoteFtpCommandsQuote_Click() { commands_.mnuRemoteFtpCommandsQuote_Click(); }
    // Shows the custom-command panel in place of the others; txtCommand_KeyPress() sends a line,
    // cmdCloseCommand_Click() brings the panels back.
    void mnuRemoteSendCommand_Click() { commands_.mnuRemoteSendCommand_Click(); }

    // --- local pane (LocalBrowser) ---------------------------------------------------------------
    bool ChangeCurrentLocalFolder(const QString& sNewLocalPath) { return local_.ChangeCurrentLocalFolder(sNewLocalPath); }
    void RefreshLocalList() { local_.RefreshLocalList(); }
    void UpdateLocalCommands() { local_.UpdateLocalCommands(); }
    void lstLocalFileList_DblClick() { local_.lstLocalFileList_DblClick(); }
    void cmdUpLocal_Click() { local_.cmdUpLocal_Click(); }
    void cboLocalPath_Click() { local_.cboLocalPath_Click(); }
    void cboLocalPath_KeyPress(int keyAscii) { local_.cboLocalPath_KeyPress(keyAscii); }
    void mnuLocalFilterAll_Click() { local_.mnuLocalFilterAll_Click(); }
    void mnuLocalFilterDefineTypes_Click() { local_.mnuLocalFilterDefineTypes_Click(); }
    void SetLocalView(int style) { local_.SetLocalView(style); }
    void miDeleteLocalFile_Click() { local_.miDeleteLocalFile_Click(); }
    void mnuLocalDeleteFileToRecycleBin_Click() { local_.mnuLocalDeleteFileToRecycleBin_Click(); }
    void miRenameLocalFile_Click() { local_.miRenameLocalFile_Click(); }
    void miCreateLocalFolder_Click() { local_.miCreateLocalFolder_Click(); }
    void mnuLocalOpenFile_Click() { local_.mnuLocalOpenFile_Click(); }
    void mnuLocalProperties_Click() { local_.mnuLocalProperties_Click(); }
    void mnuLocalFindFiles_Click() { local_.mnuLocalFindFiles_Click(); }
    void mnuToolsEmptyLocalRecycleBin_Click() { local_.mnuToolsEmptyLocalRecycleBin_Click(); }

    // --- keys and order of the two lists (PaneCommands) ------------------------------------------
    using Pane = PaneCommands::Pane;
    using PaneCommand = PaneCommands::Command;
    bool RunPaneCommand(Pane pane, PaneCommand command) { return panes_.run(pane, command); }
    void lstRemoteFileList_ColumnClick(int column) { panes_.columnClick(Pane::Remote, column); }
    void lstLocalFileList_ColumnClick(int column) { panes_.columnClick(Pane::Local, column); }

    // --- what the next start restores -----------------------------------------------------------
    // The window's size and place as the view saved them (empty when never saved).
    QByteArray WindowGeometry() const;
    void setWindowGeometry(const QByteArray& geometry);

    // --- uploads (UploadCommands) ----------------------------------------------------------------
    // The selection goes into the transfer queue (TransferCommands).
    void UploadSelection() { queue_.uploadSelection(); }
    void UploadFolderTree(const QString& path) { uploads_.UploadFolderTree(path); }
    void UploadOneFile(const QString& filePath) { uploads_.UploadOneFile(filePath); }
    // Auto mode: ASCII for a file whose lower-cased extension is in the "Auto Mode Types" list,
    // binary for every other.
    void applyAutoMode(const QString& fileName) { uploads_.applyAutoMode(fileName); }

    // --- transfer queue (TransferCommands) -----------------------------------------------------
    // The queue's connections move the files while the session stays free; the panel shows it.
    TransferQueue& transferQueue() { return queue_.queue; }
    QueuePanel& queuePanel() { return queue_.panel; }
    TransferQueueStore& queueStore() { return queue_.store; }
    // The options changed: the queue takes its number of connections.
    void ApplyQueueOptions() { queue_.applyOptions(); }

    // --- directory synchronisation (DirectorySyncCommands) ---------------------------------------
    // One-way, files only, one level deep, between sLocalPath and sRemotePath. The setting
    // "DIR SYNC BY FILE SIZE" at 1 compares sizes; otherwise a file goes when its copy on the other
    // side is older, times being compared only as exactly as the server gives them.
    // Local folder from the remote one (menu mnuDirSyncDown, "IDC_FS_RDirSynchronize").
    void mnuDirSyncDown_Click() { sync_.mnuDirSyncDown_Click(); }
    // Remote folder from the local one (menu mnuSyncDirUp, "IDC_FS_LDirSynchronize").
    void mnuSyncDirUp_Click() { sync_.mnuSyncDirUp_Click(); }

    // --- transfer mode ---------------------------------------------------------------------------
    void optBinary_Click();
    void optAscii_Click();
    void optAuto_Click();
    void LoadAutoTypes();
    void ResetProgress();

    // Members of the session.
    QString sSiteAddress;
    QString sSitePort = QStringLiteral("21");
    QString sSiteUser;
    QString sSitePassword;
    bool bSiteAnonymous = false;
    bool bSitePassive = true;
    // Explicit FTP over TLS: the site dialog's choice of the last connect (chkQTls for Quick Connect).
    bool bSiteTls = false;
    // The protocol of the last connect (a SiteProtocol::Kind): which session the window talks to.
    int iSiteProtocol = SiteProtocol::Ftp;
    QString sLocalPath;
    QString sRemotePath;
    bool bAutoMode = false;
    bool checkAll = false;
    // The answer "Apply To All" repeats while checkAll holds (a FileClash::Answer).
    int existAnswer = 0;
    // The clash question of the running command starts with "Apply To All" ticked (synchronising).
    bool existAllFirst = false;
    QStringList autoTypes;
    QString sProgramTitle = QStringLiteral("Tessaly");
    // 0 normal, 11 hourglass.
    int MousePointer() const { return mousePointer_; }

    // The server certificates trusted always: TrustedCertificates.ini in the application folder.
    IniCertificateTrust trustedCertificates;
    FtpComponent xFtp;
    // The session over SFTP: the component runs on a thread of its own, so the window never waits.
    ThreadedSftpSession xSftp;
    // The session of the last connect's protocol: xSftp over SFTP, else xFtp.
    RemoteSession& remoteSession();
    const RemoteSession& remoteSession() const;
    bool overSftp() const { return iSiteProtocol == SiteProtocol::Sftp; }
    // Receives a remote file whole into localPath, over the session's protocol.
    void receiveFile(const QString& remoteName, const QString& localPath);
    // The server's current folder becomes its parent.
    void changeToParent();
    std::unique_ptr<clsLocalPaths> m_xLocalPaths;
    std::unique_ptr<frmConnectionInfo> connectionInfo;

    // Controls.
    harbel::MovieToolbar movToolbar{*this, QStringLiteral("movToolbar")};
    Frame frameQuickConnect{*this, QStringLiteral("frameQuickConnect")};
    TextBox txtQaddress{*this, QStringLiteral("txtQaddress")};
    TextBox txtQport{*this, QStringLiteral("txtQport")};
    TextBox txtQuser{*this, QStringLiteral("txtQuser")};
    TextBox txtQpassword{*this, QStringLiteral("txtQpassword")};
    Button cmdQConnect{*this, QStringLiteral("cmdQConnect")};
    CheckBox chkQTls{*this, QStringLiteral("chkQTls")};
    ComboBox cboQProtocol{*this, QStringLiteral("cboQProtocol")};
    CheckBox chkQPassive{*this, QStringLiteral("chkQPassive")};
    Frame FrameMainLists{*this, QStringLiteral("FrameMainLists")};
    ComboBox cboLocalPath{*this, QStringLiteral("cboLocalPath")};
    harbel::ListView lstLocalFileList{*this, QStringLiteral("lstLocalFileList")};
    Button cmdUpLocal{*this, QStringLiteral("cmdUpLocal")};
    ComboBox cboRemotePath{*this, QStringLiteral("cboRemotePath")};
    harbel::ListView lstRemoteFileList{*this, QStringLiteral("lstRemoteFileList")};
    harbel::ListView lstDel{*this, QStringLiteral("lstDel")};
    ComboBox cmbDel{*this, QStringLiteral("cmbDel")};
    Button cmdUpFtp{*this, QStringLiteral("cmdUpFtp")};
    Button cmdSend{*this, QStringLiteral("cmdSend")};
    Button cmdReceive{*this, QStringLiteral("cmdReceive")};
    Button cmdConnect{*this, QStringLiteral("cmdConnect")};
    Button cmdDisconnect{*this, QStringLiteral("cmdDisconnect")};
    Button cmdAbort{*this, QStringLiteral("cmdAbort")};
    OptionButton optBinary{*this, QStringLiteral("optBinary")};
    OptionButton optAscii{*this, QStringLiteral("optAscii")};
    OptionButton optAuto{*this, QStringLiteral("optAuto")};
    Frame frameCustomCommand{*this, QStringLiteral("frameCustomCommand")};
    TextBox txtCommand{*this, QStringLiteral("txtCommand")};
    Button cmdCloseCommand{*this, QStringLiteral("cmdCloseCommand")};
    Frame frameLog{*this, QStringLiteral("frameLog")};
    ListBox lstConnectionInfo{*this, QStringLiteral("lstConnectionInfo")};
    Label lblStatus{*this, QStringLiteral("lblStatus")};
    ProgressBar prgStatus{*this, QStringLiteral("prgStatus")};
    Tray Tray1{*this, QStringLiteral("Tray1")};
    Timer tmrRefresh{*this, QStringLiteral("tmrRefresh")};

    MenuItem mnuFileConnect{*this, QStringLiteral("mnuFileConnect"), QStringLiteral("Connect...")};
    MenuItem mnuFileDisconnect{*this, QStringLiteral("mnuFileDisconnect"), QStringLiteral("Disconnect")};
    MenuItem mnuFileExit{*this, QStringLiteral("mnuFileExit"), QStringLiteral("Exit")};
    MenuItem miRemote{*this, QStringLiteral("miRemote"), QStringLiteral("Remote")};
    MenuItem miLocal{*this, QStringLiteral("miLocal"), QStringLiteral("Local")};
    MenuItem miDeleteRemoteFile{*this, QStringLiteral("miDeleteRemoteFile"), QStringLiteral("Delete")};
    MenuItem miRenameRemoteFile{*this, QStringLiteral("miRenameRemoteFile"), QStringLiteral("Rename File")};
    MenuItem miDeleteLocalFile{*this, QStringLiteral("miDeleteLocalFile"), QStringLiteral("Delete")};
    MenuItem miRenameLocalFile{*this, QStringLiteral("miRenameLocalFile"), QStringLiteral("Rename")};
    MenuItem miCreateLocalFolder{*this, QStringLiteral("miCreateLocalFolder"), QStringLiteral("Create Folder")};
    MenuItem mnuPopup{*this, QStringLiteral("mnuPopup"), QStringLiteral("Tray")};
    // The raw command menus, which only an FTP session has.
    MenuItem mnuRemoteFtpCommands{*this, QStringLiteral("mnuRemoteFtpCommands"), QStringLiteral("FTP Commands")};
    MenuItem mnuRemoteSendCommand{*this, QStringLiteral("mnuRemoteSendCommand"), QStringLiteral("Send Custom Command")};

signals:
    // The view moves the keyboard focus to this control.
    void focusRequested(harbel::Control* control);
    // The program is ending: the view closes the window and the application quits.
    void quitRequested();
    // "IDC_FS_drag": the view starts moving the window.
    void dragRequested();
    void popupMenuRequested(const QString& menu);
    void mousePointerChanged(int pointer);
    // Another copy was started: the view brings the window to the front.
    void raiseRequested();
    // The program is about to end: the view hands over what it keeps for the next start.
    void unloading();

private:
    friend class SiteSession;
    friend class RemoteBrowser;
    friend class LocalBrowser;
    friend class RemoteFileCommands;
    friend class UploadCommands;
    friend class DirectorySyncCommands;
    friend class ToolbarCommands;
    friend class PaneCommands;
    friend class TransferCommands;

    void setMousePointer(int pointer);
    void showPanels(bool quick, bool lists, bool log, bool command);
    // A row of a file list; its tag keeps the time itself, by which the list sorts.
    static void addRow(harbel::ListView& list, const QString& name, int icon, const QString& size, const QDateTime& date, const QString& kind);
    // The component's FileExists: the clash question, or the answer given for all.
    int xFtp_FileExists(const FileClash& clash);
    void xFtp_TransferProgress(const QString& fileName, qint64 size, qint64 bytesDone, int percent);
    // Enables or disables the controls that start a server command, as the session allows.
    void updateOperationCommands();
    // Greys, with the reason as tool tip, what the session's protocol (and Quick Connect's choice)
    // cannot do: raw commands, the transfer modes, passive mode and TLS.
    void applyProtocolLimits();
    // The components' events, rendered the same way for both protocols.
    void connectSessionEvents(RemoteSession& session);
    // The local folder the last session ended in, when it is still there; else the home folder.
    static QString startFolder();
    // Quick Connect's fields (never the password) and the local folder, for the next start.
    void rememberQuickConnect();
    void restoreQuickConnect();

    ConnectionLog log_{lstConnectionInfo, sProgramTitle};
    SiteSession session_{*this};
    RemoteBrowser remote_{*this};
    LocalBrowser local_{*this};
    RemoteFileCommands commands_{*this};
    UploadCommands uploads_{*this};
    DirectorySyncCommands sync_{*this};
    ToolbarCommands toolbar_{*this};
    PaneCommands panes_{*this};
    // Last: it looks at the other pieces when it starts.
    TransferCommands queue_{*this};
    int operations_ = 0;
    int mousePointer_ = 0;
    bool unloaded_ = false;
    std::unique_ptr<SingleInstance> instance_;
    bool raisedRunning_ = false;
};

// Formats a date as the system's short date followed by the time.
QString generalDate(const QDateTime& date);

}  // namespace harbel::tessaly
