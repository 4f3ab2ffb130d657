#include "common/platform/SingleInstance.h"

#include "common/platform/AppFolder.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMetaMethod>
#include <QThread>

#include <utility>

namespace harbel {

namespace {

// The line that asks for the window rather than handing text over; no address starts with ESC.
const QString kRaise = QStringLiteral("\x1b" "raise");

}  // namespace

SingleInstance::SingleInstance(const QString& program, const QString& locator, QObject* parent)
    : QObject(parent), program_(program), locator_(locator)
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverName() const
{
    // Copies of the program that keep their files in different folders do not see each other.
    const QByteArray folder = QCryptographicHash::hash(AppFolder::path().toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
    return locator_ + u'-' + QString::fromLatin1(folder);
}

bool SingleInstance::acquire()
{
    lock_ = std::make_unique<QLockFile>(AppFolder::file(program_.toLower() + QStringLiteral(".lock")));
    lock_->setStaleLockTime(0);  // only a live process holds the lock
    primary_ = lock_->tryLock(0);
    if (!primary_) {
        // A lock whose owner is gone is stale even with a zero stale time; try once more.
        if (lock_->error() == QLockFile::LockFailedError && lock_->removeStaleLockFile())
            primary_ = lock_->tryLock(0);
    }
    return primary_;
}

SingleInstance::Start SingleInstance::primaryOrHandOver(const QString& text, int waitMs)
{
    const QDeadlineTimer deadline(waitMs);
    for (;;) {
        if (acquire())
            return Start::Primary;
        if (text.isEmpty() ? raiseRunning(1000) : send(text, 1000))
            return Start::HandedOver;
        if (deadline.hasExpired())
            return Start::NoAnswer;
        QThread::msleep(100);
    }
}

void SingleInstance::deliver(const QString& text)
{
    if (text == kRaise)
        emit raiseRequested();
    else if (isSignalConnected(QMetaMethod::fromSignal(&SingleInstance::received)))
        emit received(text);
    else
        waiting_.append(text);
}

void SingleInstance::connectNotify(const QMetaMethod& signal)
{
    if (signal != QMetaMethod::fromSignal(&SingleInstance::received) || waiting_.isEmpty())
        return;
    // After the connection is made: the receiver may be connected with a queued connection.
    QMetaObject::invokeMethod(
        this,
        [this] {
            const QStringList texts = std::exchange(waiting_, {});
            for (const QString& t : texts)
                deliver(t);
        },
        Qt::QueuedConnection);
}

bool SingleInstance::listen()
{
    if (!primary_)
        return false;
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    server_->setMaxPendingConnections(128);  // a browser may start many hosts at once
    QLocalServer::removeServer(serverName());  // a socket left by a crashed copy
    if (!server_->listen(serverName()))
        return false;
    connect(server_.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* s = server_->nextPendingConnection()) {
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            connect(s, &QLocalSocket::readyRead, this, [this, s] {
                // One text per line, UTF-8. The texts are handed on only after this handler has
                // returned: a receiver may run a dialog with its own event loop, during which this
                // socket can close and go.
                while (s->canReadLine()) {
                    QByteArray line = s->readLine();
                    line.chop(1);
                    QMetaObject::invokeMethod(
                        this, [this, text = QString::fromUtf8(line)] { deliver(text); }, Qt::QueuedConnection);
                }
            });
        }
    });
    return true;
}

bool SingleInstance::raiseRunning(int timeoutMs) const
{
    return send(kRaise, timeoutMs);
}

bool SingleInstance::send(const QString& text, int timeoutMs) const
{
    QLocalSocket s;
    s.connectToServer(serverName());
    if (!s.waitForConnected(timeoutMs))
        return false;
    QByteArray bytes = text.toUtf8();
    bytes.replace('\n', ' ');
    bytes.append('\n');
    s.write(bytes);
    if (!s.waitForBytesWritten(timeoutMs))
        return false;
    s.disconnectFromServer();
    if (s.state() != QLocalSocket::UnconnectedState)
        s.waitForDisconnected(timeoutMs);
    return true;
}

}  // namespace harbel
