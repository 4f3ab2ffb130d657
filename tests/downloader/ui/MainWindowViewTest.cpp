#include "downloader/ui/MainWindowView.h"

#include "downloader/main/DownloadRow.h"
#include "tests/downloader/main/QueueRowTexts.h"
#include "downloader/main/frmMain.h"
#include "downloader/ui/DownloadDialogs.h"

#include "common/prompts/ScriptedPrompts.h"
#include "common/ui/ListViewWidget.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QRadioButton>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>

#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

using namespace harbel;

namespace {

QAction* toolbarAction(QMainWindow& window, const QString& text)
{
    for (QToolBar* bar : window.findChildren<QToolBar*>())
        for (QAction* a : bar->actions())
            if (a->text() == text)
                return a;
    return nullptr;
}

}  // namespace

TEST(PellanorMainWindowView, ListsToolbarAndStatusFollowTheModel)
{
    ScriptedPrompts prompts;
    Prompts::setInstance(&prompts);
    frmMain form;
    form.Form_Load();
    PellanorMainWindowView view(form);
    view.show();
    EXPECT_EQ(view.windowTitle(), "Pellanor");

    form.windows.DownloadLater("http://host/a.zip", "/tmp/a.zip");
    ASSERT_EQ(view.queueWidget()->topLevelItemCount(), 1);
    EXPECT_EQ(view.queueWidget()->topLevelItem(0)->text(DownloadRow::Status), "Not Downloaded");
    // The file's name, its path in the tool tip; the address takes the spare width.
    EXPECT_EQ(view.queueWidget()->topLevelItem(0)->text(DownloadRow::Filename), "a.zip");
    EXPECT_EQ(view.queueWidget()->topLevelItem(0)->toolTip(DownloadRow::Filename), "/tmp/a.zip");
    EXPECT_EQ(view.queueWidget()->header()->sectionResizeMode(DownloadRow::URL), QHeaderView::Stretch);
    EXPECT_EQ(view.queueWidget()->headerItem()->text(DownloadRow::Recieved), "Received");
    EXPECT_EQ(view.completedWidget()->headerItem()->text(DownloadRow::Filename), "Complete");

    // The "Queue" toggle hides and shows the queue list.
    QAction* queue = toolbarAction(view, "Queue");
    ASSERT_NE(queue, nullptr);
    queue->toggle();
    EXPECT_FALSE(form.lstMain.Visible());
    EXPECT_FALSE(view.queueWidget()->isVisible());
    queue->toggle();
    EXPECT_TRUE(view.queueWidget()->isVisible());

    QAction* schedule = toolbarAction(view, "Schedule");
    ASSERT_NE(schedule, nullptr);
    prompts.answerForm([](Form&) {});
    schedule->trigger();
    EXPECT_EQ(prompts.last().text, "frmSchedule");

    // About opens a box over the window; the lists stay.
    QAction* about = toolbarAction(view, "About");
    ASSERT_NE(about, nullptr);
    EXPECT_FALSE(about->isCheckable());
    prompts.answer(MsgAnswer::Ok);
    about->trigger();
    EXPECT_EQ(prompts.last().title, "About Pellanor");
    EXPECT_TRUE(view.queueWidget()->isVisible());
    EXPECT_TRUE(view.completedWidget()->isVisible());

    // The tray's "Enter URL" leaves a dialog open that does not hold up the program.
    form.enterurl_traymnu_Click();
    URLDialogView* entry = view.findChild<URLDialogView*>();
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(entry->isVisible());
    EXPECT_FALSE(entry->isModal());
    entry->reject();
    EXPECT_FALSE(form.URLForm.Visible());

    form.Form_Unload();
    Prompts::setInstance(nullptr);
}

TEST(PellanorMainWindowView, DialogsHandTheUsersActionsToTheirForms)
{
    ScriptedPrompts prompts;
    Prompts::setInstance(&prompts);
    frmMain form;
    form.Form_Load();
    test::setRowText(*form.lstComplete.Add({}, 4), DownloadRow::URL, "http://host/old.zip");

    form.URLForm.Form_Load();
    URLDialogView url(form.URLForm);
    auto* combo = url.findChild<QComboBox*>("txtURL");
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->count(), 1);
    EXPECT_EQ(combo->itemText(0), "http://host/old.zip");
    combo->setEditText("http://");
    EXPECT_EQ(form.URLForm.txtURL.Text(), "http://");
    prompts.answer(MsgAnswer::Ok);
    url.findChild<QPushButton*>("cmdOk")->click();
    EXPECT_EQ(prompts.last().text, "Invalid URL");

    FileDialogView file(form.FileForm);
    prompts.answerText(QStringLiteral("/tmp/later.zip"));
    form.FileForm.Form_Load("http://host/later.zip");
    EXPECT_TRUE(file.isVisible());
    EXPECT_EQ(file.findChild<QLineEdit*>("txtSaveTo")->text(), "/tmp/later.zip");
    file.findChild<QPushButton*>("cmdDownLater")->click();
    EXPECT_FALSE(file.isVisible());
    ASSERT_EQ(form.lstMain.count(), 1);
    EXPECT_EQ(form.lstMain.at(0)->cell(DownloadRow::Filename), "/tmp/later.zip");

    form.Form_Unload();
    Prompts::setInstance(nullptr);
}

TEST(PellanorMainWindowView, TheScheduleDialogHandsItsChoicesToItsForm)
{
    ScriptedPrompts prompts;
    Prompts::setInstance(&prompts);
    frmMain form;
    frmSchedule& schedule = form.ScheduleForm;
    schedule.Form_Load();
    ScheduleDialogView view(schedule);
    auto* hour = view.findChild<QComboBox*>("cmbHour");
    ASSERT_NE(hour, nullptr);
    EXPECT_FALSE(hour->isEnabled());
    view.findChild<QCheckBox*>("chkNoSch")->click();
    EXPECT_EQ(schedule.chkNoSch.Value(), 0);
    EXPECT_TRUE(hour->isEnabled());

    hour->setCurrentIndex(hour->findText("14"));
    emit hour->activated(hour->currentIndex());
    EXPECT_EQ(schedule.cmbHour.Text(), "14");
    EXPECT_EQ(view.findChild<QComboBox*>("cmbType")->currentText(), "24HR");

    auto* friday = view.findChild<QCheckBox*>("chkFri");
    EXPECT_FALSE(friday->isEnabled());
    view.findChild<QRadioButton*>("optSelDay")->click();
    EXPECT_TRUE(friday->isEnabled());
    EXPECT_FALSE(view.findChild<QRadioButton*>("optToday")->isChecked());
    view.findChild<QRadioButton*>("optSkip")->click();
    EXPECT_TRUE(schedule.optSkip.Value());
    EXPECT_FALSE(schedule.optOver.Value());
    EXPECT_FALSE(view.findChild<QRadioButton*>("optOver")->isChecked());
    Prompts::setInstance(nullptr);
}
