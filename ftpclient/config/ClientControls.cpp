#include "ftpclient/config/ClientControls.h"

namespace harbel::tessaly {

void ListBox::AddItem(const QString& text)
{
    items_.append(text);
    notify();
}

void ListBox::Clear()
{
    items_.clear();
    index_ = -1;
    dropped_ = 0;
    notify();
}

void ListBox::RemoveOldest(int count)
{
    count = qMin(count, int(items_.size()));
    if (count <= 0)
        return;
    items_.remove(0, count);
    dropped_ += count;
    index_ = index_ >= count ? index_ - count : -1;
    notify();
}

void ListBox::setListIndex(int index)
{
    if (index < -1 || index >= items_.size())
        return;
    index_ = index;
    notify();
}

void ListBox::setHorizontalExtent(int pixels)
{
    extent_ = pixels;
    notify();
}

}  // namespace harbel::tessaly
