#pragma once

#include <QString>

namespace harbel {

// The language file in force ("English.ini"...). It starts empty; start-up and the settings dialog
// set it to "English.ini" when it is empty. An empty name is read as "English.ini".
QString currentLanguageFile();
void setCurrentLanguageFile(const QString& fileName);

// The application folder's "Lang-I/" folder, with its trailing "/".
QString languageFolder();

// The language chosen for the suite in the FTP client's options (value "Language" of the client's
// settings); empty when none was chosen.
QString storedLanguageChoice();
bool storeLanguageChoice(const QString& fileName);
// The language file the download manager starts with: the stored choice when that file is in the
// language folder, else "English.ini".
QString chosenLanguageFile();

// The text of a five-digit code from section [Vantor] of the current language file. Values are cut
// to 499 characters; trailing and then leading blanks are dropped (of the value and of the default).
// Each text on its own falls back to the built-in English: a missing file, section or key, an
// empty value and a file that is there but cannot be read (which also leaves one record in the
// error log) give the caller's English default, or the line of the English file built into the
// program when the caller gives none.
QString GetLangString(const QString& code, const QString& defaultText);

}  // namespace harbel
