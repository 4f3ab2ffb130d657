#pragma once

#include "common/controls/Control.h"
#include "common/controls/ListView.h"
#include "common/ui/Bindings.h"
#include "ftpclient/config/ClientControls.h"

#include <QHash>
#include <QIcon>
#include <QItemSelection>
#include <QPointer>
#include <QWidget>

#include <functional>

class QComboBox;
class QLineEdit;
class QListWidget;
class QStackedWidget;
class QTreeWidget;

namespace harbel::tessaly::ui {

// The bindings both programs share, and those only the FTP client's windows need.
using harbel::bindAction;
using harbel::bindButton;
using harbel::bindCheck;
using harbel::bindControl;
using harbel::bindLabel;
using harbel::bindOption;
using harbel::bindProgress;
using harbel::bindText;
// An editable drop-down: choosing an item runs onChoose, Enter in its field runs onEnter.
void bindCombo(QComboBox* combo, ComboBox& control, std::function<void()> onChoose, std::function<void()> onEnter);
void bindLog(QListWidget* list, ListBox& control);

// A file list shown as icons, a list or a report, after the list view's style.
class FileListWidget final : public QWidget {
    Q_OBJECT
public:
    FileListWidget(harbel::ListView& control, QWidget* parent = nullptr);

    // A key (with exactly its modifiers) pressed in the list runs run. The views' own keys stay:
    // arrows, Ctrl+A selects all, typing a name's first letters selects it.
    void addKeyCommand(QKeyCombination key, std::function<void()> run);
    // Tab in this list gives the focus to other.
    void setTabTarget(FileListWidget* other) { tabTarget_ = other; }
    // Gives the keyboard focus to the list shown.
    void focusList();

signals:
    void activated();
    void selectionChanged();
    void contextMenuWanted(const QPoint& globalPos);
    // A click on a column header (the column's index).
    void columnClicked(int column);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void scheduleRebuild();
    void rebuild();
    void takeSelection(const QItemSelection& selection);
    QIcon iconFor(int index) const;
    QIcon styleIcon(int index) const;

    harbel::ListView& control_;
    QStackedWidget* stack_;
    QTreeWidget* report_;
    QListWidget* icons_;
    bool pending_ = false;
    bool syncing_ = false;
    QStringList shownKeys_;
    QHash<int, std::function<void()>> keyCommands_;
    QPointer<FileListWidget> tabTarget_;
    mutable QHash<int, QIcon> iconCache_;
};

}  // namespace harbel::tessaly::ui
