// The main window's session with a server: connecting through Quick Connect or the site dialog,
// disconnecting, and aborting what runs.

#include "ftpclient/window/SiteSession.h"

#include "common/prompts/Prompts.h"
#include "common/support/VbText.h"
#include "ftpclient/component/FtpError.h"
#include "ftpclient/config/FirewallSettings.h"
#include "ftpclient/window/KnownHostKeys.h"
#include "ftpclient/window/TessalyMain.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>

#include <memory>
#include <optional>

namespace harbel::tessaly {

namespace {

constexpr int kHourglass = frmMain::kHourglass;

quint16 portNumber(const QString& text)
{
    const auto n = vb::toWhole(text);
    return n && *n > 0 && *n < 65536 ? quint16(*n) : 0;
}

}  // namespace

void SiteSession::txtQport_Change()
{
    if (!vb::toNumber(main_.txtQport.Text()))
        main_.txtQport.setText(quickProtocol_ == SiteProtocol::Sftp ? QStringLiteral("22") : QStringLiteral("21"));
}

void SiteSession::cboQProtocol_Click()
{
    const auto from = SiteProtocol::Kind(quickProtocol_);
    const auto to = SiteProtocol::fromValue(main_.cboQProtocol.ListIndex(), false);
    quickProtocol_ = to;
    main_.txtQport.setText(SiteProtocol::portAfterChange(main_.txtQport.Text(), from, to));
    main_.chkQTls.setValue(to == SiteProtocol::FtpTls ? 1 : 0);
    main_.applyProtocolLimits();
}

void SiteSession::prepareLogin(int protocol, const QString& user, const QString& password, bool passive)
{
    main_.iSiteProtocol = protocol;
    main_.bSiteTls = protocol == SiteProtocol::FtpTls;
    main_.bSitePassive = passive;
    if (protocol == SiteProtocol::Sftp) {
        SessionLogin& login = main_.xSftp.login;
        login.host = main_.sSiteAddress;
        login.port = portNumber(main_.sSitePort);
        login.user = user;
        login.password = password;
        login.timeoutSeconds = main_.xFtp.TimeoutSeconds;
        return;
    }
    main_.xFtp.Host = main_.sSiteAddress;
    main_.xFtp.Port = portNumber(main_.sSitePort);
    main_.xFtp.User = user;
    main_.xFtp.Password = password;
    main_.xFtp.UseTls = main_.bSiteTls;
    main_.xFtp.Passive = passive;
}

bool SiteSession::askDisconnectFirst()
{
    if (main_.remoteSession().State() == FtpComponent::NotConnected)
        return true;
    if (Prompts::instance().MsgBox(QStringLiteral("Cant connect to server, Do you want to Disconnect First?"), MsgButtons::YesNo,
                                   MsgIcon::Exclamation, main_.sProgramTitle) != MsgAnswer::Yes)
        return false;
    CloseSession();
    return true;
}

bool SiteSession::applyProxySettings()
{
    FirewallSettings firewall = FirewallSettings::loadUnread();
    if (firewall.kind() != 0 && SecretStore::isMarker(firewall.storedPassword))
        firewall.takePassword(waitForKeyring(FirewallSettings::passwordEntry(), firewall.storedPassword));
    // A firewall password that is not saved is asked for once a run.
    if (firewall.kind() != 0 && firewall.passwordMissing) {
        const std::optional<QString> password = Prompts::instance().PasswordBox(
            QStringLiteral("The firewall password of %1 is not saved. It is kept until the program ends.").arg(firewall.user),
            main_.sProgramTitle);
        if (!password)
            return false;
        SecretStore::instance().remember(FirewallSettings::passwordEntry(), *password);
        firewall.password = *password;
    }
    main_.xFtp.ProxyKind = firewall.kind();
    if (main_.xFtp.ProxyKind == 0) {
        main_.xFtp.ProxyHost.clear();
        main_.xFtp.ProxyPassword.clear();
        main_.xFtp.ProxyPort = 1080;
        main_.xFtp.ProxyUser.clear();
        return true;
    }
    main_.xFtp.ProxyHost = firewall.host;
    main_.xFtp.ProxyUser = firewall.user;
    main_.xFtp.ProxyPassword = firewall.password;
    main_.xFtp.ProxyPort = firewall.portNumber();
    return true;
}

QString SiteSession::waitForKeyring(const QString& entry, const QString& settingsValue)
{
    // Answered at once when this run has the password; the keyring itself may wait on the user
    // (its unlock prompt), so the loop takes the window's input: the operation under way refuses
    // other commands meanwhile.
    QObject waiting;
    QEventLoop loop;
    auto found = std::make_shared<std::optional<QString>>();
    SecretStore::instance().findLater(entry, settingsValue, &waiting, [found, &loop](const QString& password) {
        *found = password;
        loop.quit();
    });
    if (!found->has_value()) {
        const QString before = main_.lblStatus.Caption();
        main_.StatusBarInfo(QStringLiteral("Reading the keyring..."));
        readingKeyring_ = true;
        loop.exec();
        readingKeyring_ = false;
        main_.StatusBarInfo(before);
    }
    return found->value_or(QString());
}

void SiteSession::connectAndList()
{
    if (main_.overSftp()) {
        // The firewall settings describe how FTP goes out; an SSH connection goes straight.
        if (FirewallSettings::loadUnread().kind() != 0)
            main_.DisplayMessage(QStringLiteral("The firewall settings apply to FTP only: the SFTP connection goes to the server directly."));
    } else if (!applyProxySettings()) {
        main_.StatusBarInfo(QStringLiteral("Connect operation cancelled: the firewall password was not given."));
        return;
    }
    main_.StatusBarInfo(QStringLiteral("Connecting to ") + main_.sSiteAddress);
    OpenSession();
    if (main_.remoteSession().State() == FtpComponent::Idle) {
        main_.lstRemoteFileList.Clear();
        main_.ListFilesOnServer();
        main_.sRemotePath = main_.cboRemotePath.Text();
        main_.SetConnectedState(true);
        main_.UpdateLocalCommands();
        main_.StatusBarInfo(QStringLiteral("Connected to ") + main_.sSiteAddress);
        main_.queue_.sessionOpened();
    } else {
        main_.StatusBarInfo(QStringLiteral("Could not connect to ") + main_.sSiteAddress);
    }
}

void SiteSession::ConnectToSite()
{
    const frmMain::Operation op(main_);
    if (op.refused())
        return;
    main_.setMousePointer(kHourglass);
    frmConnectionInfo::Site site{main_.sSiteAddress, main_.sSitePort, main_.sSiteUser, main_.sSitePassword, main_.bSiteAnonymous, main_.bSitePassive, main_.bSiteTls, main_.iSiteProtocol};
    // The toolbar shows no session while the site dialog is open; a session that is still up when
    // the dialog leads nowhere is shown again.
    const QString connected = main_.movToolbar.GetVariable(QStringLiteral("_root.Connected"));
    main_.movToolbar.SetVariable(QStringLiteral("_root.Connected"), QStringLiteral("0"));
    if (!main_.connectionInfo->ShowForm(site)) {
        main_.movToolbar.SetVariable(QStringLiteral("_root.Connected"), connected);
        main_.StatusBarInfo(QStringLiteral("Connect operation cancelled."));
        main_.setMousePointer(0);
        return;
    }
    if (!askDisconnectFirst()) {
        main_.movToolbar.SetVariable(QStringLiteral("_root.Connected"), connected);
        main_.setMousePointer(0);
        return;
    }
    main_.sSiteAddress = site.address;
    main_.sSitePort = site.port;
    main_.sSiteUser = site.user;
    main_.sSitePassword = site.password;
    main_.bSiteAnonymous = site.anonymous;
    main_.chkQTls.setValue(site.tls ? 1 : 0);
    main_.chkQPassive.setValue(site.passive ? 1 : 0);
    main_.cboQProtocol.setListIndex(site.protocol);
    quickProtocol_ = site.protocol;
    main_.txtQaddress.setText(site.address);
    main_.txtQport.setText(site.port);
    main_.txtQuser.setText(site.user);
    main_.txtQpassword.setText(site.password);
    main_.rememberQuickConnect();
    main_.applyProtocolLimits();
    if (site.anonymous && site.protocol != SiteProtocol::Sftp)
        prepareLogin(site.protocol, QStringLiteral("anonymous"), QStringLiteral("plume"), site.passive);
    else
        prepareLogin(site.protocol, site.user, site.password, site.passive);
    connectAndList();
    main_.setMousePointer(0);
}

void SiteSession::cmdQConnect_Click()
{
    const frmMain::Operation op(main_);
    if (op.refused())
        return;
    if (main_.txtQaddress.Text().isEmpty() || main_.txtQuser.Text().isEmpty() || main_.txtQport.Text().isEmpty()) {
        Prompts::instance().MsgBox(QStringLiteral("Please enter the connection information."), MsgButtons::OkOnly, MsgIcon::Exclamation, main_.sProgramTitle);
        return;
    }
    if (!askDisconnectFirst())
        return;
    main_.setMousePointer(kHourglass);
    main_.sSiteAddress = main_.txtQaddress.Text().trimmed();
    main_.sSiteUser = main_.txtQuser.Text();
    main_.sSitePassword = main_.txtQpassword.Text();
    main_.sSitePort = main_.txtQport.Text();
    // Quick Connect has its own passive choice rather than whatever the last site used.
    const int protocol = main_.cboQProtocol.ListIndex() == SiteProtocol::Sftp ? SiteProtocol::Sftp
                         : main_.chkQTls.Value() == 1                         ? SiteProtocol::FtpTls
                                                                               : SiteProtocol::Ftp;
    prepareLogin(protocol, main_.sSiteUser, main_.sSitePassword, main_.chkQPassive.Value() == 1);
    main_.rememberQuickConnect();
    connectAndList();
    main_.setMousePointer(0);
}

void SiteSession::OpenSession()
{
    if (main_.remoteSession().State() != FtpComponent::NotConnected) {
        main_.StatusBarInfo(QStringLiteral("Already connected to ") + main_.sSiteAddress + QLatin1Char('!'));
        main_.movToolbar.SetVariable(QStringLiteral("_root.Connected"), QStringLiteral("1"));
        return;
    }
    RemoteSession& session = main_.remoteSession();
    try {
        session.Connect();
    } catch (const FtpError& e) {
        main_.movToolbar.SetVariable(QStringLiteral("_root.Connected"), QStringLiteral("0"));
        main_.DisplayMessage(QStringLiteral("Error while connecting to '") + main_.sSiteAddress + QStringLiteral("'. Description: ") + e.Description());
        main_.StatusBarInfo(QStringLiteral("Error connecting to ") + main_.sSiteAddress);
        // A host key refused without a question is one the known hosts file holds another key
        // for, or one that cannot be checked: the user must see why, with the fingerprints.
        if (main_.overSftp() && e.Number() == ftpErrHostKey && !main_.xSftp.hostKeyAsked()) {
            const SessionLogin& login = main_.xSftp.login;
            const QStringList listed = KnownHostKeys::listedFor(login.knownHostsFile.isEmpty() ? KnownHostKeys::defaultPath() : login.knownHostsFile,
                                                                login.host, login.port);
            QString text = QStringLiteral("The connection to %1 was refused for its host key.\n\n%2").arg(main_.sSiteAddress, e.Description());
            if (!listed.isEmpty())
                text += QStringLiteral("\n\nThe known hosts file lists for this server:\n") + listed.join(u'\n');
            Prompts::instance().MsgBox(text, MsgButtons::OkOnly, MsgIcon::Exclamation, main_.sProgramTitle);
        }
        return;
    }
    try {
        main_.sRemotePath = session.CurrentFolder();
        main_.AddPathToComboBox(main_.sRemotePath, main_.cboRemotePath);
        main_.movToolbar.SetVariable(QStringLiteral("_root.Connected"), QStringLiteral("1"));
    } catch (const FtpError& e) {
        main_.movToolbar.SetVariable(QStringLiteral("_root.Connected"), QStringLiteral("0"));
        main_.DisplayMessage(QStringLiteral("Error while obtaining current remote folder after connection. Description: ") + e.Description());
        main_.StatusBarInfo(QStringLiteral("Error obtaining current remote folder."));
    }
}

void SiteSession::CloseSession()
{
    main_.movToolbar.SetVariable(QStringLiteral("_root.Connected"), QStringLiteral("0"));
    // The queue's transfers end with the session, and say so last.
    struct QueueEnds {
        frmMain& main;
        ~QueueEnds() { main.queue_.sessionClosed(); }
    } queueEnds{main_};
    RemoteSession& session = main_.remoteSession();
    if (session.State() != FtpComponent::NotConnected && session.State() != FtpComponent::Idle) {
        session.setAbortFlag(true);
        QDeadlineTimer limit(5000);
        while (session.State() != FtpComponent::NotConnected && session.State() != FtpComponent::Idle && !limit.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    if (session.State() == FtpComponent::NotConnected)
        return;
    main_.StatusBarInfo(QStringLiteral("Disconnecting from ") + main_.sSiteAddress);
    try {
        session.Disconnect();
    } catch (const FtpError& e) {
        main_.DisplayMessage(QStringLiteral("Error while disconnecting. Description: ") + e.Description());
    }
}

void SiteSession::disconnected()
{
    main_.cboRemotePath.Clear();
    main_.StatusBarInfo(QStringLiteral("Disconnected from ") + main_.sSiteAddress);
    main_.lstRemoteFileList.Clear();
    main_.SetConnectedState(false);
    main_.UpdateRemoteCommands();
    main_.UpdateLocalCommands();
}

void SiteSession::Abort()
{
    main_.remoteSession().setAbortFlag(true);
    main_.StatusBarInfo(QStringLiteral("Aborting the current operation."));
    main_.tmrRefresh.setEnabled(true);
}

void SiteSession::tmrRefresh_Timer()
{
    // An aborted call may still be taking in the server's last replies, and the command that made
    // it may still be unwinding (a message box about the abort holds it): refresh once all is over,
    // or a listing started now would be taken for part of the aborted command and fail with it.
    if (main_.remoteSession().isRunning() || main_.operationRunning())
        return;
    main_.tmrRefresh.setEnabled(false);
    if (main_.remoteSession().State() != FtpComponent::Idle)
        return;
    // The folder the user was looking at, listed again; what fails keeps the rows shown.
    if (main_.ServerToListedFolder())
        main_.ShowServerFolder();
    main_.UpdateRemoteCommands();
}

}  // namespace harbel::tessaly
