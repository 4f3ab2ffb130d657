// The site dialog's profiles: saving and reading them back, the two folders, names that must not
// leave the private folder, and connecting with a saved profile.

#include "common/platform/SecretStore.h"
#include "common/platform/IniFile.h"
#include "common/support/ShiftCode.h"
#include "ftpclient/config/frmConnectionInfo.h"
#include "tests/ftpclient/window/MainWindowFixture.h"

#include <QDirIterator>
#include <QFileInfo>

namespace harbel::test {

namespace {

QString standardFile(const QString& name)
{
    return frmConnectionInfo::standardFolder() + "/" + name;
}
QString privateFile(const QString& name)
{
    return frmConnectionInfo::privateFolder() + "/" + name;
}

// Every file and folder under the test's folder with its size: what a refused save must leave as it was.
QStringList everything()
{
    QStringList out;
    QDirIterator it(testFolder(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        out << it.filePath() + " " + QString::number(it.fileInfo().size());
    }
    out.sort();
    return out;
}

// The bytes of a scrambled value as the profile file keeps them.
QString stored(const QString& plain)
{
    return QString::fromLatin1(ShiftEncode(plain));
}

}  // namespace

class SiteProfiles : public MainWindow {
protected:
    void fill(frmConnectionInfo& d, const QString& name, const QString& host, const QString& user,
              const QString& password, const QString& port, bool passive)
    {
        d.cmdNewSite_Click();
        d.txtProfileName.setText(name);
        d.txtHost.setText(host);
        d.txtUserName.setText(user);
        d.txtPassword.setText(password);
        d.txtPort.setText(port);
        d.chkPassiveMode.setValue(passive ? 1 : 0);
    }
    void save(frmConnectionInfo& d) { d.cmdSaveSite_Click(); }
};

TEST_F(SiteProfiles, ASavedProfileReadsBackAsTyped)
{
    frmConnectionInfo d;
    d.Form_Load();
    // No keyring runs here: the dialog says so, and the box keeps passwords in the private file.
    EXPECT_TRUE(d.keyring.lblKeyring.Visible());
    EXPECT_EQ(d.keyring.chkSaveInFile.Caption(), "Save it in a file that only you can read");
    d.keyring.chkSaveInFile.setValue(1);
    EXPECT_TRUE(QFileInfo(frmConnectionInfo::standardFolder()).isDir());
    EXPECT_TRUE(QFileInfo(frmConnectionInfo::privateFolder()).isDir());
    EXPECT_EQ(d.tvlPrivate.Items(), QStringList{"Profiles"});

    // Letters near the top of the ASCII range scramble past it, "{" becomes a blank-like character
    // and "ä" is two bytes: all must come back as typed.
    const QString password = "s3cr=t xyz~ ä{";
    fill(d, "Work site", "ftp.example.org", "tess", password, "2121", true);
    save(d);
    EXPECT_TRUE(prompts.records().isEmpty());  // the dialog's status line says it
    EXPECT_EQ(d.lblStatus.Caption(), "Profile Saved: Work site");
    EXPECT_EQ(d.TabProfiles.SelectedIndex(), 1);
    EXPECT_TRUE(d.tvlPrivate.Visible());
    EXPECT_FALSE(d.tvlStandard.Visible());
    EXPECT_EQ(d.tvlPrivate.Items(), (QStringList{"Profiles", "Work site.Profile"}));
    EXPECT_FALSE(d.cmdDeleteSite.Enabled());

    const IniFile ini(privateFile("Work site.Profile"));
    // The spec's keys in their order, then the FTP over TLS choice (off here).
    EXPECT_EQ(ini.keys("PROFILE"), (QStringList{"sname", "adresa", "ID", "Passive", "pass", "port", "TLS"}));
    EXPECT_EQ(ini.value("PROFILE", "TLS"), "0");
    EXPECT_EQ(ini.value("PROFILE", "ID"), "~o}}");  // "tess" moved ten up
    EXPECT_EQ(ini.value("PROFILE", "pass"), SecretStore::marker());
    EXPECT_FALSE(readFile(privateFile("Work site.Profile")).contains(stored(password).toLatin1()));
    EXPECT_EQ(ini.value("PROFILE", "Passive"), "1");

    d.cmdNewSite_Click();
    EXPECT_EQ(d.txtHost.Text(), "");
    EXPECT_EQ(d.txtPort.Text(), "21");
    EXPECT_EQ(d.chkPassiveMode.Value(), 1);  // a new site starts passive
    d.tvlPrivate_NodeClick(1);
    EXPECT_EQ(d.txtProfileName.Text(), "Work site");
    EXPECT_EQ(d.txtHost.Text(), "ftp.example.org");
    EXPECT_EQ(d.txtUserName.Text(), "tess");
    EXPECT_EQ(d.txtPassword.Text(), password);
    EXPECT_EQ(d.txtPort.Text(), "2121");
    EXPECT_EQ(d.chkPassiveMode.Value(), 1);
    EXPECT_TRUE(d.optNormal.Value());
    EXPECT_FALSE(d.optAnonymous.Value());
    EXPECT_TRUE(d.txtPassword.Enabled());
    EXPECT_TRUE(d.cmdDeleteSite.Enabled());

    // Saving the same name again updates the file in place.
    d.txtHost.setText("ftp2.example.org");
    save(d);
    d.tvlPrivate_NodeClick(1);
    EXPECT_EQ(d.txtHost.Text(), "ftp2.example.org");
    EXPECT_EQ(d.tvlPrivate.Items().size(), 2);

    // Anonymous: the password typed into the (disabled) box is not saved.
    fill(d, "Mirror", "mirror.example.org", "", "", "21", false);
    d.optAnonymous_Click();
    EXPECT_EQ(d.txtUserName.Text(), "anonymous");
    EXPECT_FALSE(d.txtUserName.Enabled());
    d.txtPassword.setText("typed anyway");
    save(d);
    EXPECT_EQ(IniFile(privateFile("Mirror.Profile")).value("PROFILE", "pass", "missing"), "");
    d.cmdNewSite_Click();
    d.tvlPrivate_NodeClick(1);  // sorted by name: Mirror first
    EXPECT_EQ(d.txtProfileName.Text(), "Mirror");
    EXPECT_TRUE(d.optAnonymous.Value());
    EXPECT_FALSE(d.optNormal.Value());
    EXPECT_EQ(d.txtUserName.Text(), "anonymous");
    EXPECT_EQ(d.txtPassword.Text(), "");
    EXPECT_EQ(d.chkPassiveMode.Value(), 0);

    // Empty name or address: nothing is written.
    fill(d, "No host", "", "u", "p", "21", false);
    prompts.answer(MsgAnswer::Ok);
    d.cmdSaveSite_Click();
    EXPECT_EQ(prompts.last().text, "Please check Site name and Server Address!");
    EXPECT_EQ(prompts.last().icon, MsgIcon::Exclamation);
    EXPECT_FALSE(QFileInfo::exists(privateFile("No host.Profile")));

    // A file written elsewhere: an empty port shows "21", values are cut at their read limits, a
    // scrambled value ends at a zero character.
    writeFile(privateFile("Hand.Profile"),
              "[profile]\nSNAME=Hand\nadresa=" + QByteArray(100, 'h') + "\nid=" + QByteArray(60, 'k') +
                  "\npass=klm\\x00\nport=\nPassive=1\n");
    QByteArray withZero = readFile(privateFile("Hand.Profile"));
    withZero.replace("\\x00", QByteArray("\xC2\x80", 2) + QByteArray(1, '\0') + "kk");  // U+0080, then a zero
    writeFile(privateFile("Hand.Profile"), withZero);
    d.Form_Load();
    EXPECT_EQ(d.tvlPrivate.Items(), (QStringList{"Profiles", "Hand.Profile", "Mirror.Profile", "Work site.Profile"}));
    d.tvlPrivate_NodeClick(1);
    EXPECT_EQ(d.txtProfileName.Text(), "Hand");
    EXPECT_EQ(d.txtHost.Text(), QString(74, 'h'));
    EXPECT_EQ(d.txtUserName.Text(), QString(49, 'a'));
    EXPECT_EQ(d.txtPassword.Text(), "abcv");
    EXPECT_EQ(d.txtPort.Text(), "21");
    EXPECT_EQ(d.chkPassiveMode.Value(), 1);

    // The port box never keeps a text that is no port.
    for (const QString bad : {"", "abc", "0", "-5"}) {
        d.txtPort.setText(bad);
        EXPECT_EQ(d.txtPort.Text(), "21") << bad.toStdString();
    }
    d.txtPort.setText("990");
    EXPECT_EQ(d.txtPort.Text(), "990");
}

TEST_F(SiteProfiles, StandardProfilesAreReadOnlyAndPrivateOnesAreDeletedOnlyOnYes)
{
    QDir().mkpath(frmConnectionInfo::standardFolder());
    const QByteArray corp = "[PROFILE]\nsname=Corp\nadresa=ftp.corp.example\nID=" + stored("staff").toUtf8() +
                            "\nPassive=0\npass=" + stored("pw").toUtf8() + "\nport=2100\n";
    writeFile(standardFile("Corp.Profile"), corp);
    writeFile(standardFile("Public.Profile"), "[PROFILE]\nsname=Public\nadresa=ftp.pub.example\nID=" +
                                                  stored("anonymous").toUtf8() + "\npass=\nport=21\n");
    writeFile(standardFile("NoPassword.Profile"), "[PROFILE]\nsname=NoPassword\nadresa=h\nID=" +
                                                      stored("bob").toUtf8() + "\n");
    writeFile(standardFile("notes.txt"), "not a profile");

    frmConnectionInfo d;
    d.Form_Load();
    d.keyring.chkSaveInFile.setValue(1);  // no keyring runs here
    EXPECT_EQ(d.tvlStandard.Items(), (QStringList{"Profiles", "Corp.Profile", "NoPassword.Profile", "Public.Profile"}));
    EXPECT_TRUE(d.tvlStandard.Visible());
    EXPECT_FALSE(d.tvlPrivate.Visible());

    d.tvlStandard_NodeClick(3);
    EXPECT_TRUE(d.optAnonymous.Value());
    EXPECT_FALSE(d.optNormal.Value());
    EXPECT_EQ(d.txtUserName.Text(), "anonymous");
    d.tvlStandard_NodeClick(2);  // a user without a password: neither type chosen, boxes editable
    EXPECT_FALSE(d.optAnonymous.Value());
    EXPECT_FALSE(d.optNormal.Value());
    EXPECT_TRUE(d.txtUserName.Enabled());
    EXPECT_EQ(d.txtUserName.Text(), "bob");
    d.tvlStandard_NodeClick(1);
    EXPECT_EQ(d.txtHost.Text(), "ftp.corp.example");
    EXPECT_EQ(d.txtUserName.Text(), "staff");
    EXPECT_EQ(d.txtPassword.Text(), "pw");
    EXPECT_EQ(d.txtPort.Text(), "2100");
    EXPECT_TRUE(d.optNormal.Value());
    EXPECT_TRUE(d.cmdDeleteSite.Enabled());
    d.tvlStandard_NodeClick(0);
    EXPECT_FALSE(d.cmdDeleteSite.Enabled());

    // Delete acts on the private tree only: with a standard profile chosen nothing is asked or removed.
    d.tvlStandard_NodeClick(1);
    d.cmdDeleteSite_Click();
    EXPECT_TRUE(prompts.records().isEmpty());

    // Saving a standard profile's name writes a private copy; the standard file stays as it was.
    d.txtPassword.setText("changed");
    save(d);
    EXPECT_EQ(readFile(standardFile("Corp.Profile")), corp);
    EXPECT_EQ(IniFile(privateFile("Corp.Profile")).value("PROFILE", "pass"), SecretStore::marker());
    EXPECT_EQ(d.tvlPrivate.Items(), (QStringList{"Profiles", "Corp.Profile"}));

    // The root node names no file.
    d.tvlPrivate_NodeClick(0);
    d.cmdDeleteSite_Click();
    EXPECT_TRUE(prompts.records().isEmpty());  // saving asked nothing either

    d.tvlPrivate_NodeClick(1);
    prompts.answer(MsgAnswer::No);
    d.cmdDeleteSite_Click();
    EXPECT_EQ(prompts.last().text, "Do you want to delete the site \"Corp\"?");
    EXPECT_EQ(prompts.last().buttons, MsgButtons::YesNo);
    EXPECT_TRUE(QFileInfo::exists(privateFile("Corp.Profile")));
    prompts.answer(MsgAnswer::Yes);
    d.cmdDeleteSite_Click();
    EXPECT_FALSE(QFileInfo::exists(privateFile("Corp.Profile")));
    EXPECT_TRUE(QFileInfo::exists(standardFile("Corp.Profile")));
    EXPECT_EQ(d.tvlPrivate.Items(), QStringList{"Profiles"});
    EXPECT_EQ(d.tvlStandard.Items().size(), 4);
}

TEST_F(SiteProfiles, ANameThatIsNoPlainFileNameIsRefusedAndNothingIsWritten)
{
    frmConnectionInfo d;
    d.Form_Load();
    const QStringList before = everything();
    const QStringList hostile{
        "../evil", "..", ".", ".hidden", "a/b", "sub\\..\\x", "up..", "\\", "/tmp/x",
        QString(201, 'a'), QString(101, QChar(0xE4)),  // 201 and 202 bytes
        "tab\there", "line\nbreak", QString("nul") + QChar(0) + "x", "del\x7f", "bidi\u202Ename",
    };
    for (const QString& name : hostile) {
        fill(d, name, "ftp.example.org", "u", "p", "21", false);
        prompts.answer(MsgAnswer::Ok);
        d.cmdSaveSite_Click();
        EXPECT_TRUE(prompts.last().text.startsWith("The Site name can not be used as a file name")) << name.toStdString();
        EXPECT_EQ(prompts.last().icon, MsgIcon::Exclamation);
    }
    EXPECT_EQ(everything(), before);
    EXPECT_EQ(d.tvlPrivate.Items(), QStringList{"Profiles"});

    // Dots inside a name and a name of exactly 200 bytes are ordinary names.
    for (const QString& name : {QString("ftp.example.org"), QString(200, 'b'), QString("Büro 2")}) {
        fill(d, name, "h", "u", "p", "21", false);
        save(d);
        EXPECT_EQ(d.lblStatus.Caption(), "Profile Saved: " + name);
        EXPECT_TRUE(QFileInfo(privateFile(name + ".Profile")).isFile()) << name.toStdString();
    }
}

TEST_F(SiteProfiles, ConnectingWithASavedProfileLogsInWithItsPassword)
{
    PyFtpServer::Options options;
    options.password = "pä{xyz";
    server = std::make_unique<PyFtpServer>(root, options);
    ASSERT_TRUE(server->start()) << server->error().toStdString();
    writeFile(root + "/hello.txt", "hi");
    load();
    const QString port = QString::number(server->port());

    // First visit: save the site and leave with Cancel; nothing of the main window changes.
    prompts.answerForm([&](Form& f) {
        auto& d = static_cast<frmConnectionInfo&>(f);
        EXPECT_EQ(form->movToolbar.GetVariable("_root.Connected"), "0");
        fill(d, "Local", "127.0.0.1", "tess", "pä{xyz", port, true);
        d.keyring.chkSaveInFile.setValue(1);
        d.cmdSaveSite_Click();
        d.cmdCancel_Click();
    });
    form->ConnectToSite();
    EXPECT_EQ(form->lblStatus.Caption(), "Connect operation cancelled.");
    EXPECT_EQ(form->sSiteAddress, "");
    EXPECT_EQ(form->xFtp.State(), 0);

    // Second visit: the dialog opens fresh, the profile is picked from the private tree.
    prompts.answerForm([&](Form& f) {
        auto& d = static_cast<frmConnectionInfo&>(f);
        EXPECT_EQ(d.txtProfileName.Text(), "");
        EXPECT_EQ(d.txtPort.Text(), "21");
        EXPECT_EQ(d.tvlPrivate.Items(), (QStringList{"Profiles", "Local.Profile"}));
        EXPECT_EQ(d.TabProfiles.SelectedIndex(), 1);  // the tab of the profile used last
        EXPECT_EQ(d.tvlPrivate.ListIndex(), 1);
        d.TabProfiles.setSelectedIndex(1);
        d.TabProfiles_Click();
        d.tvlPrivate_NodeClick(1);
        d.cmdConnect_Click();
    });
    form->ConnectToSite();
    ASSERT_EQ(form->xFtp.State(), 2) << form->lblStatus.Caption().toStdString();
    EXPECT_EQ(form->lblStatus.Caption(), "Connected to 127.0.0.1");
    EXPECT_EQ(form->xFtp.User, "tess");
    EXPECT_EQ(form->xFtp.Password, "pä{xyz");
    EXPECT_TRUE(form->xFtp.Passive);
    EXPECT_EQ(form->txtQport.Text(), port);
    EXPECT_EQ(form->sSitePassword, "pä{xyz");
    EXPECT_NE(rowNamed(form->lstRemoteFileList, "hello.txt"), nullptr);
    EXPECT_EQ(form->movToolbar.GetVariable("_root.Connected"), "1");

    // Opening the dialog while connected and cancelling leaves the session shown as it is.
    prompts.answerForm([](Form& f) { static_cast<frmConnectionInfo&>(f).cmdCancel_Click(); });
    form->ConnectToSite();
    EXPECT_EQ(form->xFtp.State(), 2);
    EXPECT_EQ(form->movToolbar.GetVariable("_root.Connected"), "1");
}

}  // namespace harbel::test
