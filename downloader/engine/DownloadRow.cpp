#include "downloader/engine/DownloadRow.h"

namespace harbel {

DownloadRow::DownloadRow(int smallIcon, QObject* parent) : QObject(parent), icon_(smallIcon)
{
    for (int i = 0; i < kCells; ++i)
        cells_.append(QString());
}

void DownloadRow::setSmallIcon(int icon)
{
    if (icon_ == icon)
        return;
    icon_ = icon;
    emit changed();
}

void DownloadRow::setCell(int index, const QString& text)
{
    if (index <= Icon || index >= kCells || cells_[index] == text)
        return;
    cells_[index] = text;
    emit changed();
}

}  // namespace harbel
