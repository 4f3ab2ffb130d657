// The main window's remote file operations against the real pyftpdlib server and, for listings no
// honest server sends, a scripted one: delete, rename, create, move, manual transfers, raw commands
// and the custom-command panel.
#include "tests/ftpclient/window/MainWindowFixture.h"
#include "tests/support/QtPrint.h"
#include "tests/support/ScriptedFtpServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace harbel;
using namespace harbel::tessaly;
using harbel::test::readFile;
using harbel::test::ScriptedFtpServer;
using harbel::test::writeFile;

namespace {

class RemoteCommands : public harbel::test::MainWindow {
protected:
    void changeRemoteFolder(const QString& folder)
    {
        form->cboRemotePath.setText(folder);
        form->cboRemotePath_KeyPress(13);
        ASSERT_EQ(form->xFtp.CurrentFolder(), folder);
    }

    void connectTo(const ScriptedFtpServer& scripted)
    {
        if (form->xFtp.State() != 0)
            form->CloseSession();
        form->xFtp.TimeoutSeconds = 10;
        form->txtQaddress.setText("127.0.0.1");
        form->txtQport.setText(QString::number(scripted.port()));
        form->txtQuser.setText("tess");
        form->cmdQConnect_Click();
        ASSERT_EQ(form->xFtp.State(), 2);
    }

    QStringList logLines(const QString& prefix) const
    {
        QStringList out;
        for (const QString& line : form->lstConnectionInfo.Items())
            if (line.startsWith(prefix))
                out << line;
        return out;
    }

    static QStringList changesSent(const ScriptedFtpServer& scripted)
    {
        QStringList out;
        for (const QString& line : scripted.received())
            if (line.startsWith("DELE ") || line.startsWith("RMD ") || line.startsWith("RNFR "))
                out << line;
        return out;
    }

    static bool present(const QString& path) { return QFileInfo(path).exists() || QFileInfo(path).isSymLink(); }
};

}  // namespace

TEST_F(RemoteCommands, DeletingAFolderRemovesItsWholeTreeAndNothingBesideIt)
{
    QDir().mkpath(root + "/work/victim/d1/d2/d3");
    QDir().mkpath(root + "/work/victim/d1/empty");
    writeFile(root + "/work/victim/top.txt", "1");
    writeFile(root + "/work/victim/d1/mid.txt", "2");
    writeFile(root + "/work/victim/d1/d2/deep.txt", "3");
    writeFile(root + "/work/victim/d1/d2/d3/deepest.txt", "4");
    writeFile(root + "/work/loose.txt", "x");
    writeFile(root + "/work/keep.txt", "keep");
    QDir().mkpath(root + "/work/victimized/inner");  // a sibling whose name begins like the victim's
    writeFile(root + "/work/victimized/inner/k.txt", "k");
    writeFile(root + "/outer.txt", "o");
    startServer();
    load();
    quickConnect();
    changeRemoteFolder("/work");

    // No: nothing goes, and the frozen copies are gone again.
    selectNamed(form->lstRemoteFileList, {"victim", "loose.txt"});
    prompts.answer(MsgAnswer::No);
    form->DeleteRemoteSelection();
    EXPECT_EQ(prompts.last().icon, MsgIcon::Question);
    EXPECT_TRUE(present(root + "/work/victim/d1/d2/d3/deepest.txt"));
    EXPECT_FALSE(form->lstDel.Visible());

    QStringList rootsSeen;
    int frozenRows = -1;
    QObject::connect(&form->xFtp, &FtpComponent::LogLine, form.get(), [&](const QString& line) {
        if (line.startsWith("RMD ") || line.startsWith("DELE ")) {
            rootsSeen << form->sDeleteRoot;
            frozenRows = form->lstDel.Visible() && form->cmbDel.Visible() ? form->lstDel.count() : -1;
        }
    });
    prompts.answer(MsgAnswer::Yes);
    form->DeleteRemoteSelection();
    EXPECT_FALSE(present(root + "/work/victim"));
    EXPECT_FALSE(present(root + "/work/loose.txt"));
    EXPECT_EQ(readFile(root + "/work/keep.txt"), "keep");
    EXPECT_EQ(readFile(root + "/work/victimized/inner/k.txt"), "k");
    EXPECT_EQ(readFile(root + "/outer.txt"), "o");
    // While the folder went, the delete knew its root, joined as the server joins paths, and the
    // user saw the folder as it was.
    EXPECT_TRUE(rootsSeen.contains("/work/victim"));
    EXPECT_EQ(frozenRows, 4);
    EXPECT_FALSE(form->lstDel.Visible() || form->cmbDel.Visible());
    EXPECT_EQ(form->xFtp.CurrentFolder(), "/work");
    EXPECT_EQ(rows(form->lstRemoteFileList), (QStringList{"keep.txt|F", "victimized|D"}));
    EXPECT_TRUE(logLines("Error").isEmpty()) << logLines("Error").join('\n').toStdString();
}

TEST_F(RemoteCommands, DeletingNeverFollowsALinkOutOfTheSelectedFolder)
{
    writeFile(root + "/keep/precious.txt", "precious");
    writeFile(root + "/victim/file.txt", "f");
    writeFile(root + "/victim/zz/after.txt", "a");
    QFile::link("..", root + "/victim/up");          // back to the served root
    QFile::link("../keep", root + "/victim/sib");    // to a sibling
    QFile::link("keep", root + "/toplink");          // a selected link to a folder
    startServer();  // with MLSD, which shows a link to a folder as a folder
    load();
    quickConnect();
    ASSERT_EQ(rowNamed(form->lstRemoteFileList, "toplink")->SmallIcon(), 2);

    selectNamed(form->lstRemoteFileList, {"toplink", "victim"});
    prompts.answer(MsgAnswer::Yes);
    form->DeleteRemoteSelection();
    EXPECT_EQ(readFile(root + "/keep/precious.txt"), "precious");
    EXPECT_FALSE(present(root + "/toplink"));  // the link itself went
    EXPECT_FALSE(present(root + "/victim"));
    EXPECT_EQ(form->xFtp.CurrentFolder(), "/");
    EXPECT_EQ(rows(form->lstRemoteFileList), QStringList{"keep|D"});
}

TEST_F(RemoteCommands, AHostileListingCannotMoveTheDeleteOutOfTheSelectedFolder)
{
    const QByteArray listing =
        "-rw-r--r-- 1 u g 5 Jan 01 10:00 ../outside.txt\r\n"
        "-rw-r--r-- 1 u g 5 Jan 01 10:00 a/b\r\n"
        "drwxr-xr-x 2 u g 0 Jan 01 10:00 ../up\r\n"
        "-rw-r--r-- 1 u g 5 Jan 01 10:00 bad\tname\r\n"
        "drwxr-xr-x 2 u g 0 Jan 01 10:00 victim\r\n"
        "-rw-r--r-- 1 u g 5 Jan 01 10:00 ok.txt\r\n"
        "lrwxrwxrwx 1 u g 4 Jan 01 10:00 link -> /etc\r\n"
        "drwxr-xr-x 2 u g 0 Jan 01 10:00 locked\r\n";
    auto pwd = [](const QByteArray& folder) { return ScriptedFtpServer::Fragments{"257 \"" + folder + "\" is current\r\n"}; };
    ScriptedFtpServer scripted;
    ASSERT_TRUE(scripted.listen());
    scripted.onData("LIST", listing);
    // Every folder holds the same entries, and the server answers as if a link led back: the
    // "victim" inside "/victim" reports "/victim" again. "locked" cannot be entered.
    for (const char* f : {"/", "/", "/", "/victim", "/victim", "/victim", "/victim", "/"})
        scripted.on("PWD", pwd(f));
    for (const char* reply : {"250 OK\r\n", "250 OK\r\n", "250 OK\r\n", "550 Permission denied\r\n", "250 OK\r\n"})
        scripted.on("CWD", {reply});
    load();
    connectTo(scripted);
    ASSERT_TRUE(rowNamed(form->lstRemoteFileList, "../outside.txt"));

    selectNamed(form->lstRemoteFileList, {"../outside.txt", "victim"});
    prompts.answer(MsgAnswer::Yes);
    form->DeleteRemoteSelection();
    EXPECT_EQ(changesSent(scripted), (QStringList{"DELE /victim/ok.txt", "DELE /victim/link", "RMD /victim"}));
    EXPECT_FALSE(scripted.received().contains("CWD ../up"));
    EXPECT_EQ(logLines("Refused to delete '../outside.txt'").size(), 1);
    EXPECT_EQ(logLines("Skipped 'a/b' in /victim").size(), 1);
    EXPECT_EQ(logLines("Did not delete /victim/victim: entering it led to /victim.").size(), 1);
    EXPECT_EQ(logLines("Error while attempting to change current remote folder to '/victim/locked'").size(), 1);
    EXPECT_TRUE(logLines("Error:").isEmpty()) << logLines("Error:").join('\n').toStdString();

    // A server that does not take us back where the delete began: the remaining rows, deleted by
    // name, are not touched anywhere else.
    ScriptedFtpServer lost;
    ASSERT_TRUE(lost.listen());
    lost.onData("LIST", "drwxr-xr-x 2 u g 0 Jan 01 10:00 victim\r\n"
                        "-rw-r--r-- 1 u g 5 Jan 01 10:00 ok.txt\r\n");
    for (const char* f : {"/", "/", "/", "/victim", "/victim", "/victim", "/elsewhere"})
        lost.on("PWD", pwd(f));
    connectTo(lost);
    selectNamed(form->lstRemoteFileList, {"victim", "ok.txt"});
    prompts.answer(MsgAnswer::Yes);
    form->DeleteRemoteSelection();
    EXPECT_EQ(changesSent(lost), QStringList{"DELE /victim/ok.txt"});  // inside /victim only
    EXPECT_EQ(logLines("Error: Could not return to the remote folder / after deleting victim").size(), 1);
    EXPECT_FALSE(form->lstDel.Visible());
}

TEST_F(RemoteCommands, RenameCreateAndMoveSendWhatWasTypedAndNothingForAnEmptyAnswer)
{
    writeFile(root + "/dir/a.txt", "a");
    writeFile(root + "/dir/b.txt", "b");
    writeFile(root + "/dir/c.txt", "c");
    QDir().mkpath(root + "/dir/sub");
    startServer();
    load();
    quickConnect();
    changeRemoteFolder("/dir");

    selectNamed(form->lstRemoteFileList, {"a.txt"});
    prompts.answer(MsgAnswer::No);
    form->RenameRemoteItem();
    EXPECT_EQ(form->lblStatus.Caption(), "Remote file not renamed.");
    prompts.answer(MsgAnswer::Yes);
    prompts.answerText(QString());
    prompts.answer(MsgAnswer::Ok);
    form->RenameRemoteItem();
    EXPECT_EQ(prompts.last().icon, MsgIcon::Critical);
    EXPECT_TRUE(logLines("RNFR").isEmpty());
    prompts.answer(MsgAnswer::Yes);
    prompts.answerText(QString("renamed.txt"));
    form->RenameRemoteItem();
    EXPECT_EQ(readFile(root + "/dir/renamed.txt"), "a");
    EXPECT_TRUE(rowNamed(form->lstRemoteFileList, "renamed.txt"));

    prompts.answerText(QString());
    form->CreateRemoteFolder();
    EXPECT_TRUE(logLines("MKD").isEmpty());
    prompts.answerText(QString("made"));
    form->CreateRemoteFolder();
    EXPECT_TRUE(QFileInfo(root + "/dir/made").isDir());
    prompts.answerText(QString("made"));
    form->CreateRemoteFolder();
    EXPECT_EQ(logLines("Error creating remote folder: 550").size(), 1);
    EXPECT_EQ(form->lblStatus.Caption(), "Remote folder not created.");

    // Move: into a folder, to the root with an empty target, and a cancelled one stays.
    selectNamed(form->lstRemoteFileList, {"renamed.txt", "b.txt", "c.txt"});
    form->lstRemoteFileList.setSelectedItem(rowNamed(form->lstRemoteFileList, "b.txt"));
    prompts.answer(MsgAnswer::Yes);
    const QStringList order = [&] {
        QStringList names;
        for (const ListRow* r : form->lstRemoteFileList.selectedRows())
            names << r->Text();
        return names;
    }();
    const QHash<QString, std::optional<QString>> targets{{"renamed.txt", QString("sub")}, {"b.txt", QString()}, {"c.txt", std::nullopt}};
    for (const QString& name : order)
        prompts.answerText(targets.value(name));
    form->MoveRemoteSelection();
    EXPECT_EQ(prompts.records()[prompts.records().size() - 4].text, "Move remote files / folders b.txt?");
    EXPECT_EQ(readFile(root + "/dir/sub/renamed.txt"), "a");
    EXPECT_EQ(readFile(root + "/b.txt"), "b");
    EXPECT_EQ(readFile(root + "/dir/c.txt"), "c");
    const QStringList renames = logLines("RNTO");
    EXPECT_EQ(QSet<QString>(renames.begin(), renames.end()), (QSet<QString>{"RNTO /dir/renamed.txt", "RNTO /dir/sub/renamed.txt", "RNTO /b.txt"}));
    EXPECT_EQ(rows(form->lstRemoteFileList), (QStringList{"c.txt|F", "made|D", "sub|D"}));
}

TEST_F(RemoteCommands, RawCommandsManualTransfersAndTheCustomCommandPanel)
{
    writeFile(root + "/a.txt", "remote a");
    QDir().mkpath(root + "/sub");
    writeFile(local + "up.txt", "local up");
    startServer();
    load();
    form->sLocalPath = local;
    quickConnect();

    prompts.answerText(QString("NOOP"));
    form->mnuRemoteFtpCommandsQuote_Click();
    EXPECT_TRUE(logLines("QUOTE").isEmpty());  // the text typed is the command
    EXPECT_EQ(logLines("NOOP"), QStringList{"NOOP"});
    EXPECT_TRUE(logLines("Error 500").isEmpty());
    prompts.answerText(QString());
    prompts.answer(MsgAnswer::Ok);
    form->mnuRemoteFtpCommandsQuote_Click();
    EXPECT_EQ(logLines("NOOP").size(), 1);

    form->mnuRemoteFtpCommandsNlst_Click();  // over a data connection, its lines in the log
    EXPECT_EQ(logLines("a.txt"), QStringList{"a.txt"});
    form->mnuRemoteFtpCommandsList_Click();
    EXPECT_TRUE(logLines("-rw").value(0).endsWith(" a.txt"));

    prompts.answerText(QString("sub"));
    form->mnuRemoteFtpCommandsCwd_Click();
    EXPECT_EQ(form->xFtp.CurrentFolder(), "/sub");
    EXPECT_EQ(form->cboRemotePath.Text(), "/sub");  // the list follows the server

    // Manual transfers work in the current folders on both sides.
    prompts.answerText(QString("up.txt"));
    form->ManualSend();
    EXPECT_EQ(readFile(root + "/sub/up.txt"), "local up");
    EXPECT_EQ(rows(form->lstRemoteFileList), QStringList{"up.txt|F"});
    changeRemoteFolder("/");
    prompts.answerText(QString("a.txt"));
    form->ManualReceive();
    EXPECT_EQ(readFile(local + "a.txt"), "remote a");
    EXPECT_TRUE(rowNamed(form->lstLocalFileList, "a.txt"));
    prompts.answerText(QString("missing.bin"));
    form->ManualReceive();
    EXPECT_EQ(logLines("Error: 550").size(), 1);

    // The custom-command panel takes the place of the others and sends what is typed.
    Control* focused = nullptr;
    QObject::connect(form.get(), &frmMain::focusRequested, form.get(), [&](Control* c) { focused = c; });
    form->mnuRemoteSendCommand_Click();
    EXPECT_TRUE(form->frameCustomCommand.Visible() && !form->FrameMainLists.Visible());
    EXPECT_TRUE(form->frameLog.Visible());  // where the replies show
    EXPECT_EQ(focused, &form->txtCommand);
    form->txtCommand.setText("MKD viacmd");
    form->txtCommand_KeyPress(13);
    EXPECT_TRUE(QFileInfo(root + "/viacmd").isDir());
    EXPECT_TRUE(form->txtCommand.Text().isEmpty());
    form->txtCommand.setText("BOGUS");
    form->txtCommand_KeyPress(13);
    EXPECT_TRUE(form->txtCommand.Text().isEmpty());  // also after an error
    form->txtCommand.setText("RNFR a.txt"), form->txtCommand_KeyPress(13);
    form->txtCommand.setText("RNTO b.txt"), form->txtCommand_KeyPress(13);
    EXPECT_TRUE(rowNamed(form->lstRemoteFileList, "b.txt"));  // renamed, and the list shows it
    const int sent = int(form->lstConnectionInfo.Items().size());
    form->txtCommand_KeyPress(13);  // nothing typed: nothing sent
    EXPECT_EQ(int(form->lstConnectionInfo.Items().size()), sent);
    form->cmdCloseCommand_Click();
    EXPECT_TRUE(form->FrameMainLists.Visible() && !form->frameCustomCommand.Visible());
}

// Once, a raw CWD left the list on "/" and Delete removed the server's /sub/readme.txt.
TEST_F(RemoteCommands, DeleteHitsTheFileTheListShowsAfterARawFolderChange)
{
    startServer();
    load();
    quickConnect();
    const QList<std::pair<std::function<void()>, QString>> cases{  // what moves the server; the folder shown then
        {[&] { form->txtCommand.setText("CWD sub"), form->txtCommand_KeyPress(13); }, "/sub"},
        {[&] { prompts.answerText(QString("sub")), form->mnuRemoteFtpCommandsCwd_Click(); }, "/sub"},
        {[&] { form->xFtp.ChangeFolder("/sub"); }, "/"}};  // a move the list never heard of
    for (const auto& [move, shown] : cases) {
        writeFile(root + "/readme.txt", "top");
        writeFile(root + "/sub/readme.txt", "inner");
        changeRemoteFolder("/");
        form->RefreshRemoteList();
        move();
        EXPECT_EQ(form->cboRemotePath.Text(), shown);
        selectNamed(form->lstRemoteFileList, {"readme.txt"});
        prompts.answer(MsgAnswer::Yes);
        form->DeleteRemoteSelection();
        EXPECT_NE(present(root + "/readme.txt"), shown == "/");
        EXPECT_NE(present(root + "/sub/readme.txt"), shown == "/sub");
    }
}

TEST_F(RemoteCommands, AbortKeepsTheListingAndTheNextCommandWorks)
{
    writeFile(root + "/big.bin", QByteArray(24 * 1024 * 1024, 'b'));
    writeFile(root + "/sub/inner.txt", "i");
    startServer();
    load();
    form->sLocalPath = local;
    quickConnect();
    const QStringList shown = rows(form->lstRemoteFileList);
    QObject::connect(&form->xFtp, &FtpComponent::TransferProgress, form.get(), [&] { form->Abort(); });
    // The refresh timer fires while the box about the abort is still open.
    QObject::connect(&form->xFtp, &FtpComponent::OperationError, form.get(), [&] { form->tmrRefresh_Timer(); });
    // A file received on the session's own connection (the Remote menu's manual receive).
    prompts.answerText(QString("big.bin"));
    prompts.answer(MsgAnswer::Ok);  // "Operation Aported Succesfully"
    form->ManualReceive();
    EXPECT_EQ(rows(form->lstRemoteFileList), shown);
    form->tmrRefresh_Timer();  // and once the command is over
    EXPECT_EQ(rows(form->lstRemoteFileList), shown);
    selectNamed(form->lstRemoteFileList, {"sub"});
    form->lstRemoteFileList_DblClick();
    EXPECT_EQ(rows(form->lstRemoteFileList), QStringList{"inner.txt|F"});
}
