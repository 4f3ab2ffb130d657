// The FTP client's options dialog: what Save stores and in which order, what Cancel and closing
// keep, the auto-mode list taken by the running window, the start-up entry, the size limit's
// checks and the language list.

#include "common/platform/SecretStore.h"
#include "common/platform/AutoStart.h"
#include "common/platform/RegistryStore.h"
#include "common/support/LangString.h"
#include "ftpclient/config/frmOptions.h"
#include "tests/ftpclient/window/MainWindowFixture.h"

#include "tests/support/QtPrint.h"

using namespace harbel;
using namespace harbel::tessaly;
using harbel::test::MainWindow;
using harbel::test::readFile;
using harbel::test::setReg;
using harbel::test::writeFile;

namespace {

QString reg(const QString& name)
{
    return setting(name, "<missing>");
}

QStringList rowTexts(const frmOptions& options)
{
    QStringList out;
    for (const ListRow* row : options.lstExtFiles.rows())
        out << row->Text();
    return out;
}

class Options : public MainWindow {
protected:
    QStringList running{"txt"};
};

}  // namespace

TEST_F(Options, SaveStoresEveryValueInItsOrderAndTheDialogReadsThemBack)
{
    frmOptions options(running);
    options.Form_Load();
    // The defaults of a fresh installation.
    EXPECT_EQ(options.txtLogFilename.Text(), "FTP.LOG");
    EXPECT_TRUE(options.optDeleteLogOnStartup.Value());
    EXPECT_FALSE(options.txtLogFileSize.Enabled());
    EXPECT_EQ(options.txtLogFileSize.Text(), "1000");
    EXPECT_EQ(rowTexts(options), QStringList({"txt", "htm", "html", "php", "cgi", "asp", "ini", "inf", "log"}));
    EXPECT_EQ(options.comboFirewallType.Text(), "SOCKS 4");
    EXPECT_EQ(options.txtFirewallPort.Text(), "1080");
    EXPECT_FALSE(options.txtFirewallHostName.Enabled());
    EXPECT_FALSE(options.isChanged());
    EXPECT_FALSE(options.cmdSave.Enabled());

    options.txtLogFilename.setText("session.txt");
    EXPECT_TRUE(options.cmdSave.Enabled());
    options.optDeleteLogIfSizeExceeds_Click();
    EXPECT_TRUE(options.txtLogFileSize.Enabled());
    options.txtLogFileSize.setText("250000");
    options.chkFirewall.setValue(1);
    options.chkFirewall_Click();
    EXPECT_TRUE(options.txtFirewallHostName.Enabled());
    options.txtFirewallHostName.setText("socks.example");
    options.txtFirewallPort.setText("1081");
    options.txtFirewallUserName.setText("fw");
    options.txtFirewallPassword.setText("secret");
    options.keyring.chkSaveInFile.setValue(1);  // no keyring runs here
    options.comboFirewallType.setListIndex(1);
    options.cmdSave_Click();
    EXPECT_FALSE(options.Visible());
    EXPECT_FALSE(options.isChanged());

    // The values stand in the store in the order they were written.
    const QString store = QString::fromUtf8(readFile(RegistryStore::defaultPath()));
    const QStringList order{"ADD TO STARTUP", "LOG FILE NAME", "DELETE LOG ON STARTUP", "DELETE LOG IF SIZE EXCEEDS",
                            "LOG FILE SIZE", "Auto Mode Types", "Firewall Host Name", "Firewall Proxy Port",
                            "Firewall Use", "Firewall User Name", "Firewall Password", "Firewall Type"};
    qsizetype at = -1;
    for (const QString& name : order) {
        const qsizetype next = store.indexOf("\"" + name + "\"=");
        EXPECT_GT(next, at) << name.toStdString() << "\n" << store.toStdString();
        at = next;
    }
    EXPECT_EQ(reg("ADD TO STARTUP"), "0");
    EXPECT_EQ(reg("LOG FILE NAME"), "session.txt");
    EXPECT_EQ(reg("DELETE LOG ON STARTUP"), "False");
    EXPECT_EQ(reg("DELETE LOG IF SIZE EXCEEDS"), "True");
    EXPECT_EQ(reg("LOG FILE SIZE"), "250000");
    EXPECT_EQ(reg("Auto Mode Types"), "txt;htm;html;php;cgi;asp;ini;inf;log");
    EXPECT_EQ(reg("Firewall Use"), "1");
    EXPECT_EQ(reg("Firewall Type"), "SOCKS 5");
    EXPECT_EQ(reg("Firewall Password"), SecretStore::marker());

    // A second opening shows what was saved.
    QStringList other;
    frmOptions again(other);
    again.Form_Load();
    EXPECT_EQ(again.txtLogFilename.Text(), "session.txt");
    EXPECT_FALSE(again.optDeleteLogOnStartup.Value());
    EXPECT_TRUE(again.optDeleteLogIfSizeExceeds.Value());
    EXPECT_EQ(again.txtLogFileSize.Text(), "250000");
    EXPECT_EQ(again.chkFirewall.Value(), 1);
    EXPECT_EQ(again.txtFirewallHostName.Text(), "socks.example");
    EXPECT_EQ(again.txtFirewallPort.Text(), "1081");
    EXPECT_EQ(again.txtFirewallUserName.Text(), "fw");
    EXPECT_EQ(again.comboFirewallType.Text(), "SOCKS 5");
    EXPECT_FALSE(again.isChanged());

    // Unticking the firewall and saving turns the proxy off.
    again.chkFirewall.setValue(0);
    again.chkFirewall_Click();
    EXPECT_FALSE(again.txtFirewallPort.Enabled());
    again.cmdSave_Click();
    EXPECT_EQ(reg("Firewall Use"), "0");
}

TEST_F(Options, CancelAndClosingWithNoStoreNothing)
{
    setReg("LOG FILE NAME", "kept.log");
    frmOptions options(running);
    options.Form_Load();
    options.txtLogFilename.setText("other.log");
    options.cmdRemove_Click();  // nothing selected: nothing removed
    EXPECT_EQ(options.lstExtFiles.count(), 9);

    // Closing with changes asks; No keeps the dialog with its changes, Yes lets it go.
    prompts.answer(MsgAnswer::No);
    EXPECT_FALSE(options.Form_QueryUnload());
    EXPECT_EQ(prompts.last().text, "Do you want quit??");
    EXPECT_EQ(prompts.last().icon, MsgIcon::Critical);
    EXPECT_EQ(prompts.last().buttons, MsgButtons::YesNo);
    EXPECT_EQ(options.txtLogFilename.Text(), "other.log");
    prompts.answer(MsgAnswer::Yes);
    EXPECT_TRUE(options.Form_QueryUnload());
    options.cmdCancel_Click();
    EXPECT_EQ(reg("LOG FILE NAME"), "kept.log");
    EXPECT_EQ(reg("Auto Mode Types"), "<missing>");

    // Without changes closing asks nothing.
    frmOptions clean(running);
    clean.Form_Load();
    EXPECT_TRUE(clean.Form_QueryUnload());
    EXPECT_EQ(running, QStringList({"txt"}));
}

TEST_F(Options, TheNextUploadTakesTheNewAutoModeList)
{
    writeFile(local + "notes.txt", "text\n");
    writeFile(local + "data.dat", "a;b\n");
    startServer();
    load();
    form->sLocalPath = local;
    quickConnect();
    form->RefreshLocalList();
    form->optAuto_Click();

    // Through the toolbar: "dat" goes in, "txt" goes out; a blank entry is refused.
    prompts.answerForm([](Form& f) {
        auto& options = static_cast<frmOptions&>(f);
        options.cmdAdd_Click();
        ListRow* added = options.lstExtFiles.SelectedItem();
        ASSERT_TRUE(added);
        EXPECT_EQ(options.lstExtFiles.indexOf(added), 1);  // at the top
        EXPECT_FALSE(options.lstExtFiles_AfterLabelEdit(added, " "));
        EXPECT_TRUE(options.lstExtFiles_AfterLabelEdit(added, "dat"));
        for (ListRow* row : options.lstExtFiles.rows())
            if (row->Text() == "txt")
                options.lstExtFiles.setSelectedItem(row);
        options.cmdRemove_Click();
        options.cmdAdd_Click();  // added and left empty: not stored
        options.cmdSave_Click();
    });
    prompts.answer(MsgAnswer::Ok);
    form->movToolbar_FSCommand("IDC_FS_Options");
    EXPECT_EQ(prompts.records().at(0).text, "frmOptions");
    EXPECT_EQ(prompts.records().at(1).text, "Please enter an extension.");
    EXPECT_EQ(reg("Auto Mode Types"), "dat;htm;html;php;cgi;asp;ini;inf;log");
    EXPECT_EQ(form->autoTypes.first(), "dat");

    selectNamed(form->lstLocalFileList, {"notes.txt", "data.dat"});
    form->UploadSelection();
    waitQueue();
    EXPECT_EQ(form->lblStatus.Caption(), "Upload complete");
    const QString log = logText();
    const auto typeOf = [&](const QString& name) {
        const qsizetype stor = log.lastIndexOf("STOR /" + name);
        return stor < 0 ? QString() : log.mid(log.lastIndexOf("TYPE ", stor), 6);
    };
    EXPECT_EQ(typeOf("data.dat"), "TYPE A") << log.toStdString();
    EXPECT_EQ(typeOf("notes.txt"), "TYPE I") << log.toStdString();

    // An empty list sends everything in binary.
    prompts.answerForm([](Form& f) {
        auto& options = static_cast<frmOptions&>(f);
        options.lstExtFiles.Clear();
        options.cmdSave_Click();
    });
    form->movToolbar_FSCommand("IDC_FS_Options");
    EXPECT_EQ(reg("Auto Mode Types"), "");
    QFile::remove(root + "/data.dat");
    QFile::remove(root + "/notes.txt");
    form->RefreshRemoteList();
    form->UploadSelection();
    waitQueue();
    const QString after = logText();
    const qsizetype again = after.lastIndexOf("STOR /data.dat");
    ASSERT_GT(again, log.size()) << after.toStdString();
    EXPECT_EQ(after.mid(after.lastIndexOf("TYPE ", again), 6), "TYPE I") << after.toStdString();
}

TEST_F(Options, TheStartUpEntryFollowsTheCheckBox)
{
    frmOptions options(running);
    options.startupProgram = "/opt/harbel/tessaly";
    options.Form_Load();
    EXPECT_EQ(options.chkAddToStartup.Value(), 0);
    options.chkAddToStartup.setValue(1);
    options.cmdSave_Click();
    EXPECT_EQ(reg("ADD TO STARTUP"), "1");
    ASSERT_TRUE(AutoStart::contains(frmOptions::kStartupEntry));
    EXPECT_TRUE(readFile(AutoStart::entryPath(frmOptions::kStartupEntry)).contains("Exec=\"/opt/harbel/tessaly\""));

    frmOptions again(running);
    again.Form_Load();
    EXPECT_EQ(again.chkAddToStartup.Value(), 1);
    again.chkAddToStartup.setValue(0);
    again.cmdSave_Click();
    EXPECT_EQ(reg("ADD TO STARTUP"), "0");
    EXPECT_FALSE(AutoStart::contains(frmOptions::kStartupEntry));
}

TEST_F(Options, ASizeThatIsNoSizeKeepsTheStoredLimitAndSaysSo)
{
    setReg("DELETE LOG ON STARTUP", "False");
    setReg("DELETE LOG IF SIZE EXCEEDS", "True");
    setReg("LOG FILE SIZE", "5000");
    frmOptions options(running);
    options.Form_Load();
    EXPECT_TRUE(options.optDeleteLogIfSizeExceeds.Value());
    EXPECT_TRUE(options.txtLogFileSize.Enabled());
    for (const QString& bad : {QString("abc"), QString("-3"), QString("12.5"), QString("99999999999999")}) {
        SCOPED_TRACE(bad.toStdString());
        options.txtLogFileSize.setText(bad);
        EXPECT_EQ(options.txtLogFileSize.Text(), "5000");
        EXPECT_TRUE(options.lblSizeNote.Caption().contains("\"" + bad + "\"")) << options.lblSizeNote.Caption().toStdString();
        EXPECT_TRUE(options.lblSizeNote.Caption().contains("5000 is kept"));
        // The rule itself stays as chosen.
        EXPECT_TRUE(options.optDeleteLogIfSizeExceeds.Value());
    }
    options.txtLogFileSize.setText("7000");
    EXPECT_EQ(options.txtLogFileSize.Text(), "7000");

    // A box left empty keeps the stored limit at Save, with a message.
    options.txtLogFileSize.setText("");
    prompts.answer(MsgAnswer::Ok);
    options.cmdSave_Click();
    EXPECT_EQ(prompts.last().text, "The size limit \"\" is not a size in bytes; the limit 5000 is kept.");
    EXPECT_EQ(reg("LOG FILE SIZE"), "5000");
    EXPECT_EQ(reg("DELETE LOG IF SIZE EXCEEDS"), "True");

    // A stored limit that is itself no size shows the default.
    setReg("LOG FILE SIZE", "lots");
    frmOptions again(running);
    again.Form_Load();
    EXPECT_EQ(again.txtLogFileSize.Text(), "1000");
}

TEST_F(Options, TheLanguageListComesFromTheLanguageFolderAndTheChoiceIsStored)
{
    writeFile(languageFolder() + "Deutsch.ini", "[Vantor]\n11045=kann nicht anmelden.\n");
    writeFile(languageFolder() + "Deutsch.bmp", "BM");
    writeFile(languageFolder() + "notes.txt", "not a language");
    frmOptions options(running);
    options.Form_Load();
    EXPECT_EQ(options.cmboLanguage.List(), QStringList({"Deutsch.ini", "English.ini"}));
    EXPECT_EQ(options.cmboLanguage.Text(), "English.ini");
    EXPECT_EQ(frmOptions::languageImage("Deutsch.ini"), languageFolder() + "Deutsch.bmp");
    EXPECT_EQ(frmOptions::languageImage("English.ini"), "");

    options.cmboLanguage.setListIndex(0);
    EXPECT_TRUE(options.isChanged());
    options.cmdSave_Click();
    EXPECT_EQ(storedLanguageChoice(), "Deutsch.ini");
    EXPECT_EQ(chosenLanguageFile(), "Deutsch.ini");

    frmOptions again(running);
    again.Form_Load();
    EXPECT_EQ(again.cmboLanguage.Text(), "Deutsch.ini");
}

TEST_F(Options, AFirewallPasswordNotSavedIsAskedForOnceARun)
{
    // Typed where no keyring ran, and not kept: the first connection of the run asks for it
    // (dismissed, nothing is connected), and the answer serves the rest of the run.
    for (const auto& [name, value] : {std::pair{"Firewall Use", "1"}, {"Firewall Host Name", "127.0.0.1"}, {"Firewall User Name", "fw"},
                                      {"Firewall Proxy Port", "1"}, {"Firewall Type", "SOCKS 5"}, {"Firewall Password", "{asked at each use}"}})
        setReg(name, value);
    load();
    form->txtQaddress.setText("127.0.0.1");
    form->txtQuser.setText("u");
    form->txtQport.setText("1");
    prompts.answerText(std::nullopt);
    form->cmdQConnect_Click();
    EXPECT_EQ(prompts.last().kind, ScriptedPrompts::Kind::PasswordBox);
    EXPECT_EQ(form->lblStatus.Caption(), "Connect operation cancelled: the firewall password was not given.");
    EXPECT_TRUE(form->xFtp.ProxyPassword.isEmpty());
    prompts.answerText(QString("typed"));
    for (int connection = 0; connection < 2; ++connection) {
        form->cmdQConnect_Click();
        EXPECT_EQ(form->xFtp.ProxyPassword, "typed");
        EXPECT_EQ(form->lblStatus.Caption(), "Could not connect to 127.0.0.1");
    }
    EXPECT_EQ(prompts.records().size(), 2);
    EXPECT_EQ(reg("Firewall Password"), "{asked at each use}");
}
