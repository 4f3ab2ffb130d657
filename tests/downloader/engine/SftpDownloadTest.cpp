// sftp:// downloads in the window program against sshd: the question about an unknown host key
// and what each answer does, and the same key met by a download nobody watches.
#include "downloader/window/frmDownload.h"
#include "downloader/main/DownloadWindows.h"

#include "tests/support/DownloadJobTest.h"
#include "tests/support/SshServer.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFileInfo>
#include <optional>

#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

using namespace harbel;
using harbel::test::readFile;
using harbel::test::writeFile;

namespace {

class SftpDownload : public test::DownloadRunTest {
protected:
    void SetUp() override
    {
        DownloadRunTest::SetUp();
        ASSERT_TRUE(ssh.start()) << ssh.why().toStdString();
        oldHome = qgetenv("HOME");
        home = test::testFolder() + "/home";
        QDir().mkpath(home + "/.ssh");
        ASSERT_TRUE(QFile::copy(ssh.clientKey(), home + "/.ssh/id_ed25519"));
        qputenv("HOME", home.toLocal8Bit());
        qunsetenv("SSH_AUTH_SOCK");
        content = test::randomBytes(3 * 1024 * 1024 + 7);
        writeFile(test::testFolder() + "/served.bin", content);
    }
    void TearDown() override
    {
        qputenv("HOME", oldHome);
        DownloadRunTest::TearDown();
    }
    QString url() const { return QStringLiteral("sftp://127.0.0.1:%1%2/served.bin").arg(ssh.port()).arg(test::testFolder()); }

    test::SshServer ssh;
    QByteArray oldHome;
    QString home;
    QByteArray content;
};

}  // namespace

TEST_F(SftpDownload, AnUnknownHostKeyIsAskedAboutOnlyWhenSomeoneWatches)
{
    struct Case {
        std::optional<MsgAnswer> answer;  // none: started unattended, nothing is asked
        bool completes;
        bool keptInKnownHosts;
        QString says;
    };
    for (const Case& c : QList<Case>{{MsgAnswer::Yes, true, true, {}},
                                     {MsgAnswer::No, true, false, {}},
                                     {MsgAnswer::Cancel, false, false, "it was not accepted"},
                                     {std::nullopt, false, false, "ssh-keyscan"}}) {
        const QString knownHosts = home + "/.ssh/known_hosts";
        QFile::remove(knownHosts);
        QFile::remove(folder + "/got.bin");
        const int asked = prompts.records().size();
        if (c.answer)
            prompts.answer(*c.answer);
        std::optional<DownloadWindows::Unattended> unattended;
        if (!c.answer)
            unattended.emplace(windows);
        frmDownload* job = start(url(), "got.bin");
        ASSERT_NE(job, nullptr);
        unattended.reset();
        EXPECT_EQ(finish(job), c.completes) << job->job().progress().status.toStdString();
        EXPECT_EQ(prompts.records().size() - asked, c.answer ? 1 : 0);
        if (c.answer) {
            EXPECT_TRUE(prompts.last().text.contains(ssh.hostFingerprint())) << prompts.last().text.toStdString();
        }
        EXPECT_TRUE(job->job().progress().status.contains(c.says)) << job->job().progress().status.toStdString();
        if (c.completes) {
            EXPECT_EQ(readFile(folder + "/got.bin"), content);
        }
        EXPECT_EQ(QFileInfo::exists(knownHosts), c.keptInKnownHosts);
        if (c.keptInKnownHosts) {
            EXPECT_TRUE(readFile(knownHosts).contains(ssh.knownHostsLine().section(' ', 2).trimmed().toUtf8()));
        }
    }
}

TEST_F(SftpDownload, AKeysPassphraseIsAskedUntilItOpensTheKeyAndKeptForTheRun)
{
    const QString locked = ssh.addClientKey("locked_key", "right horse");
    const QString key = home + "/.ssh/id_ed25519";
    QFile::remove(key);
    ASSERT_TRUE(QFile::copy(locked, key));
    ASSERT_TRUE(QFile::copy(locked + ".pub", key + ".pub"));
    writeFile(home + "/.ssh/known_hosts", ssh.knownHostsLine().toUtf8() + '\n');
    struct Case {
        QList<std::optional<QString>> typed;  // the answers to the passphrase boxes; nullopt: dismissed
        bool completes;
        QString says;
    };
    // The order matters: once a passphrase opened the key, the run remembers it.
    for (const Case& c : QList<Case>{{{std::nullopt}, false, "needs its passphrase"},
                                     {{"wrong horse", "right horse"}, true, {}},
                                     {{}, true, {}}}) {
        QFile::remove(folder + "/got.bin");
        const int asked = prompts.records().size();
        for (const std::optional<QString>& t : c.typed)
            prompts.answerText(t);
        frmDownload* job = start(url(), "got.bin");
        ASSERT_NE(job, nullptr);
        EXPECT_EQ(finish(job), c.completes) << job->job().progress().status.toStdString();
        EXPECT_EQ(prompts.records().size() - asked, c.typed.size());
        for (int i = asked; i < prompts.records().size(); ++i) {
            EXPECT_EQ(prompts.records()[i].kind, ScriptedPrompts::Kind::PasswordBox);
            EXPECT_TRUE(prompts.records()[i].text.contains(key)) << prompts.records()[i].text.toStdString();
        }
        EXPECT_TRUE(job->job().progress().status.contains(c.says)) << job->job().progress().status.toStdString();
        if (c.completes) {
            EXPECT_EQ(readFile(folder + "/got.bin"), content);
        }
    }
}
