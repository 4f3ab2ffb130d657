#pragma once

#include "common/platform/Notifier.h"

#include <QDBusConnection>
#include <QHash>
#include <QList>
#include <QObject>

#include <optional>
#include <utility>

namespace harbel {

// Notices through the desktop's notification service (org.freedesktop.Notifications on the session
// bus), which every Linux desktop runs and which the tray icons of today use too. A notice about a
// file carries the actions "Open" and "Show in Folder" when the service offers actions; choosing
// one goes to the Shell. Where no service answers, the notice is handed back as unshown.
class DesktopNotifier final : public QObject, public Notifier {
    Q_OBJECT
public:
    static constexpr char kService[] = "org.freedesktop.Notifications";
    static constexpr char kPath[] = "/org/freedesktop/Notifications";

    // On the session bus, or on the bus given (a test's own).
    explicit DesktopNotifier(QObject* parent = nullptr);
    explicit DesktopNotifier(const QDBusConnection& bus, QObject* parent = nullptr);

    // The name the notices carry, and the icon (a theme name) and desktop entry that go with it.
    void setApplication(const QString& name, const QString& icon);

    void notify(const Notice& notice, const Unshown& unshown = {}) override;

private slots:
    void actionInvoked(uint id, const QString& action);
    void notificationClosed(uint id, uint reason);

private:
    void send(const Notice& notice, const Unshown& unshown);
    void capabilitiesKnown(bool actions);

    QDBusConnection bus_;
    QString application_ = QStringLiteral("Pellanor");
    QString icon_ = QStringLiteral("pellanor");
    // Whether the service offers actions: asked once, before the first notice.
    std::optional<bool> actions_;
    bool asking_ = false;
    QList<std::pair<Notice, Unshown>> waiting_;
    // The files of the notices on screen, by the service's id.
    QHash<uint, QString> files_;
};

}  // namespace harbel
