#include "ftpclient/core/frmMain.h"

#include "common/platform/AppFolder.h"
#include "common/platform/CRegister.h"
#include "common/platform/Prompts.h"
#include "common/platform/SingleInstance.h"
#include "common/support/Skin.h"
#include "common/support/VbText.h"
#include "ftpclient/config/frmOptions.h"
#include "ftpclient/config/FirewallSettings.h"
#include "ftpclient/core/DesktopShell.h"
#include "ftpclient/core/MainWindowText.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

namespace harbel::tessaly {

namespace {

quint16 portNumber(const QString& text)
{
    const auto n = vb::toWhole(text);
    return n && *n > 0 && *n < 65536 ? quint16(*n) : 0;
}


}  // namespace

QString generalDate(const QDateTime& date)
{
    if (!date.isValid())
        return {};
    const QLocale locale = QLocale::system();
    const QDateTime local = date.toLocalTime();
    return locale.toString(local.date(), QLocale::ShortFormat) + QLatin1Char(' ') + locale.toString(local.time(), QLocale::LongFormat).section(QLatin1Char(' '), 0, 0);
}

frmMain::frmMain(QObject* parent) : Form(QStringLiteral("frmMain"), parent)
{
    connectionInfo = std::make_unique<frmConnectionInfo>();
    m_xLocalPaths = std::make_unique<clsLocalPaths>([this](const QString& m) { DisplayMessage(m); });

    frameQuickConnect.setCaption(QStringLiteral("Quick Connect"));
    FrameMainLists.setBorderStyle(0);
    frameCustomCommand.setCaption(QStringLiteral("Custom Command"));
    frameLog.setCaption(QStringLiteral("Connection Log"));
    cmdQConnect.setCaption(QStringLiteral("Connect"));
    chkQTls.setCaption(QStringLiteral("TLS"));
    cmdConnect.setCaption(QStringLiteral("Connect..."));
    cmdDisconnect.setCaption(QStringLiteral("Disconnect"));
    cmdAbort.setCaption(QStringLiteral("Abort"));
    cmdSend.setCaption(QStringLiteral("->"));
    cmdReceive.setCaption(QStringLiteral("<-"));
    cmdUpFtp.setCaption(QStringLiteral("Up"));
    cmdUpLocal.setCaption(QStringLiteral("Up"));
    cmdCloseCommand.setCaption(QStringLiteral("Close"));
    optBinary.setCaption(QStringLiteral("Binary"));
    optAscii.setCaption(QStringLiteral("ASCII"));
    optAuto.setCaption(QStringLiteral("Auto"));
    optBinary.setValue(true);
    txtQport.setText(QStringLiteral("21"));
    // Name, size and date, and a hidden fourth cell with the kind letter.
    const QList<ColumnHeader> columns{{QStringLiteral("Name"), 220, Qt::AlignLeft},
                                      {QStringLiteral("Size (bytes)"), 100, Qt::AlignRight},
                                      {QStringLiteral("Date"), 150, Qt::AlignLeft},
                                      {QStringLiteral("Kind"), 0, Qt::AlignLeft}};
    lstRemoteFileList.setColumns(columns);
    lstLocalFileList.setColumns(columns);
    lstDel.setColumns(columns);
    tmrRefresh.setInterval(500);
    tmrRefresh.setEnabled(false);
    tmrRefresh.setHandler([this] { tmrRefresh_Timer(); });

    connect(&txtQport, &Control::changed, this, &frmMain::txtQport_Change);
    connect(&movToolbar, &MovieToolbar::FSCommand, this, [this](const QString& c, const QString&) { movToolbar_FSCommand(c); });
    connect(&Tray1, &Tray::LeftClick, this, [this] {
        Show();
        setWindowState(0);
    });
    connect(&Tray1, &Tray::RightClick, this, [this] { emit popupMenuRequested(QStringLiteral("mnuPopup")); });

    connect(&xFtp, &FtpComponent::LogLine, this, &frmMain::DisplayMessage);
    connect(&xFtp, &FtpComponent::ListingItem, this, &frmMain::xFtp_ListingItem);
    connect(&xFtp, &FtpComponent::Disconnected, this, &frmMain::xFtp_Disconnected);
    connect(&xFtp, &FtpComponent::TransferProgress, this, &frmMain::xFtp_TransferProgress);
    connect(&xFtp, &FtpComponent::SendingFile, this, [this](const QString& n) { StatusBarInfo(QStringLiteral("Sending ") + n); });
    connect(&xFtp, &FtpComponent::ReceivingFile, this, [this](const QString& n) { StatusBarInfo(QStringLiteral("Receiving ") + n); });
    connect(&xFtp, &FtpComponent::ScanningFolder, this, [this](const QString& n) {
        lblStatus.setCaption(QStringLiteral("Scanning this folder ") + n);
        movToolbar.SetVariable(QStringLiteral("_root.status_txt.text"), lblStatus.Caption());
    });
    connect(&xFtp, &FtpComponent::ReplaceQuery, this, [](const QString& name, bool& replace) {
        replace = Prompts::instance().MsgBox(name + QStringLiteral(" already exits. Do you want to replace it?"), MsgButtons::YesNo,
                                             MsgIcon::Question, kConfirm) == MsgAnswer::Yes;
    });
    connect(&xFtp, &FtpComponent::FileSkipped, this, [this](const QString& first, const QString& second, qint64 code) {
        const QString name = first.isEmpty() ? second : first;
        DisplayMessage(name + QStringLiteral(" was skipped. Reason code: 0x") + QString::number(code, 16).toUpper());
    });
    connect(&xFtp, &FtpComponent::OperationError, this, [this](qint64 code) {
        if (code == ftpErrAborted)
            Prompts::instance().MsgBox(QStringLiteral("Operation Aported Succesfully"), MsgButtons::OkOnly, MsgIcon::None, sProgramTitle);
    });
    connect(&xFtp, &FtpComponent::AccountRequired, this, [](QString& account) {
        account = Prompts::instance().InputBox(QStringLiteral("An account is required for this server."), kQuery, QString()).value_or(QString());
    });
    connect(&xFtp, &FtpComponent::PasswordRequired, this, [](QString& password) {
        password = Prompts::instance().InputBox(QStringLiteral("Please enter the correct password"), kQuery, QString()).value_or(QString());
    });
    // A certificate that fails verification: Yes trusts it always, No this time only; Cancel and a
    // dismissed box do not connect.
    connect(&xFtp, &FtpComponent::CertificateQuery, this, [](const CertificateInfo& info, int& answer) {
        const MsgAnswer a = Prompts::instance().MsgBox(certificateQuestionText(info), MsgButtons::YesNoCancel,
                                                       info.changed() ? MsgIcon::Exclamation : MsgIcon::Question, kQuery);
        answer = a == MsgAnswer::Yes ? certTrustAlways : a == MsgAnswer::No ? certTrustOnce : certRefuse;
    });
    if (m_xLocalPaths) {
        connect(m_xLocalPaths.get(), &clsLocalPaths::UpdateLocalEntry, this, &frmMain::xLocal_UpdateLocalEntry);
        connect(m_xLocalPaths.get(), &clsLocalPaths::AddToLocalPaths, this, &frmMain::xLocal_AddToLocalPaths);
        connect(m_xLocalPaths.get(), &clsLocalPaths::LogicalDriveFound, this, &frmMain::xLocal_LogicalDriveFound);
    }
}

frmMain::~frmMain()
{
    xFtp.disconnect(this);
}

void frmMain::setMousePointer(int pointer)
{
    if (mousePointer_ == pointer)
        return;
    mousePointer_ = pointer;
    emit mousePointerChanged(pointer);
}

// --- start-up and leaving -------------------------------------------------------------------

bool frmMain::Form_Load()
{
    // One copy per application folder, by the same mechanism as the download manager's.
    instance_ = std::make_unique<SingleInstance>(QStringLiteral("Tessaly"), QStringLiteral("TessalyFtpClient"));
    if (!instance_->acquire()) {
        instance_.reset();
        Prompts::instance().MsgBox(QStringLiteral("There is running instance"), MsgButtons::OkOnly, MsgIcon::Critical, sProgramTitle);
        return false;
    }
    Skin& skin = Skin::shared();
    if (skin.isLoaded() || skin.LoadSkin(AppFolder::file(QStringLiteral("harbel.skn")))) {
        skin.ApplySkinByName(*this, QStringLiteral("Main"));
        SkinFormControlsFtp(*this, skin);
        SkinFormControlsFtp(*connectionInfo, skin);
    }
    // The toolbar's buttons come from its description file; "_root.Program" picks our section.
    movToolbar.LoadMovie(AppFolder::file(QStringLiteral("Harbel.toolbar")));
    setCaption(sProgramTitle);
    Tray1.setTrayToolTip(sProgramTitle);
    movToolbar.SetVariable(QStringLiteral("_root.Program"), QStringLiteral("FTP"));
    ApplyLogSettings();
    LoadAutoTypes();
    UpdateLocalCommands();
    UpdateRemoteCommands();
    SetConnectedState(false);
    SetBusyState(false);
    loadLocalDrives();
    // The local pane starts where the user's files are; "/" and the mounted file systems are in
    // the path box.
    QString home = QDir::homePath();
    if (!QFileInfo(home).isDir())
        home = QStringLiteral("/");
    sLocalPath = home.endsWith(QLatin1Char('/')) ? home : home + QLatin1Char('/');
    if (!IsPathInList(sLocalPath, cboLocalPath))
        cboLocalPath.AddItem(sLocalPath);
    cboLocalPath.setText(sLocalPath);
    RefreshLocalList();
    prgStatus.setValue(0);
    lstDel.setVisible(false);
    cmbDel.setVisible(false);
    showPanels(true, true, true, false);
    bAutoMode = optAuto.Value();
    Tray1.Show(true);
    Show();
    return true;
}

void frmMain::loadLocalDrives()
{
    if (m_xLocalPaths)
        m_xLocalPaths->RetrieveLogicalDrives();
}

void frmMain::showPanels(bool quick, bool lists, bool log, bool command)
{
    frameQuickConnect.setVisible(quick);
    FrameMainLists.setVisible(lists);
    frameLog.setVisible(log);
    frameCustomCommand.setVisible(command);
}

void frmMain::Form_Unload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    if (connectionInfo->Visible())
        connectionInfo->Hide();
    CloseSession();
    m_xLocalPaths.reset();
    Tray1.Show(false);
    Hide();
    instance_.reset();
    emit quitRequested();
}

void frmMain::LaunchDownloadManager()
{
    CloseSession();
    m_xLocalPaths.reset();
    Tray1.Show(false);
    DesktopShell::instance().startProgram(AppFolder::executableFolder() + QStringLiteral("/pellanor"), {});
    unloaded_ = true;
    Hide();
    instance_.reset();
    emit quitRequested();
}

// --- operations -----------------------------------------------------------------------------

frmMain::Operation::Operation(frmMain& main) : main_(main)
{
    if (main.xFtp.isRunning()) {
        refused_ = true;
        main.StatusBarInfo(QStringLiteral("Another operation is running: wait for it to end, or abort it."));
        return;
    }
    outermost_ = main.operations_++ == 0;
    if (outermost_)
        main.updateOperationCommands();
}

frmMain::Operation::~Operation()
{
    if (refused_)
        return;
    if (--main_.operations_ == 0)
        main_.updateOperationCommands();
}

void frmMain::updateOperationCommands()
{
    const bool idle = operations_ == 0;
    const bool connected = xFtp.State() != FtpComponent::NotConnected;
    for (Control* c : std::initializer_list<Control*>{&cmdDisconnect, &cmdUpFtp, &cboRemotePath, &mnuFileDisconnect, &miRemote})
        c->setEnabled(idle && connected);
    for (Control* c : std::initializer_list<Control*>{&cmdConnect, &cmdQConnect, &mnuFileConnect})
        c->setEnabled(idle && !connected);
    if (idle) {
        UpdateRemoteCommands();
        UpdateLocalCommands();
    } else {
        cmdSend.setEnabled(false);
        cmdReceive.setEnabled(false);
    }
}

// --- status line ----------------------------------------------------------------------------

void frmMain::StatusBarInfo(const QString& sMessage)
{
    lblStatus.setCaption(sMessage);
    movToolbar.SetVariable(QStringLiteral("_root.status_txt.text"), lblStatus.Caption());
}

void frmMain::UpdateAction(const QString& sMessage)
{
    StatusBarInfo(sMessage);
}

void frmMain::SetConnectedState(bool connected)
{
    const bool idle = operations_ == 0;
    for (Control* c : std::initializer_list<Control*>{&cmdDisconnect, &cmdUpFtp, &cmdSend, &cboRemotePath,
                                                     &mnuFileDisconnect, &miRemote})
        c->setEnabled(idle && connected);
    for (Control* c : std::initializer_list<Control*>{&optAscii, &optBinary, &optAuto})
        c->setEnabled(connected);
    for (Control* c : std::initializer_list<Control*>{&cmdConnect, &cmdQConnect, &mnuFileConnect})
        c->setEnabled(idle && !connected);
}

void frmMain::SetBusyState(bool busy)
{
    cmdAbort.setEnabled(busy);
}

void frmMain::ResetProgress()
{
    prgStatus.setValue(0);
    movToolbar.SetVariable(QStringLiteral("_root.Progress_mc._xscale"), vb::numberText(prgStatus.Value()));
}

// --- connecting -----------------------------------------------------------------------------

void frmMain::txtQport_Change()
{
    if (!vb::toNumber(txtQport.Text()))
        txtQport.setText(QStringLiteral("21"));
}

bool frmMain::askDisconnectFirst()
{
    if (xFtp.State() == FtpComponent::NotConnected)
        return true;
    if (Prompts::instance().MsgBox(QStringLiteral("Cant connect to server, Do you want to Disconnect First?"), MsgButtons::YesNo,
                                   MsgIcon::Exclamation, sProgramTitle) != MsgAnswer::Yes)
        return false;
    CloseSession();
    return true;
}

void frmMain::applyProxySettings()
{
    const FirewallSettings firewall = FirewallSettings::load();
    xFtp.ProxyKind = firewall.kind();
    if (xFtp.ProxyKind == 0) {
        xFtp.ProxyHost.clear();
        xFtp.ProxyPassword.clear();
        xFtp.ProxyPort = 1080;
        xFtp.ProxyUser.clear();
        return;
    }
    xFtp.ProxyHost = firewall.host;
    xFtp.ProxyUser = firewall.user;
    xFtp.ProxyPassword = firewall.password;
    xFtp.ProxyPort = firewall.portNumber();
}

void frmMain::connectAndList()
{
    applyProxySettings();
    StatusBarInfo(QStringLiteral("Connecting to ") + sSiteAddress);
    OpenSession();
    if (xFtp.State() == FtpComponent::Idle) {
        lstRemoteFileList.Clear();
        ListFilesOnServer();
        sRemotePath = cboRemotePath.Text();
        SetConnectedState(true);
        UpdateLocalCommands();
        StatusBarInfo(QStringLiteral("Connected to ") + sSiteAddress);
    } else {
        StatusBarInfo(QStringLiteral("Could not connect to ") + sSiteAddress);
    }
}

void frmMain::ConnectToSite()
{
    const Operation op(*this);
    if (op.refused())
        return;
    setMousePointer(kHourglass);
    frmConnectionInfo::Site site{sSiteAddress, sSitePort, sSiteUser, sSitePassword, bSiteAnonymous, bSitePassive, bSiteTls};
    // The toolbar shows no session while the site dialog is open; a session that is still up when
    // the dialog leads nowhere is shown again.
    const QString connected = movToolbar.GetVariable(QStringLiteral("_root.Connected"));
    movToolbar.SetVariable(QStringLiteral("_root.Connected"), QStringLiteral("0"));
    if (!connectionInfo->ShowForm(site)) {
        movToolbar.SetVariable(QStringLiteral("_root.Connected"), connected);
        StatusBarInfo(QStringLiteral("Connect operation cancelled."));
        setMousePointer(0);
        return;
    }
    if (!askDisconnectFirst()) {
        movToolbar.SetVariable(QStringLiteral("_root.Connected"), connected);
        setMousePointer(0);
        return;
    }
    sSiteAddress = site.address;
    sSitePort = site.port;
    sSiteUser = site.user;
    sSitePassword = site.password;
    bSiteAnonymous = site.anonymous;
    bSitePassive = site.passive;
    bSiteTls = site.tls;
    chkQTls.setValue(site.tls ? 1 : 0);
    txtQaddress.setText(site.address);
    txtQport.setText(site.port);
    txtQuser.setText(site.user);
    txtQpassword.setText(site.password);
    xFtp.Host = site.address;
    xFtp.Port = portNumber(site.port);
    if (site.anonymous) {
        xFtp.User = QStringLiteral("anonymous");
        xFtp.Password = QStringLiteral("plume");
    } else {
        xFtp.User = site.user;
        xFtp.Password = site.password;
    }
    xFtp.Passive = site.passive;
    xFtp.UseTls = site.tls;
    connectAndList();
    setMousePointer(0);
}

void frmMain::cmdQConnect_Click()
{
    const Operation op(*this);
    if (op.refused())
        return;
    if (txtQaddress.Text().isEmpty() || txtQuser.Text().isEmpty() || txtQport.Text().isEmpty()) {
        Prompts::instance().MsgBox(QStringLiteral("Please enter conncetion information"), MsgButtons::OkOnly, MsgIcon::Exclamation, sProgramTitle);
        return;
    }
    if (!askDisconnectFirst())
        return;
    setMousePointer(kHourglass);
    sSiteAddress = txtQaddress.Text().trimmed();
    sSiteUser = txtQuser.Text();
    sSitePassword = txtQpassword.Text();
    sSitePort = txtQport.Text();
    xFtp.Host = sSiteAddress;
    xFtp.Port = portNumber(sSitePort);
    xFtp.User = sSiteUser;
    xFtp.Password = sSitePassword;
    xFtp.UseTls = chkQTls.Value() == 1;
    bSiteTls = xFtp.UseTls;
    connectAndList();
    setMousePointer(0);
}

void frmMain::OpenSession()
{
    if (xFtp.State() != FtpComponent::NotConnected) {
        StatusBarInfo(QStringLiteral("Already connected to ") + sSiteAddress + QLatin1Char('!'));
        movToolbar.SetVariable(QStringLiteral("_root.Connected"), QStringLiteral("1"));
        return;
    }
    try {
        xFtp.Connect();
    } catch (const FtpError& e) {
        movToolbar.SetVariable(QStringLiteral("_root.Connected"), QStringLiteral("0"));
        DisplayMessage(QStringLiteral("Error while connecting to '") + sSiteAddress + QStringLiteral("'. Description: ") + e.Description());
        StatusBarInfo(QStringLiteral("Error connecting to ") + sSiteAddress);
        return;
    }
    try {
        sRemotePath = xFtp.CurrentFolder();
        AddPathToComboBox(sRemotePath, cboRemotePath);
        movToolbar.SetVariable(QStringLiteral("_root.Connected"), QStringLiteral("1"));
    } catch (const FtpError& e) {
        movToolbar.SetVariable(QStringLiteral("_root.Connected"), QStringLiteral("0"));
        DisplayMessage(QStringLiteral("Error while obtaining current remote folder after connection. Description: ") + e.Description());
        StatusBarInfo(QStringLiteral("Error obtaining current remote folder."));
    }
}

void frmMain::CloseSession()
{
    movToolbar.SetVariable(QStringLiteral("_root.Connected"), QStringLiteral("0"));
    if (xFtp.State() != FtpComponent::NotConnected && xFtp.State() != FtpComponent::Idle) {
        xFtp.setAbortFlag(true);
        QDeadlineTimer limit(5000);
        while (xFtp.State() != FtpComponent::NotConnected && xFtp.State() != FtpComponent::Idle && !limit.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    if (xFtp.State() == FtpComponent::NotConnected)
        return;
    StatusBarInfo(QStringLiteral("Disconnecting from ") + sSiteAddress);
    try {
        xFtp.Disconnect();
    } catch (const FtpError& e) {
        DisplayMessage(QStringLiteral("Error while disconnecting. Description: ") + e.Description());
    }
}

void frmMain::xFtp_Disconnected()
{
    cboRemotePath.Clear();
    StatusBarInfo(QStringLiteral("Disconnected from ") + sSiteAddress);
    lstRemoteFileList.Clear();
    SetConnectedState(false);
    UpdateRemoteCommands();
    UpdateLocalCommands();
}

// --- abort and transfer events --------------------------------------------------------------

void frmMain::Abort()
{
    xFtp.setAbortFlag(true);
    StatusBarInfo(QStringLiteral("Aborting current operaion."));
    tmrRefresh.setEnabled(true);
}

void frmMain::tmrRefresh_Timer()
{
    // An aborted call may still be taking in the server's last replies: refresh once it is over.
    if (xFtp.isRunning())
        return;
    tmrRefresh.setEnabled(false);
    if (xFtp.State() != FtpComponent::Idle)
        return;
    RefreshRemoteList();
    UpdateRemoteCommands();
}

void frmMain::xFtp_TransferProgress(const QString& fileName, qint64 size, qint64 bytesDone, int percent)
{
    const QString counts = QStringLiteral("' (%1 of %2K)").arg(bytesDone / 1024).arg(size / 1024);
    const int state = xFtp.State();
    if (state == FtpComponent::Sending)
        StatusBarInfo(QStringLiteral("Uploading file '") + fileName + counts);
    else if (state == FtpComponent::Receiving)
        StatusBarInfo(QStringLiteral("Downloading file '") + fileName + counts);
    else
        StatusBarInfo(QStringLiteral("Processing file '") + fileName + counts);
    prgStatus.setValue(qBound(0, percent, 100));
    movToolbar.SetVariable(QStringLiteral("_root.Progress_mc._xscale"), vb::numberText(prgStatus.Value()));
}

void frmMain::optBinary_Click()
{
    optBinary.setValue(true);
    optAscii.setValue(false);
    optAuto.setValue(false);
    xFtp.TransferMode = 0;
    bAutoMode = false;
}

void frmMain::optAscii_Click()
{
    optAscii.setValue(true);
    optBinary.setValue(false);
    optAuto.setValue(false);
    xFtp.TransferMode = 1;
    bAutoMode = false;
}

void frmMain::optAuto_Click()
{
    optAuto.setValue(true);
    optBinary.setValue(false);
    optAscii.setValue(false);
    bAutoMode = true;
}

void frmMain::LoadAutoTypes()
{
    autoTypes = setting(QStringLiteral("Auto Mode Types"), QStringLiteral("txt;htm;html;php;cgi;asp;ini;inf;log")).split(QLatin1Char(';'));
}

}  // namespace harbel::tessaly
