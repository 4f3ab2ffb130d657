#pragma once

#include <QString>

#include <sys/types.h>

namespace harbel {

// What tells one version of a file from another without reading it. The programs replace a file
// whole (a new inode) and every change moves its times, so an equal stamp means the same content:
// a reader may keep what it parsed for as long as the stamp stays.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;
    bool operator==(const FileStamp&) const = default;

    // The stamp of the file at path now (through a link); exists false when there is none.
    static FileStamp of(const QString& path);
};

}  // namespace harbel
