#include "downloader/main/DownloadWindows.h"

#include "common/platform/CRegister.h"
#include "common/prompts/ScriptedPrompts.h"
#include "common/support/LangString.h"
#include "downloader/settings/DownloadSettings.h"
#include "tests/support/ScriptedHttpServer.h"
#include "tests/support/DownloadJobTest.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFileInfo>

#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

using namespace harbel;
using harbel::test::ScriptedHttpServer;
using harbel::test::readFile;
using harbel::test::waitUntil;

namespace {

class WindowTable : public test::DownloadJobTest {
protected:
    void SetUp() override
    {
        DownloadJobTest::SetUp();
        server.content = QByteArray("pellanor").repeated(100);
    }

    ScriptedHttpServer server;
    DownloadWindows windows;
};

}  // namespace

TEST_F(WindowTable, SlotsAreMadeOnFirstUseAndKept)
{
    EXPECT_EQ(windows.existing(7), nullptr);
    frmDownload* w = windows.window(7);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->intAssignedIndex, 7);
    EXPECT_EQ(windows.window(7), w);
    EXPECT_EQ(windows.window(51), nullptr);
    EXPECT_EQ(windows.window(-1), nullptr);

    windows.ParseURL("http://host:81/a/b.zip", 7, false);
    EXPECT_EQ(w->strServer, "host");
    EXPECT_EQ(w->intPort, 81);
    EXPECT_EQ(w->strFile, "a/b.zip");
}

TEST_F(WindowTable, RestartingARowReusesItsWindowAndRow)
{
    server.script("HTTP/1.1 503 Busy\r\nContent-Length: 0\r\n\r\n");
    frmDownload* first = windows.DownloadNow(server.url("f.bin"), folder + "/f.bin", -1);
    ASSERT_TRUE(waitUntil([&] { return first->job().progress().state == Progress::State::Failed; }));
    ASSERT_EQ(windows.lstMain.count(), 1);
    ListRow* row = windows.lstMain.at(0);
    EXPECT_EQ(row->cell(DownloadRow::Filename), folder + "/f.bin");
    EXPECT_EQ(row->cell(DownloadRow::Percent), "0%");
    EXPECT_EQ(row->cell(DownloadRow::Size), "N/A");
    EXPECT_EQ(row->cell(DownloadRow::Status), "Failed: The server did not send the file; its answer was: HTTP/1.1 503 Busy");
    EXPECT_EQ(row->cell(DownloadRow::URL), server.url("f.bin"));

    frmDownload* again = windows.DownloadNow(server.url("f.bin"), folder + "/f.bin", 1);
    EXPECT_EQ(again, first);
    EXPECT_EQ(again->lstItem, row);
    ASSERT_TRUE(waitUntil([&] { return again->isCompleted(); }));
    EXPECT_EQ(readFile(folder + "/f.bin"), server.content);
    EXPECT_EQ(windows.lstMain.count(), 0);
    EXPECT_EQ(windows.lstComplete.count(), 1);
}

TEST_F(WindowTable, ReDownloadingARowThatNamesNoFileAsksWhereToSaveIt)
{
    // A blocked row shows its reason where the file goes; another row may name no file at all.
    for (ListRow* row : {windows.DownloadBlocked(server.url("b.txt"), "You block this Extenison"),
                         windows.DownloadLater(server.url("e.bin"), "")}) {
        const QString target = folder + '/' + QFileInfo(row->cell(DownloadRow::URL)).fileName();
        row->setSelected(true);
        windows.lstMain.setSelectedItem(row);
        prompts.answerText(std::nullopt);
        windows.reDownloadQueue();
        EXPECT_EQ(windows.slotOf(row), -1);  // cancelled: nothing starts
        prompts.answerText(target);
        windows.reDownloadQueue();
        ASSERT_TRUE(waitUntil([&] { return readFile(target) == server.content; })) << target.toStdString();
    }
    EXPECT_EQ(prompts.pendingAnswers(), 0u);
    EXPECT_FALSE(QFileInfo::exists("You block this Extenison"));
}

TEST_F(WindowTable, AFullTableRefusesTheStart)
{
    for (int i = 0; i < DownloadWindows::kSlots; ++i)
        windows.lstMain.Add({}, 1);
    prompts.answer(MsgAnswer::Ok);
    EXPECT_EQ(windows.DownloadNow(server.url("f.bin"), folder + "/f.bin", -1), nullptr);
    EXPECT_EQ(prompts.last().text, "No download window is free: the queue holds 51 downloads already. Remove finished or unwanted rows and try again.");
    EXPECT_EQ(windows.lstMain.count(), DownloadWindows::kSlots);
    EXPECT_EQ(server.connections(), 0);
}

TEST_F(WindowTable, CaptionsComeFromTheLanguageFile)
{
    frmDownload* w = windows.window(0);
    test::writeFile(languageFolder() + "English.ini", "[Vantor]\r\n04012=&Halt\r\n04014=  &End  \r\n");
    w->SetCaptions();
    EXPECT_EQ(w->cmdPause.Caption(), "&Halt");
    EXPECT_EQ(w->cmdStop.Caption(), "&End");
    EXPECT_EQ(w->capResume(), "&Resume");
}

TEST_F(WindowTable, TheQueueAndTheJobsProgressGiveEachRowItsState)
{
    using S = Progress::State;
    using Q = QueueEntry::State;
    EXPECT_EQ(int(entryOf(*windows.DownloadLater("http://h/a.zip", "/d/a.zip")).state), int(Q::Waiting));
    ListRow* blocked = windows.DownloadBlocked("http://h/b.txt", "You block this Extenison");
    EXPECT_EQ(int(entryOf(*blocked).state), int(Q::Blocked));
    EXPECT_FALSE(entryOf(*blocked).startedBySchedule());

    // One publication after another into a row started at once.
    const struct {
        S state;
        int percent;  // published with it when not -2
        Q expected;
        const char* share;
        bool countsAgainstLimit, startedBySchedule;
    } steps[] = {
        {S::Connecting, -2, Q::Running, "0%", true, true},
        {S::Transferring, -1, Q::Running, "0%", true, true},  // nothing written yet
        {S::Transferring, 37, Q::Running, "37%", true, true},
        {S::Paused, -2, Q::Paused, "37%", true, true},
        {S::TimedOut, -2, Q::Failed, "Connection has timed out.", false, true},
        {S::Connecting, -2, Q::Running, "Connection has timed out.", true, true},
        {S::Refused, -2, Q::Failed, "0 %", false, false},
        {S::Stopped, 40, Q::Stopped, "40%", false, true},
        {S::Failed, -2, Q::Failed, "40%", false, true},
        {S::Completed, 100, Q::Complete, "100%", false, false},
    };
    ListRow* row = windows.lstMain.Add({}, DownloadRow::kQueueIcon);
    setEntry(*row, QueueEntry::startingNow("http://h/c.zip", "/d/c.zip"));
    for (const auto& step : steps) {
        Progress p;
        p.state = step.state;
        p.status = QStringLiteral("Connection has timed out.");
        p.percent = step.percent;
        renderDownloadRow(*row, p, Progress::StateChanged | (step.percent > -2 ? Progress::PercentChanged : Progress::Changes()));
        const QueueEntry entry = entryOf(*row);
        EXPECT_EQ(int(entry.state), int(step.expected)) << int(step.state);
        EXPECT_EQ(row->cell(DownloadRow::Percent), step.share) << int(step.state);
        EXPECT_EQ(entry.countsAgainstServerLimit(), step.countsAgainstLimit) << int(step.state);
        EXPECT_EQ(entry.startedBySchedule(), step.startedBySchedule) << int(step.state);
    }
}
