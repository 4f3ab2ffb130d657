// The SFTP component against a real OpenSSH server: the login with a key and its passphrase,
// listings, the operations on files and folders, and a transfer of the queue cancelled and resumed.
#include "ftpclient/component/FtpError.h"
#include "ftpclient/component/SftpComponent.h"
#include "ftpclient/component/TransferQueue.h"
#include "tests/support/SshServer.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTcpServer>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace harbel;
using namespace harbel::tessaly;
using harbel::test::readFile;
using harbel::test::writeFile;

namespace {

test::SshServer& sftpServer()
{
    // No agent of the user's logs a test in.
    qunsetenv("SSH_AUTH_SOCK");
    static test::SshServer server;
    if (server.port() == 0) {
        EXPECT_TRUE(server.start()) << server.why().toStdString();
    }
    return server;
}

// A component for the test's server that takes its host key for this session only.
void prepare(SftpComponent& sftp, const QString& key)
{
    sftp.Host = "127.0.0.1";
    sftp.Port = sftpServer().port();
    sftp.IdentityFile = key;
    sftp.KnownHostsFile = test::testFolder() + "/known_hosts";
    QObject::connect(&sftp, &SftpComponent::CertificateQuery, &sftp, [](const CertificateInfo& info, int& answer) {
        EXPECT_EQ(info.fingerprint, sftpServer().hostFingerprint());
        EXPECT_TRUE(info.subject.startsWith("ssh-ed25519")) << info.subject.toStdString();
        answer = certTrustOnce;
    });
}

qint64 failureOf(const std::function<void()>& step)
{
    try {
        step();
    } catch (const FtpError& e) {
        return e.Number();
    }
    return 0;
}

}  // namespace

TEST(SftpComponent, AKeyWithAPassphraseIsOpenedWithTheAnswerToItsQuestion)
{
    const QString key = sftpServer().addClientKey("locked", "right words");
    ASSERT_FALSE(key.isEmpty());
    for (const QString answer : {"wrong words", "", "right words"}) {
        SftpComponent sftp;
        prepare(sftp, key);
        int asked = 0;
        QObject::connect(&sftp, &SftpComponent::PassphraseRequired, &sftp, [&](const QString& file, QString& passphrase) {
            EXPECT_EQ(file, key);
            ++asked;
            passphrase = answer;
        });
        EXPECT_EQ(failureOf([&] { sftp.Connect(); }), answer == "right words" ? 0 : qint64(ftpErrLoginFailed)) << answer.toStdString();
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(sftp.Passphrase, answer == "right words" ? answer : QString());
    }
    EXPECT_FALSE(QFile::exists(test::testFolder() + "/known_hosts")) << "a key trusted this time is not written";
}

TEST(SftpComponent, ListsAndWorksOnFilesAndFolders)
{
    const QString root = test::testFolder() + "/served";
    writeFile(root + "/file.txt", "file");
    QDir().mkpath(root + "/folder");
    QFile::link(root + "/folder", root + "/link");
    ASSERT_EQ(mkfifo(QFile::encodeName(root + "/pipe").constData(), 0600), 0);
    SftpComponent sftp;
    prepare(sftp, sftpServer().clientKey());
    sftp.Connect();
    sftp.ChangeFolder(root);
    EXPECT_EQ(sftp.CurrentFolder(), root);

    QMap<QString, int> kinds;
    for (const FolderItem& item : sftp.GetFolderItems(QString()))
        kinds.insert(item.Name, item.Kind);
    EXPECT_EQ(kinds, (QMap<QString, int>{{"file.txt", FolderItem::File}, {"folder", FolderItem::Folder}, {"link", FolderItem::Link}}));
    EXPECT_EQ(sftp.GetFolderItems("*.txt").size(), 1);

    struct Step {
        const char* what;
        std::function<void()> run;
        qint64 failure;
        QString where;  // the current folder after it
    };
    for (const Step& step : QList<Step>{
             {"make a folder", [&] { sftp.CreateFolder("made"); }, 0, root},
             {"make it again", [&] { sftp.CreateFolder("made"); }, ftpErrServerRefused, root},
             {"move a file into it", [&] { sftp.RenameItem("file.txt", root + "/made/moved.txt"); }, 0, root},
             {"enter it", [&] { sftp.ChangeFolder("made"); }, 0, root + "/made"},
             {"enter a file", [&] { sftp.ChangeFolder("moved.txt"); }, ftpErrServerRefused, root + "/made"},
             {"go back up", [&] { sftp.ChangeFolder(".."); }, 0, root},
             {"remove a full folder", [&] { sftp.RemoveFolder("made"); }, ftpErrServerRefused, root},
             {"delete the file", [&] { sftp.DeleteFile("made/moved.txt"); }, 0, root},
             {"remove the folder", [&] { sftp.RemoveFolder("made"); }, 0, root},
             {"delete the link, not where it leads", [&] { sftp.DeleteFile("link"); }, 0, root},
         }) {
        EXPECT_EQ(failureOf(step.run), step.failure) << step.what;
        EXPECT_EQ(sftp.CurrentFolder(), step.where) << step.what;
    }
    EXPECT_EQ(QDir(root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System), (QStringList{"folder", "pipe"}));
    sftp.Disconnect();
    EXPECT_EQ(failureOf([&] { sftp.listItems(root); }), qint64(ftpErrNotConnected));
}

TEST(SftpComponent, ACancelledTransferStopsAtOnceAndAgainGoesOnWhereItStopped)
{
    const QString served = test::testFolder() + "/served";
    const QByteArray bytes = test::randomBytes(48 * 1024 * 1024);
    writeFile(served + "/big.bin", bytes);
    writeFile(served + "/small.txt", "small");
    writeFile(test::testFolder() + "/big.bin", bytes);
    SftpComponent session;
    prepare(session, sftpServer().clientKey());
    session.Connect();
    TransferQueue queue;
    queue.setLogin(SessionLogin::of(session));
    queue.setParallel(1);
    for (const bool upload : {false, true}) {
        TransferItem file;
        file.direction = upload ? TransferItem::Direction::Upload : TransferItem::Direction::Download;
        file.localPath = test::testFolder() + (upload ? "/big.bin" : "/got.bin");
        file.remotePath = served + (upload ? "/put.bin" : "/big.bin");
        file.replace = true;
        const int id = queue.add(file);
        // The connection goes on with the next item once the cancelled one has stopped.
        TransferItem next;
        next.localPath = test::testFolder() + "/small-" + QString::number(id);
        next.remotePath = served + "/small.txt";
        const int after = queue.add(next);
        auto once = QObject::connect(&queue, &TransferQueue::progress, [&] { queue.cancel(id); });
        ASSERT_TRUE(test::waitUntil([&] { return queue.isIdle() && queue.item(after).finished(); }, 30000));
        QObject::disconnect(once);
        EXPECT_EQ(queue.item(id).state, TransferItem::State::Cancelled);
        EXPECT_LT(queue.item(id).bytesDone, bytes.size());
        EXPECT_EQ(queue.item(after).state, TransferItem::State::Done) << queue.item(after).reason.toStdString();

        queue.retry(id);
        ASSERT_TRUE(test::waitUntil([&] { return queue.isIdle(); }, 30000));
        EXPECT_EQ(queue.item(id).state, TransferItem::State::Done) << queue.item(id).reason.toStdString();
        EXPECT_TRUE(readFile(upload ? served + "/put.bin" : file.localPath) == bytes) << upload;
    }
}

TEST(SftpComponent, AConnectToAServerThatSaysNothingEndsAtAnAbortOrAtItsTimeOut)
{
    // It takes the connection and never sends its greeting.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    for (const bool abort : {true, false}) {
        SCOPED_TRACE(abort ? "aborted" : "timed out");
        SftpComponent sftp;
        sftp.Host = "127.0.0.1";
        sftp.Port = silent.serverPort();
        sftp.TimeoutSeconds = abort ? 60 : 1;
        if (abort)
            QTimer::singleShot(300, &sftp, [&sftp] { sftp.setAbortFlag(true); });
        QElapsedTimer took;
        took.start();
        EXPECT_EQ(failureOf([&] { sftp.Connect(); }), abort ? ftpErrAborted : ftpErrConnectFailed);
        EXPECT_LT(took.elapsed(), 5000);
        EXPECT_EQ(sftp.State(), RemoteSession::NotConnected);
    }
}
