#pragma once

#include "common/controls/Control.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace harbel::tessaly {

// One row of a list view: its text (first column), the other columns, icons and selection.
struct ListItem {
    QString Text;
    QStringList SubItems;  // columns 2..n
    int Icon = 0;
    int SmallIcon = 0;
    QString Key;
    bool Selected = false;
};

// A list view: rows, column headers, view style (0 large icons, 1 small icons, 2 list, 3 report).
class ListView final : public Control {
    Q_OBJECT
public:
    ListView(Form& form, QString name) : Control(form, std::move(name), ControlKind::ListView) {}

    const QList<ListItem>& ListItems() const { return items_; }
    int Count() const { return int(items_.size()); }
    const ListItem& item(int index) const { return items_.at(index); }
    void Clear();
    int Add(const ListItem& item);
    void setSelected(int index, bool on);
    // Selects exactly these rows.
    void selectOnly(const QList<int>& rows);
    QList<int> selectedRows() const;

    int View() const { return view_; }
    void setView(int style);
    const QStringList& ColumnHeaders() const { return columns_; }
    void setColumnHeaders(const QStringList& headers);

private:
    QList<ListItem> items_;
    QStringList columns_;
    int view_ = 3;
};

// An editable drop-down: its list and the text in its edit field.
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

// A plain list box of text lines with a selected line. Tag keeps a number the form chooses.
class ListBox final : public Control {
    Q_OBJECT
public:
    ListBox(Form& form, QString name) : Control(form, std::move(name), ControlKind::ListView) {}

    const QStringList& Items() const { return items_; }
    void AddItem(const QString& text);
    void Clear();
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
