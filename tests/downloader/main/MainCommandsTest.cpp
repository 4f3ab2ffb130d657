#include "downloader/main/frmMain.h"

#include "downloader/main/DownloadRow.h"
#include "downloader/window/frmDownload.h"
#include "downloader/main/History.h"

#include "common/platform/AppFolder.h"
#include "common/platform/Shell.h"
#include "tests/support/DownloadJobTest.h"
#include "tests/support/NginxServer.h"
#include "tests/support/ScriptedHttpServer.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <tuple>

#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

using namespace harbel;
using harbel::test::readFile;
using harbel::test::waitUntil;
using harbel::test::writeFile;

namespace {

// Records what the programs ask of the desktop, and what the caller had done by then.
class RecordingShell final : public Shell {
public:
    std::function<void()> onStart;
    QStringList opened;
    QStringList started;
    bool open(const QString& pathOrUrl) override
    {
        opened << pathOrUrl;
        return true;
    }
    bool start(const QString& program, const QStringList&) override
    {
        started << program;
        if (onStart)
            onStart();
        return true;
    }
};

class MainCommands : public test::DownloadJobTest {
protected:
    void SetUp() override
    {
        DownloadJobTest::SetUp();
        Shell::setInstance(&shell);
    }
    void TearDown() override
    {
        form.windows.closeAll();
        Shell::setInstance(nullptr);
        DownloadJobTest::TearDown();
    }

    RecordingShell shell;
    frmMain form;
};

QString status(const frmDownload* job)
{
    return job->lstItem ? job->lstItem->cell(DownloadRow::Status) : job->lblStatus.Caption();
}

}  // namespace

TEST_F(MainCommands, PauseResumeAndStopAllActOnTheDownloadsTheyConcern)
{
    test::NginxServer nginx(test::testFolder() + "/nginx");
    nginx.setLimitRate("128k");
    QList<QByteArray> content;
    for (int i = 0; i < 3; ++i) {
        content << test::randomBytes(200 * 1024 + i);
        writeFile(nginx.root() + QStringLiteral("/r%1.bin").arg(i), content[i]);
    }
    writeFile(nginx.root() + "/big.bin", test::randomBytes(8 * 1024 * 1024));
    ASSERT_TRUE(nginx.start()) << nginx.why().toStdString();
    form.Form_Load();
    DownloadWindows& w = form.windows;

    QList<frmDownload*> jobs;
    for (int i = 0; i < 3; ++i)
        jobs << w.DownloadNow(nginx.url(QStringLiteral("r%1.bin").arg(i)), folder + QStringLiteral("/r%1.bin").arg(i), -1);
    frmDownload* failed = w.DownloadNow(nginx.url("missing.bin"), folder + "/missing.bin", -1);
    frmDownload* stopped = w.DownloadNow(nginx.url("big.bin"), folder + "/stopped.bin", -1);
    ASSERT_TRUE(waitUntil([&] {
        return std::all_of(jobs.begin(), jobs.end(), [](frmDownload* j) { return j->tmrUpdate.Enabled(); })
               && stopped->tmrUpdate.Enabled() && !status(failed).isEmpty() && status(failed) != "N/A";
    }));
    // The user stops one download and closes its window.
    stopped->StopMe();
    stopped->StopMe();
    ASSERT_FALSE(stopped->Visible());
    const QString failedStatus = status(failed);
    const qint64 stoppedSize = QFileInfo(folder + "/stopped.bin").size();

    form.Flash_FSCommand("IDC_FS_PauseAll");
    for (frmDownload* job : jobs) {
        EXPECT_FALSE(job->tmrUpdate.Enabled());
        EXPECT_EQ(status(job), "Paused");
        EXPECT_EQ(job->cmdPause.Caption(), job->capResume());
    }

    // Resume All goes on with the paused ones only: the failed and the stopped download keep
    // their status, and nothing is fetched for them.
    form.Flash_FSCommand("IDC_FS_ResumeAll");
    for (frmDownload* job : jobs)
        EXPECT_NE(job->cmdPause.Caption(), job->capResume());
    EXPECT_EQ(status(failed), failedStatus);
    EXPECT_FALSE(stopped->Visible());
    EXPECT_FALSE(stopped->tmrUpdate.Enabled());
    EXPECT_EQ(status(stopped), "Stopped");
    ASSERT_TRUE(waitUntil([&] { return form.lstComplete.count() == 3; }, 15000));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(readFile(folder + QStringLiteral("/r%1.bin").arg(i)), content[i]) << i;
    EXPECT_EQ(QFileInfo(folder + "/stopped.bin").size(), stoppedSize);
    EXPECT_EQ(status(failed), failedStatus);

    // Stop All ends what runs.
    frmDownload* a = w.DownloadNow(nginx.url("big.bin"), folder + "/a.bin", -1);
    frmDownload* b = w.DownloadNow(nginx.url("big.bin"), folder + "/b.bin", -1);
    ASSERT_TRUE(waitUntil([&] { return a->tmrUpdate.Enabled() && b->tmrUpdate.Enabled(); }));
    form.StopAll();
    for (frmDownload* job : {a, b}) {
        EXPECT_FALSE(job->tmrUpdate.Enabled());
        EXPECT_EQ(status(job), "Stopped");
        EXPECT_EQ(job->lblStatus.Caption(), "Stopped");
    }
}

TEST_F(MainCommands, RateListsAboutWindowAndTheUserGuide)
{
    form.Form_Load();
    // The total rate of every window, in the windows' own style; it follows what runs, down to 0
    // once nothing does, whatever the queue holds.
    form.tmrGraph_Timer();
    EXPECT_EQ(form.StatusBar.PanelText(0), "Total Transfer Rate: 0 B/s");
    form.windows.DownloadLater("http://h/a.zip", folder + "/a.zip");
    form.windows.window(0)->intTransferRate = 1500;
    form.windows.window(7)->intTransferRate = 2750.5;
    form.tmrGraph_Timer();
    EXPECT_EQ(form.StatusBar.PanelText(0), "Total Transfer Rate: 4.15 KB/s");
    form.clear_qmnu_Click();
    form.windows.existing(7)->intTransferRate = 0;
    form.tmrGraph_Timer();
    EXPECT_EQ(form.StatusBar.PanelText(0), "Total Transfer Rate: 1.46 KB/s");
    form.windows.existing(0)->intTransferRate = 0;
    form.tmrGraph_Timer();
    EXPECT_EQ(form.StatusBar.PanelText(0), "Total Transfer Rate: 0 B/s");

    // Show and hide the lists; About is a box over the window that leaves both lists in place,
    // and the suite keeps its name there.
    form.Flash_FSCommand("IDC_FS_HideC");
    EXPECT_FALSE(form.lstComplete.Visible());
    form.Flash_FSCommand("IDC_FS_ShowC");
    EXPECT_TRUE(form.lstComplete.Visible());
    prompts.answer(MsgAnswer::Ok);
    form.About_mnu_Click();
    EXPECT_TRUE(form.lstMain.Visible());
    EXPECT_TRUE(form.lstComplete.Visible());
    EXPECT_EQ(prompts.last().title, "About Pellanor");
    EXPECT_TRUE(prompts.last().text.startsWith("Pellanor " HARBEL_VERSION "\n"));
    EXPECT_TRUE(prompts.last().text.contains("Harbel suite"));
    prompts.clear();
    form.Flash_FSCommand("IDC_FS_closeAbout");
    EXPECT_TRUE(form.lstMain.Visible());
    EXPECT_TRUE(form.lstComplete.Visible());

    // The window hides into the tray and comes back from its menu, no longer minimised.
    form.Show();
    form.Flash_FSCommand("IDC_FS_minimize");
    form.hidewindows_mnu_Click();
    EXPECT_FALSE(form.Visible());
    form.showstatus_traymnu_Click();
    EXPECT_TRUE(form.Visible());
    EXPECT_EQ(form.WindowState(), 0);

    // "Enter URL" from the tray opens the dialog and returns at once; "Add URL" waits for it.
    QList<Form*> modeless;
    QObject::connect(&form, &frmMain::modelessRequested, [&](Form* f) { modeless << f; });
    form.enterurl_traymnu_Click();
    EXPECT_EQ(modeless, QList<Form*>{&form.URLForm});
    EXPECT_TRUE(form.URLForm.Visible());
    EXPECT_TRUE(prompts.records().isEmpty());
    form.URLForm.txtURL.setText("http://typed/");
    form.enterurl_traymnu_Click();
    EXPECT_EQ(modeless.size(), 1);
    EXPECT_EQ(form.URLForm.txtURL.Text(), "http://typed/");
    form.URLForm.Hide();
    prompts.answerForm([](Form&) {});
    form.Add_mnu_Click();
    EXPECT_EQ(prompts.last().text, "frmURL");

    // The user guide ships in the application folder and opens in the desktop's browser.
    form.Flash_FSCommand("IDC_FS_UserGuide");
    ASSERT_EQ(shell.opened, QStringList{AppFolder::file("UserGuide.html")});
    const QByteArray guide = readFile(shell.opened[0]);
    for (const char* topic : {"Downloading a file", "Scheduling downloads", "Resume All", "Settings and files",
                              "The FTP client"})
        EXPECT_TRUE(guide.contains(topic)) << topic;
    form.UserGuide_mnu_Click();
    EXPECT_EQ(shell.opened.size(), 2);

    // Schedule and Settings open their dialogs.
    prompts.answerForm([](Form& f) { static_cast<frmSchedule&>(f).cmdCancel_Click(); });
    form.Flash_FSCommand("IDC_FS_Schedule");
    EXPECT_EQ(prompts.last().text, "frmSchedule");
    EXPECT_EQ(prompts.last().title, "Schedule Downloads");
    prompts.answerForm([](Form& f) { static_cast<frmSettings&>(f).cmdCancel_Click(); });
    form.Flash_FSCommand("IDC_FS_Settings");
    EXPECT_EQ(prompts.last().text, "frmSettings");
    EXPECT_EQ(prompts.last().title, "Settings");
}

TEST_F(MainCommands, TheFtpClientStartsBesideThisProgramOnceEverythingIsClosed)
{
    test::ScriptedHttpServer server;
    server.stall = true;
    form.Form_Load();
    frmDownload* job = form.windows.DownloadNow(server.url("run.bin"), folder + "/run.bin", -1);
    ASSERT_TRUE(server.waitForRequests(1));
    bool saved = false, trayGone = false, windowClosed = false;
    shell.onStart = [&] {
        saved = readFile(History::path()).contains(server.url("run.bin").toUtf8());
        trayGone = !form.Tray1.IsVisible();
        windowClosed = !job->Visible() && !form.ExtraTimer1.Enabled();
    };
    bool quit = false, launched = false;
    QObject::connect(&form, &frmMain::quitRequested, [&] { quit = true; });
    QObject::connect(&form, &frmMain::launchedFtpClient, [&] { launched = true; });
    prompts.answer(MsgAnswer::Ok);  // a download is running: the user is asked first
    form.Flash_FSCommand("IDC_FS_launchFTP");
    EXPECT_EQ(shell.started, QStringList{QCoreApplication::applicationDirPath() + "/tessaly"});
    EXPECT_TRUE(saved);
    EXPECT_TRUE(trayGone);
    EXPECT_TRUE(windowClosed);
    EXPECT_TRUE(quit);
    EXPECT_TRUE(launched);
}

TEST_F(MainCommands, EndingWithDownloadsRunningAsksThenPausesThemForResumeAll)
{
    test::NginxServer nginx(test::testFolder() + "/nginx");
    nginx.setLimitRate("256k");
    const QByteArray content = test::randomBytes(1536 * 1024);
    writeFile(nginx.root() + "/a.bin", content);
    ASSERT_TRUE(nginx.start()) << nginx.why().toStdString();
    const QString target = folder + "/a.bin";
    form.Form_Load();
    form.windows.DownloadNow(nginx.url("a.bin"), target, -1);
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(target).size() > 0; }));
    // Every way of ending asks while a download runs; Cancel keeps it running.
    for (const auto& end : std::initializer_list<std::function<void()>>{
             [&] { form.exit_mnu_Click(); }, [&] { form.closeVantor_traymnu_Click(); },
             [&] { form.Flash_FSCommand("IDC_FS_close"); }, [&] { form.Flash_FSCommand("IDC_FS_launchFTP"); }}) {
        prompts.answer(MsgAnswer::Cancel);
        end();
        EXPECT_EQ(form.windows.runningCount(), 1);
    }
    EXPECT_TRUE(shell.started.isEmpty());

    // Quitting pauses it with its control file; at the next start its row is paused, and Resume All
    // continues it from its file.
    prompts.answer(MsgAnswer::Ok);
    form.exit_mnu_Click();
    ASSERT_TRUE(QFileInfo::exists(target + ".pellanor"));
    const qint64 kept = QFileInfo(target).size();
    frmMain next;
    next.Form_Load();
    ASSERT_EQ(next.lstMain.count(), 1);
    EXPECT_EQ(next.lstMain.at(0)->cell(DownloadRow::Status), "Paused");
    next.ResumeAll();
    EXPECT_EQ(next.windows.runningCount(), 1);
    EXPECT_GE(QFileInfo(target).size(), kept);
    ASSERT_TRUE(waitUntil([&] { return next.lstComplete.count() == 1; }, 30000));
    EXPECT_TRUE(readFile(target) == content);
    next.windows.closeAll();
}

// The window's close button leaves the program running in the tray while its icon is there, and
// says so once; where nobody shows notices, a download's end is told in the status bar, unless
// the settings say not to tell it.
TEST_F(MainCommands, ClosingGoesToTheTrayAndEndsAreToldWhereNoNotificationService)
{
    form.Form_Load();
    const QString runningNote = "Pellanor is still running in the notification area: Downloads and the schedule go on. "
                                "Its icon brings the window back; Exit in its menu ends Pellanor.";
    const std::tuple<bool, bool, QString> closes[] = {{false, false, ""}, {true, true, runningNote}, {true, true, ""}};
    for (const auto& [trayAvailable, hidden, told] : closes) {
        form.Show();
        form.StatusBar.setPanelText(1, {});
        EXPECT_EQ(form.closeToTray(trayAvailable), hidden);
        EXPECT_EQ(form.Visible(), !hidden);
        EXPECT_EQ(form.StatusBar.PanelText(1), told);
    }
    form.Tray1.Show(false);
    EXPECT_FALSE(form.closeToTray(true));

    form.downloadEnded(folder + "/a.iso", true, {});
    EXPECT_EQ(form.StatusBar.PanelText(1), "Download complete: a.iso");
    form.downloadEnded(folder + "/b.iso", false, "HTTP 404-Object Not Found");
    EXPECT_EQ(form.StatusBar.PanelText(1), "Download failed: b.iso: HTTP 404-Object Not Found");
    SettingsStore::instance().record.NotifyWhenDone = false;
    form.downloadEnded(folder + "/c.iso", true, {});
    EXPECT_EQ(form.StatusBar.PanelText(1), "Download failed: b.iso: HTTP 404-Object Not Found");
}
