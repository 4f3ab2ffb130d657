// The main window's widgets follow the model and hand the user's actions back to it.
#include "common/platform/ScriptedPrompts.h"
#include "ftpclient/core/frmMain.h"
#include "ftpclient/ui/MainWindowView.h"
#include "tests/support/TestEnvironment.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QStackedWidget>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace harbel;
using namespace harbel::tessaly;

TEST(TessalyMainWindowView, PanesLogAndStatusFollowTheModel)
{
    ScriptedPrompts prompts;
    prompts.setUnexpectedHandler([](const QString& what) { ADD_FAILURE() << what.toStdString(); });
    Prompts::setInstance(&prompts);
    const QString dir = test::testFolder() + "/files/";
    QDir().mkpath(dir + "sub");
    test::writeFile(dir + "a.txt", "a");
    test::writeFile(dir + "b.txt", "bb");
    {
        frmMain form;
        ASSERT_TRUE(form.Form_Load());
        TessalyMainWindowView view(form);
        view.show();
        form.ChangeCurrentLocalFolder(dir);
        form.RefreshLocalList();
        QApplication::processEvents();

        const auto trees = view.findChildren<QTreeWidget*>();
        ASSERT_EQ(trees.size(), 2);  // local, remote
        QTreeWidget* local = trees[0]->topLevelItemCount() ? trees[0] : trees[1];
        QTreeWidget* remote = local == trees[0] ? trees[1] : trees[0];
        ASSERT_EQ(local->topLevelItemCount(), 3) << remote->topLevelItemCount();
        EXPECT_EQ(local->headerItem()->text(1), "Size (bytes)");
        EXPECT_EQ(remote->topLevelItemCount(), 0);

        // Selecting in the widget selects in the model and updates the commands.
        for (int i = 0; i < local->topLevelItemCount(); ++i)
            local->topLevelItem(i)->setSelected(local->topLevelItem(i)->text(0) == "b.txt");
        QApplication::processEvents();
        ASSERT_EQ(form.lstLocalFileList.selectedRows().size(), 1);
        EXPECT_EQ(form.lstLocalFileList.selectedRows()[0]->Text(), "b.txt");
        EXPECT_TRUE(form.miRenameLocalFile.Enabled());

        // The view styles switch between the report and the icon list.
        form.SetLocalView(0);
        QApplication::processEvents();
        auto* stack = qobject_cast<QStackedWidget*>(local->parentWidget());
        ASSERT_TRUE(stack);
        EXPECT_EQ(stack->currentIndex(), 1);
        auto* icons = qobject_cast<QListWidget*>(stack->widget(1));
        ASSERT_TRUE(icons);
        EXPECT_EQ(icons->count(), 3);
        EXPECT_EQ(icons->viewMode(), QListView::IconMode);

        // Path box, log and status line.
        bool pathShown = false;
        for (QComboBox* combo : view.findChildren<QComboBox*>())
            pathShown |= combo->currentText() == dir;
        EXPECT_TRUE(pathShown);
        form.DisplayMessage("hello log");
        form.StatusBarInfo("status text");
        QApplication::processEvents();
        bool logged = false;
        for (QListWidget* list : view.findChildren<QListWidget*>())
            logged |= list->count() > 0 && list->item(list->count() - 1)->text() == "hello log";
        EXPECT_TRUE(logged);
        bool status = false;
        for (QLabel* label : view.findChildren<QLabel*>())
            status |= label->text() == "status text";
        EXPECT_TRUE(status);

        // Typing a letter into the port field puts the port back.
        for (QLineEdit* edit : view.findChildren<QLineEdit*>()) {
            if (edit->text() == "21") {
                edit->setText("x");
                emit edit->textEdited("x");
                QApplication::processEvents();
                EXPECT_EQ(edit->text(), "21");
                break;
            }
        }
        EXPECT_EQ(form.txtQport.Text(), "21");
        form.Form_Unload();
    }
    Prompts::setInstance(nullptr);
}
