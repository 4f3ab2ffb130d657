#include "common/controls/ComboBox.h"

namespace harbel {

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

}  // namespace harbel
