#pragma once

#include "common/platform/PrivateFile.h"
#include "downloader/engine/SegmentPlan.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace harbel {

// What an unfinished download keeps beside its file (NAME.pellanor), so that a resume after a
// crash or a kill fetches exactly what is missing: the file's size, the validator the server gave
// (its ETag or Last-Modified line, when it gave one) and the ranges already written and flushed.
struct ControlFile {
    qint64 size = 0;
    QByteArray validator;
    // The connections the download ran over (1 for one connection).
    int segments = 1;
    QList<ByteRange> complete;

    static QString pathFor(const QString& output);
    // The control file of output: nullopt when there is none; `damaged` tells one that exists but
    // cannot be read or makes no sense.
    static std::optional<ControlFile> read(const QString& output, bool* damaged = nullptr);
    // Replaces the control file atomically; refused (false) where a link or another user's file stands.
    bool write(const QString& output) const;
    // Whether the control file of output may be written (absent, or a regular file of this user).
    static bool writable(const QString& output) { return PrivateFile::mayWrite(pathFor(output)); }
    static void remove(const QString& output);

    // The server's file is the one this control file describes: same size, and the same
    // validator when both sides have one of the same kind.
    bool matches(qint64 serverSize, const QByteArray& serverValidator) const;
};

}  // namespace harbel
