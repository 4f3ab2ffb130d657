#pragma once

#include <QMainWindow>

#include <memory>

class QLabel;

namespace harbel {

class frmMain;
class ListViewWidget;
class ToolbarView;

// Pellanor's main window: the toolbar, the queue and the completed list with their pop-up menus,
// and the status bar. It shows frmMain and hands the user's actions to its handlers.
class PellanorMainWindowView final : public QMainWindow {
    Q_OBJECT
public:
    explicit PellanorMainWindowView(frmMain& form, QWidget* parent = nullptr);
    ~PellanorMainWindowView() override;

    ListViewWidget* queueWidget() const { return queue_; }
    ListViewWidget* completedWidget() const { return completed_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildMenus();
    void showQueueMenu(const QPoint& globalPos);
    void showCompletedMenu(const QPoint& globalPos);
    void showTrayMenu();
    void syncForm();

    frmMain& form_;
    ListViewWidget* queue_ = nullptr;
    ListViewWidget* completed_ = nullptr;
    QLabel* rate_ = nullptr;
    QLabel* note_ = nullptr;
    ToolbarView* toolbar_ = nullptr;
};

// Registers the dialogs of the download manager (frmURL, frmExist, frmDir) with the window
// mode's prompts, and shows frmFile and frmFiles when they show themselves.
void registerPellanorDialogs(class QtPrompts& prompts, frmMain& form, QWidget* owner);

}  // namespace harbel
