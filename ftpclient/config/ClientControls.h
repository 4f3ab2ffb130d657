#pragma once

#include "common/controls/ComboBox.h"
#include "common/controls/Control.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace harbel::tessaly {

// A plain list box of text lines with a selected line. Tag keeps a number the form chooses.
class ListBox final : public Control {
    Q_OBJECT
public:
    ListBox(Form& form, QString name) : Control(form, std::move(name), ControlKind::ListView) {}

    const QStringList& Items() const { return items_; }
    void AddItem(const QString& text);
    void Clear();
    // Drops the count oldest items (a list that only keeps its latest lines).
    void RemoveOldest(int count);
    // How many items RemoveOldest dropped since the list was made or last cleared: a view that
    // shows the items uses it to drop the same ones.
    qint64 Dropped() const { return dropped_; }
    int ListIndex() const { return index_; }
    void setListIndex(int index);
    int Tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }
    int HorizontalExtent() const { return extent_; }
    void setHorizontalExtent(int pixels);

private:
    QStringList items_;
    int index_ = -1;
    int tag_ = 0;
    int extent_ = 0;
    qint64 dropped_ = 0;
};

// A menu item: a caption that can be enabled; menus have no window handle of their own.
class MenuItem final : public CaptionControl {
    Q_OBJECT
public:
    MenuItem(Form& form, QString name, QString caption = {})
        : CaptionControl(form, std::move(name), ControlKind::Label)
    {
        setCaption(caption);
    }
    bool hasHandle() const override { return false; }
    bool canRefresh() const override { return false; }
};

}  // namespace harbel::tessaly
