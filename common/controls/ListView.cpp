#include "common/controls/ListView.h"

#include <algorithm>

namespace harbel {

// Compares texts as people read them: runs of digits by their value, other text without regard to
// case ("file9" before "file10").
int ListView::naturalCompare(const QString& a, const QString& b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype ei = i, ej = j;
            while (ei < a.size() && a[ei].isDigit())
                ++ei;
            while (ej < b.size() && b[ej].isDigit())
                ++ej;
            // Leading zeros do not count; a longer run of significant digits is larger.
            qsizetype si = i, sj = j;
            while (si + 1 < ei && a[si] == u'0')
                ++si;
            while (sj + 1 < ej && b[sj] == u'0')
                ++sj;
            if (ei - si != ej - sj)
                return ei - si < ej - sj ? -1 : 1;
            const int c = QStringView(a).mid(si, ei - si).compare(QStringView(b).mid(sj, ej - sj));
            if (c != 0)
                return c;
            i = ei;
            j = ej;
            continue;
        }
        const QChar ca = a[i].toCaseFolded(), cb = b[j].toCaseFolded();
        if (ca != cb)
            return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

void ListRow::setCell(int index, const QString& text)
{
    if (index < 0)
        return;
    if (cells_.value(index) == text && index < cells_.size())
        return;
    while (cells_.size() <= index)
        cells_.append(QString());
    cells_[index] = text;
    if (list_)
        list_->rowTouched(this);
}

void ListRow::setSmallIcon(int icon)
{
    if (icon_ == icon)
        return;
    icon_ = icon;
    if (list_)
        list_->rowTouched(this);
}

void ListRow::setSelected(bool on)
{
    if (selected_ == on)
        return;
    selected_ = on;
    if (list_)
        list_->rowTouched(this);
}

int ListRow::Index() const
{
    return list_ ? list_->indexOf(this) : 0;
}

ListView::ListView(Form& form, QString name) : Control(form, std::move(name), ControlKind::ListView) {}

ListView::~ListView()
{
    for (auto& r : rows_)
        r->list_ = nullptr;
}

void ListView::setColumns(const QList<ColumnHeader>& columns)
{
    columns_ = columns;
    notify();
}

ListRow* ListView::item(int index) const
{
    if (index < 1 || index > count())
        return nullptr;
    return rows_[std::size_t(index - 1)].get();
}

int ListView::indexOf(const ListRow* row) const
{
    // Every row knows its place: views ask for it at each change of a row, and a search through a
    // folder of 100,000 rows for each of them made selecting all take minutes.
    if (!row || row->list_ != this)
        return 0;
    return row->position_ + 1;
}

void ListView::renumberFrom(std::size_t first)
{
    for (std::size_t i = first; i < rows_.size(); ++i)
        rows_[i]->position_ = int(i);
}

QList<ListRow*> ListView::rows() const
{
    QList<ListRow*> out;
    out.reserve(count());
    for (const auto& r : rows_)
        out.append(r.get());
    return out;
}

ListRow* ListView::Add(const QString& text, int smallIcon)
{
    auto row = std::unique_ptr<ListRow>(new ListRow(this));
    row->cells_.append(text);
    row->icon_ = smallIcon;
    row->position_ = int(rows_.size());
    ListRow* raw = row.get();
    rows_.push_back(std::move(row));
    emit rowsChanged();
    return raw;
}

void ListView::Remove(int index)
{
    if (index < 1 || index > count())
        return;
    std::unique_ptr<ListRow> row = std::move(rows_[std::size_t(index - 1)]);
    rows_.erase(rows_.begin() + (index - 1));
    renumberFrom(std::size_t(index - 1));
    row->list_ = nullptr;
    if (current_ == row.get())
        current_ = nullptr;
    row.reset();
    emit rowsChanged();
}

void ListView::Remove(ListRow* row)
{
    Remove(indexOf(row));
}

void ListView::Clear()
{
    if (rows_.empty())
        return;
    for (auto& r : rows_)
        r->list_ = nullptr;
    rows_.clear();
    current_ = nullptr;
    emit rowsChanged();
}

QList<ListRow*> ListView::selectedRows() const
{
    QList<ListRow*> out;
    for (const auto& r : rows_)
        if (r->selected_)
            out.append(r.get());
    return out;
}

bool ListView::anySelected() const
{
    return std::any_of(rows_.begin(), rows_.end(), [](const auto& r) { return r->selected_; });
}

void ListView::selectAll(bool on)
{
    for (auto& r : rows_)
        r->setSelected(on);
}

void ListView::setSelectedItem(ListRow* row)
{
    if (row && row->list_ != this)
        return;
    current_ = row;
    notify();
}

void ListView::setView(int style)
{
    if (view_ == style || style < lvwIcon || style > lvwReport)
        return;
    view_ = style;
    notify();
}

void ListView::sortBy(int column, SortOrderKind order)
{
    sortKey_ = column;
    sortOrder_ = order;
    std::stable_sort(rows_.begin(), rows_.end(), [&](const auto& a, const auto& b) {
        const int c = naturalCompare(a->cell(column), b->cell(column));
        return order == lvwAscending ? c < 0 : c > 0;
    });
    renumberFrom(0);
    emit rowsChanged();
}

void ListView::sortBy(int column, SortOrderKind order, const std::function<bool(const ListRow&, const ListRow&)>& less)
{
    sortKey_ = column;
    sortOrder_ = order;
    std::stable_sort(rows_.begin(), rows_.end(), [&](const auto& a, const auto& b) { return less(*a, *b); });
    renumberFrom(0);
    emit rowsChanged();
}

void ListView::ColumnClick(int column)
{
    sortBy(column, sortOrder_ == lvwAscending ? lvwDescending : lvwAscending);
}

void ListView::rowTouched(ListRow* row)
{
    emit rowChanged(row);
}

}  // namespace harbel
