#include "common/ui/SkinApplier.h"

#include "common/controls/Control.h"
#include "common/controls/Form.h"
#include "common/support/Skin.h"

#include <QWidget>

namespace harbel {

void applySkin(QWidget& widget, const Control& control, const Skin& skin)
{
    widget.setStyleSheet(control.styleName().isEmpty() ? QString() : skin.styleSheet(control.styleName()));
}

void applySkin(QWidget& widget, const Form& form, const Skin& skin)
{
    widget.setStyleSheet(form.styleName().isEmpty() ? QString() : skin.styleSheet(form.styleName()));
}

}  // namespace harbel
