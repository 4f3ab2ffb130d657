#pragma once

#include "ftpclient/component/RemoteSession.h"

#include <QString>

class QFile;

namespace harbel::tessaly {

class SftpComponent;

// The bytes of SFTP transfers, on the component's session: a download keeps a window of read
// requests in flight, so that the round trips overlap; an upload writes in large blocks. Both
// continue at an offset, report progress, keep the file's time, and let the calling thread's
// queued calls in between blocks, so that setting the component's AbortFlag ends them.
class SftpFileTransfer final {
public:
    explicit SftpFileTransfer(SftpComponent& sftp) : c_(sftp) {}

    void receive(const QString& remotePath, qint64 startOffset, const QString& localPath, const RemoteSession::Listed& listed);
    void send(const QString& localPath, qint64 startOffset, const QString& remotePath, bool resume);

private:
    // Lets queued calls in and throws when AbortFlag is set.
    void pause();

    SftpComponent& c_;
};

}  // namespace harbel::tessaly
