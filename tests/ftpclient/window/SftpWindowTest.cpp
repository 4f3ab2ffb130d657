// The window over SFTP against OpenSSH's sshd: Quick Connect and a site profile, the host-key
// question answered each way, listing, transfers both ways, rename and delete; what SFTP cannot do
// stays greyed; profiles and the stored queue keep the protocol.
#include "ftpclient/component/TransferQueueStore.h"
#include "tests/ftpclient/window/MainWindowFixture.h"
#include "tests/support/SshServer.h"

#include <pwd.h>
#include <unistd.h>

namespace harbel::test {
namespace {

SshServer& sshd()
{
    qunsetenv("SSH_AUTH_SOCK");  // no agent of the user's logs a test in
    static SshServer server;
    if (server.port() == 0) {
        EXPECT_TRUE(server.start()) << server.why().toStdString();
    }
    return server;
}

class SftpWindow : public MainWindow {
protected:
    void SetUp() override
    {
        MainWindow::SetUp();
        ASSERT_NE(sshd().port(), 0);
        // The user's usual key and known hosts file, under a home of the test's own.
        savedHome = qgetenv("HOME");
        home = testFolder() + "/user";
        QDir().mkpath(home + "/.ssh");
        qputenv("HOME", home.toUtf8());
        for (const QString suffix : {"", ".pub"})
            ASSERT_TRUE(QFile::copy(sshd().clientKey() + suffix, home + "/.ssh/id_ed25519" + suffix));
        QFile::setPermissions(home + "/.ssh/id_ed25519", QFile::ReadOwner | QFile::WriteOwner);
    }
    void TearDown() override
    {
        MainWindow::TearDown();
        qputenv("HOME", savedHome);
    }
    // Connects over SFTP from Quick Connect or from a saved profile; the first answer given goes
    // to the host-key question (or the warning about a changed key).
    void connectSftp(bool profile, MsgAnswer answer)
    {
        const QString user = QString::fromLocal8Bit(getpwuid(getuid())->pw_name);
        if (profile) {
            writeFile(frmConnectionInfo::privateFolder() + "/box.Profile",
                      QStringLiteral("[PROFILE]\nsname=box\nadresa=127.0.0.1\nport=%1\nprotocol=2\n").arg(sshd().port()).toUtf8());
            prompts.answerForm([user](Form& f) {
                auto& d = static_cast<frmConnectionInfo&>(f);
                d.TabProfiles.setSelectedIndex(1);
                d.TabProfiles_Click();
                d.tvlPrivate_NodeClick(1);
                EXPECT_FALSE(d.optAnonymous.Enabled());
                d.txtUserName.setText(user);
                d.cmdConnect_Click();
            });
            prompts.answer(answer);
            form->ConnectToSite();
            return;
        }
        form->cboQProtocol.setListIndex(SiteProtocol::Sftp);
        form->cboQProtocol_Click();
        form->txtQaddress.setText("127.0.0.1");
        form->txtQport.setText(QString::number(sshd().port()));
        form->txtQuser.setText(user);
        prompts.answer(answer);
        form->cmdQConnect_Click();
    }
    bool connected() const { return form->remoteSession().State() == RemoteSession::Idle; }

    QByteArray savedHome;
    QString home;
};

TEST_F(SftpWindow, ConnectsListsTransfersRenamesAndDeletesOnceTheHostKeyIsAccepted)
{
    struct Case {
        bool profile;
        MsgAnswer answer;
        bool changedKey;  // the known hosts file holds another key for the server
    };
    for (const Case c : {Case{false, MsgAnswer::No, false}, Case{true, MsgAnswer::Yes, false}, Case{false, MsgAnswer::Cancel, false},
                         Case{true, MsgAnswer::Ok, true}}) {
        SCOPED_TRACE(QStringLiteral("profile %1, answer %2").arg(c.profile).arg(int(c.answer)).toStdString());
        QDir(root).removeRecursively();
        QByteArray body;
        for (int i = 0; i < 300000; ++i)
            body.append(char(i * 7 + i / 251));
        writeFile(root + "/down.bin", body);
        writeFile(root + "/old.txt", "rename me");
        writeFile(root + "/gone.txt", "delete me");
        writeFile(local + "up.bin", body + "tail");
        writeFile(home + "/.ssh/known_hosts", c.changedKey ? sshd().knownHostsLine(true).toUtf8() : QByteArray());
        load();
        form->sLocalPath = local;
        form->RefreshLocalList();
        connectSftp(c.profile, c.answer);
        // The question, or the warning, shows the key the server showed (a changed key: with the
        // one the file holds); only Trust always writes it down.
        const auto& shown = prompts.last();
        EXPECT_EQ(shown.icon, c.changedKey ? MsgIcon::Exclamation : MsgIcon::Question);
        EXPECT_TRUE(shown.text.contains("ssh-ed25519 SHA256:") || shown.text.contains("Key type: ssh-ed25519")) << shown.text.toStdString();
        EXPECT_TRUE(shown.text.contains(sshd().hostFingerprint())) << shown.text.toStdString();
        EXPECT_EQ(shown.text.count("SHA256:"), c.changedKey ? 2 : 1);
        EXPECT_EQ(readFile(home + "/.ssh/known_hosts").contains("127.0.0.1]"), c.changedKey || c.answer == MsgAnswer::Yes);
        if (c.answer == MsgAnswer::Cancel || c.changedKey) {
            EXPECT_FALSE(connected());
            EXPECT_FALSE(logText().contains("Logged in")) << logText().toStdString();
            EXPECT_EQ(form->lblStatus.Caption(), "Could not connect to 127.0.0.1");
            form.reset();
            continue;
        }
        ASSERT_TRUE(connected()) << logText().toStdString();
        form->cboRemotePath.setText(root);
        form->cboRemotePath_KeyPress(13);
        EXPECT_EQ(rows(form->lstRemoteFileList), (QStringList{"down.bin|F", "gone.txt|F", "old.txt|F"}));

        // Both ways through the queue, byte for byte.
        QFile::remove(local + "down.bin");
        form->RefreshLocalList();
        selectNamed(form->lstRemoteFileList, {"down.bin"});
        form->DownloadSelection();
        selectNamed(form->lstLocalFileList, {"up.bin"});
        form->UploadSelection();
        waitQueue();
        EXPECT_EQ(readFile(local + "down.bin"), body);
        EXPECT_EQ(readFile(root + "/up.bin"), body + "tail");

        selectNamed(form->lstRemoteFileList, {"old.txt"});
        prompts.answer(MsgAnswer::Yes);
        prompts.answerText(QString("new.txt"));
        form->RenameRemoteItem();
        selectNamed(form->lstRemoteFileList, {"gone.txt"});
        prompts.answer(MsgAnswer::Yes);
        form->DeleteRemoteSelection();
        EXPECT_EQ(rows(form->lstRemoteFileList), (QStringList{"down.bin|F", "new.txt|F", "up.bin|F"}));
        EXPECT_EQ(readFile(root + "/new.txt"), "rename me");
        form->CloseSession();
        EXPECT_EQ(form->remoteSession().State(), RemoteSession::NotConnected);
        form.reset();
    }
}

TEST_F(SftpWindow, AKeysPassphraseIsAskedOnceForTheSessionAndItsTransfers)
{
    const QString locked = sshd().addClientKey("window_locked_key", "right horse");
    for (const QString suffix : {"", ".pub"}) {
        QFile::remove(home + "/.ssh/id_ed25519" + suffix);
        ASSERT_TRUE(QFile::copy(locked + suffix, home + "/.ssh/id_ed25519" + suffix));
    }
    QDir(root).removeRecursively();
    writeFile(root + "/down.bin", "through the queue");
    load();
    form->sLocalPath = local;
    form->RefreshLocalList();
    // The host key is trusted this time; the passphrase is given wrong, then right.
    prompts.answer(MsgAnswer::No);
    prompts.answerText(QString("wrong horse"));
    prompts.answerText(QString("right horse"));
    form->cboQProtocol.setListIndex(SiteProtocol::Sftp);
    form->cboQProtocol_Click();
    form->txtQaddress.setText("127.0.0.1");
    form->txtQport.setText(QString::number(sshd().port()));
    form->txtQuser.setText(QString::fromLocal8Bit(getpwuid(getuid())->pw_name));
    form->cmdQConnect_Click();
    ASSERT_TRUE(connected()) << logText().toStdString();
    form->cboRemotePath.setText(root);
    form->cboRemotePath_KeyPress(13);
    selectNamed(form->lstRemoteFileList, {"down.bin"});
    form->DownloadSelection();
    waitQueue();
    EXPECT_EQ(readFile(local + "down.bin"), "through the queue");
    // Asked again after the wrong one; the queue's connection asks nothing.
    const auto asked = std::count_if(prompts.records().begin(), prompts.records().end(),
                                     [](const auto& r) { return r.kind == ScriptedPrompts::Kind::PasswordBox; });
    EXPECT_EQ(asked, 2);
    form->CloseSession();
    form.reset();
}

TEST_F(SftpWindow, WhatSftpCannotDoStaysGreyed)
{
    load();
    // The port follows the protocol while it is a default one; a port the user chose stays.
    struct Step {
        int protocol;
        QString portBefore;
        QString portAfter;
    };
    for (const Step& s : {Step{SiteProtocol::Sftp, "21", "22"}, Step{SiteProtocol::Ftp, "22", "21"}, Step{SiteProtocol::Sftp, "990", "22"},
                          Step{SiteProtocol::FtpTls, "22", "21"}, Step{SiteProtocol::Sftp, "2121", "2121"}}) {
        form->txtQport.setText(s.portBefore);
        form->cboQProtocol.setListIndex(s.protocol);
        form->cboQProtocol_Click();
        EXPECT_EQ(form->txtQport.Text(), s.portAfter) << s.protocol;
        EXPECT_EQ(form->chkQTls.Value(), s.protocol == SiteProtocol::FtpTls ? 1 : 0);
    }
    connectSftp(false, MsgAnswer::No);
    ASSERT_TRUE(connected());
    // Neither a listing (an operation's end) nor a state change gives them back.
    form->RefreshRemoteList();
    form->SetConnectedState(true);
    for (const Control* c : std::initializer_list<const Control*>{&form->optBinary, &form->optAscii, &form->optAuto, &form->mnuRemoteFtpCommands,
                                                                  &form->mnuRemoteSendCommand, &form->chkQTls, &form->chkQPassive}) {
        EXPECT_FALSE(c->Enabled()) << c->name().toStdString();
        EXPECT_EQ(c->ToolTipText(), "Not available over SFTP") << c->name().toStdString();
    }
    form->txtCommand.setText("SITE CHMOD 600 x");
    form->txtCommand_KeyPress(13);
    EXPECT_TRUE(logText().contains("Not available over SFTP: SITE CHMOD 600 x"));
}

TEST_F(MainWindow, ProfilesAndTheStoredQueueKeepTheProtocol)
{
    // Profiles: older files without the key, and one saved as SFTP, then as FTP again.
    const QString file = frmConnectionInfo::privateFolder() + "/p.Profile";
    for (const auto& [keys, protocol] : {std::pair{"", SiteProtocol::Ftp}, {"TLS=1\n", SiteProtocol::FtpTls}, {"TLS=0\nprotocol=2\n", SiteProtocol::Sftp},
                                         {"protocol=7\n", SiteProtocol::Ftp}}) {
        writeFile(file, QByteArray("[PROFILE]\nsname=p\nadresa=h\nport=21\n") + keys);
        EXPECT_EQ(frmConnectionInfo::readProfile(file).protocol, protocol) << keys;
    }
    frmConnectionInfo d;
    d.Form_Load();
    d.keyring.chkSaveInFile.setValue(1);
    for (const int protocol : {SiteProtocol::Sftp, SiteProtocol::Ftp}) {
        d.txtProfileName.setText("p");
        d.txtHost.setText("h");
        d.cboProtocol.setListIndex(protocol);
        d.cboProtocol_Click();
        d.cmdSaveSite_Click();
        EXPECT_EQ(frmConnectionInfo::readProfile(file).protocol, protocol);
    }

    // The queue: an SFTP site's rows come back as SFTP, not for an FTP login of the same host; a
    // file without the key holds FTP sites.
    SessionLogin sftp;
    sftp.sftp = true;
    sftp.host = "h";
    TransferItem item;
    item.localPath = "/tmp/a";
    item.remotePath = "/a";
    const auto decoded = TransferQueueStore::decode(TransferQueueStore::encode({{TransferQueueStore::Site::of(sftp), {item}}}));
    ASSERT_EQ(decoded.size(), 1);
    EXPECT_EQ(decoded[0].site, TransferQueueStore::Site::of(sftp));
    SessionLogin ftp = sftp;
    ftp.sftp = false;
    EXPECT_FALSE(decoded[0].site == TransferQueueStore::Site::of(ftp));
    const auto old = TransferQueueStore::decode(R"({"sites":[{"host":"h","user":"u","items":[{"local":"/tmp/a","remote":"/a"}]}]})");
    ASSERT_EQ(old.size(), 1);
    EXPECT_FALSE(old[0].site.sftp);
}

}  // namespace
}  // namespace harbel::test
