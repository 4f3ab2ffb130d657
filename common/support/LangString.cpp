#include "common/support/LangString.h"

#include "common/platform/AppFolder.h"
#include "common/platform/CRegister.h"
#include "common/platform/IniFile.h"
#include "common/support/ErrorLog.h"

#include <QFileInfo>

namespace harbel {

namespace {
QString g_languageFile;
QString g_lastLoggedFault;  // a fault that stays is logged once, not at every lookup

const QString kSection = QStringLiteral("Vantor");
// A value is read into a buffer of this many characters, less one.
constexpr int kBufferSize = 500;

QString trimLeading(const QString& s)
{
    qsizetype i = 0;
    while (i < s.size() && s[i].isSpace())
        ++i;
    return s.mid(i);
}

// The English text of a code, built into the program: the caller's own text, else the line of the
// English file the program carries. A text is never left empty because a language file is
// missing, unreadable or lacks the line.
QString builtInEnglish(const QString& code, const QString& defaultText)
{
    QString own = defaultText.trimmed();
    if (own.size() >= kBufferSize) {
        qsizetype n = kBufferSize - 1;
        if (own[n - 1].isHighSurrogate())
            --n;  // never half a character
        own.truncate(n);
    }
    if (!own.isEmpty())
        return own;
    const IniFile shipped(QStringLiteral(":/harbel/Lang-I/English.ini"));
    return trimLeading(shipped.getString(kSection, code, QString(), kBufferSize).text);
}
}  // namespace

QString currentLanguageFile()
{
    return g_languageFile;
}

void setCurrentLanguageFile(const QString& fileName)
{
    g_languageFile = fileName;
}

QString languageFolder()
{
    return AppFolder::file(QStringLiteral("Lang-I/"));
}

namespace {
const QString kChoiceKey = QStringLiteral("\\Software\\Korvane\\FTP4.0\\");
const QString kChoiceValue = QStringLiteral("Language");

// Only a file name: a name holding a path never reaches outside the language folder.
QString fileNameOnly(const QString& name)
{
    return name.section(u'/', -1);
}
}  // namespace

QString storedLanguageChoice()
{
    return fileNameOnly(CRegister().REGGetSetting(HKEY_LOCAL_MACHINE, kChoiceKey, kChoiceValue, QString()).trimmed());
}

bool storeLanguageChoice(const QString& fileName)
{
    return CRegister().REGSaveSetting(HKEY_LOCAL_MACHINE, kChoiceKey, kChoiceValue, fileNameOnly(fileName));
}

QString chosenLanguageFile()
{
    const QString chosen = storedLanguageChoice();
    if (!chosen.isEmpty() && QFileInfo(languageFolder() + chosen).isFile())
        return chosen;
    return QStringLiteral("English.ini");
}

QString GetLangString(const QString& code, const QString& defaultText)
{
    QString name = g_languageFile.isEmpty() ? QStringLiteral("English.ini") : g_languageFile;
    name = fileNameOnly(name);
    const IniFile::Read r = IniFile(languageFolder() + name).getString(kSection, code, QString(), kBufferSize);
    if (r.failed) {
        if (r.errorDescription != g_lastLoggedFault) {
            g_lastLoggedFault = r.errorDescription;
            WriteErrorLog(QStringLiteral("Error Description: %1, Error Number: %2, Method: SetCaptionfromINI")
                              .arg(r.errorDescription)
                              .arg(r.errorNumber));
        }
        return builtInEnglish(code, defaultText);
    }
    g_lastLoggedFault.clear();
    const QString text = trimLeading(r.text);
    return text.isEmpty() ? builtInEnglish(code, defaultText) : text;
}

}  // namespace harbel
