#pragma once

#include "common/controls/ListView.h"

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

}  // namespace harbel
