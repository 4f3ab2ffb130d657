#pragma once

#include "common/controls/ListView.h"
#include "downloader/engine/Progress.h"

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

// Shows what changed of a download's progress in its row: the file, its share, size and received
// bytes, and its status in brief ("0 %" in the share when the server refused the file, the time-out
// text when it did not answer).
void renderDownloadRow(ListRow& row, const Progress& progress, Progress::Changes changes);

}  // namespace harbel
