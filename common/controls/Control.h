#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

namespace harbel {

class Form;

enum class ControlKind {
    Button,
    Label,      // a plain label
    SkinLabel,  // a label drawn by the skin
    Frame,
    CheckBox,
    OptionButton,
    StatusBar,
    TabStrip,
    TextBox,
    ComboBox,
    ListView,
    ProgressBar,
    Picture,
    Timer,
    Tray,
    ExtraTimer,
};

// A control of a presentation-model form: plain state that tells its form when it changes.
// Views render it and forward the user's actions to the form's handlers; the logic never needs a
// widget. Controls register with their form when constructed, in the form's control order.
class Control : public QObject {
    Q_OBJECT
public:
    Control(Form& form, QString name, ControlKind kind);

    const QString& name() const { return name_; }
    ControlKind kind() const { return kind_; }
    Form& form() const { return form_; }

    bool Enabled() const { return enabled_; }
    void setEnabled(bool on);
    bool Visible() const { return visible_; }
    void setVisible(bool on);
    QString ToolTipText() const { return toolTip_; }
    void setToolTipText(const QString& text);

    // The skin style applied to the control ("Button", "Label"...); empty when unstyled.
    const QString& styleName() const { return style_; }
    void setStyleName(const QString& style);

    // Controls that are not windows (timers, the tray icon's host) have no handle: styling skips them.
    virtual bool hasHandle() const { return true; }
    // Whether the control has a refresh operation.
    virtual bool canRefresh() const { return true; }
    // Asks the view to repaint the control now.
    void Refresh();
    int refreshCount() const { return refreshes_; }

signals:
    void changed();
    void refreshRequested();

protected:
    void notify();

private:
    Form& form_;
    QString name_;
    ControlKind kind_;
    bool enabled_ = true;
    bool visible_ = true;
    QString toolTip_;
    QString style_;
    int refreshes_ = 0;
};

// A control with a caption: buttons, labels, frames, check boxes, option buttons.
class CaptionControl : public Control {
    Q_OBJECT
public:
    using Control::Control;
    const QString& Caption() const { return caption_; }
    void setCaption(const QString& caption);

private:
    QString caption_;
};

class Button final : public CaptionControl {
    Q_OBJECT
public:
    Button(Form& form, QString name) : CaptionControl(form, std::move(name), ControlKind::Button) {}
};

class Label final : public CaptionControl {
    Q_OBJECT
public:
    // A skin label (drawn by the skin) is styled; a plain label is not.
    Label(Form& form, QString name, bool skinLabel = true)
        : CaptionControl(form, std::move(name), skinLabel ? ControlKind::SkinLabel : ControlKind::Label) {}
};

class Frame final : public CaptionControl {
    Q_OBJECT
public:
    Frame(Form& form, QString name) : CaptionControl(form, std::move(name), ControlKind::Frame) {}
    // 0 none, 1 fixed single.
    int BorderStyle() const { return border_; }
    void setBorderStyle(int style);

private:
    int border_ = 1;
};

class CheckBox final : public CaptionControl {
    Q_OBJECT
public:
    CheckBox(Form& form, QString name) : CaptionControl(form, std::move(name), ControlKind::CheckBox) {}
    // 0 clear, 1 ticked, 2 grey.
    int Value() const { return value_; }
    void setValue(int value);

private:
    int value_ = 0;
};

class OptionButton final : public CaptionControl {
    Q_OBJECT
public:
    OptionButton(Form& form, QString name) : CaptionControl(form, std::move(name), ControlKind::OptionButton) {}
    bool Value() const { return value_; }
    void setValue(bool value);

private:
    bool value_ = false;
};

class TextBox final : public Control {
    Q_OBJECT
public:
    TextBox(Form& form, QString name) : Control(form, std::move(name), ControlKind::TextBox) {}
    const QString& Text() const { return text_; }
    void setText(const QString& text);
    bool Locked() const { return locked_; }
    void setLocked(bool on);
    // Shown greyed in the empty box: what it waits for.
    const QString& PlaceholderText() const { return placeholder_; }
    void setPlaceholderText(const QString& text);

private:
    QString text_;
    QString placeholder_;
    bool locked_ = false;
};

class ProgressBar final : public Control {
    Q_OBJECT
public:
    ProgressBar(Form& form, QString name) : Control(form, std::move(name), ControlKind::ProgressBar) {}
    double Min() const { return min_; }
    double Max() const { return max_; }
    double Value() const { return value_; }
    void setRange(double min, double max);
    void setValue(double value);

private:
    double min_ = 0;
    double max_ = 100;
    double value_ = 0;
};

class StatusBar final : public Control {
    Q_OBJECT
public:
    StatusBar(Form& form, QString name) : Control(form, std::move(name), ControlKind::StatusBar) {}
    const QStringList& Panels() const { return panels_; }
    QString PanelText(int index) const { return panels_.value(index); }
    void setPanelText(int index, const QString& text);

private:
    QStringList panels_;
};

class TabStrip final : public Control {
    Q_OBJECT
public:
    TabStrip(Form& form, QString name) : Control(form, std::move(name), ControlKind::TabStrip) {}
    const QStringList& Tabs() const { return tabs_; }
    void setTabs(const QStringList& captions);
    int SelectedIndex() const { return selected_; }
    void setSelectedIndex(int index);

private:
    QStringList tabs_;
    int selected_ = 0;
};

}  // namespace harbel
