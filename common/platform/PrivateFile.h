#pragma once

#include <QByteArray>
#include <QString>

class QFile;

namespace harbel {

// How the programs write the files they keep. A file is rewritten only where its path is absent or
// a regular file of this user: a link or another user's file in its place is refused, never
// followed and never replaced. A rewrite goes to a temporary file in the same folder, which is
// flushed and renamed over the old one, so a crash keeps the old file.
class PrivateFile final {
public:
    enum class Access {
        Private,  // 0600, and missing folders are made 0700: the application folder and the registry
        Shared,   // the mode the folder gives (umask), or the old file's: a control file beside a download
    };
    enum class Result { Written, Refused, Failed };

    // Absent, or a regular file owned by this user (never a link).
    static bool mayWrite(const QString& path);
    static Result write(const QString& path, const QByteArray& bytes, Access access = Access::Private);
    // Why the calling thread's last write that was not Written failed, in the system's words ("No
    // space left on device"), for the message that says so.
    static QString lastFailure();
    // Opens path for appending, made 0600 when missing; false for a link or a file of another user.
    static bool openAppend(QFile& file, const QString& path);
    // Makes the folder and its missing parents, each new one 0700.
    static bool makeFolder(const QString& folder);
    // Narrows what exists: a folder (with everything below it) to 0700 and its files to 0600, or a
    // file to 0600. Links and what other users own are left alone.
    static void narrow(const QString& path);
};

}  // namespace harbel
