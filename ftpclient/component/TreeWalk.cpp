#include "ftpclient/component/TreeWalk.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

namespace harbel::tessaly {

namespace {

QByteArray listingSignature(const QList<TreeWalk::Entry>& entries)
{
    QStringList lines;
    lines.reserve(entries.size());
    for (const TreeWalk::Entry& e : entries)
        lines << QStringLiteral("%1|%2|%3|%4").arg(int(e.kind)).arg(e.size).arg(e.date.isValid() ? e.date.toMSecsSinceEpoch() : -1).arg(e.name);
    lines.sort();
    return QCryptographicHash::hash(lines.join(QLatin1Char('\n')).toUtf8(), QCryptographicHash::Sha256);
}

}  // namespace

TreeWalk::Entry TreeWalk::remoteEntry(const FolderItem& item)
{
    const Kind kind = item.Kind == FolderItem::Folder ? Kind::Folder : item.Kind == FolderItem::Link ? Kind::Link : Kind::File;
    return Entry{item.Name, kind, item.Size, item.Date, QString()};
}

TreeWalk::Entry TreeWalk::localEntry(const QFileInfo& info)
{
    const Kind kind = info.isDir() ? (info.isSymLink() ? Kind::FolderLink : Kind::Folder) : info.isFile() ? Kind::File : Kind::Special;
    return Entry{info.fileName(), kind, info.size(), info.lastModified(), info.filePath()};
}

QList<TreeWalk::Entry> TreeWalk::localEntries(const QString& folder)
{
    const QFileInfoList infos =
        QDir(folder).entryInfoList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    QList<Entry> entries;
    entries.reserve(infos.size());
    for (const QFileInfo& info : infos)
        entries.append(localEntry(info));
    return entries;
}

bool TreeWalk::walk(Folder root)
{
    root.depth = 0;
    Outcome outcome = Outcome::Walked;
    return walkFolder(root, outcome);
}

bool TreeWalk::walkInto(Folder parent, const Entry& folder)
{
    parent.depth = -1;
    return enterAndWalk(parent, folder);
}

void TreeWalk::skip(const Folder& in, const Entry& entry, Skip why, const QString& reason)
{
    if (hooks_.skipped)
        hooks_.skipped(in, entry, why, reason);
}

bool TreeWalk::walkFolder(Folder& folder, Outcome& outcome)
{
    const std::optional<QList<Entry>> entries = hooks_.list(folder);
    if (!entries) {
        outcome = Outcome::NotListed;
        return true;
    }
    QByteArray signature;
    if (rules_.sameListingIsLoop) {
        signature = listingSignature(*entries);
        if (ancestors_.contains(signature)) {
            if (hooks_.loop)
                hooks_.loop(folder);
            outcome = Outcome::Loop;
            return true;
        }
    }
    outcome = Outcome::Walked;
    QList<Entry> folders;
    for (const Entry& entry : *entries) {
        const QString reason = listing::unsafeNameReason(entry.name);
        if (!reason.isEmpty()) {
            skip(folder, entry, Skip::UnsafeName, reason);
            continue;
        }
        if (entry.kind == Kind::Folder || entry.kind == Kind::FolderLink) {
            if (!rules_.recurse)
                continue;
            if (entry.kind == Kind::FolderLink)
                skip(folder, entry, Skip::FolderLink, QString());
            else
                folders.append(entry);
            continue;
        }
        if (!listing::matchesMask(entry.name, rules_.mask))
            continue;
        if (entry.kind == Kind::Special) {
            skip(folder, entry, Skip::NotRegular, QString());
            continue;
        }
        hooks_.file(folder, entry);
    }
    if (folders.isEmpty())
        return true;
    if (folder.depth >= rules_.maxDepth) {
        if (hooks_.tooDeep)
            hooks_.tooDeep(folder, folders);
        return true;
    }
    if (rules_.sameListingIsLoop)
        ancestors_.append(signature);
    for (const Entry& sub : std::as_const(folders)) {
        if (!enterAndWalk(folder, sub))
            return false;
    }
    if (rules_.sameListingIsLoop)
        ancestors_.removeLast();
    return true;
}

bool TreeWalk::enterAndWalk(const Folder& parent, const Entry& entry)
{
    Folder into;
    into.depth = parent.depth + 1;
    switch (hooks_.enter(parent, entry, into)) {
    case Step::Stop:
        return false;
    case Step::Pass:
        return true;
    case Step::Enter:
        break;
    }
    into.depth = parent.depth + 1;
    Outcome outcome = Outcome::Walked;
    if (!walkFolder(into, outcome))
        return false;
    return !hooks_.leave || hooks_.leave(parent, entry, into, outcome);
}

}  // namespace harbel::tessaly
