#include "ftpclient/ui/TessalyBindings.h"

#include "common/ui/Icons.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QStackedWidget>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <memory>
#include <utility>
#include <vector>

namespace harbel::tessaly::ui {

void bindCombo(QComboBox* combo, ComboBox& control, std::function<void()> onChoose, std::function<void()> onEnter)
{
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    auto syncing = std::make_shared<bool>(false);
    auto sync = [combo, &control, syncing] {
        *syncing = true;
        combo->setEnabled(control.Enabled());
        showItems(combo, control.List());
        if (combo->currentText() != control.Text())
            combo->setEditText(control.Text());
        *syncing = false;
    };
    QObject::connect(&control, &Control::changed, combo, sync);
    QObject::connect(combo, &QComboBox::activated, combo, [combo, &control, syncing, onChoose](int index) {
        if (*syncing)
            return;
        control.setText(combo->itemText(index));
        onChoose();
    });
    QObject::connect(combo->lineEdit(), &QLineEdit::returnPressed, combo, [combo, &control, syncing, onEnter] {
        if (*syncing)
            return;
        control.setText(combo->currentText());
        onEnter();
    });
    sync();
}

void bindLog(QListWidget* list, ListBox& control)
{
    // How many of the oldest items the control had dropped when the widget last followed it.
    auto dropped = std::make_shared<qint64>(0);
    auto sync = [list, &control, dropped] {
        const QStringList& items = control.Items();
        const qint64 more = control.Dropped() - *dropped;
        if (more < 0 || more >= list->count()) {
            list->clear();
        } else {
            for (qint64 i = 0; i < more; ++i)
                delete list->takeItem(0);
        }
        *dropped = control.Dropped();
        if (items.size() < list->count())
            list->clear();
        for (int i = list->count(); i < items.size(); ++i)
            list->addItem(items.at(i));
        if (control.ListIndex() >= 0 && control.ListIndex() < list->count()) {
            list->setCurrentRow(control.ListIndex());
            list->scrollToItem(list->item(control.ListIndex()));
        }
    };
    // Lines come in bursts while a batch of files goes: the widget follows once per turn of the
    // event loop, whatever the number of lines, and rows of one height keep scrolling to the last
    // one as cheap in a full log as in an empty one.
    list->setUniformItemSizes(true);
    auto pending = std::make_shared<bool>(false);
    QObject::connect(&control, &Control::changed, list, [list, sync, pending, &control] {
        // A cleared log is followed at once: lines added after it must not be taken for more of
        // the lines shown before.
        if (control.Items().isEmpty())
            return sync();
        if (std::exchange(*pending, true))
            return;
        QMetaObject::invokeMethod(list, [sync, pending, alive = QPointer<ListBox>(&control)] {
            *pending = false;
            if (alive)
                sync();
        }, Qt::QueuedConnection);
    });
    sync();
}

// --- FileListWidget -------------------------------------------------------------------------

FileListWidget::FileListWidget(ListView& control, QWidget* parent)
    : QWidget(parent), control_(control), stack_(new QStackedWidget(this)), report_(new QTreeWidget),
      icons_(new QListWidget)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(stack_);
    report_->setRootIsDecorated(false);
    report_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    report_->setContextMenuPolicy(Qt::CustomContextMenu);
    report_->setSortingEnabled(false);
    report_->setUniformRowHeights(true);
    icons_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    icons_->setContextMenuPolicy(Qt::CustomContextMenu);
    icons_->setResizeMode(QListView::Adjust);
    stack_->addWidget(report_);
    stack_->addWidget(icons_);
    report_->installEventFilter(this);
    icons_->installEventFilter(this);
    // The rows are in the list's own order; a header click asks for another.
    report_->header()->setSectionsClickable(true);
    report_->header()->setSortIndicatorShown(true);
    connect(report_->header(), &QHeaderView::sectionClicked, this, &FileListWidget::columnClicked);

    connect(&control_, &Control::changed, this, &FileListWidget::scheduleRebuild);
    connect(&control_, &harbel::ListView::rowsChanged, this, &FileListWidget::scheduleRebuild);
    connect(&control_, &harbel::ListView::rowChanged, this, &FileListWidget::scheduleRebuild);
    connect(report_, &QTreeWidget::itemDoubleClicked, this, [this] { emit activated(); });
    connect(icons_, &QListWidget::itemDoubleClicked, this, [this] { emit activated(); });
    // The selected rows come from the selection's ranges: looking up the place of every selected
    // item is a search per item, minutes for selecting all of a large folder.
    connect(report_, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (!syncing_)
            takeSelection(report_->selectionModel()->selection());
    });
    connect(icons_, &QListWidget::itemSelectionChanged, this, [this] {
        if (!syncing_)
            takeSelection(icons_->selectionModel()->selection());
    });
    connect(report_, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
        emit contextMenuWanted(report_->viewport()->mapToGlobal(p));
    });
    connect(icons_, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
        emit contextMenuWanted(icons_->viewport()->mapToGlobal(p));
    });
    rebuild();
}

void FileListWidget::addKeyCommand(QKeyCombination key, std::function<void()> run)
{
    keyCommands_.insert(key.toCombined(), std::move(run));
}

void FileListWidget::focusList()
{
    if (QWidget* shown = stack_->currentWidget())
        shown->setFocus(Qt::TabFocusReason);
}

bool FileListWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    if (key->key() == Qt::Key_Tab && modifiers == Qt::NoModifier && tabTarget_ && tabTarget_->isVisible()) {
        tabTarget_->focusList();
        return true;
    }
    const auto command = keyCommands_.constFind(QKeyCombination(modifiers, Qt::Key(key->key())).toCombined());
    if (command == keyCommands_.constEnd())
        return QWidget::eventFilter(watched, event);
    // A copy: the command may run a question or a transfer in a nested event loop.
    const std::function<void()> run = *command;
    run();
    return true;
}

QIcon FileListWidget::iconFor(int index) const
{
    // Looking an icon up costs far more than drawing it; a listing asks once per row.
    const auto cached = iconCache_.constFind(index);
    if (cached != iconCache_.constEnd())
        return *cached;
    return iconCache_[index] = styleIcon(index);
}

QIcon FileListWidget::styleIcon(int index) const
{
    switch (index) {
    case 2: return Icons::icon(QStringLiteral("row-folder"));
    case 3: return Icons::icon(QStringLiteral("row-link"));
    default: return Icons::icon(QStringLiteral("row-file"));
    }
}

void FileListWidget::takeSelection(const QItemSelection& selection)
{
    if (syncing_)
        return;
    syncing_ = true;
    const QList<ListRow*> all = control_.rows();
    std::vector<char> selected(std::size_t(all.size()), 0);
    for (const QItemSelectionRange& range : selection)
        for (int i = qMax(0, range.top()); i <= range.bottom() && i < all.size(); ++i)
            selected[std::size_t(i)] = 1;
    for (int i = 0; i < all.size(); ++i)
        all[i]->setSelected(selected[std::size_t(i)] != 0);
    syncing_ = false;
    emit selectionChanged();
}

namespace {

// The rows of a model whose flags are set, as few ranges as the runs of set flags.
QItemSelection runsOf(const QAbstractItemModel* model, const QList<ListRow*>& rows)
{
    QItemSelection selection;
    const int last = qMax(0, model->columnCount() - 1);
    for (int i = 0; i < rows.size();) {
        if (!rows[i]->Selected()) {
            ++i;
            continue;
        }
        int end = i;
        while (end + 1 < rows.size() && rows[end + 1]->Selected())
            ++end;
        if (end < model->rowCount())
            selection.append(QItemSelectionRange(model->index(i, 0), model->index(end, last)));
        i = end + 1;
    }
    return selection;
}

}  // namespace

void FileListWidget::scheduleRebuild()
{
    if (syncing_ || pending_)
        return;
    // Many rows arrive one by one during a listing: draw them once.
    pending_ = true;
    QTimer::singleShot(0, this, &FileListWidget::rebuild);
}

void FileListWidget::rebuild()
{
    pending_ = false;
    syncing_ = true;
    setEnabled(control_.Enabled());
    setVisible(control_.Visible());
    const int style = control_.View();
    stack_->setCurrentIndex(style == 3 ? 0 : 1);
    icons_->setViewMode(style == 0 ? QListView::IconMode : QListView::ListMode);
    icons_->setFlow(style == 2 ? QListView::TopToBottom : QListView::LeftToRight);
    icons_->setWrapping(style != 3);
    icons_->setIconSize(style == 0 ? QSize(32, 32) : QSize(16, 16));

    const QList<ListRow*> all = control_.rows();
    const QList<ColumnHeader>& columns = control_.ColumnHeaders();
    QStringList headers;
    for (const ColumnHeader& c : columns)
        headers << c.text;
    // The headers are part of what is shown: a list without columns (no server yet) shows none,
    // rather than the widget's own "1".
    QStringList keys{headers.join(QLatin1Char('\x1f'))};
    for (const ListRow* row : all)
        keys << row->cells().join(QLatin1Char('\x1f')) + QLatin1Char('\x1f') + QString::number(row->SmallIcon());
    if (keys != shownKeys_) {
        shownKeys_ = keys;
        report_->clear();
        icons_->clear();
        report_->setHeaderHidden(headers.isEmpty());
        report_->setColumnCount(int(headers.size()));
        report_->setHeaderLabels(headers);
        for (int c = 0; c < columns.size(); ++c)
            report_->setColumnHidden(c, columns[c].width == 0);
        QList<QTreeWidgetItem*> items;
        for (const ListRow* row : all) {
            auto* item = new QTreeWidgetItem;
            for (int c = 0; c < headers.size(); ++c) {
                item->setText(c, row->cell(c));
                item->setTextAlignment(c, columns[c].alignment | Qt::AlignVCenter);
            }
            item->setIcon(0, iconFor(row->SmallIcon()));
            items << item;
            icons_->addItem(new QListWidgetItem(iconFor(row->SmallIcon()), row->Text()));
        }
        report_->addTopLevelItems(items);
        report_->header()->resizeSections(QHeaderView::ResizeToContents);
    }
    report_->header()->setSortIndicator(control_.SortKey(),
                                        control_.SortOrder() == harbel::ListView::lvwAscending ? Qt::AscendingOrder : Qt::DescendingOrder);
    // One selection of whole runs rather than one change per item, which made the selection model
    // merge ranges once per row.
    report_->selectionModel()->select(runsOf(report_->model(), all), QItemSelectionModel::ClearAndSelect);
    icons_->selectionModel()->select(runsOf(icons_->model(), all), QItemSelectionModel::ClearAndSelect);
    syncing_ = false;
}

}  // namespace harbel::tessaly::ui
