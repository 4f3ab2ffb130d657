#include "common/controls/Control.h"

#include "common/controls/Form.h"

namespace harbel {

Control::Control(Form& form, QString name, ControlKind kind)
    : QObject(&form), form_(form), name_(std::move(name)), kind_(kind)
{
    setObjectName(name_);
    form_.addControl(this);
}

void Control::notify()
{
    emit changed();
    form_.controlChanged(this);
}

void Control::setEnabled(bool on)
{
    if (enabled_ == on)
        return;
    enabled_ = on;
    notify();
}

void Control::setVisible(bool on)
{
    if (visible_ == on)
        return;
    visible_ = on;
    notify();
}

void Control::setToolTipText(const QString& text)
{
    if (toolTip_ == text)
        return;
    toolTip_ = text;
    notify();
}

void Control::setStyleName(const QString& style)
{
    if (style_ == style)
        return;
    style_ = style;
    notify();
}

void Control::Refresh()
{
    ++refreshes_;
    emit refreshRequested();
}

void CaptionControl::setCaption(const QString& caption)
{
    if (caption_ == caption)
        return;
    caption_ = caption;
    notify();
}

void Frame::setBorderStyle(int style)
{
    if (border_ == style)
        return;
    border_ = style;
    notify();
}

void CheckBox::setValue(int value)
{
    if (value_ == value)
        return;
    value_ = value;
    notify();
}

void OptionButton::setValue(bool value)
{
    if (value_ == value)
        return;
    value_ = value;
    notify();
}

void TextBox::setText(const QString& text)
{
    if (text_ == text)
        return;
    text_ = text;
    notify();
}

void TextBox::setLocked(bool on)
{
    if (locked_ == on)
        return;
    locked_ = on;
    notify();
}

void TextBox::setPlaceholderText(const QString& text)
{
    if (placeholder_ == text)
        return;
    placeholder_ = text;
    notify();
}

void ProgressBar::setRange(double min, double max)
{
    if (min_ == min && max_ == max)
        return;
    min_ = min;
    max_ = max;
    notify();
}

void ProgressBar::setValue(double value)
{
    if (value_ == value)
        return;
    value_ = value;
    notify();
}

void StatusBar::setPanelText(int index, const QString& text)
{
    if (index < 0)
        return;
    while (panels_.size() <= index)
        panels_.append(QString());
    if (panels_[index] == text)
        return;
    panels_[index] = text;
    notify();
}

void TabStrip::setTabs(const QStringList& captions)
{
    if (tabs_ == captions)
        return;
    tabs_ = captions;
    notify();
}

void TabStrip::setSelectedIndex(int index)
{
    if (selected_ == index)
        return;
    selected_ = index;
    notify();
}

}  // namespace harbel
