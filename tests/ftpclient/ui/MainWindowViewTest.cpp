// The main window's widgets follow the model and hand the user's actions back to it.
#include "common/prompts/ScriptedPrompts.h"
#include "ftpclient/window/TessalyMain.h"
#include "ftpclient/ui/TessalyMainView.h"
#include "tests/support/TestEnvironment.h"

#include <QApplication>
#include <QCheckBox>
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

        // Each pane's list, and the frozen copy of the remote one, hidden until a command shows it.
        const auto treeOf = [&](const char* name) {
            QWidget* pane = view.findChild<QWidget*>(QLatin1String(name));
            return pane ? pane->findChild<QTreeWidget*>() : nullptr;
        };
        QTreeWidget* local = treeOf("lstLocalFileList");
        QTreeWidget* remote = treeOf("lstRemoteFileList");
        ASSERT_TRUE(local && remote && treeOf("lstDel"));
        EXPECT_FALSE(treeOf("lstDel")->isVisible());
        ASSERT_EQ(local->topLevelItemCount(), 3) << remote->topLevelItemCount();
        EXPECT_EQ(local->headerItem()->text(1), "Size (bytes)");
        EXPECT_EQ(remote->topLevelItemCount(), 0);
        EXPECT_EQ(remote->headerItem()->text(0), "Name");  // an empty list still shows its columns, not "1"

        // Quick Connect's FTP over TLS box follows the model both ways.
        auto* tls = view.findChild<QCheckBox*>("chkQTls");
        ASSERT_TRUE(tls);
        EXPECT_FALSE(tls->isChecked());
        tls->click();
        EXPECT_EQ(form.chkQTls.Value(), 1);
        form.chkQTls.setValue(0);
        EXPECT_FALSE(tls->isChecked());

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

// Select-all in a folder of 100,000 entries reaches the model at once, and the log widget follows a
// log list that drops its oldest lines. A search per row anywhere on the way makes this test hang.
TEST(TessalyMainWindowView, SelectingAllOfAHugeRemoteListAndABoundedLog)
{
    ScriptedPrompts prompts;
    prompts.setUnexpectedHandler([](const QString& what) { ADD_FAILURE() << what.toStdString(); });
    Prompts::setInstance(&prompts);
    {
        frmMain form;
        ASSERT_TRUE(form.Form_Load());
        TessalyMainWindowView view(form);
        view.show();
        constexpr int kRows = 100000;
        for (int i = 0; i < kRows; ++i) {
            ListRow* row = form.lstRemoteFileList.Add(QString("file%1").arg(i), 1);
            row->setCell(3, "F");
        }
        QApplication::processEvents();
        QTreeWidget* remote = nullptr;
        for (QTreeWidget* tree : view.findChildren<QTreeWidget*>())
            if (tree->topLevelItemCount() == kRows)
                remote = tree;
        ASSERT_TRUE(remote);

        remote->selectAll();
        QApplication::processEvents();
        EXPECT_EQ(form.lstRemoteFileList.selectedRows().size(), kRows);
        EXPECT_TRUE(form.cmdReceive.Enabled() || form.xFtp.State() == 0);
        EXPECT_TRUE(form.miDeleteRemoteFile.Enabled());

        // The model clears all but two runs; the widget shows the same.
        for (ListRow* row : form.lstRemoteFileList.rows())
            row->setSelected(row->Index() <= 10 || row->Index() > kRows - 10);
        QApplication::processEvents();
        EXPECT_EQ(remote->selectionModel()->selectedRows().size(), 20);
        EXPECT_TRUE(remote->topLevelItem(kRows - 1)->isSelected());
        EXPECT_FALSE(remote->topLevelItem(kRows / 2)->isSelected());
        EXPECT_EQ(form.lstRemoteFileList.selectedRows().size(), 20);

        // The log widget drops what the log list drops.
        form.setLogLineLimit(5);
        for (int i = 0; i < 12; ++i)
            form.DisplayMessage(QString("message %1").arg(i));
        QApplication::processEvents();
        QListWidget* log = nullptr;
        for (QListWidget* list : view.findChildren<QListWidget*>())
            if (list->count() > 0 && list->item(list->count() - 1)->text() == "message 11")
                log = list;
        ASSERT_TRUE(log);
        ASSERT_EQ(log->count(), 5);
        EXPECT_EQ(log->item(0)->text(), "message 7");
        form.ClearLog();
        form.DisplayMessage("after clear");
        QApplication::processEvents();
        ASSERT_EQ(log->count(), 1);
        EXPECT_EQ(log->item(0)->text(), "after clear");
    }
    Prompts::setInstance(nullptr);
}
