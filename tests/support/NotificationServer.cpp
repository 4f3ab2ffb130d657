#include "tests/support/NotificationServer.h"

#include <QDBusMessage>

namespace harbel::test {

namespace {
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kService = QStringLiteral("org.freedesktop.Notifications");
}  // namespace

NotificationServer::~NotificationServer()
{
    QDBusConnection::disconnectFromBus(QStringLiteral("test-notifier"));
    QDBusConnection::disconnectFromBus(QStringLiteral("test-notifications"));
    daemon_.kill();
    daemon_.waitForFinished(3000);
}

bool NotificationServer::start(QString* why)
{
    daemon_.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--nopidfile", "--print-address=1"});
    while (daemon_.waitForStarted(5000) && !daemon_.canReadLine() && daemon_.waitForReadyRead(5000)) {
    }
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    QDBusConnection bus = QDBusConnection::connectToBus(address_, QStringLiteral("test-notifications"));
    if (address_.isEmpty() || !bus.registerService(kService) || !bus.registerObject(kPath, this, QDBusConnection::ExportAllSlots)) {
        *why = QStringLiteral("no private bus with a notification service: ") + daemon_.errorString() + u' '
               + bus.lastError().message();
        return false;
    }
    return true;
}

QDBusConnection NotificationServer::clientBus() const
{
    return QDBusConnection::connectToBus(address_, QStringLiteral("test-notifier"));
}

void NotificationServer::invoke(uint id, const QString& action)
{
    QDBusMessage signal = QDBusMessage::createSignal(kPath, kService, QStringLiteral("ActionInvoked"));
    signal << id << action;
    QDBusConnection(QStringLiteral("test-notifications")).send(signal);
}

}  // namespace harbel::test
