#include "downloader/engine/OutputFile.h"

#include "downloader/engine/DownloadText.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace harbel {

void OutputFile::setPath(const QString& path)
{
    if (path == path_)
        return;
    close();
    path_ = path;
}

bool OutputFile::open()
{
    if (isOpen())
        return true;
    // Non-blocking, so that a pipe or a device in the file's place cannot hang the job; it is
    // refused below as not a regular file.
    const QByteArray name = QFile::encodeName(path_);
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0)
        return fail(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = S_ISREG(st.st_mode) ? errno : EINVAL;
        ::close(fd);
        errno_ = error;
        description_ = QStringLiteral("not a regular file");
        failure_ = lang("19007", "The file could not be written:") + u' ' + path_
                   + QStringLiteral(": ") + description_;
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    fd_ = fd;
    return true;
}

void OutputFile::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool OutputFile::write(qint64 offset, const char* data, qint64 size)
{
    if (!isOpen() && !open())
        return false;
    while (size > 0) {
        const ssize_t n = ::pwrite(fd_, data, size_t(size), off_t(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        if (n == 0)
            return fail(ENOSPC);
        data += n;
        size -= n;
        offset += n;
    }
    return true;
}

bool OutputFile::resize(qint64 size)
{
    if (!isOpen() && !open())
        return false;
    return ::ftruncate(fd_, off_t(size)) == 0 || fail(errno);
}

bool OutputFile::sync()
{
    return !isOpen() || ::fdatasync(fd_) == 0 || fail(errno);
}

qint64 OutputFile::sizeOnDisk() const
{
    // The path, not the handle: a file removed or replaced since it was opened has lost its bytes.
    const QFileInfo info(path_);
    return info.exists() ? info.size() : -1;
}

bool OutputFile::fail(int error)
{
    errno_ = error;
    description_ = QString::fromLocal8Bit(std::strerror(error));
    failure_ = lang("19007", "The file could not be written:") + u' ' + path_
               + QStringLiteral(": ") + description_;
    return false;
}

}  // namespace harbel
