#include "common/net/Connector.h"

#include "common/net/ProxyStages.h"
#include "common/net/TlsSession.h"
#include "common/net/TlsStage.h"

#include <QSignalBlocker>
#include <QSslSocket>
#include <QTimer>

namespace harbel::net {

Connector::Connector(QObject* parent) : QObject(parent)
{
    // A plain socket: making a TLS socket loads the TLS library, which plain connections never need.
    useSocket(new QTcpSocket(this));
}

Connector::~Connector()
{
    abort();
}

void Connector::useSocket(QTcpSocket* socket)
{
    // Every connection starts on a fresh socket: nothing of an earlier one (its TLS session, its
    // pause mode, its buffers) carries over. The old one goes once the event loop is back, as a
    // reader may still hold it.
    if (socket_) {
        socket_->disconnect(this);
        const QSignalBlocker blocker(socket_);
        socket_->abort();
        socket_->deleteLater();
    }
    socket_ = socket;
    ssl_ = qobject_cast<QSslSocket*>(socket);
    socket_->setParent(this);
    socket_->setReadBufferSize(readBufferSize_);
    connect(socket_, &QTcpSocket::connected, this, [this] {
        if (state_ != State::Dialling)
            return;
        socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        state_ = State::Stages;
        nextStage();
    });
    connect(socket_, &QTcpSocket::readyRead, this, &Connector::onReadyRead);
    connect(socket_, &QTcpSocket::bytesWritten, this, [this] {
        if (state_ == State::Ready)
            emit bytesWritten();
    });
    if (ssl_)
        connect(ssl_, &QSslSocket::encryptedBytesWritten, this, [this] {
            if (state_ == State::Ready)
                emit bytesWritten();
        });
    connect(socket_, &QTcpSocket::disconnected, this, &Connector::onDisconnected);
    connect(socket_, &QTcpSocket::errorOccurred, this, &Connector::onError);
}

void Connector::dropStages()
{
    if (stage_)
        stages_.insert(stages_.begin(), stage_);
    for (ConnectionStage* stage : stages_) {
        stage->disconnect(this);
        socket_->disconnect(stage);
        stage->deleteLater();
    }
    stages_.clear();
    stage_ = nullptr;
    tls_ = nullptr;
}

void Connector::abort()
{
    {
        const QSignalBlocker blocker(socket_);
        socket_->abort();
    }
    ++attempt_;
    state_ = State::Idle;
    dropStages();
    secure_ = false;
    deliveryPending_ = false;
}

void Connector::open(const Route& route)
{
    abort();
    route_ = route;
    if (route_.tls || route_.explicitTls)
        useSocket(new QSslSocket(this));
    else
        useSocket(new QTcpSocket(this));
    state_ = State::Dialling;
    const Proxy& proxy = route_.proxy;
    if (proxy.used() && proxy.host.isEmpty()) {
        // A proxy without its server: nothing goes anywhere else in its place.
        QTimer::singleShot(0, this, [this, attempt = attempt_] {
            if (attempt == attempt_ && state_ == State::Dialling)
                fail({Failure::Reason::NoProxyServer, true, QAbstractSocket::HostNotFoundError,
                      QStringLiteral("no proxy server is named"), 0});
        });
        return;
    }
    if (proxy.kind == Proxy::Kind::HttpConnect)
        stages_.push_back(new HttpTunnelStage(*socket_, route_, this));
    else if (proxy.used())
        stages_.push_back(new SocksStage(*socket_, route_, this));
    if (route_.tls)
        stages_.push_back(new TlsStage(*ssl_, route_, this));
    if (proxy.used())
        socket_->connectToHost(proxy.host, proxy.port);
    else
        socket_->connectToHost(route_.host, route_.port);
}

void Connector::adopt(QTcpSocket* socket, const Route& route)
{
    abort();
    route_ = route;
    useSocket(socket);
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    state_ = State::Ready;
}

void Connector::startTls()
{
    if (state_ != State::Ready)
        return;
    if (!ssl_) {
        // A route without explicitTls was opened on a plain socket: nothing can make it secure.
        fail({Failure::Reason::TlsFailed, true, QAbstractSocket::SslInternalError,
              QStringLiteral("the connection was not opened for TLS"), 0});
        return;
    }
    state_ = State::Securing;
    runStage(new TlsStage(*ssl_, route_, this));
}

void Connector::runStage(ConnectionStage* stage)
{
    stage_ = stage;
    if (auto* tls = qobject_cast<TlsStage*>(stage)) {
        tls_ = tls;
        connect(tls, &TlsStage::certificateQuestion, this, &Connector::certificateQuestion);
    }
    const quint64 attempt = attempt_;
    connect(stage, &ConnectionStage::done, this, [this, attempt, stage] {
        if (attempt != attempt_ || stage != stage_)
            return;
        if (stage == tls_) {
            secure_ = true;
            tls_ = nullptr;
        }
        stage_ = nullptr;
        stage->disconnect(this);
        socket_->disconnect(stage);
        stage->deleteLater();
        if (state_ != State::Securing) {
            nextStage();
            return;
        }
        state_ = State::Ready;
        emit encrypted();
        if (attempt == attempt_ && state_ == State::Ready && socket_->bytesAvailable() > 0)
            deliver();
    });
    connect(stage, &ConnectionStage::failed, this, [this, attempt](const Failure& failure) {
        if (attempt == attempt_)
            fail(failure);
    });
    stage->start();
}

void Connector::nextStage()
{
    if (stages_.empty()) {
        becomeReady();
        return;
    }
    ConnectionStage* stage = stages_.front();
    stages_.erase(stages_.begin());
    runStage(stage);
}

void Connector::becomeReady()
{
    state_ = State::Ready;
    const quint64 attempt = attempt_;
    emit ready();
    // What came with the last handshake's reply (a server that speaks first) is the owner's.
    if (attempt == attempt_ && state_ == State::Ready && socket_->bytesAvailable() > 0)
        deliver();
}

void Connector::acceptCertificate()
{
    if (tls_)
        tls_->accept();
}

void Connector::refuseCertificate()
{
    if (tls_)
        tls_->refuse();
}

void Connector::closeWhenDrained()
{
    if (state_ != State::Ready)
        return;
    if (bytesToWrite() > 0 || (secure_ && !tls::socketDrained(*socket_))) {
        // The time limits of the owner still run while the peer takes the bytes.
        QTimer::singleShot(5, this, [this, attempt = attempt_] {
            if (attempt == attempt_)
                closeWhenDrained();
        });
        return;
    }
    socket_->disconnectFromHost();
}

qint64 Connector::bytesToWrite() const
{
    return socket_->bytesToWrite() + (ssl_ ? ssl_->encryptedBytesToWrite() : 0);
}

QByteArray Connector::sessionTicket() const
{
    return ssl_ ? ssl_->sslConfiguration().sessionTicket() : QByteArray();
}

QSslCertificate Connector::peerCertificate() const
{
    return ssl_ ? ssl_->peerCertificate() : QSslCertificate();
}

void Connector::deliver()
{
    if (!secure_) {
        emit readyRead();
        return;
    }
    if (deliveryPending_)
        return;
    deliveryPending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this, attempt = attempt_] {
            if (attempt != attempt_)
                return;
            deliveryPending_ = false;
            if (state_ == State::Ready && socket_->bytesAvailable() > 0)
                emit readyRead();
        },
        Qt::QueuedConnection);
}

void Connector::onReadyRead()
{
    if (state_ == State::Ready)
        deliver();
    else if (state_ == State::Stages && stage_)
        stage_->readable();
}

void Connector::onError(QAbstractSocket::SocketError error)
{
    switch (state_) {
    case State::Idle:
        return;
    case State::Dialling:
        fail({Failure::Reason::Unreachable, false, error, socket_->errorString(), 0});
        return;
    case State::Stages:
    case State::Securing:
        fail(stage_ ? stage_->fault(error) : Failure{Failure::Reason::Unreachable, false, error, socket_->errorString(), 0});
        return;
    case State::Ready: {
        if (error == QAbstractSocket::RemoteHostClosedError)
            return;  // the close follows
        // What was decrypted before the fault was checked record by record: it is handed on first.
        const quint64 attempt = attempt_;
        if (socket_->bytesAvailable() > 0) {
            emit readyRead();
            if (attempt != attempt_ || state_ != State::Ready)
                return;  // the reader closed the connection meanwhile
        }
        const QString description = socket_->errorString();
        if (secure_ && (error == QAbstractSocket::SslInternalError || error == QAbstractSocket::SslHandshakeFailedError
                        || error == QAbstractSocket::SslInvalidUserDataError)) {
            // Data that is not TLS, or TLS that cannot be read, on a secure connection.
            fail({Failure::Reason::TlsFailed, true, error, description, 0});
            return;
        }
        fail({Failure::Reason::Broken, false, error, description, 0});
        return;
    }
    }
}

void Connector::onDisconnected()
{
    switch (state_) {
    case State::Ready:
        state_ = State::Idle;
        emit closed();
        return;
    case State::Idle:
        return;
    case State::Dialling:
        fail({Failure::Reason::Unreachable, false, QAbstractSocket::RemoteHostClosedError, socket_->errorString(), 0});
        return;
    case State::Stages:
    case State::Securing:
        onError(QAbstractSocket::RemoteHostClosedError);
        return;
    }
}

void Connector::fail(const Failure& failure)
{
    const Failure copy = failure;
    abort();
    emit failed(copy);
}

}  // namespace harbel::net
