#pragma once

#include <functional>

#include <QMainWindow>

#include <memory>

namespace harbel {

namespace tessaly {
class frmMain;
}

// Tessaly's main window: renders frmMain and forwards the user's actions to its handlers.
class TessalyMainWindowView final : public QMainWindow {
    Q_OBJECT
public:
    // Shows a main window model of its own (not started up).
    explicit TessalyMainWindowView(QWidget* parent = nullptr);
    // Shows the program's main window model; the model outlives the view.
    explicit TessalyMainWindowView(tessaly::frmMain& form, QWidget* parent = nullptr);
    ~TessalyMainWindowView() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void build();
    void buildMenus();
    void buildToolbar();
    // Rows of source dropped on target run onDrop.
    void acceptDrops(QWidget* target, QWidget* source, std::function<void()> onDrop);

    std::unique_ptr<tessaly::frmMain> owned_;
    tessaly::frmMain& form_;
    bool waitCursor_ = false;
};

}  // namespace harbel
