#include "common/controls/Form.h"
#include "common/controls/ListView.h"
#include "common/controls/MovieToolbar.h"
#include "common/platform/AppFolder.h"
#include "tests/support/TestEnvironment.h"

#include <QPointer>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace harbel;

namespace {
class ListForm final : public Form {
public:
    ListForm() : Form("frmMain") {}
    ListView lstMain{*this, "lstMain"};
    MovieToolbar Flash{*this, "Flash"};
};

QStringList column(const ListView& l, int c)
{
    QStringList out;
    for (ListRow* r : l.rows())
        out.append(r->cell(c));
    return out;
}
}  // namespace

TEST(ListView, RowsKeepTheirAddressAndKnowTheirPosition)
{
    ListForm f;
    ListView& l = f.lstMain;
    QSignalSpy rowsSpy(&l, &ListView::rowsChanged);
    QSignalSpy rowSpy(&l, &ListView::rowChanged);
    ListRow* a = l.Add({}, 1);
    ListRow* b = l.Add({}, 1);
    ListRow* c = l.Add({}, 1);
    b->setCell(5, "Downloading");
    EXPECT_EQ(b->cell(5), "Downloading");
    EXPECT_EQ(b->cell(9), "");
    EXPECT_EQ(rowSpy.count(), 1);
    EXPECT_EQ(b->Index(), 2);

    // A job holding its row sees it go away without touching freed memory.
    QPointer<ListRow> held(a);
    l.Remove(1);
    EXPECT_TRUE(held.isNull());
    EXPECT_EQ(b->Index(), 1);
    EXPECT_EQ(c->Index(), 2);
    EXPECT_EQ(l.item(2), c);
    EXPECT_EQ(l.item(3), nullptr);
    EXPECT_EQ(l.item(0), nullptr);
    EXPECT_EQ(rowsSpy.count(), 4);

    c->setSelected(true);
    l.setSelectedItem(c);
    EXPECT_EQ(l.selectedRows(), QList<ListRow*>{c});
    l.selectAll(true);
    EXPECT_EQ(l.selectedRows().size(), 2);
    l.Remove(c);
    EXPECT_EQ(l.SelectedItem(), nullptr);
    l.Clear();
    EXPECT_TRUE(l.isEmpty());
}

TEST(ListView, HeaderClicksAlternateTheOrderWhateverColumnIsClicked)
{
    ListForm f;
    ListView& l = f.lstMain;
    for (const char* name : {"b.zip", "A.zip", "file10.zip", "file9.zip"}) {
        ListRow* r = l.Add();
        r->setCell(1, QString::fromLatin1(name));
        r->setCell(3, QString::number(std::strlen(name)));
    }
    l.ColumnClick(1);  // the list starts ascending, so the first click sorts descending
    EXPECT_EQ(l.SortOrder(), ListView::lvwDescending);
    EXPECT_EQ(column(l, 1), (QStringList{"file10.zip", "file9.zip", "b.zip", "A.zip"}));
    l.ColumnClick(3);
    EXPECT_EQ(l.SortOrder(), ListView::lvwAscending);
    EXPECT_EQ(l.SortKey(), 3);
    EXPECT_EQ(column(l, 1).first(), "b.zip");
    l.ColumnClick(1);
    EXPECT_EQ(column(l, 1), (QStringList{"file10.zip", "file9.zip", "b.zip", "A.zip"}));
    l.ColumnClick(1);
    EXPECT_EQ(column(l, 1), (QStringList{"A.zip", "b.zip", "file9.zip", "file10.zip"}));
}

TEST(MovieToolbar, ProgramPicksTheButtonsAndPressesRaiseCommands)
{
    ListForm f;
    MovieToolbar& t = f.Flash;
    ASSERT_TRUE(t.LoadMovie(AppFolder::file("Harbel.toolbar")));
    EXPECT_TRUE(t.buttons().isEmpty());  // no program chosen yet
    t.SetVariable("_root.Program", "DM");
    ASSERT_FALSE(t.buttons().isEmpty());
    EXPECT_EQ(t.buttons().first().command, "IDC_FS_AddURL");

    QSignalSpy commands(&t, &MovieToolbar::FSCommand);
    t.press("IDC_FS_AddURL");
    t.press("IDC_FS_ShowB", false);  // the queue toggle comes up
    t.press("IDC_FS_ShowB", true);
    t.press("IDC_FS_Connect");       // not a button of this program
    ASSERT_EQ(commands.count(), 3);
    EXPECT_EQ(commands.at(0).at(0).toString(), "IDC_FS_AddURL");
    EXPECT_EQ(commands.at(1).at(0).toString(), "IDC_FS_HideB");
    EXPECT_EQ(commands.at(2).at(0).toString(), "IDC_FS_ShowB");

    t.SetVariable("_root.Program", "FTP");
    EXPECT_EQ(t.buttons().first().command, "IDC_FS_Connect");
    t.SetVariable("_root.Connected", "1");
    EXPECT_EQ(t.GetVariable("_root.Connected"), "1");
    EXPECT_FALSE(t.LoadMovie(AppFolder::file("missing.toolbar")));
}

TEST(MovieToolbar, ALongDescriptionIsReadOnceAndTheFirstSectionOfANameCounts)
{
    // A lookup per button used to read the whole file again for each one: with this many
    // buttons the start-up never ended.
    QByteArray text = "[dm]\n";
    for (int n = 1; n <= 100000; ++n)
        text += QByteArray::number(n) + "=B|IDC_FS_AddURL|i\n";
    text += "[DM]\n1=Other|IDC_FS_Other|i\n[FTP]\n1 = \"C|IDC_FS_Connect|c\"\n";
    const QString path = AppFolder::file("long.toolbar");
    test::writeFile(path, text);
    ListForm f;
    MovieToolbar& t = f.Flash;
    ASSERT_TRUE(t.LoadMovie(path));
    t.SetVariable("_root.Program", "DM");
    EXPECT_EQ(t.buttons().size(), 100000);
    EXPECT_EQ(t.buttons().last().command, "IDC_FS_AddURL");
    t.SetVariable("_root.Program", "FTP");
    ASSERT_EQ(t.buttons().size(), 1);
    EXPECT_EQ(t.buttons().first().caption, "C");
}

// Selecting all of a folder of 100,000 rows: every row reports its change, and whoever listens (the
// views) asks for the row's place each time. That must not be a search, or the selection takes
// minutes; this test then does not end within the test run's time limit.
TEST(ListView, SelectingAllOfAHundredThousandRowsKeepsEveryRowsPlace)
{
    ListForm f;
    ListView& l = f.lstMain;
    constexpr int kRows = 100000;
    for (int i = 0; i < kRows; ++i)
        l.Add(QString::number(i), 1);
    qint64 placesSum = 0;
    int changes = 0;
    QObject::connect(&l, &ListView::rowChanged, &l, [&](ListRow* row) {
        ++changes;
        placesSum += row->Index();
        EXPECT_EQ(l.item(row->Index()), row);
    });
    l.selectAll(true);
    EXPECT_EQ(changes, kRows);
    EXPECT_EQ(placesSum, qint64(kRows) * (kRows + 1) / 2);
    const QList<ListRow*> selected = l.selectedRows();
    ASSERT_EQ(selected.size(), kRows);
    EXPECT_EQ(selected.first()->Text(), "0");
    EXPECT_EQ(selected.last()->Text(), QString::number(kRows - 1));

    // Places follow removals and sorting. A removed row is deleted: only a guarded pointer may
    // still be asked for it.
    const QPointer<ListRow> removed = selected.first();
    l.Remove(1);
    EXPECT_TRUE(removed.isNull());
    EXPECT_EQ(l.item(1)->Text(), "1");
    EXPECT_EQ(l.item(1)->Index(), 1);
    EXPECT_EQ(l.indexOf(selected.last()), kRows - 1);
    l.sortBy(0, ListView::lvwDescending);
    EXPECT_EQ(selected.last()->Index(), 1);
    EXPECT_EQ(l.item(kRows - 1)->Text(), "1");
    EXPECT_EQ(l.item(kRows - 1)->Index(), kRows - 1);
    EXPECT_EQ(l.indexOf(removed), 0);
    l.selectAll(false);
    EXPECT_FALSE(l.anySelected());
}
