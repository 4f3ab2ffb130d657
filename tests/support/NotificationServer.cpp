#include "tests/support/NotificationServer.h"

#include <QDBusMessage>

namespace harbel::test {

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kServerConnection = QStringLiteral("harbel-test-notification-server");
const QString kClientConnection = QStringLiteral("harbel-test-notification-client");
}  // namespace

NotificationServer::NotificationServer(bool offersActions) : offersActions_(offersActions) {}

NotificationServer::~NotificationServer()
{
    QDBusConnection::disconnectFromBus(kClientConnection);
    QDBusConnection::disconnectFromBus(kServerConnection);
    if (daemon_.state() != QProcess::NotRunning) {
        daemon_.terminate();
        if (!daemon_.waitForFinished(3000))
            daemon_.kill();
        daemon_.waitForFinished(3000);
    }
}

bool NotificationServer::start()
{
    daemon_.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--nopidfile", "--print-address=1"});
    if (!daemon_.waitForStarted(5000)) {
        why_ = QStringLiteral("dbus-daemon did not start: ") + daemon_.errorString();
        return false;
    }
    while (!daemon_.canReadLine() && daemon_.waitForReadyRead(5000)) {
    }
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    if (address_.isEmpty()) {
        why_ = QStringLiteral("dbus-daemon gave no address: ") + QString::fromUtf8(daemon_.readAllStandardError());
        return false;
    }
    QDBusConnection bus = QDBusConnection::connectToBus(address_, kServerConnection);
    if (!bus.isConnected() || !bus.registerService(kService)
        || !bus.registerObject(kPath, this, QDBusConnection::ExportAllSlots)) {
        why_ = QStringLiteral("the notification service could not be set up: ") + bus.lastError().message();
        return false;
    }
    return true;
}

QDBusConnection NotificationServer::clientBus() const
{
    return QDBusConnection::connectToBus(address_, kClientConnection);
}

void NotificationServer::invoke(uint id, const QString& action)
{
    QDBusMessage signal = QDBusMessage::createSignal(kPath, kService, QStringLiteral("ActionInvoked"));
    signal << id << action;
    QDBusConnection(kServerConnection).send(signal);
}

QStringList NotificationServer::GetCapabilities()
{
    QStringList capabilities{QStringLiteral("body")};
    if (offersActions_)
        capabilities << QStringLiteral("actions");
    return capabilities;
}

uint NotificationServer::Notify(const QString& application, uint, const QString&, const QString& summary,
                                const QString& body, const QStringList& actions, const QVariantMap&, int)
{
    const uint id = uint(shown.size()) + 1;
    shown.append({id, application, summary, body, actions});
    return id;
}

void NotificationServer::CloseNotification(uint) {}

}  // namespace harbel::test
