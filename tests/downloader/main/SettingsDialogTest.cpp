#include "common/platform/SecretStore.h"
#include "downloader/main/frmSettings.h"

#include "downloader/intake/CaptureFilters.h"
#include "downloader/engine/DownloadText.h"
#include "downloader/main/frmMain.h"

#include "common/platform/AutoStart.h"
#include "common/platform/Shell.h"
#include "common/support/ShiftCode.h"
#include "tests/support/DownloadJobTest.h"

#include <QFileInfo>

#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

using namespace harbel;
using harbel::test::readFile;

namespace {

QString stored(const char* name)
{
    return CRegister().REGGetSetting(HKEY_LOCAL_MACHINE, QString::fromLatin1(kSettingsKey), QString::fromLatin1(name),
                                     QStringLiteral("(none)"));
}

class OpenedShell final : public Shell {
public:
    QStringList opened;
    bool open(const QString& pathOrUrl) override
    {
        opened << pathOrUrl;
        return true;
    }
    bool start(const QString&, const QStringList&) override { return true; }
};

class SettingsDialog : public test::DownloadJobTest {
protected:
    void SetUp() override
    {
        DownloadJobTest::SetUp();
        Shell::setInstance(&shell);
        SettingsStore::instance().LastSavePath.clear();
        dialog.captureSwitch = [this](bool on) { captureCalls << on; };
        dialog.Form_Load();
        dialog.Show();
    }
    void TearDown() override
    {
        Shell::setInstance(nullptr);
        DownloadJobTest::TearDown();
    }
    // The user's typing: the text, then the field's change.
    void type(TextBox& box, const QString& text)
    {
        box.setText(text);
        dialog.field_Change();
    }
    void tick(CheckBox& box, int value, void (frmSettings::*click)())
    {
        box.setValue(value);
        (dialog.*click)();
    }

    OpenedShell shell;
    frmSettings dialog;
    QList<bool> captureCalls;
};

}  // namespace

TEST_F(SettingsDialog, CancelAsksOnlyAboutUnsavedEditsAndNoKeepsThem)
{
    EXPECT_FALSE(dialog.SettingsChanged());
    EXPECT_FALSE(dialog.cmdApply.Enabled());
    dialog.cmdCancel_Click();
    EXPECT_FALSE(dialog.Visible());
    EXPECT_TRUE(prompts.records().isEmpty());

    dialog.Form_Load();
    dialog.Show();
    type(dialog.txtLimitHTTP, "9");
    EXPECT_TRUE(dialog.cmdApply.Enabled());
    prompts.answer(MsgAnswer::No);
    dialog.cmdCancel_Click();
    EXPECT_EQ(prompts.last().text, "settings changed , Are you sure you want to quit with out saving??");
    EXPECT_EQ(prompts.last().buttons, MsgButtons::YesNo);
    EXPECT_TRUE(dialog.Visible());
    EXPECT_EQ(dialog.txtLimitHTTP.Text(), "9");

    prompts.answer(MsgAnswer::Yes);
    dialog.cmdCancel_Click();
    EXPECT_FALSE(dialog.Visible());
    EXPECT_EQ(stored("LimitHTTP"), "(none)");
    dialog.Form_Load();
    EXPECT_EQ(dialog.txtLimitHTTP.Text(), "3");
}

TEST_F(SettingsDialog, EveryFieldIsSavedInItsUnitAndReadBack)
{
    // Nothing stored: the dialog proposes 60 seconds and 3 retries, the program runs with 300 and 3.
    EXPECT_EQ(dialog.txtRetryTime.Text(), "60");
    EXPECT_EQ(dialog.txtRetries.Text(), "3");
    EXPECT_EQ(dialog.txtTimeResume.Text(), "5");
    EXPECT_EQ(dialog.txtRollback.Text(), "4");
    EXPECT_EQ(dialog.txtSegment[2]->Text(), "5");
    EXPECT_EQ(SettingsStore::instance().record.Retries, 3);

    type(dialog.txtTimeResume, "7");
    type(dialog.txtTimeNoResume, "1.5");
    type(dialog.txtRollback, "8");
    type(dialog.txtSegment[0].operator*(), "3");
    type(dialog.txtSegment[8].operator*(), "50");
    type(dialog.txtProxyServer, "proxy.example");
    type(dialog.txtProxyPort, "3128");
    tick(dialog.chkUseProxy, 1, &frmSettings::chkUseProxy_Click);
    tick(dialog.chkSegment, 1, &frmSettings::chkSegment_Click);
    dialog.chkDownloadLater.setValue(true);
    dialog.option_Click(dialog.chkDownloadLater);
    dialog.optFileInfo.setValue(true);
    dialog.option_Click(dialog.optFileInfo);
    dialog.optDate.setValue(true);
    dialog.option_Click(dialog.optDate);
    type(dialog.txtParentDir, "/srv/down");

    dialog.cmdApply_Click();
    EXPECT_TRUE(dialog.Visible());
    EXPECT_FALSE(dialog.SettingsChanged());
    EXPECT_FALSE(dialog.cmdApply.Enabled());
    EXPECT_EQ(stored("TimeResume"), "420");
    EXPECT_EQ(stored("TimeNoResume"), "90");
    EXPECT_EQ(stored("Rollback"), "8192");
    EXPECT_EQ(stored("SegmentSize1"), "3145728");
    EXPECT_EQ(stored("SegmentSize9"), "52428800");
    EXPECT_EQ(stored("RetryTime"), "60");
    EXPECT_EQ(stored("Retries"), "3");
    EXPECT_EQ(stored("UseProxy"), "1");
    EXPECT_EQ(stored("DownloadLaterOption"), "True");
    EXPECT_EQ(stored("DownloadPromptOption"), "False");
    EXPECT_EQ(stored("SaveFileInfo"), "True");
    EXPECT_EQ(stored("SaveLastDir"), defaultSaveFolder());

    // Apply loaded the settings the program runs with.
    const DownloadSettings& r = SettingsStore::instance().record;
    EXPECT_EQ(r.TimeResume, 420);
    EXPECT_EQ(r.Rollback, 8192);
    EXPECT_EQ(r.SegmentSize[8], 52428801.0);
    EXPECT_EQ(r.Retries, 3);
    EXPECT_EQ(r.ProxyServer, "proxy.example");
    EXPECT_TRUE(r.UseDate);

    frmSettings again;
    again.Form_Load();
    EXPECT_EQ(again.txtTimeResume.Text(), "7");
    EXPECT_EQ(again.txtTimeNoResume.Text(), "1.5");
    EXPECT_EQ(again.txtRollback.Text(), "8");
    EXPECT_EQ(again.txtSegment[8]->Text(), "50");
    EXPECT_EQ(again.txtProxyPort.Text(), "3128");
    EXPECT_TRUE(again.chkDownloadLater.Value());
    EXPECT_FALSE(again.chkDownloadPrompt.Value());
    EXPECT_TRUE(again.optFileInfo.Value());
    EXPECT_FALSE(again.optLastDir.Value());
    EXPECT_TRUE(again.optDate.Value());
    EXPECT_EQ(again.txtParentDir.Text(), "/srv/down");
}

TEST_F(SettingsDialog, ConvertedFieldsWithoutANumberAreRefusedAndNothingIsSaved)
{
    for (const QString& bad : {QStringLiteral("five"), QStringLiteral("0"), QStringLiteral("")}) {
        dialog.tabMainSettings.setSelectedIndex(frmSettings::Information);
        type(dialog.txtLimitFTP, "4");
        type(dialog.txtTimeResume, bad);
        prompts.answer(MsgAnswer::Ok);
        dialog.cmdOK_Click();
        EXPECT_TRUE(dialog.Visible()) << bad.toStdString();
        EXPECT_EQ(prompts.last().icon, MsgIcon::Exclamation);
        EXPECT_EQ(dialog.tabMainSettings.SelectedIndex(), frmSettings::Connections);
        EXPECT_TRUE(dialog.frameInformation[frmSettings::Connections]->Visible());
        EXPECT_TRUE(dialog.SettingsChanged());
        EXPECT_EQ(stored("LimitFTP"), "(none)") << "a refused save writes nothing";
    }
    type(dialog.txtTimeResume, "5");
    type(dialog.txtSegment[4].operator*(), "ten");
    prompts.answer(MsgAnswer::Ok);
    dialog.cmdOK_Click();
    EXPECT_EQ(dialog.tabMainSettings.SelectedIndex(), frmSettings::AutoSegment);
    type(dialog.txtSegment[4].operator*(), "10");
    dialog.cmdOK_Click();
    EXPECT_FALSE(dialog.Visible());
    EXPECT_EQ(stored("LimitFTP"), "4");
}

TEST_F(SettingsDialog, WantedTypesAreCheckedResetAndRefilledWhenCleared)
{
    type(dialog.txtMonitorTypes, "");
    dialog.txtMonitorTypes_LostFocus();  // empty is no bad character
    dialog.cmdOK_Click();
    EXPECT_EQ(stored("MonitorTypes"), "");
    dialog.Form_Load();
    EXPECT_EQ(dialog.txtMonitorTypes.Text(), QString::fromLatin1(kDialogMonitorTypes));

    type(dialog.txtMonitorTypes, ".zip; *.exe");
    prompts.answer(MsgAnswer::Ok);
    dialog.txtMonitorTypes_LostFocus();
    const QString bad = GetLangString("11029", "");
    EXPECT_FALSE(bad.isEmpty());
    EXPECT_EQ(prompts.last().text, bad);
    EXPECT_EQ(prompts.last().title, bad);
    EXPECT_EQ(prompts.last().icon, MsgIcon::Critical);

    prompts.answer(MsgAnswer::No);
    dialog.cmdMonitorTypesReset_Click();
    EXPECT_EQ(prompts.last().text, GetLangString("11023", "") + "\n\n" + GetLangString("11021", ""));
    EXPECT_EQ(prompts.last().title, GetLangString("11022", ""));
    EXPECT_EQ(dialog.txtMonitorTypes.Text(), ".zip; *.exe");
    prompts.answer(MsgAnswer::Yes);
    dialog.cmdMonitorTypesReset_Click();
    EXPECT_TRUE(dialog.txtMonitorTypes.Text().contains(".R0?; .R1?;"));

    type(dialog.txtMonitorServer, "mine.example");
    prompts.answer(MsgAnswer::Yes);
    dialog.cmdMonitorServerReset_Click();
    EXPECT_EQ(prompts.last().text, GetLangString("11020", "") + "\n\n" + GetLangString("11021", ""));
    EXPECT_EQ(dialog.txtMonitorServer.Text(), QString::fromLatin1(kDefaultMonitorServer));
}

TEST_F(SettingsDialog, UrlTestKeepsItsOwnMatchingRules)
{
    const QString ignore = "windowsupdate.microsoft.com ; download.windowsupdate.com ; update.microsoft.com ; *.amazon.com ; *ebay.com";
    const QString types = QString::fromLatin1(kDialogMonitorTypes);
    // Letter case: the test compares the server as written, the real filter ignores case.
    EXPECT_TRUE(testUrlAgainstLists("http://update.microsoft.com/a.zip", ignore, types).serverListed);
    EXPECT_FALSE(testUrlAgainstLists("http://UPDATE.microsoft.com/a.zip", ignore, types).serverListed);
    EXPECT_FALSE(IsServerPermitted("http://UPDATE.microsoft.com/a.zip", ignore));
    // "*ebay.com" matches the end of a longer name; the port and a login are not part of it.
    EXPECT_TRUE(testUrlAgainstLists("ftp://me:pw@shop.ebay.com:2121/x.exe", ignore, types).serverListed);
    EXPECT_FALSE(testUrlAgainstLists("http://ebay.com/x.exe", "*ebay.com", types).serverListed);
    // Types: same length, same first two characters, "?" from the third place on.
    EXPECT_TRUE(testUrlAgainstLists("http://h/a.r01", ignore, types).typeListed);
    EXPECT_FALSE(testUrlAgainstLists("http://h/a.R01", ignore, types).typeListed);
    EXPECT_FALSE(testUrlAgainstLists("http://h/a.r012", ignore, types).typeListed);
    EXPECT_TRUE(testUrlAgainstLists("http://h/a.zip", ignore, types).typeListed);

    type(dialog.txtTestURL, "http://UPDATE.microsoft.com/setup.exe");
    prompts.answer(MsgAnswer::Ok);
    dialog.cmdTest_Click();
    EXPECT_EQ(prompts.last().title, "URL Server & EXT Test");
    EXPECT_EQ(prompts.last().text,
              "The following results were returned:\n\nServers (if the server is in the ignore list) = False\n"
              "Extensions (if the extension is in the download list) = True\n\nTrue means it was found. False means it was not.");
}

TEST_F(SettingsDialog, SiteLoginsNeedEveryFieldSortByColumnAndAreSaved)
{
    type(dialog.txtLoginServer, "ftp.example");
    type(dialog.txtLoginUsername, "   ");
    type(dialog.txtLoginPassword, "secret");
    prompts.answer(MsgAnswer::Ok);
    dialog.cmdLoginAdd_Click();
    EXPECT_EQ(prompts.last().text, GetLangString("11018", ""));
    EXPECT_EQ(dialog.lstLogin.count(), 0);

    const auto add = [this](const QString& server, const QString& user) {
        type(dialog.txtLoginServer, server);
        type(dialog.txtLoginUsername, user);
        type(dialog.txtLoginPassword, "abc");
        dialog.cmdLoginAdd_Click();
    };
    add("b.example", "zed");
    add("a.example", "amy");
    add("c.example", "bob");
    EXPECT_EQ(dialog.lstLogin.count(), 3);
    for (const ListRow* row : dialog.lstLogin.rows())
        EXPECT_EQ(row->cell(2), QString(8, QChar(0x2022)));  // dots, never the password
    EXPECT_TRUE(dialog.txtLoginServer.Text().isEmpty());
    // Each click on a header sorts by that column, the other way round from the click before.
    const auto users = [this] {
        QStringList column;
        for (const ListRow* row : dialog.lstLogin.rows())
            column << row->cell(1);
        return column;
    };
    dialog.lstLogin.ColumnClick(1);
    const QStringList first = users();
    dialog.lstLogin.ColumnClick(1);
    const QStringList second = users();
    EXPECT_TRUE(first == QStringList({"amy", "bob", "zed"}) || first == QStringList({"zed", "bob", "amy"}));
    EXPECT_EQ(QStringList(second.rbegin(), second.rend()), first);
    for (ListRow* row : dialog.lstLogin.rows())
        row->setSelected(row->cell(1) == "zed");
    dialog.cmdLoginDelete_Click();
    EXPECT_EQ(dialog.lstLogin.count(), 2);

    type(dialog.txtFileType, "iso");
    dialog.cmdAddFileType_Click();  // no folder: nothing added
    EXPECT_EQ(dialog.lstFileType.count(), 0);
    type(dialog.txtFileTypeDir, "/srv/iso");
    dialog.cmdAddFileType_Click();
    EXPECT_EQ(dialog.lstFileType.count(), 1);

    dialog.cmdOK_Click();
    const QByteArray ini = readFile(SettingsStore::settingsIniPath());
    EXPECT_TRUE(ini.contains("\r\niso\r\n/srv/iso\r\nLogins:\r\n")) << ini.constData();
    // No keyring runs here and the box was left clear: the passwords are not kept.
    EXPECT_TRUE(ini.contains("c.example\r\nbob\r\n\r\n")) << ini.constData();
    EXPECT_FALSE(ini.contains("zed"));
    ASSERT_EQ(SettingsStore::instance().logins.size(), 2);
}

TEST_F(SettingsDialog, BoxesEnableTheirFieldsAndTheRuleShowsItsFrame)
{
    EXPECT_FALSE(dialog.txtProxyServer.Enabled());
    tick(dialog.chkUseProxy, 1, &frmSettings::chkUseProxy_Click);
    EXPECT_TRUE(dialog.txtProxyServer.Enabled());
    EXPECT_TRUE(dialog.chkLogProx.Enabled());
    EXPECT_FALSE(dialog.txtUserID.Enabled());
    tick(dialog.chkLogProx, 1, &frmSettings::chkLogProx_Click);
    EXPECT_TRUE(dialog.txtUserID.Enabled());
    EXPECT_FALSE(dialog.txtPass.Enabled());
    tick(dialog.chkPass, 1, &frmSettings::chkPass_Click);
    EXPECT_TRUE(dialog.txtPass.Enabled());
    tick(dialog.chkUseProxy, 0, &frmSettings::chkUseProxy_Click);
    for (const Control* c : std::initializer_list<const Control*>{&dialog.txtProxyServer, &dialog.txtProxyPort,
                                                                  &dialog.chkFTPProxy, &dialog.chkLogProx,
                                                                  &dialog.txtUserID, &dialog.chkPass, &dialog.txtPass})
        EXPECT_FALSE(c->Enabled()) << c->name().toStdString();

    EXPECT_FALSE(dialog.txtSegment[3]->Enabled());
    tick(dialog.chkSegment, 1, &frmSettings::chkSegment_Click);
    EXPECT_TRUE(dialog.fraSegment.Enabled());
    EXPECT_TRUE(dialog.txtSegment[3]->Enabled());
    EXPECT_TRUE(dialog.lblSegment[3]->Enabled());

    EXPECT_TRUE(dialog.fraLastDir.Visible());
    dialog.optFileType.setValue(true);
    dialog.option_Click(dialog.optFileType);
    EXPECT_TRUE(dialog.fraFileType.Visible());
    EXPECT_FALSE(dialog.fraLastDir.Visible());
    EXPECT_FALSE(dialog.optLastDir.Value());

    dialog.tabMainSettings.setSelectedIndex(frmSettings::Login);
    dialog.tabMainSettings_Click();
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(dialog.frameInformation[std::size_t(i)]->Visible(), i == frmSettings::Login);
}

TEST_F(SettingsDialog, StartupCaptureAndClipboardBoxesActAtOnceAndBrowseAndHelpWork)
{
    tick(dialog.chkStartWin, 1, &frmSettings::chkStartWin_Click);
    EXPECT_TRUE(AutoStart::contains(programTitle()));
    tick(dialog.chkStartWin, 0, &frmSettings::chkStartWin_Click);
    EXPECT_FALSE(AutoStart::contains(programTitle()));

    tick(dialog.chkIE, 0, &frmSettings::chkIE_Click);
    EXPECT_EQ(stored("ClickCapture"), "0");
    EXPECT_EQ(captureCalls, QList<bool>{false});
    tick(dialog.chkClipboard, 0, &frmSettings::chkClipboard_Click);
    EXPECT_FALSE(SettingsStore::instance().record.ClipboardMonitoring);
    EXPECT_EQ(stored("ClipboardMonitoring"), "(none)") << "stored at the next save";

    // Browse: the chooser's folder goes into the field; its Cancel keeps the field.
    prompts.answerForm([](Form& f) {
        auto& dir = static_cast<frmDir&>(f);
        dir.setPath("/srv/same");
        dir.cmdOk_Click();
    });
    dialog.cmdBrowseSameDir_Click();
    EXPECT_EQ(dialog.txtSameDir.Text(), "/srv/same");
    prompts.answerForm([](Form& f) {
        auto& dir = static_cast<frmDir&>(f);
        dir.setPath("/elsewhere");
        dir.cmdCancel_Click();
    });
    dialog.cmdBrowseSameDir_Click();
    EXPECT_EQ(dialog.txtSameDir.Text(), "/srv/same");

    dialog.cmdHelp_Click();
    EXPECT_EQ(shell.opened, QStringList{frmMain::userGuidePath()});
    EXPECT_TRUE(QFileInfo::exists(frmMain::userGuidePath()));
}
