#pragma once

#include "downloader/intake/UrlParsing.h"
#include "downloader/settings/DownloadSettings.h"

#include <QDate>
#include <QString>

#include <functional>

namespace harbel {

// The folder of the file-type rule for an address: the folder of the first entry whose type equals
// the extension of the file's name (letter case counting), else the last entry's; with no entries,
// the last directory. name: the file's name when the server has named it, else empty (the name
// the address gives).
QString GetPathFromList(const QString& address, const SettingsStore& settings, const QString& name = {});

struct SavePlan {
    enum class Action { StartNow, QueueLater, Nothing };
    Action action = Action::Nothing;
    QString path;  // folder + "/" + file name
};

// Chooses where an address started without asking is saved, by the rule the user picked. The
// file-info rule creates its sub-folder (one level, failures ignored). The file's name is name when
// the server has named it, else the one its address gives (fileNameOfAddress); names never leave
// the chosen folder. today: the local date, injectable for tests.
SavePlan ChooseSavePath(const QString& address, const SettingsStore& settings,
                        const std::function<QDate()>& today = &QDate::currentDate, const QString& name = {});

// The file name an address is saved under: its last path segment percent-decoded ("my%20file.bin"
// is "my file.bin", "%C3%BCber.bin" is "über.bin"), then made safe, so that a decoded "/" or ".."
// never leaves the folder.
QString nameFromAddress(const QString& address, const QString& fallback);

}  // namespace harbel
