#pragma once

#include "downloader/settings/DownloadSettings.h"

#include <QDate>
#include <QString>

#include <functional>

namespace harbel {

// The folder of the file-type rule for an address: the folder of the first entry whose type equals
// the address's extension (letter case counting), else the last entry's; with no entries, the last
// directory.
QString GetPathFromList(const QString& address, const SettingsStore& settings);

struct SavePlan {
    enum class Action { StartNow, QueueLater, Nothing };
    Action action = Action::Nothing;
    QString path;  // folder + "/" + file name
};

// Chooses where an address started without asking is saved, by the rule the user picked. The
// file-info rule creates its sub-folder (one level, failures ignored). Names taken from the
// address never leave the chosen folder. today: the local date, injectable for tests.
SavePlan ChooseSavePath(const QString& address, const SettingsStore& settings,
                        const std::function<QDate()>& today = &QDate::currentDate);

// A name taken from a server or an address made safe to stand as one path component: "/" and
// control characters become "_", and "", "." and ".." are replaced.
QString safeName(const QString& name, const QString& fallback);

// The file name an address is saved under: its last path segment percent-decoded ("my%20file.bin"
// is "my file.bin", "%C3%BCber.bin" is "über.bin"), then made safe, so that a decoded "/" or ".."
// never leaves the folder.
QString nameFromAddress(const QString& address, const QString& fallback);

}  // namespace harbel
