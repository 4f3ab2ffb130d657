#include "ftpclient/core/FtpControls.h"

namespace harbel::tessaly {

void ListView::Clear()
{
    if (items_.isEmpty())
        return;
    items_.clear();
    notify();
}

int ListView::Add(const ListItem& item)
{
    items_.append(item);
    notify();
    return int(items_.size()) - 1;
}

void ListView::setSelected(int index, bool on)
{
    if (index < 0 || index >= items_.size() || items_[index].Selected == on)
        return;
    items_[index].Selected = on;
    notify();
}

void ListView::selectOnly(const QList<int>& rows)
{
    for (int i = 0; i < items_.size(); ++i)
        items_[i].Selected = rows.contains(i);
    notify();
}

QList<int> ListView::selectedRows() const
{
    QList<int> rows;
    for (int i = 0; i < items_.size(); ++i)
        if (items_[i].Selected)
            rows.append(i);
    return rows;
}

void ListView::setView(int style)
{
    if (style < 0 || style > 3 || style == view_)
        return;
    view_ = style;
    notify();
}

void ListView::setColumnHeaders(const QStringList& headers)
{
    columns_ = headers;
    notify();
}

void ComboBox::setText(const QString& text)
{
    if (text_ == text)
        return;
    text_ = text;
    notify();
}

void ComboBox::setListIndex(int index)
{
    if (index < -1 || index >= list_.size())
        return;
    index_ = index;
    if (index >= 0)
        text_ = list_.at(index);
    notify();
}

void ComboBox::AddItem(const QString& text)
{
    list_.append(text);
    notify();
}

void ComboBox::Clear()
{
    list_.clear();
    index_ = -1;
    text_.clear();
    notify();
}

void ListBox::AddItem(const QString& text)
{
    items_.append(text);
    notify();
}

void ListBox::Clear()
{
    items_.clear();
    index_ = -1;
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
