#include "downloader/engine/DownloadRow.h"

namespace harbel {

void setDownloadColumns(ListView& list, bool completed)
{
    const Qt::Alignment centre = Qt::AlignHCenter;
    list.setColumns({
        {QString(), completed ? 15 : 20, Qt::AlignLeft},
        {completed ? QStringLiteral("Complete") : QStringLiteral("Filename"), completed ? 110 : 120, Qt::AlignLeft},
        {QStringLiteral("%"), 36, centre},
        {QStringLiteral("Size"), 60, centre},
        {QStringLiteral("Recieved"), 60, centre},
        {QStringLiteral("Status"), completed ? 99 : 100, centre},
        {QStringLiteral("URL"), 200, Qt::AlignLeft},
        {QStringLiteral("Date"), 0, Qt::AlignLeft},
    });
}

}  // namespace harbel
