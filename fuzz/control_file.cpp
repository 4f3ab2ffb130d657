// The state file beside an unfinished download: whatever it holds, the ranges read lie inside the
// file, and what is read, written and read again is the same.
#include "FuzzCheck.h"

#include "downloader/engine/ControlFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace harbel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // On a memory file system where there is one: every input is written and replaced atomically.
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/harbel-fuzz-XXXXXX")
                                                                       : QDir::tempPath() + QStringLiteral("/harbel-fuzz-XXXXXX"));
    static const QString output = dir.filePath(QStringLiteral("file.bin"));
    static const QString copy = dir.filePath(QStringLiteral("copy.bin"));
    {
        QFile file(ControlFile::pathFor(output));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    const auto read = ControlFile::read(output);
    if (!read)
        return 0;
    FUZZ_CHECK(read->size >= 0);
    FUZZ_CHECK(read->segments >= 1);
    qint64 previousEnd = -1;
    for (const ByteRange& r : read->complete) {
        FUZZ_CHECK(r.begin >= 0 && r.begin <= r.end && r.end <= read->size);
        FUZZ_CHECK(r.begin > previousEnd);  // merged: apart and in order
        previousEnd = r.end;
    }

    FUZZ_CHECK(read->write(copy));
    const auto again = ControlFile::read(copy);
    FUZZ_CHECK(again);
    FUZZ_CHECK(again->size == read->size && again->segments == read->segments);
    FUZZ_CHECK(again->complete == read->complete);
    // A line break cannot stand in the one line of the validator: it is written as a blank.
    QByteArray validator = read->validator;
    validator.replace('\r', ' ').replace('\n', ' ');
    FUZZ_CHECK(again->validator == validator);
    return 0;
}
