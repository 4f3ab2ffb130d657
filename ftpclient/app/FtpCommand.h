#pragma once

#include "ftpclient/app/TessalyCommandLine.h"

#include <QString>

#include <functional>
#include <memory>

namespace harbel::tessaly {

class ConsoleOutput;
class FtpComponent;
class RemoteSession;
class MirrorTree;
class TransferRun;

// One command of `tessaly` (get, put, mirror, ls) run to its end. The session's own connection
// logs in, lists and makes or removes folders; the files themselves go over the transfer
// connections of a TransferRun. Nothing is asked: a certificate that fails verification is
// refused with its reason, a file already there is replaced (or continued with --resume). An
// sftp:// address runs the same commands over an SftpComponent; a host key not known yet is taken
// only with --accept-new-host-key.
class FtpCommand final {
public:
    FtpCommand(const TessalyOptions& options, ConsoleOutput& out);
    ~FtpCommand();

    // 0 when everything was done, 1 when anything failed or was skipped.
    int run();

private:
    int list();
    int get();
    int put();
    int mirrorDown();
    int mirrorUp();
    // Logs the session in and finds the address's path from the server's root; false (with a
    // line) when it cannot.
    bool connect();
    // Moves the files of the run and says what was done; the exit status.
    int transfer(TransferRun& run, int unchanged, int removed);
    // The server sets a file's time on upload (MFMT or SITE UTIME among its features).
    bool serverKeepsTimes();
    // With --delete, removes (through remove, which says whether it did) what the target holds
    // and the source lacks or holds as the other kind; the count removed.
    int removeExtra(const MirrorTree& source, MirrorTree& target, const QString& root,
                    const std::function<bool(const QString& path, bool folder)>& remove);
    // Makes the remote folder path and those above it that are missing.
    void makeRemoteFolders(const QString& path);
    void fail(const QString& what, const QString& why);
    // The FTP session's properties from the address and options.
    void configureFtp(FtpComponent& ftp);

    TessalyOptions options_;
    ConsoleOutput& out_;
    std::unique_ptr<RemoteSession> ftp_;
    QString remote_;  // the address's path from the server's root
    int failures_ = 0;
};

}  // namespace harbel::tessaly
