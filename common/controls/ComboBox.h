#pragma once

#include "common/controls/Control.h"

#include <QString>
#include <QStringList>

namespace harbel {

// A drop-down: its list and the text in its edit field (for a list-only drop-down, the chosen item).
class ComboBox final : public Control {
    Q_OBJECT
public:
    ComboBox(Form& form, QString name) : Control(form, std::move(name), ControlKind::ComboBox) {}

    const QStringList& List() const { return list_; }
    int ListCount() const { return int(list_.size()); }
    const QString& Text() const { return text_; }
    void setText(const QString& text);
    int ListIndex() const { return index_; }
    void setListIndex(int index);
    void AddItem(const QString& text);
    void Clear();

private:
    QStringList list_;
    QString text_;
    int index_ = -1;
};

}  // namespace harbel
