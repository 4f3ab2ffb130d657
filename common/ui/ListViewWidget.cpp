#include "common/ui/ListViewWidget.h"

#include "common/controls/ListView.h"

#include <QHeaderView>

#include <vector>

namespace harbel {

namespace {
ListRow* rowOf(QTreeWidgetItem* item)
{
    return item ? static_cast<ListRow*>(item->data(0, Qt::UserRole).value<QObject*>()) : nullptr;
}
}  // namespace

ListViewWidget::ListViewWidget(ListView& model, QWidget* parent, IconProvider icons)
    : QTreeWidget(parent), model_(model), icons_(std::move(icons))
{
    setObjectName(model.name());
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setContextMenuPolicy(Qt::CustomContextMenu);
    header()->setSectionsClickable(true);
    header()->setStretchLastSection(false);

    connect(&model_, &Control::changed, this, [this] {
        rebuildColumns();
        setEnabled(model_.Enabled());
        setVisible(model_.Visible());
    });
    connect(&model_, &ListView::rowsChanged, this, &ListViewWidget::rebuildRows);
    connect(&model_, &ListView::rowChanged, this, &ListViewWidget::updateRow);
    connect(header(), &QHeaderView::sectionClicked, this, [this](int column) { model_.ColumnClick(column); });
    connect(this, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (syncing_)
            return;
        syncing_ = true;
        // From the selection's ranges, not by asking every item: that is a search of the ranges
        // per row.
        std::vector<char> selected(std::size_t(topLevelItemCount()), 0);
        for (const QItemSelectionRange& range : selectionModel()->selection())
            if (!range.parent().isValid())
                for (int i = range.top(); i <= range.bottom(); ++i)
                    selected[std::size_t(i)] = 1;
        for (int i = 0; i < topLevelItemCount(); ++i)
            if (ListRow* r = rowOf(topLevelItem(i)))
                r->setSelected(selected[std::size_t(i)] != 0);
        syncing_ = false;
    });
    connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        if (!syncing_)
            model_.setSelectedItem(rowOf(current));
    });
    connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        if (ListRow* r = rowOf(item))
            emit rowActivated(r);
    });
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { emit contextMenu(viewport()->mapToGlobal(p)); });

    rebuildColumns();
    rebuildRows();
    setVisible(model_.Visible());
}

void ListViewWidget::showFileNames(int column)
{
    fileNameColumn_ = column;
    rebuildRows();
}

void ListViewWidget::stretchColumn(int column)
{
    stretchColumn_ = column;
    rebuildColumns();
}

void ListViewWidget::rebuildColumns()
{
    const auto& cols = model_.ColumnHeaders();
    if (cols.isEmpty())
        return;
    setColumnCount(int(cols.size()));
    QStringList labels;
    for (const auto& c : cols)
        labels.append(c.text);
    setHeaderLabels(labels);
    for (int i = 0; i < cols.size(); ++i) {
        setColumnHidden(i, cols[i].width <= 0);
        if (cols[i].width > 0)
            setColumnWidth(i, cols[i].width);
        headerItem()->setTextAlignment(i, cols[i].alignment | Qt::AlignVCenter);
        header()->setSectionResizeMode(i, i == stretchColumn_ ? QHeaderView::Stretch : QHeaderView::Interactive);
    }
}

void ListViewWidget::fill(QTreeWidgetItem* item, ListRow* row)
{
    const auto& cols = model_.ColumnHeaders();
    const int n = std::max<int>(int(cols.size()), int(row->cells().size()));
    // A cell is shown cut to what a column can show: laying out a cell of megabytes (a damaged
    // History.ini) froze the window. The row itself keeps the whole text.
    constexpr qsizetype kLongestShown = 4096;
    for (int i = 0; i < n; ++i) {
        const QString text = row->cell(i);
        if (i == fileNameColumn_ && text.startsWith(u'/') && text.size() <= kLongestShown) {
            item->setText(i, text.mid(text.lastIndexOf(u'/') + 1));
            item->setToolTip(i, text);
        } else {
            item->setText(i, text.size() > kLongestShown ? text.left(kLongestShown) + QChar(0x2026) : text);
            if (i == fileNameColumn_)
                item->setToolTip(i, {});
        }
        if (i < cols.size())
            item->setTextAlignment(i, cols[i].alignment | Qt::AlignVCenter);
    }
    if (icons_)
        item->setIcon(0, icons_(row->SmallIcon()));
    if (item->isSelected() != row->Selected())
        item->setSelected(row->Selected());
}

void ListViewWidget::rebuildRows()
{
    syncing_ = true;
    const QList<ListRow*> rows = model_.rows();
    // Rows only added at the end (a history being loaded row by row) get only their own items:
    // remaking every item at each addition made a long history take minutes to show.
    int kept = topLevelItemCount();
    if (kept > rows.size())
        kept = 0;
    for (int i = 0; i < kept; ++i)
        if (topLevelItem(i)->data(0, Qt::UserRole).value<QObject*>() != rows[i])
            kept = 0;
    if (kept == 0)
        clear();
    for (ListRow* row : rows.mid(kept)) {
        auto* item = new QTreeWidgetItem(this);
        item->setData(0, Qt::UserRole, QVariant::fromValue<QObject*>(row));
        fill(item, row);
    }
    syncing_ = false;
}

void ListViewWidget::updateRow(ListRow* row)
{
    // A change this widget is making itself: it already shows it.
    if (syncing_)
        return;
    const int index = model_.indexOf(row) - 1;
    if (index < 0 || index >= topLevelItemCount())
        return;
    syncing_ = true;
    fill(topLevelItem(index), row);
    syncing_ = false;
}

}  // namespace harbel
