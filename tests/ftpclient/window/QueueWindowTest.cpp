// The main window's transfer queue against pyftpdlib: selections of both panes moved on the
// queue's own connections while the session browses and renames, and a queue left unfinished by a
// killed program offered again at the next start.

#include "ftpclient/component/TransferQueueStore.h"
#include "tests/ftpclient/window/MainWindowFixture.h"

#include <QDirIterator>
#include <QRegularExpression>

#include "tests/support/QtPrint.h"

using namespace harbel;
using namespace harbel::tessaly;
using harbel::test::MainWindow;
using harbel::test::randomBytes;
using harbel::test::readFile;
using harbel::test::setReg;
using harbel::test::writeFile;

namespace {

QMap<QString, QByteArray> filesUnder(const QString& folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(folder).relativeFilePath(path), readFile(path));
    }
    return files;
}

class QueueWindow : public MainWindow {
protected:
    QStringList states()
    {
        form->queuePanel().tmrQueue_Timer();
        QStringList out;
        for (const ListRow* row : form->queuePanel().lstQueue.rows())
            out << row->cell(QueuePanel::ColState);
        return out;
    }
};

}  // namespace

TEST_F(QueueWindow, MovesSelectionsBothWaysWhileTheSessionBrowsesAndRenames)
{
    for (const QString& name : {"a.txt", "sub/b.bin", "sub/deeper/c.txt"}) {
        writeFile(local + "up/" + name, randomBytes(3000 + name.size()));
        writeFile(root + "/down/" + name, randomBytes(5000 + name.size()));
    }
    writeFile(root + "/down/big.bin", randomBytes(16 << 20));
    writeFile(local + "two.bin", randomBytes(70000));
    writeFile(root + "/one.bin", randomBytes(90000));
    writeFile(root + "/keep.txt", "kept");
    setReg("TRANSFER CONNECTIONS", "2");
    connectLocal();
    form->RefreshLocalList();
    ASSERT_EQ(form->transferQueue().parallel(), 2);

    // While the queue moves the files, the session lists and renames.
    bool browsed = false;
    QObject::connect(&form->transferQueue(), &TransferQueue::progress, [&] {
        if (browsed || form->transferQueue().bytesMoved() < 100000)
            return;
        browsed = true;
        form->RefreshRemoteList();
        EXPECT_TRUE(form->miRemote.Enabled());
        selectNamed(form->lstRemoteFileList, {"keep.txt"});
        prompts.answer(MsgAnswer::Yes);
        prompts.answerText(QString("renamed.txt"));
        form->RenameRemoteItem();
        EXPECT_FALSE(form->transferQueue().isIdle());
    });
    struct Case {
        ListView& pane;
        QStringList names;
        void (frmMain::*command)();
    };
    const Case cases[] = {{form->lstLocalFileList, {"up", "two.bin"}, &frmMain::UploadSelection},
                          {form->lstRemoteFileList, {"down", "one.bin"}, &frmMain::DownloadSelection}};
    for (const Case& c : cases) {
        selectNamed(c.pane, c.names);
        prompts.answer(MsgAnswer::Yes);  // subfolders too
        ((*form).*c.command)();
    }
    waitQueue();

    EXPECT_TRUE(browsed);
    EXPECT_EQ(readFile(root + "/renamed.txt"), "kept");
    EXPECT_EQ(filesUnder(root + "/up"), filesUnder(local + "up"));
    EXPECT_EQ(filesUnder(local + "down"), filesUnder(root + "/down"));
    EXPECT_EQ(readFile(root + "/two.bin"), readFile(local + "two.bin"));
    EXPECT_EQ(readFile(local + "one.bin"), readFile(root + "/one.bin"));
    // Every file a row of its own, done; the lists show what arrived; the status line the end.
    EXPECT_EQ(states(), QStringList(2 + 2 * 3 + 1, "Done"));
    EXPECT_TRUE(rowNamed(form->lstRemoteFileList, "up") && rowNamed(form->lstRemoteFileList, "two.bin"));
    EXPECT_TRUE(rowNamed(form->lstLocalFileList, "down") && rowNamed(form->lstLocalFileList, "one.bin"));
    EXPECT_EQ(form->lblStatus.Caption(), "Transfers complete.");
    EXPECT_TRUE(form->queuePanel().lblQueue.Caption().startsWith("Queue: 9 of 9 files")) << form->queuePanel().lblQueue.Caption().toStdString();
    EXPECT_EQ(form->Tray1.TrayToolTip(), form->sProgramTitle);
    // Each connection's lines in the log carry its number; the session's own lines none.
    const QStringList log = form->lstConnectionInfo.Items();
    for (const char* line : {R"(^\[1\] USER tess$)", R"(^\[1\] 226 )", R"(^\[2\] USER tess$)", R"(^\[2\] 226 )", "^USER tess$", "^RNTO /renamed.txt$"})
        EXPECT_FALSE(log.filter(QRegularExpression(line)).isEmpty()) << line << "\n" << log.join('\n').toStdString();

    // Finished rows go with Clear Finished.
    form->queuePanel().cmdQueueClear_Click();
    EXPECT_EQ(form->queuePanel().lstQueue.count(), 0);
}

TEST_F(QueueWindow, AKilledProgramsQueueIsOfferedAgainWhenItsSiteIsReached)
{
    const QByteArray big = randomBytes(48 << 20);
    writeFile(root + "/big.bin", big);
    writeFile(root + "/small.txt", "small");
    connectLocal();
    const QString path = form->queueStore().path();
    selectNamed(form->lstRemoteFileList, {"big.bin", "small.txt"});
    form->DownloadSelection();
    // The file as a kill would leave it: written while the download runs, without the program's
    // ending to help.
    ASSERT_TRUE(test::waitUntil([&] { return QFileInfo(local + "big.bin").size() > 0; }, 20000));
    const QByteArray killed = readFile(path);
    ASSERT_TRUE(killed.contains("big.bin") && killed.contains("small.txt")) << killed.toStdString();
    form.reset();
    writeFile(path, killed);
    // And the part of the download it had (cut, never grown: a hole of zeros is not a part).
    QFile part(local + "big.bin");
    const qint64 kept = qMin<qint64>(part.size(), 1 << 20);
    ASSERT_TRUE(kept > 0 && part.resize(kept));

    // At the next start nothing is asked until the session reaches the site; a dismissed question
    // keeps the items, a second connect offers them again.
    load();
    form->sLocalPath = local;
    prompts.answer(MsgAnswer::No);
    quickConnect();
    EXPECT_TRUE(prompts.last().text.startsWith("2 transfer(s) to or from 127.0.0.1 were not finished")) << prompts.last().text.toStdString();
    EXPECT_TRUE(form->transferQueue().items().isEmpty());
    form->CloseSession();
    prompts.answer(MsgAnswer::Yes);
    quickConnect();
    waitQueue();
    EXPECT_EQ(states(), QStringList(2, "Done"));
    EXPECT_TRUE(readFile(local + "big.bin") == big);
    EXPECT_EQ(readFile(local + "small.txt"), "small");
    EXPECT_TRUE(form->lstConnectionInfo.Items().contains("[1] REST " + QString::number(kept))) << "the download goes on from the part it had";
    // Nothing unfinished is left to keep.
    form->queueStore().flush();
    EXPECT_FALSE(QFile::exists(path));
}
