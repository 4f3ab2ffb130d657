#pragma once

#include "downloader/main/SettingsUrlTest.h"
#include "downloader/main/frmDir.h"
#include "downloader/settings/DownloadSettings.h"

#include "common/controls/Control.h"
#include "common/controls/Form.h"
#include "common/controls/KeyringNotice.h"
#include "common/controls/ListView.h"

#include <array>
#include <functional>
#include <memory>

namespace harbel {

// The settings dialog ("Settings"): ten pages of options over the stored settings. Edits are
// kept in the controls until OK or Apply saves them; the start-up, capture and clipboard boxes act
// at once.
class frmSettings final : public Form {
    Q_OBJECT
public:
    enum Page { Information, Startup, Monitor, SaveTo, Proxy, Connections, Limits, Login, Download, AutoSegment };

    explicit frmSettings(QObject* parent = nullptr);

    TabStrip tabMainSettings{*this, QStringLiteral("tabMainSettings")};
    // One page per tab; only the selected tab's page is visible.
    std::array<std::unique_ptr<Frame>, 10> frameInformation;

    Label lblVersion{*this, QStringLiteral("lblVersion"), false};
    Label lblLocation{*this, QStringLiteral("lblLocation"), false};
    Label lblDownloads{*this, QStringLiteral("lblDownloads"), false};
    Label lblBytes{*this, QStringLiteral("lblBytes"), false};

    CheckBox chkStartWin{*this, QStringLiteral("chkStartWin")};

    CheckBox chkIE{*this, QStringLiteral("chkIE")};
    CheckBox chkClipboard{*this, QStringLiteral("chkClipboard")};
    TextBox txtMonitorServer{*this, QStringLiteral("txtMonitorServer")};
    Button cmdMonitorServerReset{*this, QStringLiteral("cmdMonitorServerReset")};
    TextBox txtMonitorTypes{*this, QStringLiteral("txtMonitorTypes")};
    Button cmdMonitorTypesReset{*this, QStringLiteral("cmdMonitorTypesReset")};
    TextBox txtTestURL{*this, QStringLiteral("txtTestURL")};
    Button cmdTest{*this, QStringLiteral("cmdTest")};

    OptionButton optLastDir{*this, QStringLiteral("optLastDir")};
    OptionButton optSameDir{*this, QStringLiteral("optSameDir")};
    OptionButton optFileType{*this, QStringLiteral("optFileType")};
    OptionButton optFileInfo{*this, QStringLiteral("optFileInfo")};
    Frame fraLastDir{*this, QStringLiteral("fraLastDir")};
    Label lblLastDir{*this, QStringLiteral("lblLastDir"), false};
    Frame fraSameDir{*this, QStringLiteral("fraSameDir")};
    TextBox txtSameDir{*this, QStringLiteral("txtSameDir")};
    Button cmdBrowseSameDir{*this, QStringLiteral("cmdBrowseSameDir")};
    Frame fraFileType{*this, QStringLiteral("fraFileType")};
    ListView lstFileType{*this, QStringLiteral("lstFileType")};
    TextBox txtFileType{*this, QStringLiteral("txtFileType")};
    TextBox txtFileTypeDir{*this, QStringLiteral("txtFileTypeDir")};
    Button cmdBrowseFileType{*this, QStringLiteral("cmdBrowseFileType")};
    Button cmdAddFileType{*this, QStringLiteral("cmdAddFileType")};
    Button cmdRemoveFileType{*this, QStringLiteral("cmdRemoveFileType")};
    Frame fraFileInfo{*this, QStringLiteral("fraFileInfo")};
    TextBox txtParentDir{*this, QStringLiteral("txtParentDir")};
    Button cmdBrowseParentDir{*this, QStringLiteral("cmdBrowseParentDir")};
    OptionButton optServer{*this, QStringLiteral("optServer")};
    OptionButton optDate{*this, QStringLiteral("optDate")};
    OptionButton optFileExt{*this, QStringLiteral("optFileExt")};

    CheckBox chkFtpPASV{*this, QStringLiteral("chkFtpPASV")};
    CheckBox chkUseProxy{*this, QStringLiteral("chkUseProxy")};
    Frame fraProxy{*this, QStringLiteral("fraProxy")};
    TextBox txtProxyServer{*this, QStringLiteral("txtProxyServer")};
    TextBox txtProxyPort{*this, QStringLiteral("txtProxyPort")};
    CheckBox chkFTPProxy{*this, QStringLiteral("chkFTPProxy")};
    CheckBox chkLogProx{*this, QStringLiteral("chkLogProx")};
    TextBox txtUserID{*this, QStringLiteral("txtUserID")};
    CheckBox chkPass{*this, QStringLiteral("chkPass")};
    TextBox txtPass{*this, QStringLiteral("txtPass")};
    // A site login's row keeps its password in its tag and shows dots, as many whatever its length.
    static void showLoginPassword(ListRow& row, const QString& password)
    {
        row.setCell(2, password.isEmpty() ? QString() : QString(8, QChar(0x2022)));
        row.setTag(password);
    }
    // Shown for the proxy's and the site logins' passwords when no keyring runs.
    KeyringNotice keyring{*this};

    TextBox txtRollback{*this, QStringLiteral("txtRollback")};
    CheckBox chkRetry{*this, QStringLiteral("chkRetry")};
    TextBox txtRetryTime{*this, QStringLiteral("txtRetryTime")};
    TextBox txtRetries{*this, QStringLiteral("txtRetries")};
    TextBox txtTimeout{*this, QStringLiteral("txtTimeout")};
    CheckBox chkStopResume{*this, QStringLiteral("chkStopResume")};
    TextBox txtTimeResume{*this, QStringLiteral("txtTimeResume")};
    TextBox txtTimeNoResume{*this, QStringLiteral("txtTimeNoResume")};

    TextBox txtLimitHTTP{*this, QStringLiteral("txtLimitHTTP")};
    TextBox txtLimitFTP{*this, QStringLiteral("txtLimitFTP")};

    TextBox txtLoginServer{*this, QStringLiteral("txtLoginServer")};
    TextBox txtLoginUsername{*this, QStringLiteral("txtLoginUsername")};
    TextBox txtLoginPassword{*this, QStringLiteral("txtLoginPassword")};
    Button cmdLoginAdd{*this, QStringLiteral("cmdLoginAdd")};
    Button cmdLoginDelete{*this, QStringLiteral("cmdLoginDelete")};
    ListView lstLogin{*this, QStringLiteral("lstLogin")};

    CheckBox chkPromptDone{*this, QStringLiteral("chkPromptDone")};
    CheckBox chkCloseWindow{*this, QStringLiteral("chkCloseWindow")};
    CheckBox chkNotifyWhenDone{*this, QStringLiteral("chkNotifyWhenDone")};
    OptionButton chkDownloadNow{*this, QStringLiteral("chkDownloadNow")};
    OptionButton chkDownloadLater{*this, QStringLiteral("chkDownloadLater")};
    OptionButton chkDownloadPrompt{*this, QStringLiteral("chkDownloadPrompt")};

    CheckBox chkSegment{*this, QStringLiteral("chkSegment")};
    CheckBox chkAskSegmented{*this, QStringLiteral("chkAskSegmented")};
    Frame fraSegment{*this, QStringLiteral("fraSegment")};
    std::array<std::unique_ptr<TextBox>, 9> txtSegment;
    std::array<std::unique_ptr<Label>, 9> lblSegment;

    Button cmdOK{*this, QStringLiteral("cmdOK")};
    Button cmdApply{*this, QStringLiteral("cmdApply")};
    Button cmdCancel{*this, QStringLiteral("cmdCancel")};
    Button cmdHelp{*this, QStringLiteral("cmdHelp")};

    // The folder chooser of the "Browse" buttons.
    frmDir DirForm{this};

    // Unsaved edits; "&Apply" is enabled exactly while it is set.
    bool SettingsChanged() const { return changed_; }

    // The main window's capture switch: the capture box calls it with the box's state at once.
    std::function<void(bool)> captureSwitch;

    // Fills every field from the stored settings, shows the first page and clears the flag.
    void Form_Load();
    void tabMainSettings_Click();
    // Any edit of a text field.
    void field_Change();
    // The wanted types are checked for characters a file name cannot hold.
    void txtMonitorTypes_LostFocus();

    void chkStartWin_Click();
    void chkIE_Click();
    void chkClipboard_Click();
    void chkUseProxy_Click();
    void chkLogProx_Click();
    void chkPass_Click();
    void chkSegment_Click();
    // A box with no rule of its own: only the flag.
    void check_Click();
    // An option of one of the three groups (save rule, sub-folder name, download action).
    void option_Click(OptionButton& chosen);

    void cmdMonitorServerReset_Click();
    void cmdMonitorTypesReset_Click();
    void cmdTest_Click();
    void cmdBrowseSameDir_Click();
    void cmdBrowseFileType_Click();
    void cmdBrowseParentDir_Click();
    void cmdAddFileType_Click();
    void cmdRemoveFileType_Click();
    void cmdLoginAdd_Click();
    void cmdLoginDelete_Click();

    void cmdOK_Click();
    void cmdApply_Click();
    // Also the window's close button.
    void cmdCancel_Click();
    void cmdHelp_Click();

    SettingsDialogValues fromControls() const;

signals:
    // The login list asks for the focus (its "Delete" does).
    void focusRequested(harbel::Control* control);

private:
    // Each check box with the dialog value it shows.
    std::array<std::pair<CheckBox*, int SettingsDialogValues::*>, 15> checkBoxes() const;
    void toControls(const SettingsDialogValues& v);
    void setChanged(bool on);
    void applyEnabling();
    void browse(TextBox& field);
    // Saves the passwords, then registry and Settings.ini, and hides the dialog when close is set;
    // false (after saying why) when a field cannot be saved.
    bool save(bool close);
    bool convertedFieldsHoldNumbers();

    bool changed_ = false;
    // Filling the fields is not an edit.
    bool loading_ = false;
};

}  // namespace harbel
