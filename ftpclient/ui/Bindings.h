#pragma once

#include "common/controls/Control.h"
#include "common/controls/ListView.h"
#include "ftpclient/core/FtpControls.h"

#include <QHash>
#include <QIcon>
#include <QItemSelection>
#include <QPointer>
#include <QWidget>

#include <functional>

class QAbstractButton;
class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QStackedWidget;
class QTreeWidget;

namespace harbel::tessaly::ui {

// Small adapters that keep a widget showing its control and hand the user's actions to the form.
void bindEnabled(QWidget* widget, Control& control);
void bindButton(QAbstractButton* button, CaptionControl& control, std::function<void()> onClick);
void bindOption(QAbstractButton* button, OptionButton& control, std::function<void()> onClick);
void bindText(QLineEdit* edit, TextBox& control);
void bindLabel(QLabel* label, CaptionControl& control);
void bindProgress(QProgressBar* bar, ProgressBar& control);
void bindAction(QAction* action, Control& control, std::function<void()> onTrigger);
void bindCombo(QComboBox* combo, ComboBox& control, std::function<void()> onChoose, std::function<void()> onEnter);
void bindLog(QListWidget* list, ListBox& control);

// A file list shown as icons, a list or a report, after the list view's style.
class FileListWidget final : public QWidget {
    Q_OBJECT
public:
    FileListWidget(harbel::ListView& control, QWidget* parent = nullptr);

signals:
    void activated();
    void selectionChanged();
    void contextMenuWanted(const QPoint& globalPos);

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
    mutable QHash<int, QIcon> iconCache_;
};

}  // namespace harbel::tessaly::ui
