#include "common/ui/Bindings.h"

#include "common/support/Skin.h"
#include "common/ui/SkinApplier.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>

#include <memory>

namespace harbel {

namespace {

// Runs a handler when its widget loses the keyboard focus.
class FocusOutWatcher final : public QObject {
public:
    FocusOutWatcher(QObject* parent, std::function<void()> onLeave) : QObject(parent), onLeave_(std::move(onLeave)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusOut && onLeave_)
            onLeave_();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> onLeave_;
};

template <typename Widget>
Widget* named(Widget* widget, const Control& control)
{
    widget->setObjectName(control.name());
    return widget;
}

}  // namespace

void bindControl(QWidget* widget, Control& control, const std::function<void()>& show)
{
    if (widget->objectName().isEmpty())
        widget->setObjectName(control.name());
    // The style sheet is touched only when the control's skin style changes, so a view's own sheet
    // on an unstyled widget stays.
    auto applied = std::make_shared<QString>();
    const auto apply = [widget, &control, show, applied] {
        widget->setVisible(control.Visible());
        widget->setEnabled(control.Enabled());
        widget->setToolTip(control.ToolTipText());
        if (control.styleName() != *applied) {
            *applied = control.styleName();
            applySkin(*widget, control, Skin::shared());
        }
        if (show)
            show();
    };
    QObject::connect(&control, &Control::changed, widget, apply);
    QObject::connect(&control, &Control::refreshRequested, widget, [widget] { widget->repaint(); });
    apply();
}

void bindButton(QAbstractButton* button, CaptionControl& control, std::function<void()> onClick)
{
    bindControl(button, control, [button, &control] {
        if (!control.Caption().isEmpty())
            button->setText(control.Caption());
    });
    QObject::connect(button, &QAbstractButton::clicked, button, [onClick = std::move(onClick)] {
        if (onClick)
            onClick();
    });
}

void bindLabel(QLabel* label, CaptionControl& control)
{
    bindControl(label, control, [label, &control] { label->setText(control.Caption()); });
}

void bindCheck(QAbstractButton* box, CheckBox& control, std::function<void()> onClick)
{
    box->setCheckable(true);
    bindControl(box, control, [box, &control] {
        const QSignalBlocker quiet(box);
        box->setText(control.Caption());
        box->setChecked(control.Value() == 1);
    });
    QObject::connect(box, &QAbstractButton::clicked, box, [box, &control, onClick = std::move(onClick)] {
        control.setValue(box->isChecked() ? 1 : 0);
        if (onClick)
            onClick();
    });
}

void bindOption(QAbstractButton* button, OptionButton& control, std::function<void()> onClick)
{
    button->setCheckable(true);
    button->setAutoExclusive(false);
    const auto show = [button, &control] {
        const QSignalBlocker quiet(button);
        button->setText(control.Caption());
        button->setChecked(control.Value());
    };
    bindControl(button, control, show);
    QObject::connect(button, &QAbstractButton::clicked, button, [&control, show, onClick = std::move(onClick)] {
        control.setValue(true);
        if (onClick)
            onClick();
        show();  // the form may have refused the choice
    });
}

void bindText(QLineEdit* edit, TextBox& control, std::function<void()> onEdit)
{
    bindControl(edit, control, [edit, &control] {
        edit->setReadOnly(control.Locked());
        edit->setPlaceholderText(control.PlaceholderText());
        if (edit->text() != control.Text())
            edit->setText(control.Text());
    });
    QObject::connect(edit, &QLineEdit::textEdited, edit, [&control, onEdit = std::move(onEdit)](const QString& text) {
        control.setText(text);
        if (onEdit)
            onEdit();
    });
}

void bindTextArea(QPlainTextEdit* edit, TextBox& control, std::function<void()> onEdit, std::function<void()> onLostFocus)
{
    bindControl(edit, control, [edit, &control] {
        edit->setReadOnly(control.Locked());
        if (edit->toPlainText() != control.Text()) {
            const QSignalBlocker quiet(edit);
            edit->setPlainText(control.Text());
        }
    });
    QObject::connect(edit, &QPlainTextEdit::textChanged, edit, [edit, &control, onEdit = std::move(onEdit)] {
        if (edit->toPlainText() == control.Text())
            return;
        control.setText(edit->toPlainText());
        if (onEdit)
            onEdit();
    });
    if (onLostFocus)
        edit->installEventFilter(new FocusOutWatcher(edit, std::move(onLostFocus)));
}

void bindProgress(QProgressBar* bar, ProgressBar& control)
{
    bindControl(bar, control, [bar, &control] {
        bar->setRange(int(control.Min()), int(control.Max()));
        bar->setValue(int(control.Value()));
    });
}

void bindAction(QAction* action, Control& control, std::function<void()> onTrigger)
{
    const auto sync = [action, &control] { action->setEnabled(control.Enabled()); };
    QObject::connect(&control, &Control::changed, action, sync);
    QObject::connect(action, &QAction::triggered, action, [onTrigger = std::move(onTrigger)] {
        if (onTrigger)
            onTrigger();
    });
    sync();
}

void showItems(QComboBox* combo, const QStringList& items)
{
    QStringList shown;
    for (int i = 0; i < combo->count(); ++i)
        shown << combo->itemText(i);
    if (shown != items) {
        combo->clear();
        combo->addItems(items);
    }
}

void bindChoice(QComboBox* combo, ComboBox& control, std::function<void()> onChoose)
{
    bindControl(combo, control, [combo, &control] {
        const QSignalBlocker quiet(combo);
        showItems(combo, control.List());
        combo->setCurrentIndex(control.ListIndex());
    });
    QObject::connect(combo, &QComboBox::activated, combo, [&control, onChoose = std::move(onChoose)](int index) {
        control.setListIndex(index);
        if (onChoose)
            onChoose();
    });
}

void bindTabs(QTabBar* tabs, TabStrip& control, std::function<void()> onClick)
{
    bindControl(tabs, control, [tabs, &control] {
        const QSignalBlocker quiet(tabs);
        if (tabs->count() != control.Tabs().size()) {
            while (tabs->count() > 0)
                tabs->removeTab(0);
            for (const QString& caption : control.Tabs())
                tabs->addTab(caption);
        }
        tabs->setCurrentIndex(control.SelectedIndex());
    });
    QObject::connect(tabs, &QTabBar::currentChanged, tabs, [&control, onClick = std::move(onClick)](int index) {
        if (index == control.SelectedIndex())
            return;
        control.setSelectedIndex(index);
        if (onClick)
            onClick();
    });
}

QPushButton* buttonFor(CaptionControl& control, QWidget* parent, std::function<void()> onClick)
{
    auto* w = named(new QPushButton(parent), control);
    w->setAutoDefault(false);
    bindButton(w, control, std::move(onClick));
    return w;
}

QLabel* labelFor(CaptionControl& control, QWidget* parent)
{
    auto* w = named(new QLabel(parent), control);
    w->setTextFormat(Qt::PlainText);
    bindLabel(w, control);
    return w;
}

QCheckBox* checkFor(CheckBox& control, QWidget* parent, std::function<void()> onClick)
{
    auto* w = named(new QCheckBox(parent), control);
    bindCheck(w, control, std::move(onClick));
    return w;
}

QRadioButton* optionFor(OptionButton& control, QWidget* parent, std::function<void()> onClick)
{
    auto* w = named(new QRadioButton(parent), control);
    bindOption(w, control, std::move(onClick));
    return w;
}

QLineEdit* editFor(TextBox& control, QWidget* parent, std::function<void()> onEdit)
{
    auto* w = named(new QLineEdit(parent), control);
    bindText(w, control, std::move(onEdit));
    return w;
}

QComboBox* choiceFor(ComboBox& control, QWidget* parent, std::function<void()> onChoose)
{
    auto* w = named(new QComboBox(parent), control);
    bindChoice(w, control, std::move(onChoose));
    return w;
}

QProgressBar* barFor(ProgressBar& control, QWidget* parent)
{
    auto* w = named(new QProgressBar(parent), control);
    w->setTextVisible(false);
    bindProgress(w, control);
    return w;
}

}  // namespace harbel
