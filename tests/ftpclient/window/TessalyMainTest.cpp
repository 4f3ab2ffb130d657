// Tessaly's main window through its presentation model: start-up, the session, the remote pane and
// the toolbar, with scripted prompts and the real pyftpdlib server.
#include "common/platform/AppFolder.h"
#include "common/platform/CRegister.h"
#include "common/prompts/ScriptedPrompts.h"
#include "ftpclient/window/FileShell.h"
#include "ftpclient/window/TessalyMain.h"
#include "tests/ftpclient/window/MainWindowFixture.h"
#include "tests/support/PyFtpServer.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace harbel;
using namespace harbel::tessaly;
using harbel::test::PyFtpServer;
using harbel::test::randomBytes;
using harbel::test::readFile;
using harbel::test::writeFile;

using harbel::test::MainWindow;
using harbel::test::RecordingShell;
using harbel::test::setReg;


TEST_F(MainWindow, StartsUpInItsOrderAndRefusesASecondInstance)
{
    // The local pane starts in the user's home folder.
    const QByteArray realHome = qgetenv("HOME");
    const QString home = harbel::test::testFolder() + "/userhome";
    QDir().mkpath(home);
    writeFile(home + "/letter.txt", "dear");
    qputenv("HOME", QFile::encodeName(home));
    QDir().mkpath(AppFolder::file("log"));
    writeFile(AppFolder::file("log/FTP.log"), "old\n");
    load();
    EXPECT_EQ(form->Caption(), "Tessaly");
    EXPECT_TRUE(form->Visible());
    EXPECT_EQ(form->movToolbar.GetVariable("_root.Program"), "FTP");
    QStringList commands;
    for (const ToolbarButton& b : form->movToolbar.buttons())
        commands << b.command;
    EXPECT_TRUE(commands.contains("IDC_FS_Connect"));
    EXPECT_TRUE(commands.contains("IDC_FS_launchDM"));
    EXPECT_FALSE(commands.contains("IDC_FS_AddURL"));  // the download manager's section
    form->movToolbar.press("IDC_FS_ShowA", false);  // the Quick Connect toggle comes up
    EXPECT_FALSE(form->frameQuickConnect.Visible());
    form->movToolbar.press("IDC_FS_ShowA", true);
    EXPECT_TRUE(form->frameQuickConnect.Visible());
    EXPECT_FALSE(QFileInfo::exists(AppFolder::file("log/FTP.log")));  // deleted at start by default
    EXPECT_FALSE(form->cmdDisconnect.Enabled());
    EXPECT_FALSE(form->cboRemotePath.Enabled());
    EXPECT_FALSE(form->miRemote.Enabled());
    EXPECT_TRUE(form->cmdConnect.Enabled());
    EXPECT_TRUE(form->cmdQConnect.Enabled());
    EXPECT_FALSE(form->cmdAbort.Enabled());
    qputenv("HOME", realHome);
    EXPECT_EQ(form->sLocalPath, home + "/");
    EXPECT_EQ(form->cboLocalPath.Text(), home + "/");
    EXPECT_TRUE(form->cboLocalPath.List().contains("/"));
    EXPECT_TRUE(form->cboLocalPath.List().contains(home + "/"));
    ASSERT_EQ(form->lstLocalFileList.count(), 1);
    EXPECT_EQ(form->lstLocalFileList.at(0)->Text(), "letter.txt");
    EXPECT_FALSE(form->lstDel.Visible());
    EXPECT_FALSE(form->frameCustomCommand.Visible());
    EXPECT_TRUE(form->frameLog.Visible());
    EXPECT_TRUE(form->Tray1.IsVisible());
    EXPECT_EQ(form->autoTypes.size(), 9);

    // A second copy says nothing and ends; the running one comes to the front instead.
    int raised = 0;
    QObject::connect(form.get(), &frmMain::raiseRequested, [&] { ++raised; });
    frmMain second;
    EXPECT_FALSE(second.Form_Load());
    EXPECT_TRUE(prompts.records().isEmpty() && harbel::test::waitUntil([&] { return raised == 1; }));
}

TEST_F(MainWindow, QuickConnectListsDisconnectsAndAsksBeforeReconnecting)
{
    writeFile(root + "/a.txt", "hello");
    QDir().mkpath(root + "/Docs");
    startServer();
    load();

    form->txtQport.setText("2x1");
    EXPECT_EQ(form->txtQport.Text(), "21");
    form->txtQaddress.setText("127.0.0.1");
    form->txtQuser.setText("");
    prompts.answer(MsgAnswer::Ok);
    form->cmdQConnect_Click();
    EXPECT_EQ(prompts.last().text, "Please enter the connection information.");
    EXPECT_EQ(form->xFtp.State(), 0);

    form->xFtp.Passive = false;  // as an active site left it: Quick Connect is passive by default
    quickConnect();  // with an empty password
    EXPECT_TRUE(form->xFtp.Passive);
    EXPECT_EQ(form->lblStatus.Caption(), "Connected to 127.0.0.1");
    EXPECT_EQ(form->movToolbar.GetVariable("_root.status_txt.text"), "Connected to 127.0.0.1");
    EXPECT_EQ(form->movToolbar.GetVariable("_root.Connected"), "1");
    EXPECT_EQ(rows(form->lstRemoteFileList), (QStringList{"Docs|D", "a.txt|F"}));
    EXPECT_EQ(rowNamed(form->lstRemoteFileList, "a.txt")->cell(1), "5");
    EXPECT_EQ(form->cboRemotePath.Text(), "/");
    EXPECT_TRUE(form->cmdDisconnect.Enabled());
    EXPECT_FALSE(form->cmdQConnect.Enabled());
    EXPECT_EQ(form->MousePointer(), 0);
    EXPECT_TRUE(form->lstConnectionInfo.Items().contains("USER tess"));
    EXPECT_TRUE(logText().contains("USER tess"));

    // Connecting again: No leaves the session alone.
    prompts.answer(MsgAnswer::No);
    form->txtQuser.setText("tess");
    form->cmdQConnect_Click();
    EXPECT_EQ(prompts.last().text, "Cant connect to server, Do you want to Disconnect First?");
    EXPECT_EQ(prompts.last().icon, MsgIcon::Exclamation);
    EXPECT_EQ(form->xFtp.State(), 2);
    EXPECT_EQ(form->lstRemoteFileList.count(), 2);

    form->movToolbar_FSCommand("IDC_FS_Disconnect");
    EXPECT_EQ(form->xFtp.State(), 0);
    EXPECT_EQ(form->lblStatus.Caption(), "Disconnected from 127.0.0.1");
    EXPECT_EQ(form->lstRemoteFileList.count(), 0);
    EXPECT_EQ(form->cboRemotePath.ListCount(), 0);
    EXPECT_EQ(form->movToolbar.GetVariable("_root.Connected"), "0");
    EXPECT_TRUE(form->cmdQConnect.Enabled());
    EXPECT_FALSE(form->cmdDisconnect.Enabled());
}

TEST_F(MainWindow, QuickConnectGoesByItsPassiveBoxAndTheNextStartHasItsFieldsButNoPassword)
{
    startServer();
    load();
    form->chkQPassive.setValue(0);
    quickConnect();
    EXPECT_TRUE(form->lstConnectionInfo.Items().join('\n').contains(QRegularExpression("^(PORT|EPRT) ", QRegularExpression::MultilineOption)));
    form->ChangeCurrentLocalFolder(local);
    form->Form_Unload();
    form.reset();
    load();
    EXPECT_EQ(form->txtQaddress.Text(), "127.0.0.1");
    EXPECT_EQ(form->txtQport.Text(), QString::number(server->port()));
    EXPECT_EQ(form->txtQuser.Text(), "tess");
    EXPECT_EQ(form->chkQPassive.Value(), 0);
    EXPECT_EQ(form->sLocalPath, local);
}

TEST_F(MainWindow, SiteDialogConnectsAnonymouslyWithTheFixedPassword)
{
    PyFtpServer::Options options;
    options.anonymous = true;
    startServer(options);
    load();
    prompts.answerForm([](Form&) {});  // closed without Connect
    form->ConnectToSite();
    EXPECT_EQ(form->lblStatus.Caption(), "Connect operation cancelled.");
    EXPECT_EQ(form->MousePointer(), 0);

    const quint16 port = server->port();
    prompts.answerForm([port](Form& f) {
        auto& dialog = static_cast<frmConnectionInfo&>(f);
        dialog.txtHost.setText("127.0.0.1");
        dialog.txtPort.setText(QString::number(port));
        dialog.txtUserName.setText("someone");
        dialog.txtPassword.setText("typed");
        dialog.optAnonymous_Click();
        dialog.cmdConnect_Click();
    });
    form->ConnectToSite();
    EXPECT_EQ(form->xFtp.State(), 2);
    EXPECT_EQ(form->xFtp.User, "anonymous");
    EXPECT_EQ(form->xFtp.Password, "plume");
    EXPECT_EQ(form->txtQaddress.Text(), "127.0.0.1");
    EXPECT_EQ(form->txtQuser.Text(), "anonymous");
    EXPECT_TRUE(form->bSiteAnonymous);
    EXPECT_EQ(form->lblStatus.Caption(), "Connected to 127.0.0.1");
}

TEST_F(MainWindow, FirewallSettingsChooseTheProxy)
{
    load();
    form->txtQaddress.setText("127.0.0.1");
    form->txtQuser.setText("u");
    form->txtQport.setText("1");
    form->cmdQConnect_Click();
    EXPECT_EQ(form->xFtp.ProxyKind, 0);
    EXPECT_EQ(form->xFtp.ProxyPort, 1080);
    EXPECT_EQ(form->lblStatus.Caption(), "Could not connect to 127.0.0.1");
    EXPECT_TRUE(form->lstConnectionInfo.Items().last().startsWith("Error while connecting to '127.0.0.1'. Description: "));
    EXPECT_EQ(form->movToolbar.GetVariable("_root.Connected"), "0");

    setReg("Firewall Use", "1");
    setReg("Firewall Host Name", "127.0.0.1");
    setReg("Firewall User Name", "fw");
    setReg("Firewall Password", "fwpw");
    setReg("Firewall Proxy Port", "1");
    for (const auto& [type, kind] : std::vector<std::pair<QString, int>>{{"SOCKS 4", 4}, {"SOCKS 5", 5}, {"socks 4", 5}}) {
        setReg("Firewall Type", type);
        form->cmdQConnect_Click();
        EXPECT_EQ(form->xFtp.ProxyKind, kind) << type.toStdString();
        EXPECT_EQ(form->xFtp.ProxyHost, "127.0.0.1");
        EXPECT_EQ(form->xFtp.ProxyUser, "fw");
        EXPECT_EQ(form->xFtp.ProxyPassword, "fwpw");
        EXPECT_EQ(form->xFtp.ProxyPort, 1);
    }
}

TEST_F(MainWindow, RemotePaneBrowsesUpDownAndByPath)
{
    writeFile(root + "/a.txt", "hello");
    writeFile(root + "/b.bin", "bin");
    QDir().mkpath(root + "/Docs/Deep");
    writeFile(root + "/Docs/inner.txt", "inner");
    startServer();
    load();
    quickConnect();

    // Up from the root: nothing changes.
    form->cmdUpFtp_Click();
    EXPECT_EQ(form->lblStatus.Caption(), "Remote path already at a root folder.");
    EXPECT_EQ(form->lstRemoteFileList.count(), 3);

    selectNamed(form->lstRemoteFileList, {"Docs"});
    form->UpdateRemoteCommands();
    EXPECT_TRUE(form->miRenameRemoteFile.Enabled());
    EXPECT_TRUE(form->cmdReceive.Enabled());
    form->lstRemoteFileList_DblClick();
    EXPECT_EQ(form->lblStatus.Caption(), "Changed current remote folder.");
    EXPECT_EQ(rows(form->lstRemoteFileList), (QStringList{"Deep|D", "inner.txt|F"}));
    EXPECT_EQ(form->cboRemotePath.Text(), "/Docs");
    EXPECT_FALSE(form->cmdReceive.Enabled());

    form->cmdUpFtp_Click();
    EXPECT_EQ(form->lblStatus.Caption(), "Remote path now up one folder.");
    EXPECT_EQ(form->lstRemoteFileList.count(), 3);
    EXPECT_EQ(form->cboRemotePath.List(), (QStringList{"/", "/Docs"}));

    // The path box, and a path typed in another case is not listed twice.
    form->cboRemotePath.setText("/Docs/Deep");
    form->cboRemotePath_KeyPress(13);
    EXPECT_EQ(form->xFtp.CurrentFolder(), "/Docs/Deep");
    EXPECT_EQ(form->lstRemoteFileList.count(), 0);
    form->AddPathToComboBox("/DOCS", form->cboRemotePath);
    EXPECT_EQ(form->cboRemotePath.ListCount(), 3);
    EXPECT_EQ(form->cboRemotePath.Text(), "/DOCS");

    form->cboRemotePath.setText("/nowhere");
    form->cboRemotePath_KeyPress(13);
    EXPECT_EQ(form->lblStatus.Caption(), "Could not change current remote folder.");
    EXPECT_TRUE(form->lstConnectionInfo.Items().last().startsWith("Error while attempting to change current remote folder to '/nowhere'. Description: 550"));

    prompts.answerText(QString("/"));
    form->movToolbar_FSCommand("IDC_FS_GoToRemoteDir");
    EXPECT_EQ(form->lstRemoteFileList.count(), 3);
    prompts.answerText(QString());
    prompts.answer(MsgAnswer::Ok);
    form->mnuRemoteGoToRemoteDirectory_Click();
    EXPECT_EQ(prompts.last().text, "No command was entered.");
    EXPECT_EQ(prompts.last().icon, MsgIcon::Information);
}

TEST_F(MainWindow, RemoteFiltersViewsAndEntryKinds)
{
    writeFile(root + "/a.txt", "hello");
    writeFile(root + "/b.bin", "bin");
    startServer();
    load();
    quickConnect();

    prompts.answerText(QString("*.txt"));
    form->movToolbar_FSCommand("IDC_FS_RDirFilters");
    EXPECT_EQ(prompts.records().last().title, "Define Type For Remote Server Directory Listing");
    EXPECT_EQ(prompts.records().last().initial, "*.*");
    EXPECT_EQ(rows(form->lstRemoteFileList), QStringList{"a.txt|F"});
    EXPECT_FALSE(form->cmdAbort.Enabled());
    form->movToolbar_FSCommand("IDC_FS_RemoteRefresh");  // the filter lasts one listing
    EXPECT_EQ(form->lstRemoteFileList.count(), 2);

    prompts.answerText(std::nullopt);
    prompts.answer(MsgAnswer::Ok);
    form->mnuRemoteFilterDefineTypes_Click();
    EXPECT_EQ(prompts.last().text, "No command was entered.");
    EXPECT_EQ(prompts.last().icon, MsgIcon::Information);

    form->movToolbar_FSCommand("IDC_FS_RemoteListIcons");
    EXPECT_EQ(form->lstRemoteFileList.View(), 2);
    form->movToolbar_FSCommand("IDC_FS_RemoteLargeIcons");
    EXPECT_EQ(form->lstRemoteFileList.View(), 0);

    const int before = form->lstRemoteFileList.count();
    emit form->xFtp.ListingItem("odd", QDateTime(), 1, 3);
    EXPECT_EQ(form->lstRemoteFileList.count(), before);
    emit form->xFtp.ListingItem("link", QDateTime(), 1, 2);
    EXPECT_EQ(form->lstRemoteFileList.rows().last()->SmallIcon(), 3);
    EXPECT_EQ(form->lstRemoteFileList.rows().last()->cell(3), "E");
}

TEST_F(MainWindow, DoubleClickDownloadsFilesAndLinksThatAreNoFolders)
{
    const QByteArray data = QByteArray(300000, 'x') + "end";
    writeFile(root + "/file.bin", data);
    QFile::link(root + "/file.bin", root + "/shortcut");
    PyFtpServer::Options options;
    options.noMlsd = true;  // so the link is listed as a link
    startServer(options);
    load();
    form->sLocalPath = local;
    quickConnect();

    selectNamed(form->lstRemoteFileList, {"shortcut"});
    ASSERT_TRUE(rowNamed(form->lstRemoteFileList, "shortcut"));
    ASSERT_EQ(rowNamed(form->lstRemoteFileList, "shortcut")->SmallIcon(), 3);
    form->lstRemoteFileList_DblClick();
    waitQueue();
    EXPECT_EQ(readFile(local + "shortcut"), data);
    EXPECT_EQ(form->lblStatus.Caption(), "File download(s) complete.");
    EXPECT_EQ(form->prgStatus.Value(), 0);
    EXPECT_TRUE(rows(form->lstLocalFileList).contains("shortcut|F"));

    selectNamed(form->lstRemoteFileList, {"file.bin"});
    form->lstRemoteFileList_DblClick();
    waitQueue();
    EXPECT_EQ(readFile(local + "file.bin"), data);

    // The same again asks before replacing.
    QStringList shown;
    answerExist(FileClash::Skip, std::nullopt, &shown);
    form->lstRemoteFileList_DblClick();
    EXPECT_EQ(prompts.last().text, "frmExist");
    EXPECT_EQ(prompts.last().title, "File Already Exists");
    EXPECT_TRUE(shown.value(0).startsWith("The file '" + local + "file.bin' already exists in the local folder.")) << shown.value(0).toStdString();
    EXPECT_TRUE(form->lstConnectionInfo.Items().last().contains("was skipped. Reason code: 0x"));
}

// A download cut at 1966080 bytes: asked about with both sides shown, and continued with REST.
TEST_F(MainWindow, ADownloadOverALocalFileIsAskedAboutAndResumedWithRestByteForByte)
{
    const QByteArray data = randomBytes(3000000), cut = data.left(1966080);
    writeFile(root + "/big.bin", data);
    connectLocal();
    struct Case { std::optional<int> button; QByteArray after; QString status; };
    for (const Case& c : {Case{FileClash::Resume, data, "File download(s) complete."}, Case{FileClash::Skip, cut, "File download(s) complete."},
                          Case{std::nullopt, cut, "Download aborted."}, Case{FileClash::Overwrite, data, "File download(s) complete."}}) {
        writeFile(local + "big.bin", cut);
        QStringList shown;
        answerExist(c.button, std::nullopt, &shown);
        const qsizetype mark = form->lstConnectionInfo.Items().size();
        selectNamed(form->lstRemoteFileList, {"big.bin"});
        form->DownloadSelection();
        waitQueue();
        EXPECT_TRUE(readFile(local + "big.bin") == c.after);
        EXPECT_EQ(form->lblStatus.Caption(), c.status);
        EXPECT_EQ(!form->lstConnectionInfo.Items().mid(mark).filter(QRegularExpression(R"(^\[\d+\] REST 1966080$)")).isEmpty(), c.button == FileClash::Resume);
        EXPECT_TRUE(shown.value(0).contains(QRegularExpression("^The file '.*big.bin' already exists in the local folder. .* / Destination File Size: "
                                                               "1966080 Last Modified: .+ / Source File Size: 3000000 Last Modified: .+$")));
    }
}

TEST_F(MainWindow, AFolderThatExistsLocallyIsReceivedIntoAskingAboutEachFileThere)
{
    for (const QString name : {"a", "b", "sub/c"})
        writeFile(root + "/tree/" + name, "server " + name.toUtf8());
    for (const QString name : {"a", "sub/c", "mine"})
        writeFile(local + "tree/" + name, "local");
    connectLocal();
    prompts.answer(MsgAnswer::Yes);  // subfolders too
    QStringList shown;
    answerExist(FileClash::Skip, std::nullopt, &shown);
    answerExist(FileClash::Skip, std::nullopt, &shown);
    selectNamed(form->lstRemoteFileList, {"tree"});
    form->DownloadSelection();
    waitQueue();
    EXPECT_EQ(form->lblStatus.Caption(), "File download(s) complete.");
    EXPECT_EQ(shown.filter("The file '" + local + "tree/a' already exists").size(), 1) << shown.join("\n").toStdString();
    EXPECT_EQ(readFile(local + "tree/a") + readFile(local + "tree/sub/c") + readFile(local + "tree/mine") + readFile(local + "tree/b"), "locallocallocalserver b");
}

TEST_F(MainWindow, ToolbarCommandsActOrSayWhyTheyCannot)
{
    load();
    prompts.answerForm([](Form& options) { options.Hide(); });
    form->movToolbar_FSCommand("IDC_FS_Options");
    EXPECT_EQ(prompts.last().kind, ScriptedPrompts::Kind::ShowModal);
    EXPECT_EQ(prompts.last().text, "frmOptions");
    form->movToolbar_FSCommand("IDC_FS_Upload");
    EXPECT_EQ(form->lblStatus.Caption(), "Cannot upload file(s) when not connected.");
    form->movToolbar_FSCommand("IDC_FS_HideA");
    EXPECT_FALSE(form->frameQuickConnect.Visible());
    form->movToolbar_FSCommand("IDC_FS_ShowC");
    EXPECT_TRUE(form->frameCustomCommand.Visible());
    form->movToolbar_FSCommand("IDC_FS_HideB");
    EXPECT_FALSE(form->FrameMainLists.Visible());
    EXPECT_FALSE(form->frameLog.Visible());
    // About is a box over the window; the panes stay as they were.
    prompts.answer(MsgAnswer::Ok);
    form->movToolbar_FSCommand("IDC_FS_openAbout");
    EXPECT_EQ(prompts.last().title, "About Tessaly");
    EXPECT_TRUE(prompts.last().text.startsWith("Tessaly " HARBEL_VERSION "\n"));
    EXPECT_TRUE(form->frameCustomCommand.Visible());
    EXPECT_FALSE(form->frameLog.Visible());
    form->movToolbar_FSCommand("IDC_FS_closeAbout");
    EXPECT_TRUE(form->frameQuickConnect.Visible() && form->FrameMainLists.Visible() && form->frameLog.Visible());
    form->movToolbar_FSCommand("IDC_FS_minimize");
    EXPECT_EQ(form->WindowState(), 1);
    form->movToolbar_FSCommand("IDC_FS_tray");
    EXPECT_FALSE(form->Visible());
    form->Tray1.MouseMessage(WM_LBUTTONDOWN);
    EXPECT_TRUE(form->Visible());
    form->DisplayMessage("something");
    form->movToolbar_FSCommand("IDC_FS_ClearLog");
    EXPECT_TRUE(form->lstConnectionInfo.Items().isEmpty());

    form->Abort();
    EXPECT_EQ(form->lblStatus.Caption(), "Aborting the current operation.");
    EXPECT_TRUE(form->tmrRefresh.isEnabled());
    form->tmrRefresh_Timer();
    EXPECT_FALSE(form->tmrRefresh.isEnabled());

    // The download manager starts (or shows its window, when it runs) beside this window.
    int quits = 0;
    QObject::connect(form.get(), &frmMain::quitRequested, [&] { ++quits; });
    form->movToolbar_FSCommand("IDC_FS_launchDM");
    EXPECT_EQ(quits, 0);
    EXPECT_EQ(shell.calls.last(), "start " + AppFolder::executableFolder() + "/pellanor");
    EXPECT_TRUE(form->Tray1.IsVisible());
    EXPECT_TRUE(form->m_xLocalPaths);
}

TEST_F(MainWindow, AccountPromptAndAFolderThatCannotBeReadAfterLogin)
{
    test::ScriptedFtpServer scripted;
    ASSERT_TRUE(scripted.listen());
    scripted.on("PASS", {"332 Account please\r\n"});
    scripted.on("ACCT", {"230 In\r\n"});
    scripted.on("PWD", {"550 No folder for you\r\n"});
    load();
    form->xFtp.TimeoutSeconds = 10;
    form->txtQaddress.setText("127.0.0.1");
    form->txtQport.setText(QString::number(scripted.port()));
    form->txtQuser.setText("tess");
    prompts.answerText(QString("acct-9"));
    form->cmdQConnect_Click();
    EXPECT_EQ(prompts.records()[0].text, "An account is required for this server.");
    EXPECT_EQ(prompts.records()[0].title, "FTP Client[Query]");
    EXPECT_TRUE(scripted.received().contains("ACCT acct-9"));
    EXPECT_EQ(form->movToolbar.GetVariable("_root.Connected"), "0");
    EXPECT_TRUE(form->lstConnectionInfo.Items().contains(
        "Error while obtaining current remote folder after connection. Description: 550 No folder for you"));
    // The session itself stands: the listing still runs and the status reports the connection.
    EXPECT_EQ(form->xFtp.State(), 2);
}

TEST_F(MainWindow, DisconnectingDuringADownloadEndsItCleanlyAndKeepsThePart)
{
    QByteArray big(16 * 1024 * 1024, '\0');
    for (int i = 0; i < big.size(); ++i)
        big[i] = char(i * 7 + i / 4096);
    writeFile(root + "/big.bin", big);
    startServer();
    load();
    form->sLocalPath = local;
    quickConnect();

    // The download runs on the queue's connection; Disconnect ends it with the session.
    bool closed = false;
    QObject::connect(&form->transferQueue(), &TransferQueue::progress, [&] {
        if (!closed && form->transferQueue().bytesMoved() > 0) {
            closed = true;
            form->CloseSession();  // the user presses Disconnect while the download runs
        }
    });
    selectNamed(form->lstRemoteFileList, {"big.bin"});
    form->DownloadSelection();
    waitQueue();
    EXPECT_TRUE(closed);
    EXPECT_EQ(form->xFtp.State(), 0);
    EXPECT_EQ(form->lblStatus.Caption(), "Download aborted.");
    EXPECT_TRUE(form->lstConnectionInfo.Items().contains("Download successfully aborted."));
    EXPECT_EQ(form->lstRemoteFileList.count(), 0);
    EXPECT_TRUE(form->cmdQConnect.Enabled());
    const QByteArray part = readFile(local + "big.bin");
    EXPECT_LT(part.size(), big.size());
    EXPECT_EQ(part, big.left(part.size()));
    EXPECT_FALSE(form->cmdAbort.Enabled());
}

// A huge folder or a long session must not grow the window without end: the remote list stops at
// its row limit and says once per listing how much it left out; the log list keeps its latest lines
// while the log file keeps them all.
TEST_F(MainWindow, RemoteListAndLogListKeepTheirBounds)
{
    for (int i = 0; i < 5; ++i)
        writeFile(root + QString("/f%1.txt").arg(i), "x");
    startServer();
    load();
    form->remoteRowLimit = 3;
    quickConnect();
    EXPECT_EQ(form->lstRemoteFileList.count(), 3);
    const QString leftOut = "2 entries of the remote folder are not shown: the list shows at most 3.";
    EXPECT_EQ(form->lstConnectionInfo.Items().count(leftOut), 1);
    form->movToolbar_FSCommand("IDC_FS_RemoteRefresh");
    EXPECT_EQ(form->lstRemoteFileList.count(), 3);
    EXPECT_EQ(form->lstConnectionInfo.Items().count(leftOut), 2);
    form->remoteRowLimit = frmMain::kMaxRemoteRows;
    form->movToolbar_FSCommand("IDC_FS_RemoteRefresh");
    EXPECT_EQ(form->lstRemoteFileList.count(), 5);
    EXPECT_EQ(form->lstConnectionInfo.Items().count(leftOut), 2);

    const int limit = frmMain::kMaxLogLines;
    for (int i = 0; i < limit + 5; ++i)
        form->DisplayMessage(QString("line %1").arg(i));
    const QStringList& items = form->lstConnectionInfo.Items();
    ASSERT_EQ(items.size(), limit);
    EXPECT_EQ(items.first(), "line 5");
    EXPECT_EQ(items.last(), QString("line %1").arg(limit + 4));
    EXPECT_EQ(form->lstConnectionInfo.ListIndex(), limit - 1);
    const QString file = logText();
    EXPECT_TRUE(file.contains("\"line 0\""));
    EXPECT_TRUE(file.contains(leftOut));
    EXPECT_EQ(file.count("\"line "), limit + 5);
}
