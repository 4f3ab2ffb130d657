#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QVariantMap>

namespace harbel::test {

// A private session bus (dbus-daemon) with a desktop notification service on it that records the
// notices it is asked to show, and can press a notice's action as a user would.
class NotificationServer final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Shown {
        QString application, summary, body;
        QStringList actions;
    };
    ~NotificationServer() override;
    // False, with why, when the bus or the service could not be set up.
    bool start(QString* why);
    // A connection of the code under test to the private bus.
    QDBusConnection clientBus() const;
    // The user chooses an action of the notice with that id (its place in shown, from 1).
    void invoke(uint id, const QString& action);
    QList<Shown> shown;

public slots:
    QStringList GetCapabilities() { return {QStringLiteral("body"), QStringLiteral("actions")}; }
    uint Notify(const QString& application, uint, const QString&, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap&, int)
    {
        shown.append({application, summary, body, actions});
        return uint(shown.size());
    }
    void CloseNotification(uint) {}

private:
    QProcess daemon_;
    QString address_;
};

}  // namespace harbel::test
