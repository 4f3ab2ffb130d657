#pragma once

#include "ftpclient/component/FileClash.h"
#include "ftpclient/component/Listing.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace harbel::tessaly {

class FtpComponent;
class RemoteSession;

// The two ends of a file transfer beyond the bytes: what to do with a file already at the
// destination (the FileExists question), and the modification time the copy keeps. A download
// takes the server's time (MDTM) for the local file; an upload gives the server the local time
// (MFMT, else SITE UTIME), each only when the server offers the command, so that a copy compares
// equal to its original afterwards.
class TransferEnds final {
public:
    explicit TransferEnds(FtpComponent& ftp) : ftp_(ftp) {}

    // The question about a file already at the destination, for either kind of session: the size
    // and time of clash.localPath are filled in, the server's side is as given. The answer is one
    // of FileClash's; Cancel when nobody answers.
    static int ask(RemoteSession& session, FileClash clash);

    // Asks about an existing local file before remoteName is received over it; the server is asked
    // for the size and time of its copy so that both can be shown, unless a listing gave them
    // (listedSize >= 0, listedTime valid).
    int askDownload(const QString& remoteName, const QString& localPath, qint64 listedSize = -1, const QDateTime& listedTime = {});
    // Sends localPath as remoteName (a name, or a path into the current remote folder), whose
    // entries are given. A file of that name that differs in size or time is asked about:
    // overwritten, resumed from the size the server holds, or skipped (false); Cancel throws
    // ftpErrAborted. An identical file, or none, is sent without a question.
    bool sendAsking(const QString& localPath, const QString& remoteName, const QList<FolderItem>& remoteEntries);
    // After a download: the local file takes the server's modification time, the listed one when
    // valid, else the one MDTM answers.
    void keepRemoteTime(const QString& remoteName, const QString& localPath, const QDateTime& listedTime = {});
    // After an upload: the server's file takes the local modification time.
    void keepLocalTime(const QString& localPath, const QString& remoteName);

private:
    // The reply to a command about one file; nullopt when the server refuses it.
    std::optional<QString> query(const QString& line);

    FtpComponent& ftp_;
};

}  // namespace harbel::tessaly
