#include "ftpclient/component/LocalFile.h"

#include "ftpclient/component/FtpError.h"
#include "ftpclient/component/Listing.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace harbel::tessaly::LocalFile {

void requireSafeTarget(const QString& path, qint64 startOffset)
{
    const QString reason = listing::unsafeNameReason(QFileInfo(path).fileName());
    if (!reason.isEmpty() || path.split(QLatin1Char('/')).contains(QStringLiteral("..")))
        throw FtpError(ftpErrUnsafeName, QStringLiteral("Refused to write '%1': %2.").arg(path, reason.isEmpty() ? QStringLiteral("the path leaves its folder") : reason));
    if (startOffset < 0)
        throw FtpError(ftpErrLocalFile, QStringLiteral("A start offset cannot be negative."));
    if (isLink(path))
        throw FtpError(ftpErrLocalFile, QStringLiteral("%1 is a symbolic link; it is not written through.").arg(path));
}

void openForSending(QFile& source, const QString& path, qint64 offset)
{
    // Only a regular file has an end to send up to: a pipe would block the open for ever and a
    // device such as /dev/zero would never end.
    const QString notRegular = QStringLiteral("%1 is not a regular file, so it is not sent.").arg(path);
    if (QFileInfo(path).exists() && !QFileInfo(path).isFile())
        throw FtpError(ftpErrLocalFile, notRegular);
    source.setFileName(path);
    if (!source.open(QIODevice::ReadOnly))
        throw FtpError(ftpErrLocalFile, QStringLiteral("Could not open %1: %2").arg(path, source.errorString()));
    if (source.isSequential())
        throw FtpError(ftpErrLocalFile, notRegular);
    if (offset < 0 || offset > source.size())
        throw FtpError(ftpErrLocalFile, QStringLiteral("Cannot resume %1 at byte %2: it holds %3 bytes.").arg(path).arg(offset).arg(source.size()));
    if (offset > 0 && !source.seek(offset))
        throw FtpError(ftpErrLocalFile, QStringLiteral("Could not read %1: %2").arg(path, source.errorString()));
}

QFile* openForWriting(const QString& path, qint64 offset, QString& why)
{
    const QByteArray native = QFile::encodeName(path);
    // O_NONBLOCK: a FIFO waiting where the file should go would otherwise block the open until some
    // reader appears; it is refused below like any other file that is not a regular one.
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) {
        why = errno == ELOOP   ? QStringLiteral("%1 is a symbolic link; it is not written through.").arg(path)
              : errno == ENXIO ? QStringLiteral("%1 is not a regular file.").arg(path)
                               : QStringLiteral("Could not open %1 for writing: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        why = QStringLiteral("%1 is not a regular file.").arg(path);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (offset > st.st_size) {
        ::close(fd);
        why = QStringLiteral("Cannot resume %1 at byte %2: the local file holds only %3 bytes.").arg(path).arg(offset).arg(st.st_size);
        return nullptr;
    }
    if (::ftruncate(fd, offset) != 0 || ::lseek(fd, offset, SEEK_SET) != offset) {
        why = QStringLiteral("Could not prepare %1: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
        ::close(fd);
        return nullptr;
    }
    auto* file = new QFile;
    if (!file->open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        why = file->errorString();
        delete file;
        ::close(fd);
        return nullptr;
    }
    return file;
}

bool isLink(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool setModificationTime(const QString& path, const QDateTime& time)
{
    const qint64 ms = time.toMSecsSinceEpoch();
    const timespec times[2] = {{0, UTIME_OMIT}, {time_t(ms / 1000), long(ms % 1000) * 1000000}};
    return time.isValid() && ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace harbel::tessaly::LocalFile
