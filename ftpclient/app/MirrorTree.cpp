#include "ftpclient/app/MirrorTree.h"

#include "ftpclient/app/ConsoleOutput.h"
#include "ftpclient/component/RemoteSession.h"
#include "ftpclient/component/TreeWalk.h"

#include <QFileInfo>

namespace harbel::tessaly {

namespace {

QString relativeTo(const QString& root, const QString& path)
{
    QString rest = path.mid(root.size());
    while (rest.startsWith(u'/'))
        rest.remove(0, 1);
    return rest;
}

// The hooks both sides share: what is skipped, too deep or a loop is said (for a source) and kept.
void watchSkips(TreeWalk::Hooks& hooks, MirrorTree& tree, ConsoleOutput& out, bool source, bool remote, const QString& root)
{
    const auto where = [remote, root](const TreeWalk::Folder& in) {
        return relativeTo(root, remote ? in.remote : in.local);
    };
    hooks.skipped = [&tree, &out, source, where](const TreeWalk::Folder& in, const TreeWalk::Entry& entry, TreeWalk::Skip why,
                                                 const QString& reason) {
        const QString folder = where(in);
        const QString shown = ConsoleOutput::printable(folder.isEmpty() ? entry.name : folder + u'/' + entry.name);
        tree.leftOut.insert(folder.isEmpty() ? entry.name : folder + u'/' + entry.name);
        if (!source)
            return;
        tree.complete = false;
        switch (why) {
        case TreeWalk::Skip::UnsafeName:
            out.error(QStringLiteral("Skipped the listed name '%1': %2.").arg(shown, reason));
            break;
        case TreeWalk::Skip::FolderLink:
            out.error(QStringLiteral("Skipped %1: it is a link to a folder.").arg(shown));
            break;
        case TreeWalk::Skip::NotRegular:
            out.error(QStringLiteral("Skipped %1: it is not a regular file.").arg(shown));
            break;
        }
    };
    hooks.tooDeep = [&tree, &out, source, where](const TreeWalk::Folder& in, const QList<TreeWalk::Entry>&) {
        if (!source)
            return;
        tree.complete = false;
        out.error(QStringLiteral("Folders nested deeper than %1 levels are left out: %2").arg(TreeWalk::kMaxDepth).arg(where(in)));
    };
    hooks.loop = [&tree, &out, source, where](const TreeWalk::Folder& folder) {
        tree.entries.remove(where(folder));
        tree.leftOut.insert(where(folder));
        if (!source)
            return;
        tree.complete = false;
        out.error(QStringLiteral("Skipped the folder %1: it lists the same entries as a folder it lies in, so it is taken for a link back to it.")
                      .arg(where(folder)));
    };
}

}  // namespace

QString MirrorTree::join(const QString& folder, const QString& name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

MirrorTree MirrorTree::remote(RemoteSession& ftp, const QString& root, ConsoleOutput& out, bool source)
{
    MirrorTree tree;
    const bool mlsd = ftp.listsSeconds();
    TreeWalk::Rules rules;
    rules.sameListingIsLoop = true;
    TreeWalk::Hooks hooks;
    hooks.list = [&ftp](TreeWalk::Folder& folder) -> std::optional<QList<TreeWalk::Entry>> {
        // Each folder by its whole path: no way back up is needed between them.
        ftp.ChangeFolder(folder.remote);
        QList<TreeWalk::Entry> entries;
        for (const FolderItem& item : ftp.GetFolderItems(QString()))
            entries.append(TreeWalk::remoteEntry(item));
        return entries;
    };
    hooks.file = [&tree, root, mlsd](const TreeWalk::Folder& in, const TreeWalk::Entry& file) {
        Entry e;
        // A link of unknown kind is fetched as what it leads to, whose size the listing does not give.
        e.size = file.kind == TreeWalk::Kind::File ? file.size : -1;
        e.time = file.date;
        FolderItem item;
        item.Date = file.date;
        e.precision = listing::listedPrecision(item, mlsd);
        tree.entries.insert(relativeTo(root, join(in.remote, file.name)), e);
    };
    hooks.enter = [&tree, root](const TreeWalk::Folder& in, const TreeWalk::Entry& folder, TreeWalk::Folder& into) {
        into.remote = join(in.remote, folder.name);
        Entry e;
        e.folder = true;
        tree.entries.insert(relativeTo(root, into.remote), e);
        return TreeWalk::Step::Enter;
    };
    hooks.leave = [](const TreeWalk::Folder&, const TreeWalk::Entry&, const TreeWalk::Folder&, TreeWalk::Outcome) { return true; };
    watchSkips(hooks, tree, out, source, true, root);
    TreeWalk::Folder start;
    start.remote = root;
    TreeWalk(rules, hooks).walk(start);
    return tree;
}

MirrorTree MirrorTree::local(const QString& root, ConsoleOutput& out, bool source)
{
    MirrorTree tree;
    TreeWalk::Rules rules;
    TreeWalk::Hooks hooks;
    hooks.list = [](TreeWalk::Folder& folder) -> std::optional<QList<TreeWalk::Entry>> { return TreeWalk::localEntries(folder.local); };
    hooks.file = [&tree, root, source](const TreeWalk::Folder&, const TreeWalk::Entry& file) {
        // A download never writes through a link, so a target's link to a file is left alone.
        if (!source && QFileInfo(file.path).isSymLink()) {
            tree.leftOut.insert(relativeTo(root, file.path));
            return;
        }
        Entry e;
        e.size = file.size;
        e.time = file.date;
        tree.entries.insert(relativeTo(root, file.path), e);
    };
    hooks.enter = [&tree, root](const TreeWalk::Folder& in, const TreeWalk::Entry& folder, TreeWalk::Folder& into) {
        into.local = join(in.local, folder.name);
        Entry e;
        e.folder = true;
        tree.entries.insert(relativeTo(root, into.local), e);
        return TreeWalk::Step::Enter;
    };
    hooks.leave = [](const TreeWalk::Folder&, const TreeWalk::Entry&, const TreeWalk::Folder&, TreeWalk::Outcome) { return true; };
    watchSkips(hooks, tree, out, source, false, root);
    TreeWalk::Folder start;
    start.local = root;
    TreeWalk(rules, hooks).walk(start);
    return tree;
}

bool MirrorTree::same(const Entry& source, const Entry& target, bool notOlder)
{
    if (source.folder || target.folder || source.size < 0 || source.size != target.size)
        return false;
    const listing::Precision precision = std::max(source.precision, target.precision);
    const auto order = listing::compareTimes(target.time, source.time, precision);
    return order && (*order == 0 || (notOlder && *order > 0));
}

bool MirrorTree::liesIn(const QSet<QString>& paths, const QString& relative)
{
    if (paths.isEmpty())
        return false;
    for (QString path = relative;;) {
        if (paths.contains(path))
            return true;
        const qsizetype slash = path.lastIndexOf(u'/');
        if (slash < 0)
            return false;
        path.truncate(slash);
    }
}

}  // namespace harbel::tessaly
