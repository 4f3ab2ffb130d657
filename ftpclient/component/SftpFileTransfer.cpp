#include "ftpclient/component/SftpFileTransfer.h"

#include "common/ssh/SftpReader.h"
#include "ftpclient/component/FtpError.h"
#include "ftpclient/component/LocalFile.h"
#include "ftpclient/component/SftpComponent.h"
#include "ftpclient/component/TransferEnds.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <libssh/libssh.h>
#include <libssh/sftp.h>

#include <fcntl.h>
#include <sys/time.h>

#include <memory>
#include <vector>

namespace harbel::tessaly {

namespace {

struct FileClose {
    void operator()(sftp_file f) const { sftp_close(f); }
};
using RemoteFile = std::unique_ptr<sftp_file_struct, FileClose>;
struct SessionFree {
    void operator()(sftp_session s) const { sftp_free(s); }
};

int percentOf(qint64 done, qint64 size)
{
    return size > 0 ? int(done * 100 / size) : 0;
}

}  // namespace

void SftpFileTransfer::pause()
{
    QCoreApplication::processEvents();
    c_.checkAbort();
    c_.requireConnected();
}

void SftpFileTransfer::receive(const QString& remotePath, qint64 startOffset, const QString& localPath, const RemoteSession::Listed& listed)
{
    LocalFile::requireSafeTarget(localPath, startOffset);
    qint64 offset = startOffset;
    RemoteFile remote(sftp_open(c_.sftp_, remotePath.toUtf8().constData(), O_RDONLY, 0));
    if (!remote)
        c_.fail(remotePath);
    qint64 size = listed.size;
    QDateTime time = listed.time;
    if (size < 0 || !time.isValid()) {
        if (sftp_attributes a = sftp_fstat(remote.get())) {
            if (a->flags & SSH_FILEXFER_ATTR_SIZE)
                size = qint64(a->size);
            if (a->flags & SSH_FILEXFER_ATTR_ACMODTIME)
                time = QDateTime::fromSecsSinceEpoch(qint64(a->mtime), Qt::UTC);
            sftp_attributes_free(a);
        }
    }
    const QFileInfo local(localPath);
    if (offset == 0 && local.exists()) {
        FileClash clash;
        clash.localPath = localPath;
        clash.remoteName = remotePath;
        clash.remoteSize = size;
        clash.remoteTime = time;
        switch (TransferEnds::ask(c_, clash)) {
        case FileClash::Overwrite:
            break;
        case FileClash::Resume:
            offset = local.size();
            break;
        case FileClash::Skip:
            emit c_.FileSkipped(localPath, remotePath, ftpSkipNotReplaced);
            return;
        default:
            throw FtpError(ftpErrAborted, QStringLiteral("Cancelled."));
        }
    }
    QString why;
    std::unique_ptr<QFile> out(LocalFile::openForWriting(localPath, offset, why));
    if (!out)
        throw FtpError(ftpErrLocalFile, why);
    // A large file is read over more SFTP sessions of the connection too, each with its own window
    // (SftpReader); one that cannot be opened leaves the reading to the others.
    std::vector<std::unique_ptr<sftp_session_struct, SessionFree>> sessions;
    std::vector<RemoteFile> more;
    std::vector<sftp_file> files{remote.get()};
    for (int i = 1; i < SftpComponent::kReadSessions && size - offset >= SftpComponent::kMoreSessionsFrom; ++i) {
        sessions.emplace_back(sftp_new(c_.ssh_));
        if (!sessions.back() || sftp_init(sessions.back().get()) != SSH_OK)
            break;
        more.emplace_back(sftp_open(sessions.back().get(), remotePath.toUtf8().constData(), O_RDONLY, 0));
        if (!more.back())
            break;
        files.push_back(more.back().get());
    }
    c_.state_ = SftpComponent::Receiving;
    emit c_.LogLine(QStringLiteral("Receiving %1%2").arg(remotePath, offset > 0 ? QStringLiteral(" from byte %1").arg(offset) : QString()));
    int sincePause = 0;
    SftpReader reader(files, SftpComponent::kReadChunk, SftpComponent::kReadWindow);
    const SftpReader::End end = reader.read(offset, size, [&](const char* data, qint64 n, qint64 position) {
        if (out->write(data, n) != n)
            throw FtpError(ftpErrLocalFile, QStringLiteral("Could not write %1: %2").arg(localPath, out->errorString()));
        emit c_.TransferProgress(remotePath, size, position, percentOf(position, size));
        if (++sincePause >= 8) {
            sincePause = 0;
            pause();
        }
        return true;
    });
    if (end != SftpReader::End::Done)
        c_.fail(remotePath);
    const qint64 done = reader.position();
    if (!out->flush())
        throw FtpError(ftpErrLocalFile, QStringLiteral("Could not write %1: %2").arg(localPath, out->errorString()));
    out->close();
    if (size >= 0 && done < size)
        throw FtpError(ftpErrIncomplete, QStringLiteral("%1 ended after %2 of %3 bytes.").arg(remotePath).arg(done).arg(size));
    emit c_.TransferProgress(remotePath, size, done, 100);
    if (c_.KeepFileTimes && time.isValid())
        LocalFile::setModificationTime(localPath, time);
    emit c_.LogLine(QStringLiteral("Received %1 (%2 bytes)").arg(remotePath).arg(done - startOffset));
}

void SftpFileTransfer::send(const QString& localPath, qint64 startOffset, const QString& remotePath, bool resume)
{
    QFile source;
    LocalFile::openForSending(source, localPath, startOffset);
    const qint64 size = source.size();
    const int flags = O_WRONLY | O_CREAT | (resume ? 0 : O_TRUNC);
    RemoteFile remote(sftp_open(c_.sftp_, remotePath.toUtf8().constData(), flags, 0644));
    if (!remote)
        c_.fail(remotePath);
    if (resume && startOffset > 0 && sftp_seek64(remote.get(), quint64(startOffset)) != 0)
        c_.fail(remotePath);
    c_.state_ = SftpComponent::Sending;
    emit c_.LogLine(QStringLiteral("Sending %1%2").arg(remotePath, resume && startOffset > 0 ? QStringLiteral(" from byte %1").arg(startOffset) : QString()));
    const bool openSsh = sftp_extension_supported(c_.sftp_, "limits@openssh.com", "1") == 1;
    std::vector<char> buffer(openSsh ? SftpComponent::kOpenSshWriteChunk : SftpComponent::kWriteChunk);
    qint64 done = startOffset;
    int sincePause = 0;
    for (;;) {
        const qint64 read = source.read(buffer.data(), qint64(buffer.size()));
        if (read < 0)
            throw FtpError(ftpErrLocalFile, QStringLiteral("Could not read %1: %2").arg(localPath, source.errorString()));
        if (read == 0)
            break;
        for (qint64 written = 0; written < read;) {
            const ssize_t n = sftp_write(remote.get(), buffer.data() + written, size_t(read - written));
            if (n <= 0)
                c_.fail(remotePath);
            written += n;
        }
        done += read;
        emit c_.TransferProgress(remotePath, size, done, percentOf(done, size));
        if (++sincePause >= 8) {
            sincePause = 0;
            pause();
        }
    }
    remote.reset();
    if (c_.KeepFileTimes) {
        const qint64 seconds = QFileInfo(localPath).lastModified().toSecsSinceEpoch();
        struct timeval times[2] = {{time_t(seconds), 0}, {time_t(seconds), 0}};
        if (sftp_utimes(c_.sftp_, remotePath.toUtf8().constData(), times) != 0)
            emit c_.LogLine(QStringLiteral("The server did not take the time of %1").arg(remotePath));
    }
    emit c_.TransferProgress(remotePath, size, done, 100);
    emit c_.LogLine(QStringLiteral("Sent %1 (%2 bytes)").arg(remotePath).arg(done - startOffset));
}

}  // namespace harbel::tessaly
