#include "downloader/ui/DownloadWindowView.h"
#include "downloader/ui/ServerDataView.h"

#include "common/prompts/ScriptedPrompts.h"
#include "downloader/window/frmDownload.h"
#include "downloader/settings/DownloadSettings.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

using namespace harbel;

TEST(DownloadWindowView, ShowsTheJobAndHandsPressesToIt)
{
    SettingsStore::instance().LoadSettings();
    frmDownload job;
    DownloadWindowView view(job);
    job.Show();
    EXPECT_TRUE(view.isVisible());
    EXPECT_EQ(view.windowTitle(), "Download Window");

    job.lblStatus.setCaption("Transfer Completed...");
    job.txtURL.setText("http://host/f.zip");
    job.ProgressBar1.setValue(42);
    job.setCaption("f.zip [42%]");
    EXPECT_EQ(view.findChild<QLabel*>("lblStatus")->text(), "Transfer Completed...");
    EXPECT_EQ(view.findChild<QLineEdit*>("txtURL")->text(), "http://host/f.zip");
    EXPECT_EQ(view.findChild<QProgressBar*>("ProgressBar1")->value(), 42);
    EXPECT_EQ(view.windowTitle(), "f.zip [42%]");

    job.cmdOpen.setVisible(false);
    EXPECT_FALSE(view.findChild<QPushButton*>("cmdOpen")->isVisible());

    // Stop on a job that has not started shows the stopped state; the second press closes it.
    auto* stop = view.findChild<QPushButton*>("cmdStop");
    EXPECT_EQ(stop->text(), "&Stop");
    stop->click();
    EXPECT_EQ(job.lblStatus.Caption(), "Stopped");
    EXPECT_EQ(stop->text(), "&Close");
    stop->click();
    EXPECT_FALSE(job.Visible());
    EXPECT_FALSE(view.isVisible());
}

TEST(DownloadWindowView, TrayButtonHidesAndMoreOpensTheServerData)
{
    SettingsStore::instance().LoadSettings();
    frmDownload job;
    DownloadWindowView view(job);
    job.Show();
    view.findChild<QPushButton*>("Tray")->click();
    EXPECT_FALSE(view.isVisible());
    EXPECT_TRUE(job.Tray1.IsVisible());
    job.Tray1_Click();
    EXPECT_TRUE(view.isVisible());

    view.findChild<QPushButton*>("cmdMore")->click();
    auto* menu = view.findChild<QMenu*>("mnuMore");
    ASSERT_TRUE(menu);
    EXPECT_TRUE(menu->isVisible());
    auto* entry = menu->findChild<QAction*>("interactdata_mnu");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->text(), "&Server Data");
    menu->hide();
    entry->trigger();
    ServerDataView& data = ServerDataView::ensure();
    EXPECT_TRUE(data.isVisible());
    EXPECT_EQ(data.windowTitle(), "Server Interaction Info");
    data.findChild<QPushButton*>("cmdExit")->click();
    EXPECT_FALSE(data.isVisible());
}
