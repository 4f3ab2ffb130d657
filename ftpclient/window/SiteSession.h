#pragma once

#include <QString>

namespace harbel::tessaly {

class frmMain;

// The main window's session with a server: Quick Connect and the site dialog, connecting with the
// firewall settings, disconnecting, what a lost connection does to the window, and the abort.
class SiteSession final {
public:
    explicit SiteSession(frmMain& main) : main_(main) {}

    void ConnectToSite();
    void cmdQConnect_Click();
    void OpenSession();
    void CloseSession();
    void txtQport_Change();
    void cboQProtocol_Click();
    // Quick Connect's protocol as restored or set without a click.
    void setQuickProtocol(int protocol) { quickProtocol_ = protocol; }
    void Abort();
    // After an abort: the remote list is listed again once the aborted call is over.
    void tmrRefresh_Timer();
    // The component lost or ended the connection.
    void disconnected();
    // A connection waits for the firewall password from the keyring.
    bool readingKeyring() const { return readingKeyring_; }

private:
    // The options' firewall for the next connection; false when its password, not saved, was asked
    // for and not given.
    bool applyProxySettings();
    bool askDisconnectFirst();
    void connectAndList();
    // Readies the session of the chosen protocol with the login; FTP's own choices go to xFtp.
    void prepareLogin(int protocol, const QString& user, const QString& password, bool passive);

    // The keyring's answer for a kept password; the window goes on meanwhile, as while a call of
    // the component waits for the server.
    QString waitForKeyring(const QString& entry, const QString& settingsValue);

    frmMain& main_;
    // Quick Connect's protocol as its port was last set for.
    int quickProtocol_ = 0;
    bool readingKeyring_ = false;
};

}  // namespace harbel::tessaly
