#include "ftpclient/ui/QueuePanelView.h"

#include "common/ui/Bindings.h"
#include "common/ui/ListViewWidget.h"
#include "ftpclient/window/QueuePanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QKeyEvent>
#include <QVBoxLayout>

namespace harbel {

using tessaly::QueuePanel;

QueuePanelView::QueuePanelView(QueuePanel& panel, QWidget* parent) : QGroupBox(QStringLiteral("Transfer Queue"), parent), panel_(panel)
{
    setObjectName(panel.name());
    auto* layout = new QVBoxLayout(this);
    auto* list = new ListViewWidget(panel.lstQueue, this);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    layout->addWidget(list);
    connect(list, &QTreeWidget::itemSelectionChanged, this, [&panel] { panel.lstQueue_SelectionChanged(); });

    auto* row = new QHBoxLayout;
    auto* totals = new QLabel(this);
    bindLabel(totals, panel.lblQueue);
    row->addWidget(totals, 1);
    struct Command {
        Button& button;
        void (QueuePanel::*run)();
        QKeySequence key;
    };
    const Command commands[] = {
        {panel.cmdQueueCancel, &QueuePanel::cmdQueueCancel_Click, QKeySequence(Qt::Key_C)},
        {panel.cmdQueueRetry, &QueuePanel::cmdQueueRetry_Click, QKeySequence(Qt::Key_R)},
        {panel.cmdQueueRemove, &QueuePanel::cmdQueueRemove_Click, QKeySequence(Qt::Key_Delete)},
        {panel.cmdQueueClear, &QueuePanel::cmdQueueClear_Click, QKeySequence()},
    };
    for (const Command& c : commands) {
        auto* button = new QPushButton(this);
        const auto run = c.run;
        bindButton(button, c.button, [&panel, run] { (panel.*run)(); });
        row->addWidget(button);
        // The keys belong to the list, as key presses it receives (no shortcuts of the window:
        // Delete in a file pane deletes files).
        if (!c.key.isEmpty())
            keys_.insert(c.key[0].toCombined(), {&c.button, [&panel, run] { (panel.*run)(); }});
    }
    list->installEventFilter(this);
    layout->addLayout(row);

    connect(list, &ListViewWidget::contextMenu, this, [this, &panel](const QPoint& at) {
        panel.lstQueue_SelectionChanged();
        auto* menu = new QMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        const auto add = [&](Button& control, const QString& key, void (QueuePanel::*run)()) {
            QAction* a = menu->addAction(QString(control.Caption()).remove(QLatin1Char('&')) + (key.isEmpty() ? QString() : QLatin1Char('\t') + key));
            a->setEnabled(control.Enabled());
            connect(a, &QAction::triggered, this, [&panel, run] { (panel.*run)(); });
        };
        add(panel.cmdQueueCancel, QStringLiteral("C"), &QueuePanel::cmdQueueCancel_Click);
        add(panel.cmdQueueRetry, QStringLiteral("R"), &QueuePanel::cmdQueueRetry_Click);
        add(panel.cmdQueueRemove, QStringLiteral("Del"), &QueuePanel::cmdQueueRemove_Click);
        menu->addSeparator();
        add(panel.cmdQueueClear, QString(), &QueuePanel::cmdQueueClear_Click);
        menu->popup(at);
    });
}

bool QueuePanelView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QGroupBox::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const auto command = keys_.constFind(QKeyCombination(key->modifiers() & ~Qt::KeypadModifier, Qt::Key(key->key())).toCombined());
    if (command == keys_.constEnd())
        return QGroupBox::eventFilter(watched, event);
    if (command->first->Enabled())
        command->second();
    return true;
}

}  // namespace harbel
