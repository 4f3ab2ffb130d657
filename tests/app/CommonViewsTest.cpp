#include "common/controls/Form.h"
#include "common/controls/ListView.h"
#include "common/controls/MovieToolbar.h"
#include "common/platform/AppFolder.h"
#include "common/ui/ListViewWidget.h"
#include "common/ui/ToolbarView.h"

#include <QAction>
#include <QHeaderView>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace harbel;

namespace {
class ViewForm final : public Form {
public:
    ViewForm() : Form("frmMain") {}
    ListView lstMain{*this, "lstMain"};
    MovieToolbar Flash{*this, "Flash"};
};
}  // namespace

TEST(CommonViews, ListWidgetFollowsTheModelAndReportsTheUser)
{
    ViewForm f;
    f.lstMain.setColumns({{"", 20}, {"Filename", 120}, {"%", 36, Qt::AlignHCenter}, {"Date", 0}});
    ListViewWidget w(f.lstMain);
    ListRow* r = f.lstMain.Add({}, 1);
    r->setCell(1, "/tmp/a.zip");
    r->setCell(2, "0%");
    ASSERT_EQ(w.topLevelItemCount(), 1);
    EXPECT_EQ(w.topLevelItem(0)->text(1), "/tmp/a.zip");
    EXPECT_TRUE(w.isColumnHidden(3));
    r->setCell(2, "50%");
    EXPECT_EQ(w.topLevelItem(0)->text(2), "50%");

    w.topLevelItem(0)->setSelected(true);
    EXPECT_TRUE(r->Selected());
    r->setSelected(false);
    EXPECT_FALSE(w.topLevelItem(0)->isSelected());

    emit w.header()->sectionClicked(1);
    EXPECT_EQ(f.lstMain.SortKey(), 1);
    f.lstMain.Remove(r);
    EXPECT_EQ(w.topLevelItemCount(), 0);
}

TEST(CommonViews, ListWidgetAddsOnlyTheNewItemsForRowsAddedAtTheEnd)
{
    // A history is loaded row by row: remaking every item at each one took minutes for a long one.
    ViewForm f;
    f.lstMain.setColumns({{"", 20}, {"Filename", 120}});
    ListViewWidget w(f.lstMain);
    for (const char* name : {"b", "c"})
        f.lstMain.Add({}, 1)->setCell(1, name);
    QTreeWidgetItem* first = w.topLevelItem(0);
    f.lstMain.Add({}, 1)->setCell(1, "a");
    ASSERT_EQ(w.topLevelItemCount(), 3);
    EXPECT_EQ(w.topLevelItem(0), first);
    EXPECT_EQ(w.topLevelItem(2)->text(1), "a");

    // Any other change of the rows still gives items in the model's order.
    const auto sameOrder = [&] {
        ASSERT_EQ(w.topLevelItemCount(), f.lstMain.count());
        for (int i = 0; i < w.topLevelItemCount(); ++i)
            EXPECT_EQ(w.topLevelItem(i)->text(1), f.lstMain.item(i + 1)->cell(1)) << i;
    };
    f.lstMain.ColumnClick(1);
    EXPECT_NE(f.lstMain.item(1)->cell(1), "b");  // sorted
    sameOrder();
    f.lstMain.Remove(1);
    f.lstMain.Add({}, 1)->setCell(1, "d");
    sameOrder();
    EXPECT_EQ(w.topLevelItem(2)->text(1), "d");
}

TEST(CommonViews, ListWidgetShowsAHugeCellCutButTheRowKeepsIt)
{
    // A damaged history may hold a line of megabytes: laid out whole it froze the window.
    ViewForm f;
    f.lstMain.setColumns({{"", 20}, {"Filename", 120}});
    ListViewWidget w(f.lstMain);
    const QString huge(1000000, u'x');
    f.lstMain.Add({}, 1)->setCell(1, huge);
    ASSERT_EQ(w.topLevelItemCount(), 1);
    EXPECT_LT(w.topLevelItem(0)->text(1).size(), 5000);
    EXPECT_TRUE(w.topLevelItem(0)->text(1).startsWith("xxxx"));
    EXPECT_EQ(f.lstMain.item(1)->cell(1), huge);
    f.lstMain.item(1)->setCell(1, "short");
    EXPECT_EQ(w.topLevelItem(0)->text(1), "short");
}

TEST(CommonViews, ToolbarButtonsRaiseTheirCommands)
{
    ViewForm f;
    ASSERT_TRUE(f.Flash.LoadMovie(AppFolder::file("Harbel.toolbar")));
    f.Flash.SetVariable("_root.Program", "DM");
    ToolbarView view(f.Flash);
    QSignalSpy commands(&f.Flash, &MovieToolbar::FSCommand);
    auto* add = view.findChild<QAction*>("IDC_FS_AddURL");
    auto* queue = view.findChild<QAction*>("IDC_FS_ShowB");
    ASSERT_NE(add, nullptr);
    ASSERT_NE(queue, nullptr);
    EXPECT_TRUE(queue->isChecked());
    add->trigger();
    queue->trigger();  // comes up: hide the queue
    ASSERT_EQ(commands.count(), 2);
    EXPECT_EQ(commands.at(0).at(0).toString(), "IDC_FS_AddURL");
    EXPECT_EQ(commands.at(1).at(0).toString(), "IDC_FS_HideB");
}
