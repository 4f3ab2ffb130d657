#pragma once

class QWidget;

namespace harbel {

class Control;
class Form;
class Skin;

// Gives a widget the style sheet of the skin style its control or form carries (none when unstyled).
void applySkin(QWidget& widget, const Control& control, const Skin& skin);
void applySkin(QWidget& widget, const Form& form, const Skin& skin);

}  // namespace harbel
