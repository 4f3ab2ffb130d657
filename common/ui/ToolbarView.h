#pragma once

#include <QList>
#include <QPointer>
#include <QStringList>
#include <QToolBar>

class QMenu;

namespace harbel {

class MovieToolbar;

// The toolbar of a main window: the buttons of its MovieToolbar, icons with their short captions
// under them. The window it belongs to is kept at least as wide as the buttons need, so none of
// them goes behind the overflow arrow. What the programs write into the toolbar's variables is shown
// in the status bar instead (ConnectedIndicator, and each program's own status line).
class ToolbarView final : public QToolBar {
    Q_OBJECT
public:
    explicit ToolbarView(MovieToolbar& model, QWidget* parent = nullptr);

    // The same commands also in menu (toggles stay in step with their buttons), in the order
    // given, so no button is the only way to a command.
    void mirrorInMenu(QMenu* menu, const QStringList& commands);
    // The toolbar's action for a command, or nullptr.
    QAction* commandAction(const QString& command) const;

private:
    void rebuild();
    void fillMenus();

    MovieToolbar& model_;
    QList<std::pair<QPointer<QMenu>, QStringList>> menus_;
};

}  // namespace harbel
