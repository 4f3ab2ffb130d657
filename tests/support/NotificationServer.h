#pragma once

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QVariantMap>

namespace harbel::test {

// A private session bus (dbus-daemon, started for the test) with a desktop notification service on
// it that records every notice it is asked to show, and can press a notice's action as a user would.
class NotificationServer final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Shown {
        uint id;
        QString application;
        QString summary;
        QString body;
        QStringList actions;
    };

    explicit NotificationServer(bool offersActions = true);
    ~NotificationServer() override;

    // Starts the bus and takes the service's name on it; false, with why(), when it could not.
    bool start();
    const QString& why() const { return why_; }
    // A connection of the code under test to the private bus.
    QDBusConnection clientBus() const;
    // The user chooses an action of a notice shown.
    void invoke(uint id, const QString& action);

    QList<Shown> shown;

public slots:
    QStringList GetCapabilities();
    uint Notify(const QString& application, uint replacesId, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int timeout);
    void CloseNotification(uint id);

private:
    bool offersActions_;
    QProcess daemon_;
    QString address_;
    QString why_;
};

}  // namespace harbel::test
