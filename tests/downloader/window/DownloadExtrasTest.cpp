#include "downloader/window/frmDownload.h"
#include "downloader/window/frmServerData.h"
#include "downloader/main/DownloadWindows.h"

#include "common/platform/CRegister.h"
#include "common/platform/Clipboard.h"
#include "common/prompts/ScriptedPrompts.h"
#include "downloader/settings/DownloadSettings.h"
#include "tests/support/ScriptedHttpServer.h"
#include "tests/support/DownloadJobTest.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>

#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

using namespace harbel;
using harbel::test::ScriptedHttpServer;
using harbel::test::waitUntil;

namespace {

class DownloadExtras : public test::DownloadJobTest {
protected:
    void SetUp() override
    {
        DownloadJobTest::SetUp();
        Clipboard::setInstance(&clipboard);
        server.content = QByteArray("abcdefgh").repeated(1000);
    }
    void TearDown() override
    {
        frmServerData::shared().Unload();
        Clipboard::setInstance(nullptr);
        Prompts::setInstance(nullptr);
    }

    MemoryClipboard clipboard;
    ScriptedHttpServer server;
    DownloadWindows windows;
};

}  // namespace

TEST_F(DownloadExtras, HiddenWindowComesBackFromItsIconAndOnCompletion)
{
    frmDownload job;
    job.Show();
    job.Skin1_Click("Close");
    EXPECT_TRUE(job.Visible());
    EXPECT_FALSE(job.Tray1.IsVisible());

    job.Skin1_Click("Tray");
    EXPECT_FALSE(job.Visible());
    EXPECT_TRUE(job.Tray1.IsVisible());
    job.Tray1_Click();
    EXPECT_TRUE(job.Visible());
    EXPECT_FALSE(job.Tray1.IsVisible());

    frmDownload* running = windows.DownloadNow(server.url("dir/hidden.bin"), folder + "/hidden.bin", -1);
    ASSERT_TRUE(running);
    running->cmdHide_Click();
    EXPECT_FALSE(running->Visible());
    ASSERT_TRUE(waitUntil([&] { return running->isCompleted(); }, 8000));
    EXPECT_TRUE(running->Visible());
    EXPECT_FALSE(running->Tray1.IsVisible());
    // The icon's tip followed the title.
    EXPECT_EQ(running->Tray1.TrayToolTip(), "hidden.bin [100%]");
}

TEST_F(DownloadExtras, ServerDataShowsTheDialogueAndCopiesIt)
{
    frmDownload idle;
    EXPECT_EQ(idle.cmdMore.Caption(), "More...");
    EXPECT_EQ(idle.interactdata_mnu, "&Server Data");
    idle.interactdata_mnu_Click();
    frmServerData& data = frmServerData::shared();
    EXPECT_TRUE(data.Visible());
    EXPECT_EQ(data.Caption(), "Server Interaction Info");
    EXPECT_EQ(data.txtServerData.Text(), "");

    frmDownload* job = windows.DownloadNow(server.url("dir/log.bin"), folder + "/log.bin", -1);
    ASSERT_TRUE(job);
    ASSERT_TRUE(waitUntil([&] { return job->isCompleted(); }, 8000));
    job->interactdata_mnu_Click();
    EXPECT_EQ(data.txtServerData.Text(), job->strServerLog());
    EXPECT_TRUE(data.txtServerData.Text().contains("HTTP/1.1 206"));

    data.cmdCopyClip_Click();
    EXPECT_EQ(clipboard.text(), job->strServerLog());
    data.cmdExit_Click();
    EXPECT_FALSE(data.Visible());
}

TEST(DownloadWindow, SegmentBarsShareTheWidth)
{
    frmDownload job;
    job.LayoutSegmentBars(3);
    EXPECT_TRUE(job.ProgressBar1.Visible());
    EXPECT_EQ(job.segmentBarWidth[2], 1533);
    EXPECT_EQ(job.segmentBarLeft[2], 1533 * 2 + 120);
    EXPECT_TRUE(job.PVProgressBar[2]->Visible());
    EXPECT_FALSE(job.PVProgressBar[3]->Visible());
    job.LayoutSegmentBars(1);
    EXPECT_FALSE(job.ProgressBar1.Visible());
    EXPECT_EQ(job.segmentBarWidth[0], 4600);
    EXPECT_EQ(job.lblPerLeft, 2055);
    EXPECT_FALSE(job.PVProgressBar[1]->Visible());
}
