#include "common/platform/FileWrite.h"

#include <QFileDevice>

#include <cerrno>
#include <cstring>

namespace harbel {

namespace {

bool failed(QFileDevice& file, QString* why)
{
    // A short write sets no errno: the rest still in the buffer is tried until the system refuses
    // it with a reason (or takes it, and Qt's own text is all there is).
    for (int tries = 0; errno == 0 && tries < 3; ++tries)
        file.flush();
    const int error = errno;
    if (why)
        *why = error != 0 ? QString::fromLocal8Bit(std::strerror(error)) : file.errorString();
    return false;
}

}  // namespace

bool FileWrite::write(QFileDevice& file, const QByteArray& bytes, QString* why)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        errno = 0;
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            return failed(file, why);
        done += n;
    }
    return true;
}

bool FileWrite::flush(QFileDevice& file, QString* why)
{
    errno = 0;
    return file.flush() || failed(file, why);
}

}  // namespace harbel
