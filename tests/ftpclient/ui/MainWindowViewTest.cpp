// The main window's widgets follow the model and hand the user's actions back to it.
#include "common/prompts/ScriptedPrompts.h"
#include "ftpclient/window/TessalyMain.h"
#include "ftpclient/ui/TessalyMainView.h"
#include "tests/support/PyFtpServer.h"
#include "tests/support/TestEnvironment.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QtTest/QTest>

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <tuple>

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

        // Choosing SFTP greys the box with the reason; the FTP Commands submenu stays greyed when
        // the Remote menu around it is enabled.
        auto* protocol = view.findChild<QComboBox*>("cboQProtocol");
        ASSERT_TRUE(protocol);
        emit protocol->activated(2);
        EXPECT_EQ(form.txtQport.Text(), "22");
        EXPECT_FALSE(tls->isEnabled());
        EXPECT_EQ(tls->toolTip(), "Not available over SFTP");
        emit protocol->activated(0);
        EXPECT_TRUE(tls->isEnabled());
        form.mnuRemoteFtpCommands.setEnabled(false);
        form.miRemote.setEnabled(true);
        for (const QMenu* menu : view.findChildren<QMenu*>())
            if (menu->title() == "FTP Commands")
                EXPECT_FALSE(menu->menuAction()->isEnabled());

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

        // The window's size is the last session's at the next start.
        view.resize(1250, 700);
        form.Form_Unload();
        TessalyMainWindowView again(form);
        EXPECT_EQ(again.size(), QSize(1250, 700));
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

// Both lists through real key events and header clicks, one table for the two: the local folder
// and the server's folder hold the same entries, so each step shows the same names.
TEST(TessalyMainWindowView, KeysAndColumnHeadersWorkInBothLists)
{
    ScriptedPrompts prompts;
    prompts.setUnexpectedHandler([](const QString& what) { ADD_FAILURE() << what.toStdString(); });
    Prompts::setInstance(&prompts);
    const QString local = test::testFolder() + "/local/", served = test::testFolder() + "/served/";
    for (const QString& dir : {local, served}) {
        QDir().mkpath(dir + "Alpha");
        test::writeFile(dir + "zeta/in.txt", "in");
        for (const auto& [name, bytes, days] : {std::tuple{"a.txt", 5, 1}, {"b.txt", 2, 10}, {"c.bin", 1, 5}}) {
            test::writeFile(dir + name, QByteArray(bytes, 'x'));
            const timespec when[2] = {{::time(nullptr) - days * 86400, 0}, {::time(nullptr) - days * 86400, 0}};
            ::utimensat(AT_FDCWD, QFile::encodeName(dir + name).constData(), when, 0);
        }
    }
    test::PyFtpServer server(served);
    ASSERT_TRUE(server.start()) << server.error().toStdString();
    {
        frmMain form;
        ASSERT_TRUE(form.Form_Load());
        TessalyMainWindowView view(form);
        view.show();
        form.ChangeCurrentLocalFolder(local);
        form.RefreshLocalList();
        form.txtQaddress.setText("127.0.0.1");
        form.txtQport.setText(QString::number(server.port()));
        form.txtQuser.setText("tess");
        form.txtQpassword.setText("secret");
        form.cmdQConnect_Click();
        ASSERT_EQ(form.xFtp.State(), 2) << form.lblStatus.Caption().toStdString();

        // Keys as a script: "#1" clicks the second column's header, "'ze" types "ze", "+d.txt"
        // makes that file in the listed folder; anything else is a key ("Del", "Ctrl+A"). Each
        // question asked takes the next answer (Yes, No or a text); selected names are starred.
        struct Step { QString keys; QStringList answers; QString shown; };
        const Step steps[] = {
            {"", {}, "Alpha zeta a.txt b.txt c.bin"},  // folders first, by name
            {"#1", {}, "Alpha zeta c.bin b.txt a.txt"},
            {"#1", {}, "zeta Alpha a.txt b.txt c.bin"},
            {"#2", {}, "Alpha zeta b.txt c.bin a.txt"},
            {"#0", {}, "Alpha zeta a.txt b.txt c.bin"},
            {"'b", {}, "Alpha zeta a.txt *b.txt c.bin"},
            {"F2", {"Yes", "bee.txt"}, "Alpha zeta a.txt bee.txt c.bin"},
            {"'c Del", {"No"}, "Alpha zeta a.txt bee.txt *c.bin"},
            {"Del", {"Yes"}, "Alpha zeta a.txt bee.txt"},
            {"+d.txt F5", {}, "Alpha zeta a.txt bee.txt d.txt"},
            {"Ctrl+A", {}, "*Alpha *zeta *a.txt *bee.txt *d.txt"},
            {"'ze Return", {}, "in.txt"},
            {"Backspace", {}, "Alpha zeta a.txt bee.txt d.txt"},
        };
        const auto treeOf = [&](const char* name) { return view.findChild<QWidget*>(name)->findChild<QTreeWidget*>(); };
        for (const char* pane : {"lstLocalFileList", "lstRemoteFileList"}) {
            QTreeWidget* tree = treeOf(pane);
            const QString folder = QString(pane) == "lstLocalFileList" ? local : served;
            for (const Step& step : steps) {
                for (const QString& answer : step.answers)
                    answer == "Yes" || answer == "No" ? prompts.answer(answer == "Yes" ? MsgAnswer::Yes : MsgAnswer::No) : prompts.answerText(answer);
                QHeaderView* h = tree->header();
                for (const QString& key : step.keys.split(' ', Qt::SkipEmptyParts)) {
                    if (key.startsWith('#'))
                        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(h->sectionViewportPosition(key.mid(1).toInt()) + 5, h->height() / 2));
                    else if (key.startsWith('+'))
                        test::writeFile(folder + key.mid(1), "new");
                    else if (key.startsWith('\'')) {
                        QTest::qWait(QApplication::keyboardInputInterval() + 50);  // a new search, not the last one's sequel
                        QTest::keyClicks(tree, key.mid(1));
                    } else
                        QTest::keyClick(tree, QKeySequence(key)[0].key(), QKeySequence(key)[0].keyboardModifiers());
                }
                QApplication::processEvents();
                QStringList shown;
                for (int i = 0; i < tree->topLevelItemCount(); ++i)
                    shown << (tree->topLevelItem(i)->isSelected() ? "*" : "") + tree->topLevelItem(i)->text(0);
                EXPECT_EQ(shown.join(' ').toStdString(), step.shown.toStdString()) << pane << ": " << step.keys.toStdString();
            }
            EXPECT_EQ(prompts.pendingAnswers(), 0u);
            EXPECT_FALSE(QFileInfo::exists(folder + "c.bin"));
        }
        for (const auto& [from, to] : {std::pair{"lstLocalFileList", "lstRemoteFileList"}, {"lstRemoteFileList", "lstLocalFileList"}}) {
            QTest::keyClick(treeOf(from), Qt::Key_Tab);  // Tab moves between the lists
            EXPECT_EQ(view.focusWidget(), treeOf(to));
        }
        form.Form_Unload();
    }
    Prompts::setInstance(nullptr);
}

// The queue panel renders its rows and runs its commands from the list's keys.
TEST(TessalyMainWindowView, TheQueuePanelShowsItsRowsAndTakesItsKeys)
{
    ScriptedPrompts prompts;
    prompts.setUnexpectedHandler([](const QString& what) { ADD_FAILURE() << what.toStdString(); });
    Prompts::setInstance(&prompts);
    {
        frmMain form;
        ASSERT_TRUE(form.Form_Load());
        TessalyMainWindowView view(form);
        view.show();
        // Nowhere to log in to: the item fails at once and stays for Retry or Remove.
        TransferItem item;
        item.localPath = test::testFolder() + "/a.txt";
        item.remotePath = "/a.txt";
        form.transferQueue().add(item);
        ASSERT_TRUE(test::waitUntil([&] { return form.transferQueue().isIdle(); }));
        form.queuePanel().tmrQueue_Timer();
        auto* tree = view.findChild<QWidget*>("frmQueue")->findChild<QTreeWidget*>();
        ASSERT_EQ(tree->topLevelItemCount(), 1);
        EXPECT_EQ(tree->topLevelItem(0)->text(QueuePanel::ColDirection), "Download");
        EXPECT_EQ(tree->topLevelItem(0)->text(QueuePanel::ColRemote), "/a.txt");
        EXPECT_TRUE(tree->topLevelItem(0)->text(QueuePanel::ColState).startsWith("Failed: ")) << tree->topLevelItem(0)->text(QueuePanel::ColState).toStdString();
        tree->topLevelItem(0)->setSelected(true);
        EXPECT_TRUE(form.queuePanel().cmdQueueRetry.Enabled());
        QTest::keyClick(tree, Qt::Key_Delete);
        EXPECT_EQ(tree->topLevelItemCount(), 0);
        EXPECT_TRUE(form.transferQueue().items().isEmpty());
        form.Form_Unload();
    }
    Prompts::setInstance(nullptr);
}
