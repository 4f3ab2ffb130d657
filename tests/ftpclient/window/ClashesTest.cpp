// Transfers onto files that are there already, against the real pyftpdlib server: the question
// for downloads, Resume with REST, folders received into existing ones, and folder uploads.
#include "tests/ftpclient/window/MainWindowFixture.h"

using namespace harbel;
using namespace harbel::tessaly;
using harbel::test::randomBytes;
using harbel::test::readFile;
using harbel::test::writeFile;

namespace {

class TransferClashes : public harbel::test::MainWindow {
protected:
    void connectWithLocal()
    {
        startServer();
        load();
        form->sLocalPath = local;
        quickConnect();
        form->RefreshLocalList();
    }
    void expectStatus(const char* status) { EXPECT_EQ(form->lblStatus.Caption(), status) << logText().right(2000).toStdString(); }
};

}  // namespace

TEST_F(TransferClashes, ADownloadOverALocalFileAsksWithBothSidesAndResumesWithRestByteForByte)
{
    const QByteArray data = randomBytes(3000000);
    const QByteArray cut = data.left(1966080);
    writeFile(root + "/big.bin", data);
    connectWithLocal();
    struct Case { std::optional<int> button; QByteArray after; const char* status; };
    for (const Case& c : {Case{FileClash::Resume, data, "File download(s) complete."}, Case{FileClash::Skip, cut, "File download(s) complete."},
                          Case{std::nullopt, cut, "Download aborted."}, Case{FileClash::Overwrite, data, "File download(s) complete."}}) {
        SCOPED_TRACE(c.button.value_or(1));
        writeFile(local + "big.bin", cut);
        QStringList shown;
        answerExist(c.button, std::nullopt, &shown);
        const qsizetype mark = form->lstConnectionInfo.Items().size();
        selectNamed(form->lstRemoteFileList, {"big.bin"});
        form->DownloadSelection();
        EXPECT_TRUE(readFile(local + "big.bin") == c.after);
        expectStatus(c.status);
        EXPECT_EQ(form->lstConnectionInfo.Items().mid(mark).contains("REST 1966080"), c.button == FileClash::Resume);
        ASSERT_EQ(shown.size(), 1);
        EXPECT_TRUE(shown[0].contains("' already exists in the local folder. What would you like to do? / Destination File Size: 1966080 Last Modified: "));
        EXPECT_TRUE(shown[0].contains(" / Source File Size: 3000000 Last Modified: ")) << shown[0].toStdString();
    }
}

TEST_F(TransferClashes, AFolderThatExistsLocallyIsReceivedIntoAskingAboutEachFileThere)
{
    QDir().mkpath(root + "/tree/sub");
    QDir().mkpath(local + "tree/sub");
    for (const char* name : {"a.txt", "b.txt", "sub/c.txt"})
        writeFile(root + "/tree/" + name, QByteArray("server ") + name);
    writeFile(local + "tree/a.txt", "local a");
    writeFile(local + "tree/sub/c.txt", "local c");
    writeFile(local + "tree/mine.txt", "mine");
    connectWithLocal();
    prompts.answer(MsgAnswer::Yes);  // subfolders too
    QStringList shown;
    answerExist(FileClash::Skip, false, &shown);
    answerExist(FileClash::Skip, false, &shown);
    selectNamed(form->lstRemoteFileList, {"tree"});
    form->DownloadSelection();
    expectStatus("File download(s) complete.");
    EXPECT_EQ(shown.size(), 2);
    EXPECT_EQ(readFile(local + "tree/a.txt") + readFile(local + "tree/sub/c.txt"), "local alocal c");
    EXPECT_EQ(readFile(local + "tree/b.txt") + readFile(local + "tree/mine.txt"), "server b.txtmine");
}

TEST_F(TransferClashes, FolderUploadsAskAboutClashesAndApplyToAllAnswersTheRest)
{
    QDir().mkpath(local + "up");
    for (const char* name : {"x", "y", "z", "fresh"})
        writeFile(local + "up/" + name, QByteArray("new ") + name);
    connectWithLocal();
    // The component sends the tree, or in auto mode the window walks it.
    for (const bool autoMode : {false, true}) {
        SCOPED_TRACE(autoMode);
        QDir(root).removeRecursively();
        QDir().mkpath(root + "/up");
        for (const char* name : {"x", "y", "z"})
            writeFile(root + "/up/" + name, "old");
        autoMode ? form->optAuto_Click() : form->optBinary_Click();
        form->RefreshRemoteList();
        prompts.answer(MsgAnswer::Yes);  // subfolders too
        QStringList shown;
        answerExist(FileClash::Skip, true, &shown);
        selectNamed(form->lstLocalFileList, {"up"});
        form->UploadSelection();
        expectStatus("Upload complete");
        ASSERT_EQ(shown.size(), 1);
        EXPECT_TRUE(shown[0].contains("' already exists on the server. What would you like to do? / Destination File Size: 3 ")) << shown[0].toStdString();
        EXPECT_EQ(readFile(root + "/up/x") + readFile(root + "/up/y") + readFile(root + "/up/z"), "oldoldold");
        EXPECT_EQ(readFile(root + "/up/fresh"), "new fresh");
    }
}
