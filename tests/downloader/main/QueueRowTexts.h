#pragma once

#include "downloader/main/DownloadRow.h"

namespace harbel::test {

// Makes a row show `text` in one cell the way a History.ini line would: the row's entry becomes
// what History.ini's reading makes of the row's texts with that cell changed.
inline void setRowText(ListRow& row, int cell, const QString& text)
{
    QStringList lines = queueRowCells(entryOf(row)).mid(1, 7);
    lines[cell - 1] = text;
    setEntry(row, QueueEntry::fromLines(lines, row.SmallIcon() == DownloadRow::kCompleteIcon));
}

}  // namespace harbel::test
