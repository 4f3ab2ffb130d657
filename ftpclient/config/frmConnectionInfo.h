#pragma once

#include "common/controls/Control.h"
#include "common/controls/Form.h"
#include "common/controls/KeyringNotice.h"

#include <functional>
#include "ftpclient/config/ClientControls.h"
#include "ftpclient/config/SiteProtocol.h"

namespace harbel::tessaly {

// The site dialog: the connection values (host, port, login, anonymous or normal login, passive
// mode) and the named site profiles kept as small INI files in two folders of the application
// folder: "SProfiles" (standard, read only here) and "Profiles" (private, saved and deleted here).
//
// The two profile trees are list boxes of one level: item 0 is the root node "Profiles", the items
// after it are the profile files. That is all the trees ever hold, so the view draws them as trees
// from these lines.
class frmConnectionInfo final : public Form {
    Q_OBJECT
public:
    struct Site {
        QString address;
        QString port;
        QString user;
        QString password;
        bool anonymous = false;
        bool passive = true;
        bool tls = false;  // explicit FTP over TLS
        int protocol = SiteProtocol::Ftp;  // a SiteProtocol::Kind; FtpTls goes with tls
    };

    // What a profile file holds, as the dialog shows it.
    struct Profile {
        QString name;
        QString host;
        QString user;
        QString password;
        // The marker of a password kept in the keyring, when readProfile() was not to read it.
        QString keptPassword;
        QString port;
        int passive = 0;
        int tls = 0;  // key "TLS"; profiles written before it read as 0
        // Key "protocol" (a SiteProtocol::Kind), written for SFTP; a profile without it reads as
        // FTP, or FTP over TLS when its TLS key says so. TLS is still written, for older versions.
        int protocol = SiteProtocol::Ftp;
    };

    explicit frmConnectionInfo(QObject* parent = nullptr);

    // Loads the dialog, pre-fills it with site and shows it modally; true when Connect was
    // pressed, with the edited values in site. Cancel leaves site as it was.
    bool ShowForm(Site& site);

    // Makes the two profile folders when missing, fills the trees, shows the selected tab's tree.
    void Form_Load();
    void FillProfileTrees();

    void TabProfiles_Click();
    // index is the node's line in its tree: 0 the root, 1... the profiles.
    void tvlStandard_NodeClick(int index);
    void tvlPrivate_NodeClick(int index);
    void optAnonymous_Click();
    void optNormal_Click();
    void txtPort_Change();
    // The protocol choice changed: the port follows it when it was the old default, and what the
    // protocol cannot use is greyed (anonymous login, passive mode, TLS over SFTP).
    void cboProtocol_Click();
    SiteProtocol::Kind protocol() const { return protocol_; }
    void cmdNewSite_Click();
    void cmdSaveSite_Click();
    void cmdDeleteSite_Click();
    void cmdConnect_Click();
    void cmdCancel_Click();

    // The two profile folders in the application folder, without a trailing "/".
    static QString standardFolder();
    static QString privateFolder();
    // Reads a profile file with the read limits of its keys; a password kept in the keyring is read
    // from it (waiting for it) only when keyring is true, else keptPassword holds its marker.
    static Profile readProfile(const QString& path, bool keyring = true);
    // Why a profile name cannot name a file of the private folder; empty when it can.
    static QString refusedName(const QString& name);

    TextBox txtProfileName{*this, QStringLiteral("txtProfileName")};
    TextBox txtHost{*this, QStringLiteral("txtHost")};
    TextBox txtPort{*this, QStringLiteral("txtPort")};
    TextBox txtUserName{*this, QStringLiteral("txtUserName")};
    TextBox txtPassword{*this, QStringLiteral("txtPassword")};
    KeyringNotice keyring{*this};
    Frame frameLoginType{*this, QStringLiteral("frameLoginType")};
    OptionButton optNormal{*this, QStringLiteral("optNormal")};
    OptionButton optAnonymous{*this, QStringLiteral("optAnonymous")};
    CheckBox chkPassiveMode{*this, QStringLiteral("chkPassiveMode")};
    CheckBox chkTls{*this, QStringLiteral("chkTls")};
    ComboBox cboProtocol{*this, QStringLiteral("cboProtocol")};
    TabStrip TabProfiles{*this, QStringLiteral("TabProfiles")};
    ListBox tvlStandard{*this, QStringLiteral("tvlStandard")};
    ListBox tvlPrivate{*this, QStringLiteral("tvlPrivate")};
    Button cmdNewSite{*this, QStringLiteral("cmdNewSite")};
    Button cmdSaveSite{*this, QStringLiteral("cmdSaveSite")};
    Button cmdDeleteSite{*this, QStringLiteral("cmdDeleteSite")};
    Button cmdConnect{*this, QStringLiteral("cmdConnect")};
    Button cmdCancel{*this, QStringLiteral("cmdCancel")};
    // What the last action of the dialog did ("Profile Saved: ...").
    Label lblStatus{*this, QStringLiteral("lblStatus")};

private:
    void fillTree(ListBox& tree, const QString& folder);
    // Shows a profile file in the boxes; false when index is the root or out of range. A password
    // kept in the keyring fills in when it answers; shown runs once it is in the box.
    bool showProfile(const ListBox& tree, const QString& folder, int index, std::function<void()> shown);
    // The tab and profile shown last, for the next opening of the dialog.
    void rememberProfile(int tab, const QString& file);
    void selectLastProfile();
    // Writes a private profile once the keyring has answered for its password.
    void writeProfile(const QString& name, const QString& entry, const QString& password,
                      QList<QPair<QString, QString>> values);

    // Shows a protocol in the choice and the controls that depend on it.
    void applyProtocol(SiteProtocol::Kind kind);

    bool cancelled_ = true;
    SiteProtocol::Kind protocol_ = SiteProtocol::Ftp;
};

}  // namespace harbel::tessaly
