#pragma once

#include "common/controls/Control.h"
#include "common/controls/Form.h"
#include "common/controls/ListView.h"
#include "common/controls/MovieToolbar.h"
#include "common/controls/Timer.h"
#include "common/controls/Tray.h"
#include "ftpclient/config/frmConnectionInfo.h"
#include "ftpclient/core/ConnectionLog.h"
#include "ftpclient/core/FtpComponent.h"
#include "ftpclient/core/FtpControls.h"
#include "ftpclient/local/clsLocalPaths.h"


#include <functional>
#include <memory>

namespace harbel {
class SingleInstance;
}

namespace harbel::tessaly {

// Tessaly's main window: the session with the server, the connection log, the remote and the local
// pane, the toolbar commands and the tray icon. Views render its controls and call its handlers.
class frmMain final : public Form {
    Q_OBJECT
public:
    explicit frmMain(QObject* parent = nullptr);
    ~frmMain() override;

    // Start-up; false when the program must end at once (another instance runs).
    bool Form_Load();
    // Leaving the program (window close, "IDC_FS_close", File > Exit, tray Exit).
    void Form_Unload();

    // --- operations ---------------------------------------------------------------------------
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

    // --- session ------------------------------------------------------------------------------
    void StatusBarInfo(const QString& sMessage);
    void UpdateAction(const QString& sMessage);
    void ConnectToSite();
    void cmdQConnect_Click();
    void OpenSession();
    void CloseSession();
    void SetConnectedState(bool connected);
    void SetBusyState(bool busy);
    void txtQport_Change();
    void movToolbar_FSCommand(const QString& command);
    void LaunchDownloadManager();
    void Abort();
    void cmdCloseCommand_Click();
    void txtCommand_KeyPress(int keyAscii);
    void tmrRefresh_Timer();

    // --- connection log (ConnectionLog) --------------------------------------------------------
    static constexpr int kMaxLogLines = ConnectionLog::kMaxLines;
    void DisplayMessage(const QString& sMessage) { log_.add(sMessage); }
    void ApplyLogSettings() { log_.applyStartRule(); }
    void ClearLog() { log_.clear(); }
    QString logFilePath() const { return log_.filePath(); }
    void setLogLineLimit(int lines) { log_.lineLimit = lines; }

    // --- remote pane --------------------------------------------------------------------------
    // A listing adds at most this many rows; each costs a row and its widget items, and a hostile
    // or huge folder would otherwise take all memory. What is left out is logged once per listing.
    static constexpr int kMaxRemoteRows = 100000;
    int remoteRowLimit = kMaxRemoteRows;
    void ListFilesOnServer();
    void ListDefinedFilesOnServer(const QString& defineString);
    QString GetRemoteFolder();
    bool ChangeCurrentRemoteFolder(const QString& sNewRemotePath, bool bInteractive);
    void AddPathToComboBox(const QString& sPathToAdd, ComboBox& combo);
    static bool IsPathInList(const QString& path, const ComboBox& combo);
    void RefreshRemoteList();
    void UpdateRemoteCommands();
    void lstRemoteFileList_DblClick();
    void cmdUpFtp_Click();
    void cboRemotePath_Click();
    void cboRemotePath_KeyPress(int keyAscii);
    void mnuRemoteGoToRemoteDirectory_Click();
    void mnuRemoteFilterAll_Click();
    void mnuRemoteFilterDefineTypes_Click();
    void SetRemoteView(int style);
    void DownloadSelection();
    // Shows a frozen copy of the remote list and path (lstDel, cmbDel) in front of the live ones
    // while an operation changes the remote folder under them; hideDelCopies() ends that.
    void CopyRemoteListToDelList();
    void hideDelCopies();
    // A remote path: folder and name joined with "/", as FTP servers separate them.
    static QString remotePath(const QString& folder, const QString& name);

    // --- remote file operations (RemoteCommands.cpp) ---
    // Deletes the selected remote rows after asking; folders with all they hold. The walk never
    // leaves the selected folder: unsafe names are skipped, links are deleted as links and never
    // entered, and every folder change is checked against the folder the server reports.
    void DeleteRemoteSelection();
    // Deletes the folder `path` (a name in the current remote folder) and everything in it; the
    // current remote folder is the same again afterwards. False when it could not be brought back
    // there, so that nothing more may be deleted by name.
    bool DeleteRemoteFolderRec(const QString& path);
    // While a delete runs: the folder it began in joined with the selected folder's name.
    QString sDeleteRoot;

    void RenameRemoteItem();
    void CreateRemoteFolder();
    void MoveRemoteSelection();
    void ManualReceive();
    void ManualSend();
    // The raw command menu; RETR and STOR are ManualReceive() and ManualSend().
    void mnuRemoteFtpCommandsHelp_Click();
    void mnuRemoteFtpCommandsList_Click();
    void mnuRemoteFtpCommandsNlst_Click();
    void mnuRemoteFtpCommandsPwd_Click();
    void mnuRemoteFtpCommandsSyst_Click();
    void mnuRemoteFtpCommandsCwd_Click();
    void mnuRemoteFtpCommandsQuote_Click();
    // Shows the custom-command panel in place of the others; txtCommand_KeyPress() sends a line,
    // cmdCloseCommand_Click() brings the panels back.
    void mnuRemoteSendCommand_Click();

signals:
    // The view moves the keyboard focus to this control.
    void focusRequested(harbel::Control* control);

private:
    bool deleteFolderTree(const QString& parent, const QString& name, int depth);
    bool returnToRemoteFolder(const QString& folder);
    QList<FolderItem> listWithLinks();
    void sendRawCommand(const QString& line, const QString& errorPrefix);
    QString askCommandText(const QString& prompt);
    void manualTransfer(bool receive);

public:
    // --- local pane ---------------------------------------------------------------------------
    bool ChangeCurrentLocalFolder(const QString& sNewLocalPath);
    void RefreshLocalList();
    void UpdateLocalCommands();
    void lstLocalFileList_DblClick();
    void cmdUpLocal_Click();
    void cboLocalPath_Click();
    void cboLocalPath_KeyPress(int keyAscii);
    void mnuLocalFilterAll_Click();
    void mnuLocalFilterDefineTypes_Click();
    void SetLocalView(int style);
    void miDeleteLocalFile_Click();
    void mnuLocalDeleteFileToRecycleBin_Click();
    void miRenameLocalFile_Click();
    void miCreateLocalFolder_Click();
    void mnuLocalOpenFile_Click();
    void mnuLocalProperties_Click();
    void mnuLocalFindFiles_Click();
    void mnuToolsEmptyLocalRecycleBin_Click();

    // --- uploads (Uploads.cpp) ----------------------------------------------------------------
    void UploadSelection();
    void UploadFolderTree(const QString& path);
    void UploadOneFile(const QString& filePath);
    // Auto mode: ASCII for a file whose lower-cased extension is in the "Auto Mode Types" list,
    // binary for every other.
    void applyAutoMode(const QString& fileName);

    // --- directory synchronisation (DirectorySync.cpp) ---
    // One-way, files only, one level deep, between sLocalPath and sRemotePath. The setting
    // "DIR SYNC BY FILE SIZE" at 1 compares sizes; otherwise a file goes when its copy on the other
    // side is older, times being compared only as exactly as the server gives them.
    // Local folder from the remote one (menu mnuDirSyncDown, "IDC_FS_RDirSynchronize").
    void mnuDirSyncDown_Click();
    // Remote folder from the local one (menu mnuSyncDirUp, "IDC_FS_LDirSynchronize").
    void mnuSyncDirUp_Click();

    // --- transfer mode ------------------------------------------------------------------------
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
    QString sLocalPath;
    QString sRemotePath;
    bool bAutoMode = false;
    bool checkAll = false;
    QStringList autoTypes;
    QString sProgramTitle = QStringLiteral("Harbel");
    // 0 normal, 11 hourglass.
    int MousePointer() const { return mousePointer_; }

    FtpComponent xFtp;
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


signals:
    // The program is ending: the view closes the window and the application quits.
    void quitRequested();
    // "IDC_FS_drag": the view starts moving the window.
    void dragRequested();
    void popupMenuRequested(const QString& menu);
    void mousePointerChanged(int pointer);

private:
    void setMousePointer(int pointer);
    void applyProxySettings();
    bool askDisconnectFirst();
    void connectAndList();
    void loadLocalDrives();
    void listRemoteAfterChange();
    static void addRow(harbel::ListView& list, const QString& name, int icon, const QString& size, const QString& date, const QString& kind);
    void listLocalAfterChange();
    // The end of a synchronisation: normal pointer, not busy, both lists listed again.
    void endSync();
    void uploadFolderTree(QString path, int depth);
    void showPanels(bool quick, bool lists, bool log, bool command);
    void xFtp_ListingItem(const QString& name, const QDateTime& date, qint64 size, int kind);
    void xFtp_Disconnected();
    void xFtp_TransferProgress(const QString& fileName, qint64 size, qint64 bytesDone, int percent);
    void xLocal_UpdateLocalEntry(const QString& name, const QDateTime& date, qint64 size, int attrib);
    void xLocal_AddToLocalPaths(const QString& path);
    void xLocal_LogicalDriveFound(const QString& drive);
    QString localSelectionName() const;
    // Logs how many entries the last listing left out of the remote list, if any.
    void reportRemoteRowsLeftOut();

    // Enables or disables the controls that start a server command, as the session allows.
    void updateOperationCommands();

    ConnectionLog log_{lstConnectionInfo, sProgramTitle};
    int operations_ = 0;
    qint64 remoteRowsLeftOut_ = 0;
    int mousePointer_ = 0;
    bool unloaded_ = false;
    std::unique_ptr<SingleInstance> instance_;
};

// Formats a date as the system's short date followed by the time.
QString generalDate(const QDateTime& date);

}  // namespace harbel::tessaly
