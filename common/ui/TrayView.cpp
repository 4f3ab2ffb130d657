#include "common/ui/TrayView.h"

#include "common/ui/Icons.h"

#include <QSystemTrayIcon>

namespace harbel {

QtTrayShell::~QtTrayShell()
{
    qDeleteAll(icons_);
}

bool QtTrayShell::Shell_NotifyIcon(NotifyMessage message, const NotifyIconData& data, Tray& owner)
{
    QSystemTrayIcon* icon = icons_.value(&owner);
    switch (message) {
    case NIM_ADD:
        if (!icon) {
            icon = new QSystemTrayIcon();
            icons_.insert(&owner, icon);
            QPointer<Tray> guard(&owner);
            connect(icon, &QSystemTrayIcon::activated, this, [guard](QSystemTrayIcon::ActivationReason reason) {
                if (!guard)
                    return;
                if (reason == QSystemTrayIcon::Trigger)
                    guard->MouseMessage(WM_LBUTTONDOWN);
                else if (reason == QSystemTrayIcon::Context)
                    guard->MouseMessage(WM_RBUTTONDOWN);
            });
            connect(&owner, &QObject::destroyed, this, [this, ownerPtr = &owner] { delete icons_.take(ownerPtr); });
        }
        [[fallthrough]];
    case NIM_MODIFY:
        if (!icon)
            return false;
        icon->setIcon(Icons::trayIcon(data.hIcon));
        icon->setToolTip(data.szTip.trimmed());
        if (data.uFlags & NIF_INFO)
            icon->showMessage(data.szInfoTitle, data.szInfo, QSystemTrayIcon::Information);
        icon->show();
        return true;
    case NIM_DELETE:
        if (!icon)
            return false;
        icon->hide();
        return true;
    }
    return false;
}

}  // namespace harbel
