#pragma once

#include "common/controls/ListView.h"
#include "downloader/engine/Progress.h"
#include "downloader/intake/QueueEntry.h"

namespace harbel {

// The cells of a row of the queue or of the completed list (rows are ListRow objects of the two
// list views).
struct DownloadRow {
    enum Cell { Icon = 0, Filename = 1, Percent = 2, Size = 3, Recieved = 4, Status = 5, URL = 6, Date = 7 };
    static constexpr int kCells = 8;
    static constexpr int kQueueIcon = 1;
    static constexpr int kCompleteIcon = 4;
};

// The columns of the queue (completed = false) or of the completed list.
void setDownloadColumns(ListView& list, bool completed);

// The eight cell texts of an entry's row; cells 1 to 7 are also its seven lines in History.ini.
// The one place that writes what an entry shows.
QStringList queueRowCells(const QueueEntry& entry);

// The entry a row of either list holds (a default one for a row made without any). Its cells only
// show it: nothing is ever read back from them.
QueueEntry entryOf(const ListRow& row);
// Gives the row its entry and shows it in the row's cells.
void setEntry(ListRow& row, const QueueEntry& entry);
// The entries of a list, top to bottom.
QList<QueueEntry> queueEntries(const ListView& list);

// What changed of a download's progress, taken into its queue entry: the file, its share, size and
// received bytes, its status in brief and its state (a refusal or a time-out stands in the share
// until the next percentage).
void applyProgress(QueueEntry& entry, const Progress& progress, Progress::Changes changes);
// The same into a row's entry, shown in its cells.
void renderDownloadRow(ListRow& row, const Progress& progress, Progress::Changes changes);

}  // namespace harbel
