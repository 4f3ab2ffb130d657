#pragma once

#include "common/controls/ComboBox.h"
#include "common/controls/Control.h"

#include <functional>

class QAbstractButton;
class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTabBar;
class QWidget;

namespace harbel {

// Small adapters that keep a widget showing its control and hand the user's actions to the form,
// shared by every window of both programs. Each binding follows the control's visibility,
// enabled state, tool tip, skin style and refresh requests; the widget takes the control's name.

// Only the common state; show runs after it on every change, for what the widget shows itself.
void bindControl(QWidget* widget, Control& control, const std::function<void()>& show = {});
// A caption that is empty keeps the widget's own text.
void bindButton(QAbstractButton* button, CaptionControl& control, std::function<void()> onClick);
void bindLabel(QLabel* label, CaptionControl& control);
// Ticked when the value is 1; a click sets the value first, then runs onClick.
void bindCheck(QAbstractButton* box, CheckBox& control, std::function<void()> onClick = {});
// The form keeps each option group (including "none chosen"): the widget never groups itself.
// A click chooses the option, then runs onClick.
void bindOption(QAbstractButton* button, OptionButton& control, std::function<void()> onClick = {});
// The user's typing goes into the control, then onEdit runs; a locked box is read-only.
void bindText(QLineEdit* edit, TextBox& control, std::function<void()> onEdit = {});
// A multi-line box; onLostFocus runs when the user leaves it.
void bindTextArea(QPlainTextEdit* edit, TextBox& control, std::function<void()> onEdit = {},
                  std::function<void()> onLostFocus = {});
void bindProgress(QProgressBar* bar, ProgressBar& control);
void bindAction(QAction* action, Control& control, std::function<void()> onTrigger);
// A list to choose from without typing.
void bindChoice(QComboBox* combo, ComboBox& control, std::function<void()> onChoose = {});
// Puts the items into the combo box unless it shows them already (so its choice is not reset).
void showItems(QComboBox* combo, const QStringList& items);
// The tabs and the selected one; a click selects, then runs onClick.
void bindTabs(QTabBar* tabs, TabStrip& control, std::function<void()> onClick = {});

// Widgets made for a control and bound to it.
QPushButton* buttonFor(CaptionControl& control, QWidget* parent, std::function<void()> onClick);
QLabel* labelFor(CaptionControl& control, QWidget* parent);
QCheckBox* checkFor(CheckBox& control, QWidget* parent, std::function<void()> onClick = {});
QRadioButton* optionFor(OptionButton& control, QWidget* parent, std::function<void()> onClick = {});
QLineEdit* editFor(TextBox& control, QWidget* parent, std::function<void()> onEdit = {});
QComboBox* choiceFor(ComboBox& control, QWidget* parent, std::function<void()> onChoose = {});
QProgressBar* barFor(ProgressBar& control, QWidget* parent);

}  // namespace harbel
