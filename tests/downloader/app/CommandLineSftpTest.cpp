// pellanor's download mode over sftp://.

#include "downloader/app/CommandLine.h"
#include "downloader/app/DownloadCommand.h"

#include "common/platform/CRegister.h"
#include "common/platform/RegistryStore.h"
#include "common/ssh/SshPassphrases.h"
#include "downloader/engine/ControlFile.h"
#include "downloader/settings/DownloadSettings.h"
#include "tests/support/NginxServer.h"
#include "tests/support/PyFtpServer.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/support/ScriptedHttpServer.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/KeyringSession.h"
#include "tests/support/SshServer.h"
#include "tests/support/TestAuthority.h"
#include "tests/support/TestEnvironment.h"
#include "tests/downloader/app/CommandLineFixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

#include <csignal>

#include <unistd.h>

// sftp:// from the command line, against sshd, with the user's own key in ~/.ssh of a home of the
// test's; nobody is asked about the host key.
class SftpDownload : public DownloadMode {
protected:
    void SetUp() override
    {
        DownloadMode::SetUp();
        ASSERT_TRUE(ssh.start()) << ssh.why().toStdString();
        home = test::testFolder() + "/home";
        QDir().mkpath(home + "/.ssh");
        ASSERT_TRUE(QFile::copy(ssh.clientKey(), home + "/.ssh/id_ed25519"));
        // Large enough to be read over several sessions, also when continued.
        content = test::randomBytes(19 * MiB + 123);
        writeFile(test::testFolder() + "/served.bin", content);
    }
    ProgramRun download(const QStringList& more = {})
    {
        const QString url = QStringLiteral("sftp://127.0.0.1:%1%2/served.bin").arg(ssh.port()).arg(test::testFolder());
        return pellanor(QStringList{"--download", url, "-o", target} + more, folder, {{"HOME", home}, {"SSH_AUTH_SOCK", ""}});
    }
    test::SshServer ssh;
    QString home;
    QByteArray content;
    QString target = test::testFolder() + "/work/got.bin";
};

TEST_F(SftpDownload, TheHostKeyDecidesAndTheFileComesByteForByte)
{
    struct Case {
        QString knownHosts;  // empty: no known_hosts
        int exitCode;
        QStringList says;
    };
    for (const Case& c : QList<Case>{
             {{}, 1, {"host key is not known", ssh.hostFingerprint(), "ssh-keyscan"}},
             {ssh.knownHostsLine(true), 1, {"has changed", ssh.hostFingerprint()}},
             {ssh.knownHostsLine(), 0, {}},
         }) {
        QFile::remove(home + "/.ssh/known_hosts");
        if (!c.knownHosts.isEmpty())
            writeFile(home + "/.ssh/known_hosts", c.knownHosts.toUtf8() + '\n');
        const ProgramRun r = download();
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err.toStdString();
        for (const QString& text : c.says)
            EXPECT_TRUE(r.err.contains(text)) << text.toStdString() << "\n" << r.err.toStdString();
        if (c.exitCode == 0) {
            EXPECT_EQ(readFile(target), content);
        } else {
            EXPECT_FALSE(QFileInfo::exists(target));
        }
        // Nothing is added to known_hosts without the user.
        EXPECT_EQ(QFileInfo::exists(home + "/.ssh/known_hosts"), !c.knownHosts.isEmpty());
    }
}

TEST_F(SftpDownload, ACutDownloadContinuesFromThePartialFile)
{
    writeFile(home + "/.ssh/known_hosts", ssh.knownHostsLine().toUtf8() + '\n');
    // What the cut left: bytes unlike the server's, so that a fetch from the start would show.
    const qint64 kept = 2 * MiB;
    writeFile(target, QByteArray(kept, 'x'));
    const ProgramRun r = download({"--resume"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QByteArray got = readFile(target);
    const qint64 rollback = SettingsStore::instance().record.Rollback;
    EXPECT_EQ(got.size(), content.size());
    EXPECT_EQ(got.left(kept - rollback), QByteArray(kept - rollback, 'x'));
    EXPECT_EQ(got.mid(kept - rollback), content.mid(kept - rollback));
    EXPECT_FALSE(QFileInfo::exists(ControlFile::pathFor(target)));
}

TEST_F(SftpDownload, AKeyWithAPassphraseLogsInOnlyWithTheOneSavedInTheKeyring)
{
    static test::KeyringSession keyring;
    static const bool started = keyring.start();
    ASSERT_TRUE(started) << keyring.why().toStdString();
    const QString locked = ssh.addClientKey("locked_key", "right horse");
    const QString key = home + "/.ssh/id_ed25519";
    QFile::remove(key);
    ASSERT_TRUE(QFile::copy(locked, key));
    writeFile(home + "/.ssh/known_hosts", ssh.knownHostsLine().toUtf8() + '\n');
    struct Case {
        QString saved;  // in the keyring for the key; empty: nothing
        int exitCode;
        QStringList says;
    };
    for (const Case& c : QList<Case>{{{}, 1, {"The key " + key + " needs its passphrase", "ssh-add"}},
                                     {"wrong horse", 1, {"needs its passphrase"}},
                                     {"right horse", 0, {}}}) {
        if (!c.saved.isEmpty()) {
            ASSERT_TRUE(SshPassphrases::save(key, c.saved));
        }
        const ProgramRun r = download();
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err.toStdString();
        for (const QString& text : c.says)
            EXPECT_TRUE(r.err.contains(text)) << text.toStdString() << "\n" << r.err.toStdString();
        EXPECT_EQ(c.exitCode == 0, QFileInfo::exists(target) && readFile(target) == content);
    }
}

TEST(SftpPasswordDownload, ThePasswordOfTheAddressLogsInAndAWrongOneIsRefused)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "sshd checks passwords only when the tests run as root";
    test::SshServer ssh;
    ASSERT_TRUE(ssh.start(test::SshServer::Logins::Passwords)) << ssh.why().toStdString();
    const QByteArray content = test::randomBytes(3 * MiB + 7);
    writeFile(ssh.home() + "/served.bin", content);
    writeFile(test::testFolder() + "/.ssh/known_hosts", ssh.knownHostsLine().toUtf8());
    const QString target = test::testFolder() + "/work/got.bin";
    for (const QString& password : {QString("wrong"), ssh.password()}) {
        const QString url = QStringLiteral("sftp://%1:%2@127.0.0.1:%3%4/served.bin").arg(ssh.user(), password).arg(ssh.port()).arg(ssh.home());
        const ProgramRun r = pellanor({"--download", url, "-o", target}, test::testFolder(), {{"HOME", test::testFolder()}, {"SSH_AUTH_SOCK", ""}});
        const bool right = password == ssh.password();
        EXPECT_EQ(r.exitCode, right ? 0 : 1) << r.err.toStdString();
        EXPECT_EQ(r.err.contains("did not take the login of " + ssh.user()), !right) << r.err.toStdString();
        EXPECT_EQ(QFileInfo::exists(target) && readFile(target) == content, right);
    }
}
