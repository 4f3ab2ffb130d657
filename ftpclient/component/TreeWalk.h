#pragma once

#include "ftpclient/component/Listing.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

class QFileInfo;

namespace harbel::tessaly {

// The one walk over a folder tree, remote or local, that every recursive command goes through:
// receiving and sending folders, deleting a remote folder with all it holds, uploading a folder.
// It decides the order and what is never touched; the hooks do the work on each entry and move
// between the folders.
//
// In each folder: names that could leave the folder (listing::unsafeNameReason) are skipped, links
// to folders are skipped and never entered, files that match the mask go to the file hook (a link
// of unknown kind counts as a file, which the hook may find it cannot be), anything else that is
// not a regular file is skipped. Then the sub-folders are entered one after another, unless the
// folder lies maxDepth levels deep already. With sameListingIsLoop, a folder that lists the very
// same entries as a folder it lies in is taken for a link back to it and not walked: a server that
// lists links to folders as folders would otherwise lead the walk in circles until its depth limit,
// branching at every link on the way.
//
// Errors of the hooks (FtpError) end the walk and reach its caller. A walk object walks once.
class TreeWalk final {
public:
    static constexpr int kMaxDepth = 64;

    enum class Kind { File, Folder, Link, FolderLink, Special };
    struct Entry {
        QString name;
        Kind kind = Kind::File;
        qint64 size = 0;
        QDateTime date;
        QString path;  // a local entry's whole path
    };
    // A folder of the walk as the hooks know it.
    struct Folder {
        QString remote;  // the server's path, when the walk is on or towards the server
        QString local;   // the local path, when the walk is on or towards the local side
        int depth = 0;   // the folder the walk began in (or walkInto entered) is 0
        bool made = false;  // the enter hook created the folder
    };
    enum class Skip { UnsafeName, FolderLink, NotRegular };
    enum class Step { Enter, Pass, Stop };
    enum class Outcome { Walked, NotListed, Loop };

    struct Rules {
        int maxDepth = kMaxDepth;
        bool recurse = true;
        QString mask;  // files only; empty: every file
        bool sameListingIsLoop = false;
    };
    struct Hooks {
        // The entries of the folder the walk is in; may fill in the folder's paths. nullopt: the
        // folder could not be listed, so nothing in it is touched.
        std::function<std::optional<QList<Entry>>(Folder& folder)> list;
        std::function<void(const Folder& in, const Entry& file)> file;
        // Moves into a sub-folder and fills in `into`: Enter, Pass (not entered, go on with the
        // next one) or Stop (end the whole walk).
        std::function<Step(const Folder& in, const Entry& folder, Folder& into)> enter;
        // Back from an entered folder; false ends the whole walk.
        std::function<bool(const Folder& in, const Entry& folder, const Folder& left, Outcome outcome)> leave;
        std::function<void(const Folder& in, const Entry& entry, Skip why, const QString& reason)> skipped;
        // The sub-folders of `in` that lie too deep to be entered.
        std::function<void(const Folder& in, const QList<Entry>& folders)> tooDeep;
        // `folder` was taken for a link back to a folder above it.
        std::function<void(const Folder& folder)> loop;
    };

    TreeWalk(Rules rules, Hooks hooks) : rules_(std::move(rules)), hooks_(std::move(hooks)) {}

    // Walks the folder the hooks are in. False when a hook stopped the walk.
    bool walk(Folder root);
    // Enters the folder `folder` of `parent`, walks it and leaves it again.
    bool walkInto(Folder parent, const Entry& folder);

    // An entry of a remote listing.
    static Entry remoteEntry(const FolderItem& item);
    // A local entry: links to folders are FolderLink, other links count as what they lead to.
    static Entry localEntry(const QFileInfo& info);
    // The entries of a local folder in name order, hidden ones too.
    static QList<Entry> localEntries(const QString& folder);

private:
    bool walkFolder(Folder& folder, Outcome& outcome);
    bool enterAndWalk(const Folder& parent, const Entry& entry);
    void skip(const Folder& in, const Entry& entry, Skip why, const QString& reason);

    Rules rules_;
    Hooks hooks_;
    // What the folders above the current one list (sameListingIsLoop).
    QList<QByteArray> ancestors_;
};

}  // namespace harbel::tessaly
