#pragma once

#include <QObject>
#include <QString>

#include <vector>

namespace harbel {

class Control;

// A window of the programs as a presentation model: its caption, visibility, skin style and its
// controls in the form's control order. Views render it; tests drive its handlers directly.
class Form : public QObject {
    Q_OBJECT
public:
    explicit Form(QString name, QObject* parent = nullptr);
    ~Form() override;

    const QString& name() const { return name_; }

    const QString& Caption() const { return caption_; }
    void setCaption(const QString& caption);
    bool Visible() const { return visible_; }
    void Show();
    void Hide();
    // 0 normal, 1 minimised, 2 maximised.
    int WindowState() const { return windowState_; }
    void setWindowState(int state);

    const QString& styleName() const { return style_; }
    void setStyleName(const QString& style);

    const std::vector<Control*>& controls() const { return controls_; }
    Control* control(const QString& name) const;

signals:
    void changed();
    void controlChanged(harbel::Control* control);
    void shown();
    void hidden();

private:
    friend class Control;
    void addControl(Control* control) { controls_.push_back(control); }

    QString name_;
    QString caption_;
    QString style_;
    bool visible_ = false;
    int windowState_ = 0;
    std::vector<Control*> controls_;
};

}  // namespace harbel
