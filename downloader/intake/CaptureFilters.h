#pragma once

#include "downloader/intake/QueueEntry.h"
#include "downloader/intake/UrlParsing.h"
#include "downloader/settings/DownloadSettings.h"

#include <QList>
#include <QString>

namespace harbel {

// Whether another download from the address's server may start now, given the downloads of the
// queue from exactly the same server text that count against its limit. The limit is "LimitHTTP"
// or "LimitFTP" by the address's first letters; a limit text that is not a whole number means no
// limit is set, so nothing is refused.
bool limitAllows(const QString& address, int runningFromServer, const DownloadSettings& settings);
int runningFromServer(const QString& address, const QList<QueueEntry>& queue);
bool IsLimitOk(const QString& address, const QList<QueueEntry>& queue, const DownloadSettings& settings);


// False when the address's server is on the ignore list ("MonitorServer").
bool IsServerPermitted(const QString& address, const QString& ignoreList);
// True when the address's file type is on the wanted list ("MonitorTypes"), or cannot be known
// before the download (typeKnownFromAddress): then the name the server gives is checked.
bool IsExtPermitted(const QString& address, const QString& wantedTypes);
// True when the extension of a file's name is on the wanted list.
bool isTypeWanted(const QString& name, const QString& wantedTypes);
// The same for the name a server gave the file of an address: a name without an extension, or
// the host's (for want of any other), tells no type and passes.
bool isServerNameWanted(const QString& name, const QString& address, const QString& wantedTypes);

// A wanted-types text may not hold any of / \ : * " < > |.
bool wantedTypesTextIsValid(const QString& text);

}  // namespace harbel
