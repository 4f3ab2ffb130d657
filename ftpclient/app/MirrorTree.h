#pragma once

#include "ftpclient/component/Listing.h"

#include <QDateTime>
#include <QMap>
#include <QSet>
#include <QString>

namespace harbel::tessaly {

class ConsoleOutput;
class RemoteSession;

// One side of a mirror: every folder and file of a tree, by its path relative to the tree's root
// ("docs/a.txt"), walked with TreeWalk and so under its rules (names that could leave their folder,
// links to folders and special files are never taken in). The map's order puts a folder before
// what it holds, so creating goes forwards and removing backwards.
class MirrorTree final {
public:
    struct Entry {
        bool folder = false;
        qint64 size = -1;  // -1: not known (a link of unknown kind)
        QDateTime time;
        listing::Precision precision = listing::Precision::Second;
    };
    QMap<QString, Entry> entries;
    // Names the walk did not take in (relative paths): a target's links and special files, which a
    // mirror must neither write through nor replace.
    QSet<QString> leftOut;
    // The walk took in everything it met; a source that lacks something says so in lines on the
    // standard error.
    bool complete = true;

    // The server's tree under root (an absolute path, which must be a folder), over the session's
    // connection, which is left in whichever folder the walk ended. A failure throws FtpError.
    // source: the side the mirror copies from, whose skipped entries are told and make it incomplete.
    static MirrorTree remote(RemoteSession& ftp, const QString& root, ConsoleOutput& out, bool source);
    // The local tree under root (an existing folder).
    static MirrorTree local(const QString& root, ConsoleOutput& out, bool source);

    // The target's copy of a source file is the same: equal size, and equal time to the coarser of
    // the two precisions. With notOlder (a server that cannot take a file's time, so that an upload
    // bears the time it arrived), a target at least as new as the source counts as the same.
    static bool same(const Entry& source, const Entry& target, bool notOlder = false);
    // The path or one of the folders above it was left out.
    bool isLeftOut(const QString& relative) const { return liesIn(leftOut, relative); }
    // The relative path is one of paths or lies in one of them.
    static bool liesIn(const QSet<QString>& paths, const QString& relative);

    // folder + "/" + name, without doubling the root's "/".
    static QString join(const QString& folder, const QString& name);
};

}  // namespace harbel::tessaly
