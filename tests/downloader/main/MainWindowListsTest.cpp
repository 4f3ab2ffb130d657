// Pellanor's main window: its lists, their commands and the files they are kept in, the toolbar, and
// the folder chooser.

#include "downloader/main/frmMain.h"

#include "downloader/main/DownloadRow.h"
#include "tests/downloader/main/QueueRowTexts.h"
#include "downloader/window/frmDownload.h"
#include "downloader/main/History.h"
#include "downloader/main/frmDir.h"
#include "downloader/main/frmExist.h"
#include "downloader/settings/DownloadSettings.h"

#include "common/platform/Clipboard.h"
#include "common/platform/CRegister.h"
#include "common/prompts/ScriptedPrompts.h"
#include "common/platform/SingleInstance.h"
#include "common/support/LangString.h"
#include "tests/support/ScriptedHttpServer.h"
#include "tests/support/TestEnvironment.h"
#include "tests/downloader/main/PellanorMainWindowFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

using namespace harbel;
using harbel::test::ScriptedHttpServer;
using harbel::test::readFile;
using harbel::test::waitUntil;
using harbel::test::writeFile;

using MainWindow = harbel::test::PellanorMainWindow;

namespace {

QStringList historyLines()
{
    QString text = QString::fromUtf8(readFile(History::path()));
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

}  // namespace

TEST_F(MainWindow, TheEnterUrlDialogOffersBothListsAndTheClipboard)
{
    load();
    form.windows.DownloadLater("http://h/q.zip", folder + "/q.zip");
    test::setRowText(*form.lstComplete.Add({}, 4), DownloadRow::URL, "http://h/c.zip");
    form.windows.DownloadLater("http://h/q.zip", folder + "/q.zip");

    clipboard.setText("  see http://h/clip.zip  ");
    SettingsStore::instance().record.ClipboardMonitoring = false;
    form.URLForm.Form_Load();
    EXPECT_EQ(form.URLForm.urlHistory, QStringList({"http://h/q.zip", "http://h/q.zip", "http://h/c.zip"}));
    EXPECT_EQ(form.URLForm.txtURL.Text(), "");
    SettingsStore::instance().record.ClipboardMonitoring = true;
    form.URLForm.Form_Load();
    EXPECT_EQ(form.URLForm.txtURL.Text(), "see http://h/clip.zip");
    clipboard.setText("HTTP://h/upper.zip");
    form.URLForm.Form_Load();
    EXPECT_EQ(form.URLForm.txtURL.Text(), "");

    // A refused address keeps the dialog open with its text.
    prompts.answerForm([](Form& f) {
        auto& dialog = static_cast<frmURL&>(f);
        dialog.txtURL.setText("http://");
        dialog.cmdOk_Click();
        EXPECT_TRUE(dialog.Visible());
        EXPECT_EQ(dialog.txtURL.Text(), "http://");
    });
    prompts.answer(MsgAnswer::Ok);
    form.Flash_FSCommand("IDC_FS_AddURL");
    EXPECT_EQ(prompts.records().at(0).text, "frmURL");
    EXPECT_EQ(prompts.records().at(1).text, "Invalid URL");
}

TEST_F(MainWindow, ListCommandsAndTheRedownloadWalks)
{
    load();
    for (const char* name : {"a", "b", "c", "d"})
        form.windows.DownloadLater(QStringLiteral("http://h/%1.zip").arg(name), folder + "/" + name);
    ListView& q = form.lstMain;
    q.at(1)->setSelected(true);
    q.at(3)->setSelected(true);
    q.setSelectedItem(q.at(3));
    form.removeselection_qmnu_Click();
    ASSERT_EQ(q.count(), 2);
    EXPECT_EQ(q.at(0)->cell(DownloadRow::Filename), folder + "/a");
    EXPECT_EQ(q.at(1)->cell(DownloadRow::Filename), folder + "/c");

    form.selectall_qmnu_Click();
    EXPECT_EQ(q.selectedRows().size(), 2);
    form.deselectall_qmnu_Click();
    EXPECT_FALSE(q.anySelected());

    form.lstMain_ColumnClick(1);
    EXPECT_EQ(q.at(0)->cell(DownloadRow::Filename), folder + "/c");
    form.lstMain_ColumnClick(6);
    EXPECT_EQ(q.at(0)->cell(DownloadRow::Filename), folder + "/a");

    // The address a row restarts with.
    EXPECT_EQ(DownloadWindows::reDownloadAddress("mirror: HTTP://h/x.zip"), "HTTP://h/x.zip");
    EXPECT_EQ(DownloadWindows::reDownloadAddress("via http://p/ftp://h/x.zip"), "ftp://h/x.zip");
    EXPECT_EQ(DownloadWindows::reDownloadAddress("nothing"), "nothing");
    EXPECT_EQ(DownloadWindows::reDownloadAddress("mirror: Https://h/x.zip"), "Https://h/x.zip");
    EXPECT_EQ(DownloadWindows::reDownloadAddress("via https://p/ftps://h/x.zip"), "ftps://h/x.zip");
    EXPECT_EQ(DownloadWindows::reDownloadAddress("SFTP://me@h/srv/x.zip"), "SFTP://me@h/srv/x.zip");

    // Completed rows start again as new queue rows and stay where they are.
    form.clear_qmnu_Click();
    EXPECT_EQ(q.count(), 0);
    ListRow* done = form.lstComplete.Add({}, 4);
    test::setRowText(*done, DownloadRow::Filename, folder + "/again.bin");
    test::setRowText(*done, DownloadRow::URL, "got it from " + server.url("again.bin"));
    done->setSelected(true);
    form.lstComplete.setSelectedItem(done);
    form.mnuComPopRedown_Click();
    ASSERT_TRUE(waitUntil([&] { return form.lstComplete.count() == 2; }));
    EXPECT_EQ(readFile(folder + "/again.bin"), server.content);

    // The queue walk restarts a row in place, in the window of its position.
    ListRow* row = form.windows.DownloadLater(server.url("row.bin"), folder + "/row.bin");
    row->setSelected(true);
    q.setSelectedItem(row);
    form.mnuReDownload_Click();
    EXPECT_EQ(form.windows.existing(0)->lstItem, row);
    ASSERT_TRUE(waitUntil([&] { return q.count() == 0; }));
    EXPECT_EQ(readFile(folder + "/row.bin"), server.content);

    form.lstComplete.at(0)->setSelected(true);
    form.mnuComPopRemoveSel_Click();
    EXPECT_EQ(form.lstComplete.count(), 2);
    form.mnuComPopRemoveAll_Click();
    EXPECT_EQ(form.lstComplete.count(), 0);
}

TEST_F(MainWindow, AnExistingFileIsSettledByTheScheduleOrByTheQuestion)
{
    load();
    server.stall = true;
    writeFile(folder + "/have.bin", "old");
    form.windows.UseScheduleExistsAction = true;
    const struct { int schedule; qint16 action; } cases[] = {{1, 0}, {2, -1}, {3, -2}};
    for (const auto& c : cases) {
        writeFile(folder + "/have.bin", "old");  // an overwrite before removed it
        form.windows.ScheduleExistsAction = c.schedule;
        form.windows.DownloadNow(server.url("have.bin"), folder + "/have.bin", -1);
        EXPECT_EQ(SettingsStore::instance().FileExistsAction, c.action);
    }
    form.windows.UseScheduleExistsAction = false;
    writeFile(folder + "/have.bin", "old");
    prompts.answerForm([](Form& f) { static_cast<frmExist&>(f).cmdResume_Click(); });
    form.windows.DownloadNow(server.url("have.bin"), folder + "/have.bin", -1);
    EXPECT_EQ(prompts.last().text, "frmExist");
    EXPECT_EQ(SettingsStore::instance().FileExistsAction, -1);
    form.windows.closeAll();

    // Closed with Esc or the window's close button: that is Cancel, and the file stays as it was.
    writeFile(folder + "/kept.bin", "mine");
    const qsizetype requests = server.requests().size();
    prompts.answerForm([](Form&) {});
    frmDownload* job = form.windows.DownloadNow(server.url("kept.bin"), folder + "/kept.bin", -1);
    EXPECT_EQ(SettingsStore::instance().FileExistsAction, -2);
    test::runFor(100);
    EXPECT_TRUE(!job || !job->Visible());
    EXPECT_EQ(server.requests().size(), requests);
    EXPECT_EQ(readFile(folder + "/kept.bin"), "mine");
}

TEST_F(MainWindow, ANewDownloadNeverStopsARunningOne)
{
    load();
    server.stall = true;
    DownloadWindows& w = form.windows;
    frmDownload* a = w.DownloadNow(server.url("a.bin"), folder + "/a.bin", -1);
    frmDownload* b = w.DownloadNow(server.url("b.bin"), folder + "/b.bin", -1);
    ASSERT_TRUE(server.waitForRequests(2));
    ListRow* rowB = form.lstMain.at(1);
    // The first row leaves the queue while both still run (as a finished row does): the queue's
    // length now names the second download's slot.
    form.lstMain.Remove(1);
    frmDownload* c = w.DownloadNow(server.url("c.bin"), folder + "/c.bin", -1);
    ASSERT_NE(c, nullptr);
    EXPECT_NE(c, a);
    EXPECT_NE(c, b);
    EXPECT_TRUE(w.isBusy(1));
    EXPECT_EQ(b->lstItem, rowB);
    EXPECT_EQ(form.lstMain.count(), 2);

    // Restarting a row takes its own window, not the one its position names.
    EXPECT_EQ(w.ReDownloadRow(server.url("b.bin"), folder + "/b.bin", rowB->Index(), rowB), b);
    EXPECT_TRUE(w.isBusy(0));
    w.closeAll();
}

TEST_F(MainWindow, AFullQueueRefusesTheStartWithAMessage)
{
    load();
    for (int i = 0; i < DownloadWindows::kSlots; ++i)
        form.windows.DownloadLater("http://h/q.zip", folder + "/q.zip");
    prompts.answer(MsgAnswer::Ok);
    EXPECT_EQ(form.windows.DownloadNow(server.url("f.bin"), folder + "/f.bin", -1), nullptr);
    EXPECT_TRUE(prompts.last().text.startsWith("No download window is free"));
    EXPECT_EQ(form.lstMain.count(), DownloadWindows::kSlots);
    EXPECT_EQ(server.connections(), 0);
}

TEST_F(MainWindow, EveryListChangeIsSavedWithinASecond)
{
    load();
    form.today = [] { return QDate(2027, 3, 5); };
    EXPECT_FALSE(QFile::exists(History::path()));
    form.windows.DownloadLater("http://h/a.zip", folder + "/a.zip");
    form.windows.DownloadLater("http://h/b.zip", folder + "/b.zip");
    EXPECT_TRUE(form.historySavePending());
    EXPECT_FALSE(QFile::exists(History::path()));  // coalesced: one write for both rows
    form.tmrSaveHistory_Timer();
    EXPECT_FALSE(form.historySavePending());
    QStringList lines = historyLines();
    ASSERT_EQ(lines.size(), 16);
    EXPECT_EQ(lines[5], "http://h/a.zip");
    EXPECT_EQ(lines[6], QLocale::system().toString(QDate(2027, 3, 5), QLocale::ShortFormat));
    EXPECT_EQ(lines[14], "Complete List");

    // A cell change alone is no reason to write; a removal is.
    form.lstMain.at(0)->setCell(DownloadRow::Status, "x");
    EXPECT_FALSE(form.historySavePending());
    form.lstMain.Remove(1);
    EXPECT_TRUE(form.historySavePending());
    form.tmrSaveHistory_Timer();
    EXPECT_EQ(historyLines().size(), 9);
    form.clear_qmnu_Click();
    form.tmrSaveHistory_Timer();
    EXPECT_FALSE(QFile::exists(History::path()));
}

TEST_F(MainWindow, ShutdownSavesRunningRowsBeforeTheirWindowsClose)
{
    load();
    server.stall = true;
    QList<frmDownload*> jobs;
    for (int i = 0; i < 3; ++i)
        jobs << form.windows.DownloadNow(server.url(QStringLiteral("run%1.bin").arg(i)),
                                         folder + QStringLiteral("/run%1.bin").arg(i), -1);
    ASSERT_TRUE(server.waitForRequests(3));
    for (int i = 0; i < 3; ++i)
        test::setRowText(*form.lstMain.at(i), DownloadRow::Percent, QStringLiteral("%1%").arg(10 * (i + 1)));
    QList<QStringList> shown;
    for (ListRow* row : form.lstMain.rows())
        shown << row->cells().mid(1, 6);

    bool quit = false;
    QObject::connect(&form, &frmMain::quitRequested, [&] { quit = true; });
    prompts.answer(MsgAnswer::Ok);  // downloads are running: the user is asked first
    form.Flash_FSCommand("IDC_FS_close");
    EXPECT_TRUE(quit);
    EXPECT_FALSE(form.Tray1.IsVisible());
    for (frmDownload* job : jobs)
        EXPECT_FALSE(job->Visible());

    // They end paused, and their rows are written so.
    const QStringList lines = historyLines();
    ASSERT_EQ(lines.size(), 3 * 7 + 2);
    for (int i = 0; i < 3; ++i) {
        shown[i][DownloadRow::Status - 1] = "Paused/Stopped";
        EXPECT_EQ(lines.mid(i * 7, 6), shown[i]) << i;
    }
    // The history of the next start shows the same rows.
    frmMain next;
    next.Form_Load();
    ASSERT_EQ(next.lstMain.count(), 3);
    EXPECT_EQ(next.lstMain.at(2)->cell(DownloadRow::Percent), "30%");
}

TEST_F(MainWindow, FilesThatCannotBeReadAreToldAndNeverOverwritten)
{
    QDir().mkpath(History::path());
    QDir().mkpath(SettingsStore::settingsIniPath());
    prompts.answer(MsgAnswer::Ok);
    prompts.answer(MsgAnswer::Ok);
    load();
    ASSERT_EQ(prompts.records().size(), 2);
    EXPECT_TRUE(prompts.records()[0].text.contains("Settings.ini")) << prompts.records()[0].text.toStdString();
    EXPECT_TRUE(prompts.records()[1].text.contains("History.ini")) << prompts.records()[1].text.toStdString();
    EXPECT_TRUE(form.historyUnreadable());

    // Running as root every file reads, so a file put there after the start stands for one of the
    // user's files this run could not read: neither the lists nor the last folder replace it.
    QDir(History::path()).removeRecursively();
    QDir(SettingsStore::settingsIniPath()).removeRecursively();
    writeFile(History::path(), "the user's queue\r\n");
    writeFile(SettingsStore::settingsIniPath(), "the user's folders\r\n");
    form.windows.DownloadLater("http://h/a.zip", folder + "/a.zip");
    EXPECT_FALSE(SettingsStore::instance().SaveToINI());
    form.tmrSaveHistory_Timer();
    EXPECT_EQ(readFile(History::path()), "the user's queue\r\n");
    EXPECT_EQ(readFile(SettingsStore::settingsIniPath()), "the user's folders\r\n");
    EXPECT_TRUE(form.StatusBar.PanelText(1).contains("History.ini")) << form.StatusBar.PanelText(1).toStdString();

    // Once the user moves it away, the lists are saved again.
    QFile::remove(History::path());
    form.tmrSaveHistory_Timer();
    EXPECT_FALSE(form.historyUnreadable());
    EXPECT_EQ(historyLines().value(5), "http://h/a.zip");
    QFile::remove(SettingsStore::settingsIniPath());
    SettingsStore::instance().LoadfromINI();
}

TEST_F(MainWindow, AHistoryThatCannotBeWrittenIsToldAndKeptInTheLists)
{
    load();
    form.windows.DownloadLater("http://h/a.zip", folder + "/a.zip");
    QDir().mkpath(History::path() + "/inside");  // nothing can replace a folder that holds a file
    form.tmrSaveHistory_Timer();
    EXPECT_TRUE(form.StatusBar.PanelText(1).contains("History.ini")) << form.StatusBar.PanelText(1).toStdString();
    EXPECT_EQ(form.lstMain.count(), 1);

    // At exit the lists would be lost: the user is told.
    prompts.answer(MsgAnswer::Ok);
    form.Flash_FSCommand("IDC_FS_close");
    ASSERT_EQ(prompts.records().size(), 1);
    EXPECT_EQ(prompts.last().icon, MsgIcon::Exclamation);
    EXPECT_TRUE(prompts.last().text.contains("History.ini")) << prompts.last().text.toStdString();
}

TEST_F(MainWindow, ToolbarCommands)
{
    load();
    form.Flash_FSCommand("IDC_FS_HideB");
    EXPECT_FALSE(form.lstMain.Visible());
    form.Flash_FSCommand("IDC_FS_closeAbout");
    EXPECT_TRUE(form.lstMain.Visible());
    form.Flash_FSCommand("IDC_FS_HideC");
    prompts.answer(MsgAnswer::Ok);
    form.Flash_FSCommand("IDC_FS_openAbout");
    EXPECT_EQ(prompts.last().title, "About Pellanor");
    EXPECT_TRUE(form.lstMain.Visible());
    EXPECT_FALSE(form.lstComplete.Visible());
    form.Flash_FSCommand("IDC_FS_ShowB");
    form.Flash_FSCommand("IDC_FS_ShowC");
    EXPECT_TRUE(form.lstComplete.Visible());

    form.Show();
    form.Flash_FSCommand("IDC_FS_tray");
    EXPECT_FALSE(form.Visible());
    form.Tray1.MouseMessage(WM_LBUTTONDOWN);
    EXPECT_TRUE(waitUntil([&] { return form.Visible(); }));
    form.Flash_FSCommand("IDC_FS_minimize");
    EXPECT_EQ(form.WindowState(), 1);

    prompts.answerForm([](Form& f) { static_cast<frmSettings&>(f).cmdCancel_Click(); });
    form.Flash_FSCommand("IDC_FS_Settings");
    EXPECT_EQ(prompts.last().text, "frmSettings");
    const QString status = form.StatusBar.PanelText(1);
    form.Flash_FSCommand("IDC_FS_NoSuchThing");
    EXPECT_EQ(form.StatusBar.PanelText(1), status);

    form.tmrGraph_Timer();
    EXPECT_EQ(form.StatusBar.PanelText(0), "Total Transfer Rate: 0 B/s");

    // Connected shows the last report of any window.
    form.windows.window(3);
    emit form.windows.existing(3)->connectingChanged(true);
    EXPECT_EQ(form.Flash.GetVariable("_root.Connected"), "1");
    emit form.windows.existing(3)->connectingChanged(false);
    EXPECT_EQ(form.Flash.GetVariable("_root.Connected"), "0");
}

TEST(FolderChooser, OkTakesThePathCancelKeepsTheOldOneAndNewFoldersStayInside)
{
    ScriptedPrompts prompts;
    Prompts::setInstance(&prompts);
    const QString base = test::testFolder() + "/pick";
    QDir().mkpath(base);
    frmDir chooser;
    EXPECT_EQ(chooser.Caption(), "Select Directory");
    chooser.strDirPath = "/before";
    chooser.setPath(base);
    chooser.Show();
    chooser.cmdCancel_Click();
    EXPECT_EQ(chooser.strDirPath, "/before");

    EXPECT_TRUE(chooser.cmdNewFolder_Click("Music"));
    EXPECT_TRUE(QFileInfo(base + "/Music").isDir());
    EXPECT_EQ(chooser.txtPath.Text(), base + "/Music");
    for (const char* bad : {"..", "a/b", ""}) {
        prompts.answer(MsgAnswer::Ok);
        EXPECT_FALSE(chooser.cmdNewFolder_Click(bad)) << bad;
    }
    EXPECT_EQ(chooser.txtPath.Text(), base + "/Music");
    chooser.cmdOk_Click();
    EXPECT_EQ(chooser.strDirPath, base + "/Music");
    EXPECT_FALSE(chooser.Visible());
    Prompts::setInstance(nullptr);
}
