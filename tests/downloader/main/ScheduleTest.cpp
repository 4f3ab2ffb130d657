#include "downloader/main/frmMain.h"

#include "downloader/engine/ControlFile.h"
#include "downloader/main/DownloadRow.h"
#include "tests/downloader/main/QueueRowTexts.h"
#include "downloader/window/frmDownload.h"
#include "downloader/main/frmSchedule.h"

#include "common/desktop/DesktopNotifier.h"
#include "common/platform/Shell.h"

#include "tests/support/DownloadJobTest.h"
#include "tests/support/NotificationServer.h"
#include "tests/support/NginxServer.h"
#include "tests/support/ScriptedHttpServer.h"

#include <QFileInfo>
#include <QScopeGuard>

#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

using namespace harbel;
using harbel::test::readFile;
using harbel::test::waitUntil;
using harbel::test::writeFile;

namespace {

// Wednesday 9 December 2026 and the days after it.
QDateTime at(int day, int hour, int minute, int second = 0, int ms = 0)
{
    return QDateTime(QDate(2026, 12, day), QTime(hour, minute, second, ms));
}

QString stored(const char* name)
{
    return CRegister().REGGetSetting(HKEY_LOCAL_MACHINE, QString::fromLatin1(kSettingsKey), QString::fromLatin1(name),
                                     QStringLiteral("(none)"));
}

void storeSchedule(const QString& hour, const QString& minute, const QString& type, bool selectedDays = false)
{
    ScheduleSettings s;
    s.NoSchedule = false;
    s.SchHour = hour;
    s.SchMinute = minute;
    s.SchType = type;
    s.Today = !selectedDays;
    s.SelectDay = selectedDays;
    s.write();
}

void choose(ComboBox& combo, const QString& text)
{
    combo.setListIndex(int(combo.List().indexOf(text)));
}

class Schedule : public test::DownloadJobTest {
protected:
    void SetUp() override
    {
        DownloadJobTest::SetUp();
        form.ScheduleForm.now = [this] { return clock; };
    }
    void TearDown() override
    {
        form.windows.closeAll();
        DownloadJobTest::TearDown();
    }

    QDateTime clock = at(9, 12, 0);
    frmMain form;
};

}  // namespace

TEST_F(Schedule, TheDialogChecksTheTimeStoresEveryChoiceAndEnablesItsControls)
{
    frmSchedule& dialog = form.ScheduleForm;
    clock = at(9, 23, 30);
    dialog.Form_Load();
    // A fresh store: nothing scheduled, 1:00 AM today, existing files overwritten.
    EXPECT_EQ(dialog.chkNoSch.Value(), 1);
    EXPECT_EQ(dialog.cmbHour.Text(), "1");
    EXPECT_EQ(dialog.cmbMinute.Text(), ":00");
    EXPECT_EQ(dialog.cmbType.Text(), "AM");
    EXPECT_TRUE(dialog.optToday.Value());
    EXPECT_TRUE(dialog.optOver.Value());
    EXPECT_FALSE(dialog.cmbHour.Enabled());
    EXPECT_FALSE(dialog.optSelDay.Enabled());
    EXPECT_EQ(dialog.cmbHour.ListCount(), 24);
    EXPECT_EQ(dialog.cmbHour.List().last(), "00");
    EXPECT_EQ(dialog.cmbMinute.List(), QStringList({":00", ":05", ":10", ":15", ":20", ":25", ":30", ":35", ":40",
                                                    ":45", ":50", ":55"}));
    EXPECT_EQ(dialog.cmbType.List(), QStringList({"AM", "PM", "24HR"}));

    dialog.chkNoSch.setValue(0);
    dialog.chkNoSch_Click();
    EXPECT_TRUE(dialog.cmbHour.Enabled());
    EXPECT_FALSE(dialog.chkMon.Enabled());
    dialog.optSelDay_Click();
    EXPECT_TRUE(dialog.chkMon.Enabled());
    EXPECT_FALSE(dialog.optToday.Value());
    dialog.optToday_Click();
    EXPECT_FALSE(dialog.chkMon.Enabled());

    // An hour above 12 makes a 24-hour time; put back to AM it is refused.
    dialog.Show();
    choose(dialog.cmbHour, "13");
    dialog.cmbHour_Click();
    EXPECT_EQ(dialog.cmbType.Text(), "24HR");
    choose(dialog.cmbType, "AM");
    prompts.answer(MsgAnswer::Ok);
    dialog.cmdOK_Click();
    EXPECT_EQ(prompts.last().text, "Incorrect Time!!...");
    EXPECT_EQ(prompts.last().icon, MsgIcon::Exclamation);

    // "00" is the midnight that began today: at 23:30 it lies behind.
    choose(dialog.cmbHour, "00");
    choose(dialog.cmbType, "24HR");
    prompts.answer(MsgAnswer::Ok);
    dialog.cmdOK_Click();
    EXPECT_EQ(prompts.last().text, "This is a previous time!!...");
    EXPECT_TRUE(dialog.Visible());
    EXPECT_FALSE(form.ExtraTimer1.Enabled());
    EXPECT_EQ(stored("NoSchedule"), "(none)");

    // 11:45 PM on Wednesdays and Fridays, resuming existing files. A quarter of an hour ahead to the
    // second: armed in minutes, not taken as the moment itself.
    choose(dialog.cmbHour, "11");
    choose(dialog.cmbMinute, ":45");
    choose(dialog.cmbType, "PM");
    dialog.optSelDay_Click();
    dialog.chkWed.setValue(1);
    dialog.chkFri.setValue(1);
    dialog.optOver.setValue(false);
    dialog.optRes.setValue(true);
    dialog.cmdOK_Click();
    EXPECT_FALSE(dialog.Visible());
    EXPECT_TRUE(form.ExtraTimer1.Enabled());
    EXPECT_EQ(form.ExtraTimer1.IntervalUnit(), 1);
    EXPECT_EQ(form.ExtraTimer1.Interval(), 15);
    const std::pair<const char*, const char*> values[] = {
        {"NoSchedule", "0"}, {"SchHour", "11"},    {"SchMinute", ":45"}, {"SchType", "PM"},
        {"Today", "False"},  {"SelectDay", "True"}, {"Wed", "1"},         {"fri", "1"},
        {"Sat", "0"},        {"OverWrite", "False"}, {"Resume", "True"},  {"Skip", "False"}};
    for (const auto& [name, value] : values)
        EXPECT_EQ(stored(name), value) << name;
    EXPECT_EQ(ScheduleSettings::read().existsAction(), 2);

    // Opened again, it shows what was stored.
    dialog.chkFri.setValue(0);
    dialog.Form_Load();
    EXPECT_EQ(dialog.chkFri.Value(), 1);
    EXPECT_TRUE(dialog.chkFri.Enabled());
    EXPECT_TRUE(dialog.optRes.Value());

    // "Do not schedule downloads" is stored and calls off what was armed.
    dialog.Show();
    dialog.chkNoSch.setValue(1);
    dialog.cmdOK_Click();
    EXPECT_FALSE(dialog.Visible());
    EXPECT_EQ(stored("NoSchedule"), "1");
    EXPECT_FALSE(form.ExtraTimer1.Enabled());
    EXPECT_FALSE(form.ScheduleForm.InitTimer(true));
    EXPECT_FALSE(form.ExtraTimer1.Enabled());
}

TEST_F(Schedule, AtTheTimePendingRowsStartWhileRunningAndPausedOnesKeepTheirFiles)
{
    test::NginxServer nginx(test::testFolder() + "/nginx");
    nginx.setLimitRate("256k");
    const QByteArray a = test::randomBytes(180 * 1024), b = test::randomBytes(150 * 1024);
    writeFile(nginx.root() + "/a.bin", a);
    writeFile(nginx.root() + "/b.bin", b);
    const QByteArray big = test::randomBytes(16 * 1024 * 1024);
    writeFile(nginx.root() + "/big.bin", big);
    ASSERT_TRUE(nginx.start()) << nginx.why().toStdString();

    storeSchedule("10", ":00", "PM");
    clock = at(9, 20, 30, 20, 250);
    form.Form_Load();
    // Start-up arms the timer for the minutes ahead: it wakes less than a minute early.
    ASSERT_TRUE(form.ExtraTimer1.Enabled());
    EXPECT_EQ(form.ExtraTimer1.IntervalUnit(), 1);
    EXPECT_EQ(form.ExtraTimer1.Interval(), 89);

    DownloadWindows& w = form.windows;
    w.DownloadLater(nginx.url("a.bin"), folder + "/a.bin");
    test::setRowText(*w.DownloadLater(nginx.url("refused.bin"), folder + "/refused.bin"), DownloadRow::Percent, "0 %");
    test::setRowText(*w.DownloadLater(nginx.url("done.bin"), folder + "/done.bin"), DownloadRow::Percent, "100%");
    frmDownload* running = w.DownloadNow(nginx.url("big.bin"), folder + "/running.bin", -1);
    frmDownload* paused = w.DownloadNow(nginx.url("big.bin"), folder + "/paused.bin", -1);
    w.DownloadLater(nginx.url("b.bin"), folder + "/b.bin");
    // Paused when the program last ended: History.ini gave it back as a paused row with its file.
    writeFile(folder + "/reloaded.bin", big.left(1024 * 1024));
    test::setRowText(*w.DownloadLater(nginx.url("big.bin"), folder + "/reloaded.bin"), DownloadRow::Status, "Paused/Stopped");
    ASSERT_TRUE(waitUntil([&] {
        return QFileInfo(ControlFile::pathFor(folder + "/running.bin")).exists()
               && QFileInfo(ControlFile::pathFor(folder + "/paused.bin")).exists();
    }));
    paused->Pause_Resume();

    clock = at(9, 21, 59, 20, 250);
    form.ExtraTimer1_Timer();
    EXPECT_EQ(form.ExtraTimer1.IntervalUnit(), 0);
    EXPECT_EQ(form.ExtraTimer1.Interval(), 38);
    EXPECT_EQ(form.lstMain.at(0)->cell(DownloadRow::Status), "Not Downloaded");

    // The last second: the timer's own ticks wake it, and the queue starts with the schedule's
    // "overwrite" for existing files.
    const qint64 runningBefore = QFileInfo(folder + "/running.bin").size();
    const qint64 pausedBefore = QFileInfo(folder + "/paused.bin").size();
    clock = at(9, 21, 59, 59, 600);
    for (int tick = 0; tick < 38 && form.ExtraTimer1.Enabled(); ++tick)
        form.ExtraTimer1.tick();
    EXPECT_FALSE(form.ExtraTimer1.Enabled());
    EXPECT_FALSE(w.UseScheduleExistsAction);

    // The running download goes on and the paused one resumes, each on its own file.
    EXPECT_TRUE(w.isBusy(w.slotOf(running->lstItem)));
    EXPECT_EQ(running->lstItem->cell(DownloadRow::Filename), folder + "/running.bin");
    EXPECT_FALSE(w.isPaused(w.slotOf(paused->lstItem)));
    EXPECT_GE(QFileInfo(folder + "/running.bin").size(), runningBefore);
    EXPECT_GE(QFileInfo(folder + "/paused.bin").size(), pausedBefore);
    EXPECT_GE(QFileInfo(folder + "/reloaded.bin").size(), 1024 * 1024);
    EXPECT_TRUE(QFileInfo::exists(ControlFile::pathFor(folder + "/running.bin")));
    EXPECT_TRUE(QFileInfo::exists(ControlFile::pathFor(folder + "/paused.bin")));

    ASSERT_TRUE(waitUntil([&] { return form.lstComplete.count() == 2; }, 15000));
    EXPECT_EQ(readFile(folder + "/a.bin"), a);
    EXPECT_EQ(readFile(folder + "/b.bin"), b);
    ASSERT_EQ(form.lstMain.count(), 5);
    EXPECT_EQ(form.lstMain.at(0)->cell(DownloadRow::Status), "Not Downloaded");  // "0 %"
    EXPECT_EQ(form.lstMain.at(1)->cell(DownloadRow::Status), "Complete");  // "100%"
    EXPECT_EQ(entryOf(*form.lstMain.at(1)).status, "Not Downloaded");  // never started
    EXPECT_FALSE(QFileInfo::exists(folder + "/refused.bin"));
    w.closeAll();  // before the server goes
}

// Where the evaluation alone would be silent or wrong: a ticked "Do not schedule", a start after
// the time, a timer that wakes late, and days that are not selected.
TEST_F(Schedule, LateStartsLateWakeUpsAndUnselectedDays)
{
    test::ScriptedHttpServer server;
    server.stall = true;
    form.windows.DownloadLater(server.url("one.bin"), folder + "/one.bin");

    // The fresh store says "do not schedule": nothing is armed.
    form.Form_Load();
    EXPECT_FALSE(form.ExtraTimer1.Enabled());

    // Started after today's time: nothing is run, nothing armed.
    storeSchedule("10", ":00", "AM");
    clock = at(9, 11, 0);
    EXPECT_FALSE(form.ScheduleForm.InitTimer(true));
    EXPECT_FALSE(form.ExtraTimer1.Enabled());

    // Armed at 9:00 for 10:00, the wake-up comes three minutes late: the queue still starts.
    clock = at(9, 9, 0);
    form.ExtraTimer1_Timer();
    EXPECT_EQ(form.ExtraTimer1.Interval(), 60);
    clock = at(9, 10, 3);
    form.ExtraTimer1_Timer();
    EXPECT_TRUE(server.waitForRequests(1));
    EXPECT_FALSE(form.ExtraTimer1.Enabled());

    // Selected days with none ticked: the timer wakes just after each midnight and starts nothing.
    storeSchedule("10", ":00", "AM", true);
    form.windows.DownloadLater(server.url("two.bin"), folder + "/two.bin");
    clock = at(9, 22, 30, 20);
    form.ExtraTimer1_Timer();
    EXPECT_TRUE(form.ExtraTimer1.Enabled());
    EXPECT_EQ(form.ExtraTimer1.IntervalUnit(), 1);
    EXPECT_EQ(form.ExtraTimer1.Interval(), 90);
    clock = at(10, 0, 0, 20);
    form.ExtraTimer1_Timer();
    EXPECT_EQ(form.ExtraTimer1.Interval(), 1440);
    EXPECT_EQ(form.lstMain.at(1)->cell(DownloadRow::Status), "Not Downloaded");
    EXPECT_EQ(server.requests().size(), 1);

    // With Thursday ticked, the run of that morning is followed by the wake-up after midnight.
    ScheduleSettings thursday = ScheduleSettings::read();
    thursday.days[5] = true;
    thursday.write();
    clock = at(10, 9, 59, 59, 500);
    form.ExtraTimer1_Timer();
    EXPECT_TRUE(server.waitForRequests(2));
    EXPECT_TRUE(form.ExtraTimer1.Enabled());
    EXPECT_EQ(form.ExtraTimer1.IntervalUnit(), 1);
    EXPECT_EQ(form.ExtraTimer1.Interval(), 14 * 60);

    // Midnight of a ticked day: the wake-up that comes seconds after it still runs the queue.
    storeSchedule("00", ":00", "24HR", true);
    ScheduleSettings friday = ScheduleSettings::read();
    friday.days[6] = true;
    friday.write();
    form.windows.DownloadLater(server.url("three.bin"), folder + "/three.bin");
    clock = at(10, 23, 30, 30);
    form.ExtraTimer1_Timer();
    EXPECT_EQ(form.ExtraTimer1.Interval(), 30);
    clock = at(11, 0, 0, 30);
    form.ExtraTimer1_Timer();
    EXPECT_TRUE(server.waitForRequests(3));
}

TEST_F(Schedule, TwelveAmIsMidnightAndTwelvePmIsNoon)
{
    // Every day ticked: 12 PM set at 11:30 runs at noon, 12 AM set at 23:30 just after midnight.
    const std::tuple<const char*, QDateTime, QDateTime> cases[] = {{"PM", at(9, 11, 30), at(9, 11, 59, 59, 600)},
                                                                   {"AM", at(9, 23, 30, 30), at(10, 0, 0, 30)}};
    for (const auto& [type, set, due] : cases) {
        test::ScriptedHttpServer server;
        server.stall = true;
        form.windows.DownloadLater(server.url("twelve.bin"), folder + "/twelve" + type + ".bin");
        storeSchedule("12", ":00", type, true);
        ScheduleSettings everyDay = ScheduleSettings::read();
        everyDay.days.fill(true);
        everyDay.write();
        clock = set;
        form.ExtraTimer1_Timer();
        clock = due;
        form.ExtraTimer1_Timer();
        EXPECT_TRUE(server.waitForRequests(1)) << type;
        form.windows.closeAll();  // before the server goes
    }
}

// Nobody is there at the scheduled time: segmenting takes the settings' answer although they ask
// for a question, the schedule's action settles a file that exists, no box says "done", and each
// end reaches the desktop's notification service, naming its file, with its actions.
TEST_F(Schedule, ARunOfSegmentedDownloadsAsksNothingAndTellsTheDesktopOfEachEnd)
{
    test::NotificationServer desktop;
    QString why;
    ASSERT_TRUE(desktop.start(&why)) << why.toStdString();
    DesktopNotifier notifier(desktop.clientBus());
    Notifier::setInstance(&notifier);
    struct RecordingShell final : Shell {
        QStringList opened;
        bool open(const QString& path) override { opened << path; return true; }
        bool start(const QString&, const QStringList&) override { return true; }
    } shell;
    Shell::setInstance(&shell);
    const auto restore = qScopeGuard([] {
        Shell::setInstance(nullptr);
        Notifier::setInstance(nullptr);
    });

    test::NginxServer nginx(test::testFolder() + "/nginx");
    const QStringList names{"one.bin", "two.bin", "three.bin"};
    QList<QByteArray> contents;
    for (const QString& name : names) {
        contents.append(test::randomBytes(300 * 1024));
        writeFile(nginx.root() + "/" + name, contents.last());
    }
    ASSERT_TRUE(nginx.start()) << nginx.why().toStdString();
    writeFile(folder + "/two.bin", "an older two.bin");  // the schedule says: overwrite
    for (const auto& [key, value] : {std::pair{"Segment", "1"}, {"AskSegmented", "1"}, {"PromptDone", "1"},
                                     {"SegmentSize1", "1"}, {"SegmentSize2", "100000000"}})
        CRegister().REGSaveSetting(HKEY_LOCAL_MACHINE, QString::fromLatin1(kSettingsKey), key, value);
    storeSchedule("10", ":00", "PM");
    clock = at(9, 20, 30);
    form.Form_Load();
    for (const QString& name : names)
        form.windows.DownloadLater(nginx.url(name), folder + "/" + name);

    clock = at(9, 22, 0, 1);
    form.ExtraTimer1_Timer();
    ASSERT_TRUE(waitUntil([&] { return form.lstComplete.count() == 3 && desktop.shown.size() == 3; }, 20000));
    EXPECT_TRUE(prompts.records().isEmpty());
    QStringList told;
    for (const auto& notice : desktop.shown) {
        EXPECT_EQ(notice.application, "Pellanor");
        EXPECT_EQ(notice.summary, "Download complete");
        EXPECT_EQ(notice.actions, QStringList({"open", "Open", "folder", "Show in Folder"}));
        told << notice.body;
    }
    told.sort();
    EXPECT_EQ(told, QStringList({"one.bin", "three.bin", "two.bin"}));
    for (int i = 0; i < names.size(); ++i) {
        EXPECT_EQ(readFile(folder + "/" + names[i]), contents[i]) << names[i].toStdString();
        EXPECT_EQ(form.windows.existing(i)->segments(), 2) << names[i].toStdString();
    }

    // "Show in Folder" on a notice opens the folder of its file.
    desktop.invoke(1, "folder");
    EXPECT_TRUE(waitUntil([&] { return !shell.opened.isEmpty(); }));
    EXPECT_EQ(shell.opened, QStringList({folder}));

    form.windows.closeAll();
}
