// The INI files of both programs, as a user or another version left them: a value written is read
// back as written (a line break as a blank), and every other value of the file stays as it was.
#include "FuzzCheck.h"

#include "common/platform/IniFile.h"
#include "common/platform/PrivateFile.h"

#include <QDir>
#include <QTemporaryDir>

using namespace harbel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The file, then after the first NUL the value to write.
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype nul = input.indexOf('\0');
    const QByteArray fileText = nul < 0 ? input : input.left(nul);
    const QString value = nul < 0 ? QStringLiteral("a value") : QString::fromUtf8(input.mid(nul + 1));

    // On a memory file system where there is one: every input is written and replaced atomically.
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/harbel-fuzz-XXXXXX")
                                                                       : QDir::tempPath() + QStringLiteral("/harbel-fuzz-XXXXXX"));
    static const QString path = dir.filePath(QStringLiteral("test.ini"));
    // A new file each time, as the programs write theirs: what was read of the last one is not kept.
    if (PrivateFile::write(path, fileText) != PrivateFile::Result::Written)
        return 0;
    IniFile ini(path);
    // What a lookup finds in every other section before the write.
    QList<std::pair<std::pair<QString, QString>, QString>> lookups;
    const QStringList sections = ini.sections();
    for (const IniFile::Section& s : ini.contents()) {
        FUZZ_CHECK(sections.contains(s.name));
        if (s.name.compare(u"Section", Qt::CaseInsensitive) == 0)
            continue;
        // A sample of the lookups keeps a run fast.
        for (const auto& entry : s.values.mid(0, 4))
            if (lookups.size() < 16)
                lookups.append({{s.name, entry.first}, ini.value(s.name, entry.first, QStringLiteral("?"))});
    }

    FUZZ_CHECK(ini.writeString(QStringLiteral("Section"), QStringLiteral("Key"), value));
    QString expected = value;
    expected.replace(QLatin1String("\r\n"), QLatin1String(" ")).replace(u'\r', u' ').replace(u'\n', u' ');
    FUZZ_CHECK(ini.value(QStringLiteral("Section"), QStringLiteral("Key"), QStringLiteral("?")) == expected);
    for (const auto& [where, found] : lookups)
        FUZZ_CHECK(ini.value(where.first, where.second, QStringLiteral("?")) == found);
    return 0;
}
