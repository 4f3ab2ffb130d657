#include "common/ui/ToolbarView.h"

#include "common/controls/MovieToolbar.h"
#include "common/ui/Icons.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>

namespace harbel {

ToolbarView::ToolbarView(MovieToolbar& model, QWidget* parent) : QToolBar(parent), model_(model)
{
    setObjectName(model.name());
    setMovable(false);
    setIconSize(QSize(16, 16));
    setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    connect(&model_, &Control::changed, this, &ToolbarView::rebuild);
    rebuild();
}

QAction* ToolbarView::commandAction(const QString& command) const
{
    for (QAction* a : actions())
        if (a->objectName() == command)
            return a;
    return nullptr;
}

void ToolbarView::mirrorInMenu(QMenu* menu, const QStringList& commands)
{
    menus_.append({menu, commands});
    fillMenus();
}

void ToolbarView::rebuild()
{
    // The actions go with the toolbar: menus that show them are filled again below.
    const QList<QAction*> old = actions();
    clear();
    for (const ToolbarButton& b : model_.buttons()) {
        if (b.separator) {
            addSeparator();
            continue;
        }
        QAction* a = addAction(Icons::icon(b.icon), b.caption);
        a->setObjectName(b.command);
        a->setToolTip(b.caption);
        if (b.checkable()) {
            a->setCheckable(true);
            // "Show" toggles start down: what they show is visible when the window opens.
            a->setChecked(b.command.startsWith(QLatin1String("IDC_FS_Show")));
            connect(a, &QAction::toggled, this, [this, cmd = b.command](bool down) { model_.press(cmd, down); });
        } else {
            connect(a, &QAction::triggered, this, [this, cmd = b.command] { model_.press(cmd); });
        }
    }
    fillMenus();
    qDeleteAll(old);
    // The window is never narrower than its buttons, so none of them hides behind the overflow
    // arrow. The buttons come when the program has loaded its toolbar, after the window is made.
    if (auto* window = qobject_cast<QMainWindow*>(parentWidget()))
        window->setMinimumWidth(sizeHint().width());
}

void ToolbarView::fillMenus()
{
    for (const auto& [menu, commands] : menus_) {
        if (!menu)
            continue;
        for (QAction* a : menu->actions())
            if (a->parent() == this)
                menu->removeAction(a);
        for (const QString& command : commands)
            if (QAction* a = commandAction(command))
                menu->addAction(a);
    }
}

}  // namespace harbel
