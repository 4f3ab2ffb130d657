// The window over SFTP against OpenSSH's sshd: Quick Connect and a site profile, the host-key
// question answered each way, listing, transfers both ways, rename and delete; what SFTP cannot do
// stays greyed; profiles and the stored queue keep the protocol.
#include "ftpclient/component/TransferQueueStore.h"
#include "tests/ftpclient/window/MainWindowFixture.h"
#include "tests/support/SshServer.h"

#include <QFileInfo>

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

QString userName()
{
    return QString::fromLocal8Bit(getpwuid(getuid())->pw_name);
}

class SftpWindow : public MainWindow {
protected:
    void SetUp() override
    {
        MainWindow::SetUp();
        ASSERT_NE(sshd().port(), 0);
        // The window logs in with the user's usual key and keeps host keys in the user's known
        // hosts file: both under a home of the test's own.
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

    void chooseQuickSftp()
    {
        form->cboQProtocol.setListIndex(SiteProtocol::Sftp);
        form->cboQProtocol_Click();
    }
    // Quick Connect over SFTP; the host key question gets the answer given.
    void quickSftp(MsgAnswer hostKey)
    {
        chooseQuickSftp();
        form->txtQaddress.setText("127.0.0.1");
        form->txtQport.setText(QString::number(sshd().port()));
        form->txtQuser.setText(userName());
        prompts.answer(hostKey);
        form->cmdQConnect_Click();
    }
    void toRoot()
    {
        form->cboRemotePath.setText(root);
        form->cboRemotePath_KeyPress(13);
        ASSERT_EQ(form->sRemotePath, root);
    }
    bool connected() const { return form->remoteSession().State() == RemoteSession::Idle; }
    QString knownHosts() const { return QString::fromUtf8(readFile(home + "/.ssh/known_hosts")); }

    QByteArray savedHome;
    QString home;
};

TEST_F(SftpWindow, QuickConnectAndProfileListTransferRenameAndDelete)
{
    struct Case {
        bool profile;
        MsgAnswer hostKey;
    };
    for (const Case c : {Case{false, MsgAnswer::No}, Case{true, MsgAnswer::Yes}}) {
        SCOPED_TRACE(c.profile ? "profile" : "quick connect");
        QDir(root).removeRecursively();
        QDir(local).removeRecursively();
        QDir().mkpath(local);
        QFile::remove(home + "/.ssh/known_hosts");
        QByteArray body;
        for (int i = 0; i < 300000; ++i)
            body.append(char(i * 7 + i / 251));
        writeFile(root + "/down.bin", body);
        writeFile(root + "/old.txt", "rename me");
        writeFile(root + "/gone.txt", "delete me");
        writeFile(local + "up.bin", body + "tail");
        load();
        form->sLocalPath = local;
        form->RefreshLocalList();
        if (c.profile) {
            QDir().mkpath(frmConnectionInfo::privateFolder());
            writeFile(frmConnectionInfo::privateFolder() + "/box.Profile",
                      QStringLiteral("[PROFILE]\nsname=box\nadresa=127.0.0.1\nport=%1\nprotocol=2\nTLS=0\nPassive=1\n").arg(sshd().port()).toUtf8());
            prompts.answerForm([](Form& f) {
                auto& d = static_cast<frmConnectionInfo&>(f);
                d.TabProfiles.setSelectedIndex(1);
                d.TabProfiles_Click();
                d.tvlPrivate_NodeClick(1);
                EXPECT_EQ(d.protocol(), SiteProtocol::Sftp);
                EXPECT_FALSE(d.optAnonymous.Enabled());
                d.txtUserName.setText(userName());
                d.cmdConnect_Click();
            });
            prompts.answer(c.hostKey);
            form->ConnectToSite();
        } else {
            quickSftp(c.hostKey);
        }
        ASSERT_TRUE(connected()) << logText().toStdString();
        EXPECT_TRUE(form->overSftp());
        EXPECT_TRUE(prompts.last().text.contains(sshd().hostFingerprint())) << prompts.last().text.toStdString();
        EXPECT_TRUE(prompts.last().text.contains("ssh-ed25519"));
        EXPECT_EQ(knownHosts().contains("127.0.0.1"), c.hostKey == MsgAnswer::Yes) << "only Trust always writes the key";
        toRoot();
        EXPECT_EQ(rows(form->lstRemoteFileList), (QStringList{"down.bin|F", "gone.txt|F", "old.txt|F"}));

        // Both ways through the queue, byte for byte.
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
        EXPECT_EQ(readFile(root + "/new.txt"), "rename me");
        EXPECT_FALSE(QFileInfo::exists(root + "/gone.txt"));
        EXPECT_EQ(rows(form->lstRemoteFileList), (QStringList{"down.bin|F", "new.txt|F", "up.bin|F"}));

        form->CloseSession();
        EXPECT_EQ(form->remoteSession().State(), RemoteSession::NotConnected);
        form.reset();
    }
}

TEST_F(SftpWindow, AnUnacceptedOrChangedHostKeyLogsNothingIn)
{
    // Cancel refuses; a key the known hosts file holds another key for is refused without a
    // question, with a warning that shows the fingerprints.
    for (const bool changed : {false, true}) {
        SCOPED_TRACE(changed ? "changed key" : "cancelled");
        writeFile(home + "/.ssh/known_hosts", changed ? sshd().knownHostsLine(true).toUtf8() : QByteArray());
        load();
        const qsizetype before = prompts.records().size();
        if (changed) {
            chooseQuickSftp();
            form->txtQaddress.setText("127.0.0.1");
            form->txtQport.setText(QString::number(sshd().port()));
            form->txtQuser.setText(userName());
            prompts.answer(MsgAnswer::Ok);
            form->cmdQConnect_Click();
        } else {
            quickSftp(MsgAnswer::Cancel);
        }
        EXPECT_FALSE(connected());
        ASSERT_EQ(prompts.records().size(), before + 1);
        const auto& shown = prompts.last();
        EXPECT_EQ(shown.icon, changed ? MsgIcon::Exclamation : MsgIcon::Question);
        EXPECT_TRUE(shown.text.contains(sshd().hostFingerprint())) << shown.text.toStdString();
        if (changed) {
            EXPECT_EQ(shown.text.count("SHA256:"), 2) << shown.text.toStdString();
        }
        EXPECT_FALSE(logText().contains("Logged in")) << logText().toStdString();
        EXPECT_EQ(form->lblStatus.Caption(), "Could not connect to 127.0.0.1");
        form.reset();
    }
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
        EXPECT_EQ(form->chkQTls.Enabled(), s.protocol != SiteProtocol::Sftp);
    }
    form.reset();

    load();
    quickSftp(MsgAnswer::No);
    ASSERT_TRUE(connected());
    const QList<Control*> greyed{&form->optBinary, &form->optAscii, &form->optAuto, &form->mnuRemoteFtpCommands,
                                 &form->mnuRemoteSendCommand, &form->chkQTls, &form->chkQPassive};
    // Neither a listing (an operation's end) nor a state change gives them back.
    form->RefreshRemoteList();
    form->SetConnectedState(true);
    for (const Control* c : greyed) {
        EXPECT_FALSE(c->Enabled()) << c->name().toStdString();
        EXPECT_EQ(c->ToolTipText(), "Not available over SFTP") << c->name().toStdString();
    }
    form->txtCommand.setText("SITE CHMOD 600 x");
    form->txtCommand_KeyPress(13);
    EXPECT_TRUE(logText().contains("Not available over SFTP: SITE CHMOD 600 x"));
}

TEST_F(MainWindow, ProfilesAndTheStoredQueueKeepTheProtocol)
{
    // Profiles: the new key, and older files that lack it.
    const QString folder = testFolder();
    struct ProfileCase {
        QByteArray keys;
        int protocol;
    };
    for (const ProfileCase& c : {ProfileCase{"", SiteProtocol::Ftp}, ProfileCase{"TLS=1\n", SiteProtocol::FtpTls},
                                 ProfileCase{"TLS=0\nprotocol=2\n", SiteProtocol::Sftp}, ProfileCase{"TLS=1\nprotocol=1\n", SiteProtocol::FtpTls},
                                 ProfileCase{"protocol=7\n", SiteProtocol::Ftp}}) {
        writeFile(folder + "/p.Profile", "[PROFILE]\nsname=p\nadresa=h\nport=21\n" + c.keys);
        EXPECT_EQ(frmConnectionInfo::readProfile(folder + "/p.Profile").protocol, c.protocol) << c.keys.toStdString();
    }
    // Saved from the dialog: SFTP, then the same profile back to FTP.
    frmConnectionInfo d;
    d.Form_Load();
    d.keyring.chkSaveInFile.setValue(1);
    for (const int protocol : {SiteProtocol::Sftp, SiteProtocol::Ftp}) {
        d.txtProfileName.setText("box");
        d.txtHost.setText("h");
        d.cboProtocol.setListIndex(protocol);
        d.cboProtocol_Click();
        d.cmdSaveSite_Click();
        EXPECT_EQ(frmConnectionInfo::readProfile(frmConnectionInfo::privateFolder() + "/box.Profile").protocol, protocol);
    }

    // The queue: an SFTP site's rows come back as SFTP and are not taken by an FTP login of the
    // same host; a file without the key holds FTP sites.
    TransferItem item;
    item.localPath = "/tmp/a";
    item.remotePath = "/a";
    SessionLogin sftp;
    sftp.sftp = true;
    sftp.host = "h";
    sftp.port = 22;
    sftp.user = "u";
    const auto decoded = TransferQueueStore::decode(TransferQueueStore::encode({{TransferQueueStore::Site::of(sftp), {item}}}));
    ASSERT_EQ(decoded.size(), 1);
    EXPECT_TRUE(decoded[0].site.sftp);
    EXPECT_EQ(decoded[0].site, TransferQueueStore::Site::of(sftp));
    SessionLogin ftp = sftp;
    ftp.sftp = false;
    EXPECT_FALSE(decoded[0].site == TransferQueueStore::Site::of(ftp));
    const auto old = TransferQueueStore::decode(R"({"sites":[{"host":"h","port":22,"user":"u","items":[{"local":"/tmp/a","remote":"/a"}]}]})");
    ASSERT_EQ(old.size(), 1);
    EXPECT_FALSE(old[0].site.sftp);
}

}  // namespace
}  // namespace harbel::test
