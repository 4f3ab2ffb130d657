#include "common/desktop/DesktopNotifier.h"

#include "common/platform/Shell.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QVariantMap>

namespace harbel {

namespace {

const QString kInterface = QString::fromLatin1(DesktopNotifier::kService);

QDBusMessage call(const QString& method)
{
    return QDBusMessage::createMethodCall(kInterface, QString::fromLatin1(DesktopNotifier::kPath), kInterface, method);
}

}  // namespace

DesktopNotifier::DesktopNotifier(QObject* parent) : DesktopNotifier(QDBusConnection::sessionBus(), parent) {}

DesktopNotifier::DesktopNotifier(const QDBusConnection& bus, QObject* parent) : QObject(parent), bus_(bus)
{
    if (!bus_.isConnected())
        return;
    const QString path = QString::fromLatin1(kPath);
    bus_.connect(kInterface, path, kInterface, QStringLiteral("ActionInvoked"), this,
                 SLOT(actionInvoked(uint, QString)));
    bus_.connect(kInterface, path, kInterface, QStringLiteral("NotificationClosed"), this,
                 SLOT(notificationClosed(uint, uint)));
}

void DesktopNotifier::setApplication(const QString& name, const QString& icon)
{
    application_ = name;
    icon_ = icon;
}

void DesktopNotifier::notify(const Notice& notice, const Unshown& unshown)
{
    if (!bus_.isConnected()) {
        if (unshown)
            unshown(notice);
        return;
    }
    if (actions_) {
        send(notice, unshown);
        return;
    }
    // The first notice asks what the service offers; notices that come meanwhile wait for it.
    waiting_.append({notice, unshown});
    if (asking_)
        return;
    asking_ = true;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call(QStringLiteral("GetCapabilities"))), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QStringList> reply = *w;
        asking_ = false;
        if (reply.isError()) {
            // Nobody answers: these notices and the next ones ask again, one by one.
            const auto waiting = std::exchange(waiting_, {});
            for (const auto& [notice, unshown] : waiting)
                if (unshown)
                    unshown(notice);
            return;
        }
        capabilitiesKnown(reply.value().contains(QStringLiteral("actions")));
    });
}

void DesktopNotifier::capabilitiesKnown(bool actions)
{
    actions_ = actions;
    const auto waiting = std::exchange(waiting_, {});
    for (const auto& [notice, unshown] : waiting)
        send(notice, unshown);
}

void DesktopNotifier::send(const Notice& notice, const Unshown& unshown)
{
    QStringList actions;
    if (*actions_ && !notice.file.isEmpty())
        actions << QStringLiteral("open") << tr("Open") << QStringLiteral("folder") << tr("Show in Folder");
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), icon_);
    QDBusMessage message = call(QStringLiteral("Notify"));
    message << application_ << uint(0) << icon_ << notice.summary << notice.body << actions << hints << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, notice, unshown](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError()) {
            actions_.reset();  // the service went: the next notice asks anew
            if (unshown)
                unshown(notice);
            return;
        }
        if (!notice.file.isEmpty())
            files_.insert(reply.value(), notice.file);
    });
}

void DesktopNotifier::actionInvoked(uint id, const QString& action)
{
    const QString file = files_.value(id);
    if (file.isEmpty())
        return;
    if (action == QLatin1String("open"))
        Shell::instance().open(file);
    else if (action == QLatin1String("folder"))
        Shell::instance().open(QFileInfo(file).absolutePath());
}

void DesktopNotifier::notificationClosed(uint id, uint)
{
    files_.remove(id);
}

}  // namespace harbel
