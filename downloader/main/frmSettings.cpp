#include "downloader/main/frmSettings.h"

#include "downloader/engine/DownloadFormat.h"
#include "downloader/engine/DownloadText.h"
#include "downloader/intake/CaptureFilters.h"
#include "downloader/main/frmMain.h"

#include "common/platform/AppFolder.h"
#include "common/platform/CRegister.h"
#include "common/prompts/Prompts.h"
#include "common/platform/Shell.h"
#include "common/support/Skin.h"
#include "common/support/VbText.h"

#include <QDir>

namespace harbel {

namespace {

QString box(int value)
{
    return QString::number(value);
}

}  // namespace

frmSettings::frmSettings(QObject* parent) : Form(QStringLiteral("frmSettings"), parent)
{
    setCaption(QStringLiteral("Settings"));
    tabMainSettings.setTabs({QStringLiteral("Information"), QStringLiteral("Startup"), QStringLiteral("Monitor"),
                             QStringLiteral("Save To"), QStringLiteral("Proxy"), QStringLiteral("Connections"),
                             QStringLiteral("Limits"), QStringLiteral("Login"), QStringLiteral("Download"),
                             QStringLiteral("Auto Segment")});
    for (std::size_t i = 0; i < frameInformation.size(); ++i)
        frameInformation[i] = std::make_unique<Frame>(*this, QStringLiteral("frameInformation(%1)").arg(i));
    for (std::size_t i = 0; i < txtSegment.size(); ++i) {
        txtSegment[i] = std::make_unique<TextBox>(*this, QStringLiteral("txtSegment%1").arg(i + 1));
        lblSegment[i] = std::make_unique<Label>(*this, QStringLiteral("lblSegment(%1)").arg(i), false);
    }
    // "Use n segments if file is <size> MB  to <size>" for n = 2 to 5; six from the last size up.
    for (std::size_t i = 0; i < lblSegment.size(); ++i)
        lblSegment[i]->setCaption(i % 2 == 1 ? QStringLiteral("MB  to")
                                             : QStringLiteral("Use %1 segments if file is ").arg(i / 2 + 2));

    chkStartWin.setCaption(QStringLiteral("Start Pellanor when the desktop session starts"));
    chkIE.setCaption(QStringLiteral("Take links from web browsers (Firefox, Chromium)"));
    chkClipboard.setCaption(QStringLiteral("Fill in an address from the clipboard when adding a URL"));
    cmdMonitorServerReset.setCaption(QStringLiteral("Reset To Defaults"));
    cmdMonitorTypesReset.setCaption(QStringLiteral("Reset To Defaults"));
    cmdTest.setCaption(QStringLiteral("&Test"));
    optLastDir.setCaption(QStringLiteral("Last Directory Used"));
    optSameDir.setCaption(QStringLiteral("Same Directory"));
    optFileType.setCaption(QStringLiteral("By File Type"));
    optFileInfo.setCaption(QStringLiteral("By File Info"));
    for (Button* b : {&cmdBrowseSameDir, &cmdBrowseFileType, &cmdBrowseParentDir})
        b->setCaption(QStringLiteral("Browse"));
    cmdAddFileType.setCaption(QStringLiteral("Add"));
    cmdRemoveFileType.setCaption(QStringLiteral("Remove"));
    lstFileType.setColumns({{QStringLiteral("File Type"), 90}, {QStringLiteral("Directory"), 260}});
    optServer.setCaption(QStringLiteral("Server Name (without www. and ftp.)"));
    optDate.setCaption(QStringLiteral("Current Date (Day-Month-Year)"));
    optFileExt.setCaption(QStringLiteral("File Extension Type"));
    chkFtpPASV.setCaption(QStringLiteral("Use PASV Mode for FTP Transfers"));
    chkUseProxy.setCaption(QStringLiteral("Use Proxy Server"));
    fraProxy.setCaption(QStringLiteral("Proxy Settings"));
    chkFTPProxy.setCaption(QStringLiteral("Use HTTP Proxy For FTP Addresses"));
    chkLogProx.setCaption(QStringLiteral("Login to HTTP proxy server"));
    chkPass.setCaption(QStringLiteral("Password"));
    chkRetry.setCaption(QStringLiteral("Retry after a time-out or a login error (server is busy)."));
    chkStopResume.setCaption(QStringLiteral("Stop and Resume if no data received..."));
    cmdLoginAdd.setCaption(QStringLiteral("Add"));
    cmdLoginDelete.setCaption(QStringLiteral("Delete"));
    lstLogin.setColumns({{QStringLiteral("Server"), 140}, {QStringLiteral("Username"), 110}, {QStringLiteral("Password"), 110}});
    chkPromptDone.setCaption(QStringLiteral("Bring up prompt telling me download is done."));
    chkCloseWindow.setCaption(QStringLiteral("Close download window."));
    chkNotifyWhenDone.setCaption(lang("19510", "Show a notification when a download ends"));
    chkAskSegmented.setCaption(lang("19511", "Ask before each segmented download"));
    chkDownloadNow.setCaption(QStringLiteral("Start Downloading Immediately"));
    chkDownloadLater.setCaption(QStringLiteral("Add to list but do not start downloading."));
    chkDownloadPrompt.setCaption(QStringLiteral("Ask to download now or later."));
    chkSegment.setCaption(QStringLiteral(
        "Auto Segment the file using multiple connection streams to accelerate the download."));
    fraSegment.setCaption(QStringLiteral("Segment Settings"));
    cmdOK.setCaption(QStringLiteral("&OK"));
    cmdApply.setCaption(QStringLiteral("&Apply"));
    cmdCancel.setCaption(QStringLiteral("&Cancel"));
    cmdHelp.setCaption(QStringLiteral("&Help"));
    cmdApply.setEnabled(false);
    // The buttons that save wait for the keyring's answers.
    keyring.pendingChanged = [this] {
        cmdOK.setEnabled(!keyring.pending());
        setChanged(changed_);
    };
}

void frmSettings::Form_Load()
{
    loading_ = true;
    keyring.Form_Load();
    SettingsStore& store = SettingsStore::instance();
    SettingsDialogValues v = SettingsStore::dialogValues();
    if (v.txtMonitorTypes.isEmpty())
        v.txtMonitorTypes = QString::fromLatin1(kDialogMonitorTypes);
    if (v.txtMonitorServer.isEmpty())
        v.txtMonitorServer = QString::fromLatin1(kDefaultMonitorServer);
    // The label shows where the last file went, whatever was stored for it.
    v.lblLastDir = store.LastDirectory();
    toControls(v);
    // The keyring's passwords fill in as it answers; the dialog is usable meanwhile.
    const auto [proxyEntry, proxyPass] = SettingsStore::proxyPasswordSetting();
    keyring.read(txtPass, proxyEntry, proxyPass, [this](const QString&) { applyEnabling(); });

    lstFileType.Clear();
    for (const FileTypeFolder& t : store.fileTypes) {
        ListRow* row = lstFileType.Add(t.fileType);
        row->setCell(1, t.folder);
    }
    lstLogin.Clear();
    for (const SiteLogin& l : store.logins) {
        ListRow* row = lstLogin.Add(l.server);
        row->setCell(1, l.user);
        showLoginPassword(*row, l.password);
    }
    if (store.passwordsPending()) {
        keyring.hold();
        store.whenPasswordsRead(this, [this, rows = lstLogin.rows()](bool) {
            for (ListRow* row : rows)
                if (lstLogin.rows().contains(row) && row->Tag().toString().isEmpty())
                    for (const SiteLogin& l : SettingsStore::instance().logins)
                        if (l.server == row->cell(0) && l.user == row->cell(1))
                            showLoginPassword(*row, l.password);
            keyring.release();
        });
    }
    for (TextBox* t : {&txtTestURL, &txtFileType, &txtFileTypeDir, &txtLoginServer, &txtLoginUsername, &txtLoginPassword})
        t->setText({});

    const QStringList version = QStringLiteral(HARBEL_VERSION).split(u'.');
    lblVersion.setCaption(version.value(0) + u'.' + version.value(1, QStringLiteral("0")));
    lblLocation.setCaption(AppFolder::path());
    lblDownloads.setCaption(QString::number(store.record.Downloads));
    lblBytes.setCaption(FormatBytes(store.record.AllBytes));
    if (currentLanguageFile().isEmpty())
        setCurrentLanguageFile(QStringLiteral("English.ini"));

    tabMainSettings.setSelectedIndex(Information);
    tabMainSettings_Click();
    // The start-up list follows the box, as the box's own click does.
    if (chkStartWin.Value() == 1)
        DoStartUp(startupProgramPath(), programTitle());
    else
        DoNotStartUp(startupProgramPath(), programTitle());
    loading_ = false;
    setChanged(false);

    Skin& skin = Skin::shared();
    if (skin.isLoaded()) {
        skin.ApplySkinByName(*this, QStringLiteral("secondForm"));
        SkinForm(*this, skin);
    }
}

std::array<std::pair<CheckBox*, int SettingsDialogValues::*>, 15> frmSettings::checkBoxes() const
{
    auto* self = const_cast<frmSettings*>(this);
    using V = SettingsDialogValues;
    return {{{&self->chkClipboard, &V::chkClipboard}, {&self->chkIE, &V::chkIE}, {&self->chkStartWin, &V::chkStartWin},
             {&self->chkPromptDone, &V::chkPromptDone}, {&self->chkCloseWindow, &V::chkCloseWindow},
             {&self->chkNotifyWhenDone, &V::chkNotifyWhenDone}, {&self->chkStopResume, &V::chkStopResume},
             {&self->chkRetry, &V::chkRetry}, {&self->chkSegment, &V::chkSegment},
             {&self->chkAskSegmented, &V::chkAskSegmented}, {&self->chkFtpPASV, &V::chkFtpPASV},
             {&self->chkUseProxy, &V::chkUseProxy}, {&self->chkFTPProxy, &V::chkFTPProxy},
             {&self->chkLogProx, &V::chkLogProx}, {&self->chkPass, &V::chkPass}}};
}

void frmSettings::toControls(const SettingsDialogValues& v)
{
    for (const auto& [box, value] : checkBoxes())
        box->setValue(v.*value);
    txtLimitHTTP.setText(v.txtLimitHTTP);
    txtLimitFTP.setText(v.txtLimitFTP);
    // One action is always on: the first stored one wins, the prompt when none is.
    chkDownloadNow.setValue(v.chkDownloadNow);
    chkDownloadLater.setValue(!v.chkDownloadNow && v.chkDownloadLater);
    chkDownloadPrompt.setValue(!chkDownloadNow.Value() && !chkDownloadLater.Value());
    txtMonitorTypes.setText(v.txtMonitorTypes);
    txtMonitorServer.setText(v.txtMonitorServer);
    txtTimeout.setText(v.txtTimeout);
    txtTimeResume.setText(v.txtTimeResume);
    txtTimeNoResume.setText(v.txtTimeNoResume);
    txtRetryTime.setText(v.txtRetryTime);
    txtRetries.setText(v.txtRetries);
    txtRollback.setText(v.txtRollback);
    for (std::size_t i = 0; i < txtSegment.size(); ++i)
        txtSegment[i]->setText(v.txtSegment[i]);
    // The last directory is the group's choice whenever none of the other three is stored.
    optSameDir.setValue(v.optSameDir);
    optFileType.setValue(!v.optSameDir && v.optFileType);
    optFileInfo.setValue(!v.optSameDir && !v.optFileType && v.optFileInfo);
    optLastDir.setValue(!optSameDir.Value() && !optFileType.Value() && !optFileInfo.Value());
    txtSameDir.setText(v.txtSameDir);
    lblLastDir.setCaption(v.lblLastDir);
    txtParentDir.setText(v.txtParentDir);
    // Loaded one by one: none of them is chosen when none is stored.
    optServer.setValue(v.optServer);
    optDate.setValue(!v.optServer && v.optDate);
    optFileExt.setValue(!v.optServer && !v.optDate && v.optFileExt);
    txtProxyServer.setText(v.txtProxyServer);
    txtProxyPort.setText(v.txtProxyPort);
    txtUserID.setText(v.txtUserID);
    txtPass.setText(v.txtPass);
    applyEnabling();
}

SettingsDialogValues frmSettings::fromControls() const
{
    SettingsDialogValues v;
    for (const auto& [box, value] : checkBoxes())
        v.*value = box->Value();
    v.txtLimitHTTP = txtLimitHTTP.Text();
    v.txtLimitFTP = txtLimitFTP.Text();
    v.chkDownloadNow = chkDownloadNow.Value();
    v.chkDownloadLater = chkDownloadLater.Value();
    v.chkDownloadPrompt = chkDownloadPrompt.Value();
    v.txtMonitorTypes = txtMonitorTypes.Text();
    v.txtMonitorServer = txtMonitorServer.Text();
    v.txtTimeout = txtTimeout.Text();
    v.txtTimeResume = txtTimeResume.Text();
    v.txtTimeNoResume = txtTimeNoResume.Text();
    v.txtRetryTime = txtRetryTime.Text();
    v.txtRetries = txtRetries.Text();
    v.txtRollback = txtRollback.Text();
    for (std::size_t i = 0; i < txtSegment.size(); ++i)
        v.txtSegment[i] = txtSegment[i]->Text();
    v.optSameDir = optSameDir.Value();
    v.txtSameDir = txtSameDir.Text();
    v.lblLastDir = lblLastDir.Caption();
    v.optFileType = optFileType.Value();
    v.optFileInfo = optFileInfo.Value();
    v.txtParentDir = txtParentDir.Text();
    v.optServer = optServer.Value();
    v.optDate = optDate.Value();
    v.optFileExt = optFileExt.Value();
    v.txtProxyServer = txtProxyServer.Text();
    v.txtProxyPort = txtProxyPort.Text();
    v.txtUserID = txtUserID.Text();
    v.txtPass = txtPass.Text();
    return v;
}

void frmSettings::setChanged(bool on)
{
    changed_ = on;
    cmdApply.setEnabled(on && !keyring.pending());
}

void frmSettings::applyEnabling()
{
    // The login needs the proxy, and the password needs the login.
    const bool proxy = chkUseProxy.Value() == 1;
    const bool login = proxy && chkLogProx.Value() == 1;
    for (Control* c : std::initializer_list<Control*>{&fraProxy, &txtProxyServer, &txtProxyPort, &chkFTPProxy, &chkLogProx})
        c->setEnabled(proxy);
    txtUserID.setEnabled(login);
    chkPass.setEnabled(login);
    txtPass.setEnabled(login && chkPass.Value() == 1 && !keyring.reading(txtPass));

    const bool segments = chkSegment.Value() == 1;
    fraSegment.setEnabled(segments);
    chkAskSegmented.setEnabled(segments);
    for (std::size_t i = 0; i < txtSegment.size(); ++i) {
        txtSegment[i]->setEnabled(segments);
        lblSegment[i]->setEnabled(segments);
    }

    fraLastDir.setVisible(optLastDir.Value());
    fraSameDir.setVisible(optSameDir.Value());
    fraFileType.setVisible(optFileType.Value());
    fraFileInfo.setVisible(optFileInfo.Value());
}

void frmSettings::tabMainSettings_Click()
{
    const int shown = tabMainSettings.SelectedIndex();
    for (std::size_t i = 0; i < frameInformation.size(); ++i)
        frameInformation[i]->setVisible(int(i) == shown);
}

void frmSettings::field_Change()
{
    if (!loading_)
        setChanged(true);
}

void frmSettings::txtMonitorTypes_LostFocus()
{
    if (wantedTypesTextIsValid(txtMonitorTypes.Text()))
        return;
    const QString text = GetLangString(QStringLiteral("11029"), QString());
    Prompts::instance().MsgBox(text, MsgButtons::OkOnly, MsgIcon::Critical, text);
}

void frmSettings::check_Click()
{
    setChanged(true);
}

void frmSettings::chkStartWin_Click()
{
    if (chkStartWin.Value() == 1)
        DoStartUp(startupProgramPath(), programTitle());
    else
        DoNotStartUp(startupProgramPath(), programTitle());
    setChanged(true);
}

void frmSettings::chkIE_Click()
{
    const bool on = chkIE.Value() == 1;
    CRegister().REGSaveSetting(HKEY_LOCAL_MACHINE, QString::fromLatin1(kSettingsKey), QStringLiteral("ClickCapture"), box(chkIE.Value()));
    SettingsStore::instance().record.ClickCapture = on;
    if (captureSwitch)
        captureSwitch(on);
    setChanged(true);
}

void frmSettings::chkClipboard_Click()
{
    SettingsStore::instance().record.ClipboardMonitoring = chkClipboard.Value() == 1;
    setChanged(true);
}

void frmSettings::chkUseProxy_Click()
{
    applyEnabling();
    setChanged(true);
}

void frmSettings::chkLogProx_Click()
{
    applyEnabling();
    setChanged(true);
}

void frmSettings::chkPass_Click()
{
    applyEnabling();
    setChanged(true);
}

void frmSettings::chkSegment_Click()
{
    applyEnabling();
    setChanged(true);
}

void frmSettings::option_Click(OptionButton& chosen)
{
    const std::initializer_list<std::initializer_list<OptionButton*>> groups = {
        {&optLastDir, &optSameDir, &optFileType, &optFileInfo},
        {&optServer, &optDate, &optFileExt},
        {&chkDownloadNow, &chkDownloadLater, &chkDownloadPrompt}};
    for (const auto& group : groups) {
        if (std::find(group.begin(), group.end(), &chosen) == group.end())
            continue;
        for (OptionButton* o : group)
            o->setValue(o == &chosen);
    }
    applyEnabling();
    setChanged(true);
}

void frmSettings::cmdMonitorServerReset_Click()
{
    const QString question = GetLangString(QStringLiteral("11020"), QString()) + QStringLiteral("\n\n")
        + GetLangString(QStringLiteral("11021"), QString());
    if (Prompts::instance().MsgBox(question, MsgButtons::YesNo, MsgIcon::Question,
                                   GetLangString(QStringLiteral("11022"), QString())) == MsgAnswer::Yes) {
        txtMonitorServer.setText(QString::fromLatin1(kDefaultMonitorServer));
        setChanged(true);
    }
}

void frmSettings::cmdMonitorTypesReset_Click()
{
    const QString question = GetLangString(QStringLiteral("11023"), QString()) + QStringLiteral("\n\n")
        + GetLangString(QStringLiteral("11021"), QString());
    if (Prompts::instance().MsgBox(question, MsgButtons::YesNo, MsgIcon::Question,
                                   GetLangString(QStringLiteral("11022"), QString())) == MsgAnswer::Yes) {
        txtMonitorTypes.setText(QString::fromLatin1(kDialogMonitorTypes));
        setChanged(true);
    }
}

void frmSettings::cmdTest_Click()
{
    const UrlTestResult r = testUrlAgainstLists(txtTestURL.Text(), txtMonitorServer.Text(), txtMonitorTypes.Text());
    const auto truth = [](bool b) { return b ? QStringLiteral("True") : QStringLiteral("False"); };
    const QString text = lang("11024", "The following results were returned:") + QStringLiteral("\n\n")
        + lang("11025", "Servers (if the server is in the ignore list) =") + u' ' + truth(r.serverListed) + u'\n'
        + lang("11026", "Extensions (if the extension is in the download list) =") + u' ' + truth(r.typeListed)
        + QStringLiteral("\n\n") + lang("11027", "True means it was found. False means it was not.");
    Prompts::instance().MsgBox(text, MsgButtons::OkOnly, MsgIcon::Information, lang("11028", "URL Server & EXT Test"));
}

void frmSettings::browse(TextBox& field)
{
    DirForm.strDirPath = field.Text();
    DirForm.setPath(QDir(field.Text()).exists() && !field.Text().isEmpty() ? field.Text() : QDir::homePath());
    Prompts::instance().ShowModal(DirForm);
    // Cancel leaves strDirPath as it was, so the field keeps its folder.
    if (field.Text() != DirForm.strDirPath) {
        field.setText(DirForm.strDirPath);
        setChanged(true);
    }
}

void frmSettings::cmdBrowseSameDir_Click()
{
    browse(txtSameDir);
}

void frmSettings::cmdBrowseFileType_Click()
{
    browse(txtFileTypeDir);
}

void frmSettings::cmdBrowseParentDir_Click()
{
    browse(txtParentDir);
}

void frmSettings::cmdAddFileType_Click()
{
    if (txtFileType.Text().isEmpty() || txtFileTypeDir.Text().isEmpty())
        return;
    ListRow* row = lstFileType.Add(txtFileType.Text());
    row->setCell(1, txtFileTypeDir.Text());
    txtFileType.setText({});
    txtFileTypeDir.setText({});
    setChanged(true);
}

void frmSettings::cmdRemoveFileType_Click()
{
    ListRow* row = lstFileType.SelectedItem();
    if (!row && lstFileType.anySelected())
        row = lstFileType.selectedRows().first();
    if (!row)
        return;
    lstFileType.Remove(row);
    setChanged(true);
}

void frmSettings::cmdLoginAdd_Click()
{
    const std::initializer_list<std::pair<TextBox*, const char*>> required = {
        {&txtLoginServer, "11017"}, {&txtLoginUsername, "11018"}, {&txtLoginPassword, "11019"}};
    for (const auto& [field, code] : required) {
        if (field->Text().trimmed().isEmpty()) {
            Prompts::instance().MsgBox(GetLangString(QString::fromLatin1(code), QString()), MsgButtons::OkOnly,
                                       MsgIcon::Exclamation, programTitle());
            return;
        }
    }
    ListRow* row = lstLogin.Add(txtLoginServer.Text());
    row->setCell(1, txtLoginUsername.Text());
    showLoginPassword(*row, txtLoginPassword.Text());
    for (TextBox* t : {&txtLoginServer, &txtLoginUsername, &txtLoginPassword})
        t->setText({});
    setChanged(true);
}

void frmSettings::cmdLoginDelete_Click()
{
    emit focusRequested(&lstLogin);
    while (lstLogin.anySelected())
        lstLogin.Remove(lstLogin.selectedRows().first());
    setChanged(true);
}

bool frmSettings::convertedFieldsHoldNumbers()
{
    // Fields saved as a product (minutes, KB, MB) must hold a number: a text saved as 0 would make a
    // reconnect wait of no time or a rollback past every resume point. Nothing is saved before.
    struct Converted {
        TextBox* field;
        Page page;
        bool positive;
    };
    std::vector<Converted> fields{{&txtTimeResume, Connections, true},
                                  {&txtTimeNoResume, Connections, true},
                                  {&txtRollback, Connections, false}};
    for (const auto& t : txtSegment)
        fields.push_back({t.get(), AutoSegment, false});
    for (const Converted& c : fields) {
        const auto n = vb::toNumber(c.field->Text());
        if (n && *n >= 0 && (!c.positive || *n > 0) && *n < 1.0e9)
            continue;
        tabMainSettings.setSelectedIndex(c.page);
        tabMainSettings_Click();
        Prompts::instance().MsgBox(
            lang("19210", "This field needs a number (minutes, KB or MB as its label says); the settings were not saved:")
                + u' ' + c.field->Text(),
            MsgButtons::OkOnly, MsgIcon::Exclamation, Caption());
        emit focusRequested(c.field);
        return false;
    }
    return true;
}

bool frmSettings::save(bool close)
{
    if (!convertedFieldsHoldNumbers())
        return false;
    SettingsStore& store = SettingsStore::instance();
    store.fileTypes.clear();
    for (const ListRow* row : lstFileType.rows())
        store.fileTypes.append(FileTypeFolder{row->cell(0), row->cell(1)});
    store.logins.clear();
    for (const ListRow* row : lstLogin.rows())
        store.logins.append(SiteLogin{row->cell(0), row->cell(1), row->Tag().toString()});
    // The keyring is written first, without holding up the window; the files follow its answer.
    const SettingsDialogValues v = fromControls();
    keyring.keep(store.passwordsToKeep(v), [this, v, types = store.fileTypes, logins = store.logins, close] {
        SettingsStore& store = SettingsStore::instance();
        store.fileTypes = types;
        store.logins = logins;
        store.SaveSettings(v);
        setChanged(false);
        store.LoadSettings(SettingsStore::PasswordReads::Later);
        if (close)
            Hide();
    });
    return true;
}

void frmSettings::cmdOK_Click()
{
    save(true);
}

void frmSettings::cmdApply_Click()
{
    save(false);
}

void frmSettings::cmdCancel_Click()
{
    if (changed_
        && Prompts::instance().MsgBox(QStringLiteral("settings changed , Are you sure you want to quit with out saving??"),
                                      MsgButtons::YesNo, MsgIcon::Question, Caption())
            != MsgAnswer::Yes)
        return;
    Hide();
}

void frmSettings::cmdHelp_Click()
{
    Shell::instance().open(frmMain::userGuidePath());
}

}  // namespace harbel
