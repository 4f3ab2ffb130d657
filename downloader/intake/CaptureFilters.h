#pragma once

#include "downloader/intake/UrlParsing.h"
#include "downloader/settings/DownloadSettings.h"

#include <QString>

namespace harbel {

// Whether another download from the address's server may start now: the running downloads are
// the queue rows whose percent cell is neither "0%" nor "100%" and whose address has exactly the
// same server text. The limit is "LimitHTTP" or "LimitFTP" by the address's first letters; a
// limit text that is not a whole number means no limit is set, so nothing is refused.
bool limitAllows(const QString& address, int runningFromServer, const DownloadSettings& settings);

template <typename Rows>
int runningFromServer(const QString& address, const Rows& queueRows)
{
    const QString server = GetServerName(address);
    int running = 0;
    for (const auto* row : queueRows) {
        const QString percent = row->cell(2);
        if (percent == QLatin1String("0%") || percent == QLatin1String("100%"))
            continue;
        if (GetServerName(row->cell(6)) == server)
            ++running;
    }
    return running;
}

template <typename Rows>
bool IsLimitOk(const QString& address, const Rows& queueRows, const DownloadSettings& settings)
{
    return limitAllows(address, runningFromServer(address, queueRows), settings);
}

// False when the address's server is on the ignore list ("MonitorServer").
bool IsServerPermitted(const QString& address, const QString& ignoreList);
// True when the address's file type is on the wanted list ("MonitorTypes").
bool IsExtPermitted(const QString& address, const QString& wantedTypes);

// A wanted-types text may not hold any of / \ : * " < > |.
bool wantedTypesTextIsValid(const QString& text);

}  // namespace harbel
