#include "common/platform/PrivateFile.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace harbel {

namespace {

bool ownRegular(const struct stat& st)
{
    return S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

mode_t sharedMode()
{
    // umask can only be read by setting it; the programs run their files on one thread.
    const mode_t mask = ::umask(077);
    ::umask(mask);
    return 0666 & ~mask;
}

thread_local QString t_failure;

PrivateFile::Result failed(int error)
{
    t_failure = QString::fromLocal8Bit(std::strerror(error));
    return PrivateFile::Result::Failed;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* at = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, at, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = ENOSPC;  // a regular file takes at least a byte unless it cannot grow
        if (n <= 0)
            return false;
        at += n;
        left -= n;
    }
    return true;
}

void narrowOne(const QByteArray& native)
{
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0 || st.st_uid != ::geteuid())
        return;
    if (S_ISDIR(st.st_mode) && (st.st_mode & 07777) != 0700)
        ::chmod(native.constData(), 0700);
    else if (S_ISREG(st.st_mode) && (st.st_mode & 077) != 0)
        ::chmod(native.constData(), st.st_mode & 0700);
}

}  // namespace

bool PrivateFile::mayWrite(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return errno == ENOENT;
    return ownRegular(st);
}

PrivateFile::Result PrivateFile::write(const QString& path, const QByteArray& bytes, Access access)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    const bool exists = ::lstat(native.constData(), &st) == 0;
    if (!exists && errno != ENOENT)
        return failed(errno);
    if (exists && !ownRegular(st)) {
        t_failure = QStringLiteral("it is a link, a folder or a file of another user");
        return Result::Refused;
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (!(access == Access::Private ? makeFolder(folder) : QDir().mkpath(folder))) {
        t_failure = QStringLiteral("its folder %1 cannot be made").arg(folder);
        return Result::Failed;
    }
    const mode_t mode = access == Access::Private ? 0600 : exists ? (st.st_mode & 07777) : sharedMode();

    // mkstemp makes the temporary 0600 and never opens what is already there.
    QByteArray temporary = native + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return failed(errno);
    bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    // rename replaces the name itself: whatever took the path's place since the check above (even
    // a link) is replaced, never written through.
    if (ok && ::rename(temporary.constData(), native.constData()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temporary.constData());
        return failed(error);
    }
    return Result::Written;
}

QString PrivateFile::lastFailure()
{
    return t_failure;
}

bool PrivateFile::openAppend(QFile& file, const QString& path)
{
    if (!makeFolder(QFileInfo(path).absolutePath()))
        return false;
    // O_NONBLOCK: a pipe in the file's place fails at once instead of waiting for a reader.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !ownRegular(st)) {
        ::close(fd);
        return false;
    }
    file.setFileName(path);
    if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Append, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

bool PrivateFile::makeFolder(const QString& folder)
{
    const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
    const QFileInfo info(clean);
    if (info.isDir())
        return true;
    if (info.exists() || info.isSymLink())
        return false;
    const QString parent = info.absolutePath();
    if (parent != clean && !makeFolder(parent))
        return false;
    return ::mkdir(QFile::encodeName(clean).constData(), 0700) == 0 || errno == EEXIST;
}

void PrivateFile::narrow(const QString& path)
{
    narrowOne(QFile::encodeName(path));
    if (!QFileInfo(path).isDir() || QFileInfo(path).isSymLink())
        return;
    QDirIterator it(path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        narrowOne(QFile::encodeName(it.next()));
}

}  // namespace harbel
