#include "ftpclient/window/TessalyMain.h"

#include "ftpclient/window/TessalyExist.h"

#include "common/platform/AppFolder.h"
#include "common/platform/RegistryStore.h"
#include "common/prompts/Prompts.h"
#include "common/platform/SingleInstance.h"
#include "common/ssh/SshPassphrases.h"
#include "common/support/Skin.h"
#include "common/support/VbText.h"
#include "ftpclient/config/ClientSettings.h"
#include "ftpclient/window/CertificateQuestion.h"
#include "ftpclient/window/FileShell.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <cstdio>

namespace harbel::tessaly {

QString generalDate(const QDateTime& date)
{
    if (!date.isValid())
        return {};
    const QLocale locale = QLocale::system();
    const QDateTime local = date.toLocalTime();
    return locale.toString(local.date(), QLocale::ShortFormat) + QLatin1Char(' ') + locale.toString(local.time(), QLocale::LongFormat).section(QLatin1Char(' '), 0, 0);
}

frmMain::frmMain(QObject* parent)
    : Form(QStringLiteral("frmMain"), parent), trustedCertificates(AppFolder::file(QStringLiteral("TrustedCertificates.ini")))
{
    xFtp.setCertificateTrust(&trustedCertificates);
    connectionInfo = std::make_unique<frmConnectionInfo>();
    m_xLocalPaths = std::make_unique<clsLocalPaths>([this](const QString& m) { DisplayMessage(m); });

    frameQuickConnect.setCaption(QStringLiteral("Quick Connect"));
    FrameMainLists.setBorderStyle(0);
    frameCustomCommand.setCaption(QStringLiteral("Custom Command"));
    frameLog.setCaption(QStringLiteral("Connection Log"));
    cmdQConnect.setCaption(QStringLiteral("Connect"));
    chkQTls.setCaption(QStringLiteral("TLS"));
    // Passive data connections work behind the address translation of almost every home router.
    chkQPassive.setCaption(QStringLiteral("Passive"));
    chkQPassive.setValue(1);
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

    connectSessionEvents(xFtp);
    connectSessionEvents(xSftp);
    connect(&xFtp, &FtpComponent::ListingItem, this, [this](const QString& name, const QDateTime& date, qint64 size, int kind) {
        remote_.addListed(name, date, size, kind);
    });
    connect(&xFtp, &FtpComponent::SendingFile, this, [this](const QString& n) { StatusBarInfo(QStringLiteral("Sending ") + n); });
    connect(&xFtp, &FtpComponent::ReceivingFile, this, [this](const QString& n) { StatusBarInfo(QStringLiteral("Receiving ") + n); });
    connect(&xFtp, &FtpComponent::ScanningFolder, this, [this](const QString& n) {
        lblStatus.setCaption(QStringLiteral("Scanning this folder ") + n);
        movToolbar.SetVariable(QStringLiteral("_root.status_txt.text"), lblStatus.Caption());
    });
    connect(&xFtp, &FtpComponent::OperationError, this, [this](qint64 code) {
        if (code == ftpErrAborted)
            Prompts::instance().MsgBox(QStringLiteral("The operation was aborted."), MsgButtons::OkOnly, MsgIcon::None, sProgramTitle);
    });
    connect(&xFtp, &FtpComponent::AccountRequired, this, [](QString& account) {
        account = Prompts::instance().InputBox(QStringLiteral("An account is required for this server."), kQuery, QString()).value_or(QString());
    });
    connect(&xFtp, &FtpComponent::PasswordRequired, this, [](QString& password) {
        password = Prompts::instance().InputBox(QStringLiteral("Please enter the correct password"), kQuery, QString()).value_or(QString());
    });
    // A certificate that fails verification: Yes trusts it always, No this time only; Cancel and a
    // dismissed box do not connect.
    connect(&xFtp, &FtpComponent::CertificateQuery, this, [](const CertificateInfo& info, int& answer) { answer = askAboutCertificate(info); });
    // An unknown host key, asked the same way; a changed one never reaches the question.
    connect(&xSftp, &RemoteSession::CertificateQuery, this, [](const CertificateInfo& info, int& answer) { answer = askAboutHostKey(info); });
    // A private key's passphrase; a dismissed box leaves the key unused.
    connect(&xSftp, &ThreadedSftpSession::PassphraseRequired, this, [](const QString& keyFile, QString& passphrase) {
        passphrase = SshPassphrases::ask(keyFile, kQuery, [] { return true; });
    });
    for (const QString& name : SiteProtocol::names())
        cboQProtocol.AddItem(name);
    cboQProtocol.setListIndex(SiteProtocol::Ftp);
    // Quick Connect's TLS box and its protocol choice say the same for FTP.
    connect(&chkQTls, &Control::changed, this, [this] {
        if (cboQProtocol.ListIndex() == SiteProtocol::Sftp)
            return;
        const int chosen = chkQTls.Value() == 1 ? SiteProtocol::FtpTls : SiteProtocol::Ftp;
        if (cboQProtocol.ListIndex() != chosen)
            cboQProtocol.setListIndex(chosen);
    });
    local_.connectPaths();
}

frmMain::~frmMain()
{
    xFtp.disconnect(this);
    xSftp.disconnect(this);
}

RemoteSession& frmMain::remoteSession()
{
    return overSftp() ? static_cast<RemoteSession&>(xSftp) : xFtp;
}

const RemoteSession& frmMain::remoteSession() const
{
    return overSftp() ? static_cast<const RemoteSession&>(xSftp) : xFtp;
}

void frmMain::receiveFile(const QString& remoteName, const QString& localPath)
{
    if (overSftp())
        xSftp.receive(remoteName, 0, localPath, {});
    else
        xFtp.ReceiveFile(remoteName, 0, localPath);
}

void frmMain::changeToParent()
{
    if (overSftp())
        xSftp.ChangeFolder(QStringLiteral(".."));
    else
        xFtp.ChangeToParent();
}

void frmMain::connectSessionEvents(RemoteSession& session)
{
    // Only the session the window talks to is heard: the other one is idle, or closing.
    const auto current = [this, &session] { return &remoteSession() == &session; };
    connect(&session, &RemoteSession::LogLine, this, &frmMain::DisplayMessage);
    connect(&session, &RemoteSession::Disconnected, this, [this, current] {
        if (current())
            session_.disconnected();
    });
    connect(&session, &RemoteSession::TransferProgress, this, &frmMain::xFtp_TransferProgress);
    connect(&session, &RemoteSession::FileExists, this, [this](const FileClash& clash, int& answer) { answer = xFtp_FileExists(clash); });
    connect(&session, &RemoteSession::FileSkipped, this, [this](const QString& first, const QString& second, qint64 code) {
        const QString name = first.isEmpty() ? second : first;
        DisplayMessage(name + QStringLiteral(" was skipped. Reason code: 0x") + QString::number(code, 16).toUpper());
    });
}

int frmMain::xFtp_FileExists(const FileClash& clash)
{
    if (!checkAll) {
        frmExist question;
        question.describe(clash);
        question.chkAll.setValue(existAllFirst ? 1 : 0);
        Prompts::instance().ShowModal(question);
        existAnswer = question.eResumeFile;
        checkAll = question.chkAll.Value() == 1;
    }
    return existAnswer;
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
    // A running copy shows its window instead; one still starting is waited for. One that never
    // answers is reported on the standard error, never by a box that would wait for a click.
    const SingleInstance::Start start = instance_->primaryOrHandOver({}, 10000);
    if (start != SingleInstance::Start::Primary) {
        raisedRunning_ = start == SingleInstance::Start::HandedOver;
        instance_.reset();
        if (!raisedRunning_)
            std::fputs("tessaly: another copy is running but does not answer\n", stderr);
        return false;
    }
    instance_->listen();
    connect(instance_.get(), &SingleInstance::raiseRequested, this, [this] {
        setWindowState(0);
        Show();
        emit raiseRequested();
    });
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
    if (const QString fault = RegistryStore().fault(); !fault.isEmpty())
        Prompts::instance().MsgBox(fault, MsgButtons::OkOnly, MsgIcon::Exclamation, sProgramTitle);
    LoadAutoTypes();
    UpdateLocalCommands();
    UpdateRemoteCommands();
    SetConnectedState(false);
    SetBusyState(false);
    local_.loadDrives();
    // The local pane starts where the last session ended, else where the user's files are; "/" and
    // the mounted file systems are in the path box.
    sLocalPath = startFolder();
    restoreQuickConnect();
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

QString frmMain::startFolder()
{
    QString folder = setting(QStringLiteral("Local Folder"), QString());
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    if (!QFileInfo(folder).isDir())
        folder = QStringLiteral("/");
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

void frmMain::rememberQuickConnect()
{
    saveSetting(QStringLiteral("Quick Host"), txtQaddress.Text().trimmed());
    saveSetting(QStringLiteral("Quick Port"), txtQport.Text());
    saveSetting(QStringLiteral("Quick User"), txtQuser.Text());
    saveSetting(QStringLiteral("Quick TLS"), QString::number(chkQTls.Value() == 1 ? 1 : 0));
    saveSetting(QStringLiteral("Quick Protocol"), QString::number(cboQProtocol.ListIndex()));
    saveSetting(QStringLiteral("Quick Passive"), QString::number(chkQPassive.Value() == 1 ? 1 : 0));
}

void frmMain::restoreQuickConnect()
{
    txtQaddress.setText(setting(QStringLiteral("Quick Host"), QString()));
    txtQport.setText(setting(QStringLiteral("Quick Port"), QStringLiteral("21")));
    txtQuser.setText(setting(QStringLiteral("Quick User"), QString()));
    chkQTls.setValue(setting(QStringLiteral("Quick TLS"), QStringLiteral("0")) == QLatin1String("1") ? 1 : 0);
    cboQProtocol.setListIndex(SiteProtocol::fromValue(setting(QStringLiteral("Quick Protocol"), QStringLiteral("-1")).toInt(), chkQTls.Value() == 1));
    session_.setQuickProtocol(cboQProtocol.ListIndex());
    applyProtocolLimits();
    chkQPassive.setValue(setting(QStringLiteral("Quick Passive"), QStringLiteral("1")) == QLatin1String("0") ? 0 : 1);
}

QByteArray frmMain::WindowGeometry() const
{
    return QByteArray::fromBase64(setting(QStringLiteral("Window Geometry"), QString()).toLatin1());
}

void frmMain::setWindowGeometry(const QByteArray& geometry)
{
    saveSetting(QStringLiteral("Window Geometry"), QString::fromLatin1(geometry.toBase64()));
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
    emit unloading();
    if (!sLocalPath.isEmpty())
        saveSetting(QStringLiteral("Local Folder"), sLocalPath);
    if (connectionInfo->Visible())
        connectionInfo->Hide();
    // The queue's unfinished items are kept before leaving ends its transfers.
    queue_.unload();
    CloseSession();
    m_xLocalPaths.reset();
    Tray1.Show(false);
    Hide();
    instance_.reset();
    emit quitRequested();
}

void frmMain::LaunchDownloadManager()
{
    // A download manager that runs already shows its window when started again.
    if (FileShell::instance().startProgram(AppFolder::executableFolder() + QStringLiteral("/pellanor"), {}))
        StatusBarInfo(QStringLiteral("Download Manager opened."));
    else
        StatusBarInfo(QStringLiteral("The Download Manager could not be started."));
}

// --- operations -----------------------------------------------------------------------------

frmMain::Operation::Operation(frmMain& main) : main_(main)
{
    if (main.remoteSession().isRunning() || main.session_.readingKeyring()) {
        refused_ = true;
        main.StatusBarInfo(QStringLiteral("Another operation is running: wait for it to end, or abort it."));
        return;
    }
    outermost_ = main.operations_++ == 0;
    if (outermost_) {
        // An answer for all lasts as long as the command it was given in.
        main.checkAll = false;
        main.existAllFirst = false;
        main.updateOperationCommands();
    }
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
    const bool connected = remoteSession().State() != FtpComponent::NotConnected;
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
    applyProtocolLimits();
}

void frmMain::applyProtocolLimits()
{
    const QString tip = SiteProtocol::notOverSftp();
    const bool sessionSftp = overSftp() && remoteSession().State() != RemoteSession::NotConnected;
    for (Control* c : std::initializer_list<Control*>{&optBinary, &optAscii, &optAuto, &mnuRemoteFtpCommands, &mnuRemoteSendCommand}) {
        if (sessionSftp)
            c->setEnabled(false);
        else if (c == &mnuRemoteFtpCommands || c == &mnuRemoteSendCommand)
            c->setEnabled(true);
        c->setToolTipText(sessionSftp ? tip : QString());
    }
    const bool quickSftp = cboQProtocol.ListIndex() == SiteProtocol::Sftp;
    for (Control* c : std::initializer_list<Control*>{&chkQTls, &chkQPassive}) {
        c->setEnabled(!quickSftp);
        c->setToolTipText(quickSftp ? tip : QString());
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
    applyProtocolLimits();
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

// --- transfer events and mode ----------------------------------------------------------------

void frmMain::xFtp_TransferProgress(const QString& fileName, qint64 size, qint64 bytesDone, int percent)
{
    const QString counts = QStringLiteral("' (%1 of %2K)").arg(bytesDone / 1024).arg(size / 1024);
    const int state = remoteSession().State();
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

// --- shared by the panes --------------------------------------------------------------------

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

QString frmMain::remotePath(const QString& folder, const QString& name)
{
    if (folder.isEmpty())
        return name;
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

QString frmMain::listedPath(const QString& name) const
{
    if (name.startsWith(QLatin1Char('/')))
        return name;
    if (sRemotePath.isEmpty())
        throw FtpError(ftpErrProtocol, QStringLiteral("The listed remote folder is unknown: refresh the remote list first."));
    return remotePath(sRemotePath, name);
}

void frmMain::addRow(harbel::ListView& list, const QString& name, int icon, const QString& size, const QDateTime& date,
                     const QString& kind)
{
    ListRow* row = list.Add(name, icon);
    row->setCell(1, size);
    row->setCell(2, generalDate(date));
    row->setTag(date);
    row->setCell(3, kind);
}

}  // namespace harbel::tessaly
