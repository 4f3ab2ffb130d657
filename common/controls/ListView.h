#pragma once

#include "common/controls/Control.h"

#include <QList>
#include <QPointer>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

namespace harbel {

class ListView;

// One row of a list view: its cells (cell 0 is the item's own text), small icon, selection and a
// tag. Rows are objects with a stable address, so a download can hold its row while others come
// and go; a QPointer to a removed row becomes null.
class ListRow final : public QObject {
    Q_OBJECT
public:
    QString cell(int index) const { return cells_.value(index); }
    void setCell(int index, const QString& text);
    const QStringList& cells() const { return cells_; }
    QString Text() const { return cell(0); }

    int SmallIcon() const { return icon_; }
    void setSmallIcon(int icon);
    bool Selected() const { return selected_; }
    void setSelected(bool on);
    const QVariant& Tag() const { return tag_; }
    void setTag(const QVariant& tag) { tag_ = tag; }

    ListView* list() const { return list_; }
    // 1-based position in its list, 0 when it is no longer in one.
    int Index() const;

private:
    friend class ListView;
    explicit ListRow(ListView* list) : list_(list) {}

    ListView* list_;
    int position_ = 0;  // 0-based place in list_, kept by the list
    QStringList cells_;
    int icon_ = 0;
    bool selected_ = false;
    QVariant tag_;
};

struct ColumnHeader {
    QString text;
    int width = 100;        // pixels; 0 hides the column
    Qt::Alignment alignment = Qt::AlignLeft;
};

// A list view with columns and rows of text cells, as the report, list and icon views show them.
class ListView final : public Control {
    Q_OBJECT
public:
    enum ViewStyle { lvwIcon = 0, lvwSmallIcon = 1, lvwList = 2, lvwReport = 3 };
    enum SortOrderKind { lvwAscending = 0, lvwDescending = 1 };

    ListView(Form& form, QString name);
    ~ListView() override;

    void setColumns(const QList<ColumnHeader>& columns);
    const QList<ColumnHeader>& ColumnHeaders() const { return columns_; }

    int count() const { return int(rows_.size()); }
    bool isEmpty() const { return rows_.empty(); }
    // 1-based like the list's own item numbers.
    ListRow* item(int index) const;
    ListRow* at(int zeroBased) const { return rows_.at(std::size_t(zeroBased)).get(); }
    int indexOf(const ListRow* row) const;  // 1-based; 0 when not in the list
    QList<ListRow*> rows() const;

    ListRow* Add(const QString& text = {}, int smallIcon = 0);
    void Remove(int index);  // 1-based
    void Remove(ListRow* row);
    void Clear();

    QList<ListRow*> selectedRows() const;
    bool anySelected() const;
    void selectAll(bool on);
    // The current (focused) row, or null.
    ListRow* SelectedItem() const { return current_; }
    void setSelectedItem(ListRow* row);

    int View() const { return view_; }
    void setView(int style);

    // Sorts the rows by one cell's text (case ignored; numbers inside compare by value).
    void sortBy(int column, SortOrderKind order);
    // Sorts the rows with less, keeping the order of rows it holds equal, and records column and
    // order as the list's sort key.
    void sortBy(int column, SortOrderKind order, const std::function<bool(const ListRow&, const ListRow&)>& less);
    // Case ignored, runs of digits by their value ("file9" before "file10").
    static int naturalCompare(const QString& a, const QString& b);
    int SortKey() const { return sortKey_; }
    SortOrderKind SortOrder() const { return sortOrder_; }
    // A click on a column header: sort by it, alternating the order with every click.
    void ColumnClick(int column);

signals:
    void rowsChanged();                 // rows added, removed, reordered or cleared
    void rowChanged(harbel::ListRow* row);  // a cell, icon or selection of one row

private:
    friend class ListRow;
    void rowTouched(ListRow* row);
    void renumberFrom(std::size_t first);

    QList<ColumnHeader> columns_;
    std::vector<std::unique_ptr<ListRow>> rows_;
    QPointer<ListRow> current_;
    int view_ = lvwReport;
    int sortKey_ = 0;
    SortOrderKind sortOrder_ = lvwAscending;
};

}  // namespace harbel
