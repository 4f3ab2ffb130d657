#include "common/controls/Form.h"

#include "common/controls/Control.h"

namespace harbel {

Form::Form(QString name, QObject* parent) : QObject(parent), name_(std::move(name))
{
    setObjectName(name_);
}

// Controls are members of the derived form and go before this runs; the list only points at them.
Form::~Form() = default;

void Form::setCaption(const QString& caption)
{
    if (caption_ == caption)
        return;
    caption_ = caption;
    emit changed();
}

void Form::Show()
{
    if (visible_)
        return;
    visible_ = true;
    emit shown();
    emit changed();
}

void Form::Hide()
{
    if (!visible_)
        return;
    visible_ = false;
    emit hidden();
    emit changed();
}

void Form::setWindowState(int state)
{
    if (windowState_ == state)
        return;
    windowState_ = state;
    emit changed();
}

void Form::setStyleName(const QString& style)
{
    if (style_ == style)
        return;
    style_ = style;
    emit changed();
}

Control* Form::control(const QString& name) const
{
    for (Control* c : controls_)
        if (c->name().compare(name, Qt::CaseInsensitive) == 0)
            return c;
    return nullptr;
}

}  // namespace harbel
