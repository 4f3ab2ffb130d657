// Uploads from the FTP client's local pane to the real pyftpdlib server: files and trees byte for
// byte, the clash question, auto mode, and a second command while one runs.

#include "ftpclient/window/TessalyExist.h"
#include "tests/ftpclient/window/MainWindowFixture.h"

#include <QRandomGenerator>
#include <QRegularExpression>

#include "tests/support/QtPrint.h"

#include <sys/stat.h>

using namespace harbel;
using namespace harbel::tessaly;
using harbel::test::MainWindow;
using harbel::test::randomBytes;
using harbel::test::readFile;
using harbel::test::writeFile;

namespace {

class Uploads : public MainWindow {
protected:
    void connectWithLocal()
    {
        connectLocal();
        form->RefreshLocalList();
    }
    // Sets a file's modification time.
    static void touch(const QString& path, const QDateTime& when)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(when, QFileDevice::FileModificationTime));
    }
};

}  // namespace

TEST_F(Uploads, FilesAndTreesArriveByteForByteInBothModesAndAutoModePicksTheType)
{
    const QByteArray one = randomBytes(300000);
    const QByteArray deep = randomBytes(70000);
    writeFile(local + "one.bin", one);
    QDir().mkpath(local + "tree/sub/deeper");
    writeFile(local + "tree/top.bin", one.left(1000));
    writeFile(local + "tree/sub/deeper/deep.bin", deep);
    writeFile(local + "tree/sub/notes.TXT", "line one\nline two\n");
    connectWithLocal();

    for (const bool passive : {true, false}) {
        SCOPED_TRACE(passive);
        QDir(root).removeRecursively();
        QDir().mkpath(root);
        form->xFtp.Passive = passive;
        // Without auto mode the component sends the tree; with it, the window walks the tree itself
        // and picks ASCII for "TXT" (any letter case) and binary for the rest.
        if (passive)
            form->optBinary_Click();
        else
            form->optAuto_Click();
        form->RefreshRemoteList();
        selectNamed(form->lstLocalFileList, {"one.bin", "tree"});
        prompts.answer(MsgAnswer::Yes);  // subfolders too
        form->UploadSelection();
        waitQueue();
        EXPECT_EQ(form->lblStatus.Caption(), "Upload complete") << form->lstConnectionInfo.Items().join("\n").toStdString();
        EXPECT_TRUE(readFile(root + "/one.bin") == one);
        EXPECT_TRUE(readFile(root + "/tree/top.bin") == one.left(1000));
        EXPECT_TRUE(readFile(root + "/tree/sub/deeper/deep.bin") == deep);
        EXPECT_EQ(readFile(root + "/tree/sub/notes.TXT"), "line one\nline two\n");
        // The rest of the selection, and the list, are in the folder the upload began in.
        EXPECT_EQ(form->xFtp.CurrentFolder(), "/");
        EXPECT_TRUE(rowNamed(form->lstRemoteFileList, "tree"));
    }
    // The type each file went in: the last TYPE command before its STOR (by its whole path: the
    // queue's connections name every file so).
    const QString log = logText();
    const auto typeOf = [&](const QString& name) {
        const qsizetype stor = log.lastIndexOf("STOR " + name);
        return stor < 0 ? QString() : log.mid(log.lastIndexOf("TYPE ", stor), 6);
    };
    EXPECT_EQ(typeOf("/tree/sub/notes.TXT"), "TYPE A") << log.toStdString();
    EXPECT_EQ(typeOf("/tree/sub/deeper/deep.bin"), "TYPE I") << log.toStdString();
}

TEST_F(Uploads, ClashesAreAskedAboutAndAnsweredOnceForAllWhenAsked)
{
    const QByteArray content = randomBytes(50000);
    const QDateTime when = QDateTime::currentDateTime().addDays(-1);
    for (const char* name : {"a.bin", "b.bin", "c.bin", "d.bin", "same.bin", "new.bin"}) {
        writeFile(local + name, content);
        touch(local + name, when);
    }
    writeFile(root + "/a.bin", "old a");
    writeFile(root + "/b.bin", content.left(20000));
    writeFile(root + "/c.bin", "old c");
    writeFile(root + "/d.bin", "old d");
    writeFile(root + "/same.bin", content);
    touch(root + "/same.bin", when);
    connectWithLocal();

    // a: Overwrite; b: Resume from what the server holds; c: Skip with Apply To All, so d is
    // skipped without a question. The identical file and the new one go without one.
    std::vector<QString> shown;
    const auto press = [&](int button, bool all) {
        prompts.answerForm([&shown, button, all](Form& f) {
            auto& q = static_cast<frmExist&>(f);
            shown.push_back(q.lblDestination.Caption() + " / " + q.lblSource.Caption());
            q.chkAll.setValue(all ? 1 : 0);
            if (button == frmExist::Overwrite)
                q.cmdOverwrite_Click();
            else if (button == frmExist::Resume)
                q.cmdResume_Click();
            else
                q.cmdSkip_Click();
        });
    };
    press(frmExist::Overwrite, false);
    press(frmExist::Resume, false);
    press(frmExist::Skip, true);
    selectNamed(form->lstLocalFileList, {"a.bin", "b.bin", "c.bin", "d.bin", "same.bin", "new.bin"});
    const qsizetype logged = form->lstConnectionInfo.Items().size();
    form->UploadSelection();
    waitQueue();
    // The folder is listed once for all the questions, and once more to show it afterwards.
    EXPECT_EQ(form->lstConnectionInfo.Items().mid(logged).filter(QRegularExpression("^(MLSD|LIST)")).size(), 2);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_TRUE(shown[0].startsWith("Destination File Size: 5 Last Modified: ")) << shown[0].toStdString();
    EXPECT_TRUE(shown[0].contains(" / Source File Size: 50000 Last Modified: ")) << shown[0].toStdString();
    EXPECT_TRUE(readFile(root + "/a.bin") == content);
    EXPECT_TRUE(readFile(root + "/b.bin") == content);
    EXPECT_EQ(readFile(root + "/c.bin"), "old c");
    EXPECT_EQ(readFile(root + "/d.bin"), "old d");
    EXPECT_TRUE(readFile(root + "/new.bin") == content);
    EXPECT_TRUE(form->lstConnectionInfo.Items().contains("Skiped sending file: d.bin"));
    EXPECT_EQ(form->lblStatus.Caption(), "Upload complete");

    // Closing the question without an answer cancels the upload: nothing more is sent.
    writeFile(root + "/a.bin", "changed on the server");
    writeFile(local + "z.bin", content);
    prompts.answerForm([](Form&) {});
    selectNamed(form->lstLocalFileList, {"a.bin", "z.bin"});
    form->UploadSelection();
    EXPECT_EQ(readFile(root + "/a.bin"), "changed on the server");
    EXPECT_FALSE(QFile::exists(root + "/z.bin"));
    EXPECT_EQ(form->lblStatus.Caption(), "Upload aborted.");
    EXPECT_EQ(form->xFtp.State(), 2);
}

TEST_F(Uploads, FolderUploadsAskAboutClashesAndApplyToAllAnswersTheRest)
{
    QDir().mkpath(local + "up");
    for (const QString name : {"x", "y", "z", "fresh"})
        writeFile(local + "up/" + name, "new " + name.toUtf8());
    connectWithLocal();
    // The component sends the tree, or in auto mode the window walks it.
    for (const bool autoMode : {false, true}) {
        QDir().mkpath(root + "/up");
        for (const QString name : {"x", "y", "z"})
            writeFile(root + "/up/" + name, "old");
        autoMode ? form->optAuto_Click() : form->optBinary_Click();
        prompts.answer(MsgAnswer::Yes);  // subfolders too
        QStringList shown;
        answerExist(FileClash::Skip, true, &shown);
        selectNamed(form->lstLocalFileList, {"up"});
        form->UploadSelection();
        waitQueue();
        EXPECT_EQ(form->lblStatus.Caption(), "Upload complete");
        EXPECT_TRUE(shown.size() == 1 && shown[0].contains("' already exists on the server. What would you like to do? / Destination File Size: 3 "));
        EXPECT_EQ(readFile(root + "/up/x") + readFile(root + "/up/y") + readFile(root + "/up/z") + readFile(root + "/up/fresh"), "oldoldoldnew fresh");
    }
}

// Transfers run on the queue's own connections: the session stays free for the user's commands
// while they run, and cancelling one leaves the session as it was.
TEST_F(Uploads, CommandsRunDuringATransferAndCancelKeepsTheSession)
{
    QByteArray big(24 * 1024 * 1024, '\0');
    for (int i = 0; i < big.size(); i += 4096)
        big[i] = char(QRandomGenerator::global()->generate());
    writeFile(local + "big.bin", big);
    writeFile(root + "/remote.bin", "remote");
    connectWithLocal();
    ASSERT_FALSE(form->cmdReceive.Enabled());

    // While the upload moves, the user starts a download and a refresh: both run at once.
    bool tried = false;
    auto link = QObject::connect(&form->transferQueue(), &TransferQueue::progress, [&] {
        if (tried || form->transferQueue().bytesMoved() < 1024 * 1024)
            return;
        tried = true;
        EXPECT_FALSE(form->cmdQConnect.Enabled());
        EXPECT_TRUE(form->miRemote.Enabled());
        selectNamed(form->lstRemoteFileList, {"remote.bin"});
        form->UpdateRemoteCommands();
        EXPECT_TRUE(form->cmdReceive.Enabled());
        form->DownloadSelection();
        EXPECT_EQ(form->lblStatus.Caption(), "1 download(s) queued.");
        form->movToolbar_FSCommand("IDC_FS_RemoteRefresh");
        EXPECT_TRUE(rowNamed(form->lstRemoteFileList, "remote.bin"));
        EXPECT_FALSE(form->cmdAbort.Enabled());
    });
    selectNamed(form->lstLocalFileList, {"big.bin"});
    form->UploadSelection();
    waitQueue();
    QObject::disconnect(link);
    EXPECT_TRUE(tried);
    EXPECT_EQ(form->lblStatus.Caption(), "Transfers complete.");
    EXPECT_TRUE(readFile(root + "/big.bin") == big);
    EXPECT_EQ(readFile(local + "remote.bin"), "remote");
    EXPECT_FALSE(form->cmdAbort.Enabled());
    selectNamed(form->lstLocalFileList, {"big.bin"});
    form->UpdateLocalCommands();
    EXPECT_TRUE(form->cmdSend.Enabled());

    // Cancelled in mid-upload from the queue's panel: the upload ends as cancelled and the session
    // goes on.
    link = QObject::connect(&form->transferQueue(), &TransferQueue::progress, [&] {
        QueuePanel& panel = form->queuePanel();
        panel.tmrQueue_Timer();
        for (ListRow* row : panel.lstQueue.rows())
            row->setSelected(form->transferQueue().item(row->Tag().toInt()).state == TransferItem::State::Running);
        panel.lstQueue_SelectionChanged();
        if (panel.cmdQueueCancel.Enabled())
            panel.cmdQueueCancel_Click();
    });
    writeFile(local + "big2.bin", big);
    form->RefreshLocalList();
    selectNamed(form->lstLocalFileList, {"big2.bin"});
    form->UploadSelection();
    waitQueue();
    QObject::disconnect(link);
    EXPECT_EQ(form->lblStatus.Caption(), "Upload aborted.");
    EXPECT_EQ(form->xFtp.State(), 2) << form->lstConnectionInfo.Items().mid(form->lstConnectionInfo.Items().size() - 15).join("\n").toStdString();
    QFile::remove(local + "remote.bin");
    selectNamed(form->lstRemoteFileList, {"remote.bin"});
    form->DownloadSelection();
    waitQueue();
    EXPECT_EQ(readFile(local + "remote.bin"), "remote");

    // Only regular files are sent: a pipe would block for ever.
    ASSERT_EQ(::mkfifo(QFile::encodeName(local + "pipe").constData(), 0600), 0);
    form->RefreshLocalList();
    selectNamed(form->lstLocalFileList, {"pipe"});
    form->UploadSelection();
    waitQueue();
    EXPECT_EQ(form->lblStatus.Caption(), "Error while uploading file(s).");
    EXPECT_TRUE(form->lstConnectionInfo.Items().join("\n").contains("is not a regular file, so it is not sent.")) << form->lstConnectionInfo.Items().mid(form->lstConnectionInfo.Items().size() - 8).join("\n").toStdString();
    EXPECT_FALSE(QFile::exists(root + "/pipe"));
}
