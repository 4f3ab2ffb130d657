// A language file in the application folder, as a translator or a damaged disk may leave it: every
// text looked up is a line of the file (its blanks dropped, cut to 499 characters, never half a
// character) or, when the file has none, the English the caller gave; never empty, never two lines.
#include "FuzzCheck.h"

#include "common/platform/IniFile.h"
#include "common/platform/PrivateFile.h"
#include "common/support/LangString.h"

#include <QDir>
#include <QTemporaryDir>

using namespace harbel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir home(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/harbel-fuzz-XXXXXX")
                                                                        : QDir::tempPath() + QStringLiteral("/harbel-fuzz-XXXXXX"));
    static const bool ready = [] {
        qputenv("HARBEL_HOME", home.path().toUtf8());
        setCurrentLanguageFile(QStringLiteral("Fuzz.ini"));
        return QDir().mkpath(languageFolder());
    }();
    if (!ready)
        return 0;
    const QString path = languageFolder() + QStringLiteral("Fuzz.ini");
    // A new file each time, as an update or an editor that saves whole would leave it.
    if (PrivateFile::write(path, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size))) != PrivateFile::Result::Written)
        return 0;

    const QString fallback = QStringLiteral("English text");
    const IniFile file(path);
    QStringList codes = file.keys(QStringLiteral("Vantor")).mid(0, 32);
    codes << QStringLiteral("99999") << QStringLiteral("[Vantor]") << QString();
    for (const QString& code : codes) {
        const QString text = GetLangString(code, fallback);
        FUZZ_CHECK(!text.isEmpty() && text.size() <= 499);
        FUZZ_CHECK(!text.front().isSpace() && !text.back().isHighSurrogate());
        FUZZ_CHECK(!text.contains(u'\n') && !text.contains(u'\r'));
        FUZZ_CHECK(GetLangString(code, fallback) == text);
        // The file's own line, as far as it goes, or the caller's English when the line is empty.
        QString line = file.value(QStringLiteral("Vantor"), code);
        while (!line.isEmpty() && line.front().isSpace())
            line.remove(0, 1);
        FUZZ_CHECK(text == fallback || line.startsWith(text));
        FUZZ_CHECK(!line.isEmpty() || text == fallback);
    }
    return 0;
}
