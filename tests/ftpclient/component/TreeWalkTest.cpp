// The one tree walk of the recursive commands, over a folder tree held in memory: what it skips, the
// order of its steps, its depth limit, folders that lead back up, and hooks that pass or stop.
#include "ftpclient/component/TreeWalk.h"
#include "tests/support/QtPrint.h"

#include <QHash>
#include <QSet>
#include <QStringList>

#include <gtest/gtest.h>

using namespace harbel::tessaly;
using Kind = TreeWalk::Kind;

namespace {

struct MemoryTree {
    // The entries of each folder by its path ("" is the top).
    QHash<QString, QList<TreeWalk::Entry>> folders;
    QSet<QString> unlistable;
    QHash<QString, TreeWalk::Step> enterAnswers;
    QStringList trace;

    static QString join(const QString& folder, const QString& name) { return folder.isEmpty() ? name : folder + '/' + name; }

    TreeWalk::Hooks hooks()
    {
        static const char* const outcomes[] = {"walked", "not listed", "loop"};
        static const char* const skips[] = {"unsafe", "folder link", "not regular"};
        TreeWalk::Hooks h;
        h.list = [this](TreeWalk::Folder& f) -> std::optional<QList<TreeWalk::Entry>> {
            if (unlistable.contains(f.remote))
                return std::nullopt;
            return folders.value(f.remote);
        };
        h.file = [this](const TreeWalk::Folder& in, const TreeWalk::Entry& e) { trace << "file " + join(in.remote, e.name); };
        h.enter = [this](const TreeWalk::Folder& in, const TreeWalk::Entry& e, TreeWalk::Folder& into) {
            into.remote = join(in.remote, e.name);
            trace << QString("enter %1 at %2").arg(into.remote).arg(into.depth);
            return enterAnswers.value(into.remote, TreeWalk::Step::Enter);
        };
        h.leave = [this](const TreeWalk::Folder&, const TreeWalk::Entry&, const TreeWalk::Folder& left, TreeWalk::Outcome o) {
            trace << "leave " + left.remote + " " + outcomes[int(o)];
            return true;
        };
        h.skipped = [this](const TreeWalk::Folder& in, const TreeWalk::Entry& e, TreeWalk::Skip why, const QString&) {
            trace << "skip " + join(in.remote, e.name) + " " + skips[int(why)];
        };
        h.tooDeep = [this](const TreeWalk::Folder& in, const QList<TreeWalk::Entry>& left) {
            trace << QString("too deep in %1: %2 left").arg(in.remote).arg(left.size());
        };
        h.loop = [this](const TreeWalk::Folder& f) { trace << "loop " + f.remote; };
        return h;
    }
};

TreeWalk::Entry entry(const QString& name, Kind kind = Kind::File)
{
    return TreeWalk::Entry{name, kind, 0, {}, {}};
}

}  // namespace

TEST(TreeWalk, SkipsWhatItMustAndWalksFilesBeforeSubFolders)
{
    MemoryTree tree;
    tree.folders[""] = {entry("a.txt"), entry("dir", Kind::Folder), entry("../up"), entry("linked", Kind::FolderLink),
                        entry("fifo.txt", Kind::Special), entry("b.bin"), entry("ln.txt", Kind::Link), entry("", Kind::Folder)};
    tree.folders["dir"] = {entry("inner.txt"), entry("inner.bin")};
    struct Case {
        QString mask;
        bool recurse;
        QStringList trace;
    };
    const QList<Case> cases{
        {"", true, {"file a.txt", "skip ../up unsafe", "skip linked folder link", "skip fifo.txt not regular", "file b.bin", "file ln.txt",
                    "skip  unsafe", "enter dir at 1", "file dir/inner.txt", "file dir/inner.bin", "leave dir walked"}},
        // The mask is for files: folders are walked whatever their names, links to folders skipped.
        {"*.txt", true, {"file a.txt", "skip ../up unsafe", "skip linked folder link", "skip fifo.txt not regular", "file ln.txt",
                         "skip  unsafe", "enter dir at 1", "file dir/inner.txt", "leave dir walked"}},
        {"*.bin", false, {"skip ../up unsafe", "file b.bin", "skip  unsafe"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mask.toStdString());
        tree.trace.clear();
        TreeWalk::Rules rules;
        rules.mask = c.mask;
        rules.recurse = c.recurse;
        EXPECT_TRUE(TreeWalk(rules, tree.hooks()).walk({}));
        EXPECT_EQ(tree.trace, c.trace);
    }
}

TEST(TreeWalk, StopsAtItsDepthLimitAndAtFoldersThatListLikeOneAboveThem)
{
    // Every folder holds one folder "d" and a file: a server that lists a link back up as a folder.
    MemoryTree tree;
    for (const char* path : {"", "d", "d/d", "d/d/d"})
        tree.folders[QString::fromLatin1(path)] = {entry("f"), entry("d", Kind::Folder)};
    TreeWalk::Rules rules;
    rules.maxDepth = 2;
    EXPECT_TRUE(TreeWalk(rules, tree.hooks()).walk({}));
    EXPECT_EQ(tree.trace, (QStringList{"file f", "enter d at 1", "file d/f", "enter d/d at 2", "file d/d/f", "too deep in d/d: 1 left",
                                       "leave d/d walked", "leave d walked"}));

    tree.trace.clear();
    rules.sameListingIsLoop = true;
    EXPECT_TRUE(TreeWalk(rules, tree.hooks()).walk({}));
    EXPECT_EQ(tree.trace, (QStringList{"file f", "enter d at 1", "loop d", "leave d loop"}));
}

TEST(TreeWalk, HooksPassOverAFolderOrStopTheWholeWalk)
{
    MemoryTree tree;
    tree.folders["top"] = {entry("skipped", Kind::Folder), entry("unread", Kind::Folder), entry("last", Kind::Folder), entry("never", Kind::Folder)};
    tree.unlistable << "top/unread";
    tree.enterAnswers["top/skipped"] = TreeWalk::Step::Pass;
    tree.enterAnswers["top/last"] = TreeWalk::Step::Stop;
    TreeWalk::Folder parent;
    // walkInto: the folder entered is the first level.
    EXPECT_FALSE(TreeWalk({}, tree.hooks()).walkInto(parent, entry("top", Kind::Folder)));
    EXPECT_EQ(tree.trace, (QStringList{"enter top at 0", "enter top/skipped at 1", "enter top/unread at 1", "leave top/unread not listed",
                                       "enter top/last at 1"}));
}
