#pragma once

#include <QString>

class QDateTime;
class QFile;

namespace harbel::tessaly {

// The local end of a transfer: a download is never written through a symbolic link, an upload is
// read only from a regular file.
namespace LocalFile {

// Refuses (FtpError) a download target whose name is unsafe, that leaves its folder through "..",
// that is a symbolic link, or a negative start offset.
void requireSafeTarget(const QString& path, qint64 startOffset);

// Opens source (at path) for an upload from offset; refuses (FtpError) anything but a regular
// file, and an offset beyond its end.
void openForSending(QFile& source, const QString& path, qint64 offset);

// Opens a file for writing at offset (cutting it there) without ever following a symbolic link in
// its last component: a link planted where a download lands must not redirect the data elsewhere.
// Anything but a regular file is refused. nullptr with why when it cannot be opened.
QFile* openForWriting(const QString& path, qint64 offset, QString& why);

// The path itself is a symbolic link (not followed).
bool isLink(const QString& path);

// Sets the modification time of the file at path (never through a symbolic link); false when it
// cannot be set.
bool setModificationTime(const QString& path, const QDateTime& time);

}  // namespace LocalFile

}  // namespace harbel::tessaly
