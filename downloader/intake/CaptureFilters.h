#pragma once

#include "downloader/intake/QueueEntry.h"
#include "downloader/intake/UrlParsing.h"
#include "downloader/settings/DownloadSettings.h"

#include <QList>
#include <QString>

namespace harbel {

class ListRow;

// Whether another download from the address's server may start now, given the downloads of the
// queue from exactly the same server text that count against its limit. The limit is "LimitHTTP"
// or "LimitFTP" by the address's first letters; a limit text that is not a whole number means no
// limit is set, so nothing is refused.
bool limitAllows(const QString& address, int runningFromServer, const DownloadSettings& settings);
int runningFromServer(const QString& address, const QList<QueueEntry>& queue);
bool IsLimitOk(const QString& address, const QList<QueueEntry>& queue, const DownloadSettings& settings);

// Rows that hold nothing but their texts are read back as History.ini's lines are; the rows of a
// list view hold their entries, which are asked instead (queueEntries()).
template <typename Rows>
bool IsLimitOk(const QString& address, const Rows& rows, const DownloadSettings& settings)
{
    const JobStatusWords words = JobStatusWords::current();
    QList<QueueEntry> queue;
    for (const auto* row : rows) {
        QStringList lines;
        for (int c = 1; c <= 7; ++c)
            lines.append(row->cell(c));
        queue.append(QueueEntry::fromLines(lines, false, words));
    }
    return IsLimitOk(address, queue, settings);
}
bool IsLimitOk(const QString& address, const QList<ListRow*>& rows, const DownloadSettings& settings) = delete;

// False when the address's server is on the ignore list ("MonitorServer").
bool IsServerPermitted(const QString& address, const QString& ignoreList);
// True when the address's file type is on the wanted list ("MonitorTypes").
bool IsExtPermitted(const QString& address, const QString& wantedTypes);

// A wanted-types text may not hold any of / \ : * " < > |.
bool wantedTypesTextIsValid(const QString& text);

}  // namespace harbel
