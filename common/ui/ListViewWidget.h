#pragma once

#include <QIcon>
#include <QTreeWidget>

#include <functional>

namespace harbel {

class ListRow;
class ListView;

// Renders a ListView control: its columns, rows, icons and selection, both ways. A click on a
// header is the control's ColumnClick; a double click or Enter raises rowActivated; the context
// menu request raises contextMenu with the global position.
class ListViewWidget final : public QTreeWidget {
    Q_OBJECT
public:
    using IconProvider = std::function<QIcon(int smallIcon)>;

    explicit ListViewWidget(ListView& model, QWidget* parent = nullptr, IconProvider icons = {});

    // The cells of column that hold an absolute path show the file's name, with the whole path
    // in their tool tip; other texts are shown as they are.
    void showFileNames(int column);
    // The column that takes the width the others leave as the window grows or shrinks.
    void stretchColumn(int column);

signals:
    void rowActivated(harbel::ListRow* row);
    void contextMenu(const QPoint& globalPos);

private:
    void rebuildColumns();
    void rebuildRows();
    void updateRow(ListRow* row);
    void fill(QTreeWidgetItem* item, ListRow* row);

    ListView& model_;
    IconProvider icons_;
    bool syncing_ = false;
    int fileNameColumn_ = -1;
    int stretchColumn_ = -1;
};

}  // namespace harbel
