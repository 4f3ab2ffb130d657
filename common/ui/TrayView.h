#pragma once

#include "common/controls/Tray.h"

#include <QHash>
#include <QPointer>

class QSystemTrayIcon;

namespace harbel {

// The notification area of the desktop, through QSystemTrayIcon: one icon per Tray control.
class QtTrayShell final : public QObject, public TrayShell {
    Q_OBJECT
public:
    ~QtTrayShell() override;
    bool Shell_NotifyIcon(NotifyMessage message, const NotifyIconData& data, Tray& owner) override;

private:
    QHash<Tray*, QSystemTrayIcon*> icons_;
};

}  // namespace harbel
