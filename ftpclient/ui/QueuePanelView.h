#pragma once

#include <QGroupBox>
#include <QHash>

#include <functional>
#include <utility>

namespace harbel {
class Control;
}

namespace harbel::tessaly {
class QueuePanel;
}

namespace harbel {

// The transfer queue's panel under the two panes of Tessaly's main window: renders QueuePanel and
// forwards the user's commands (buttons, context menu, keys) to its handlers.
class QueuePanelView final : public QGroupBox {
    Q_OBJECT
public:
    explicit QueuePanelView(tessaly::QueuePanel& panel, QWidget* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    tessaly::QueuePanel& panel_;
    // The list's keys: the button whose command each runs, and the command.
    QHash<int, std::pair<Control*, std::function<void()>>> keys_;
};

}  // namespace harbel
