#include "ftpclient/component/DataConnection.h"

#include "common/net/TlsSession.h"
#include "ftpclient/component/ControlChannel.h"
#include "ftpclient/component/FtpError.h"
#include "ftpclient/component/ProxiedConnector.h"
#include "ftpclient/component/TlsLayer.h"

#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace harbel::tessaly {

DataConnection::DataConnection(ControlChannel& control, Options options, QObject* parent)
    : QObject(parent), control_(control), options_(std::move(options))
{
}

DataConnection::~DataConnection()
{
    close();
}

QString DataConnection::request()
{
    const QHostAddress peer = control_.peerAddress();
    const bool ipv6 = peer.protocol() == QAbstractSocket::IPv6Protocol && !peer.toString().startsWith(QLatin1String("::ffff:"));
    // Through a proxy only passive connections can work.
    if (options_.passive || options_.proxy.used())
        return ipv6 ? QStringLiteral("EPSV") : QStringLiteral("PASV");
    // An encrypted data connection is accepted as a TLS socket whose client side is ours.
    listener_ = options_.encrypted ? new tls::SslListener(this) : new QTcpServer(this);
    const QHostAddress local = control_.localAddress();
    if (!listener_->listen(local, 0)) {
        emit failed(ftpErrDataConnection, QStringLiteral("Could not listen for the data connection: ") + listener_->errorString());
        return {};
    }
    listenForServer(listener_);
    const quint16 port = listener_->serverPort();
    if (ipv6)
        return QStringLiteral("EPRT |2|%1|%2|").arg(local.toString()).arg(port);
    const quint32 a = local.toIPv4Address();
    return QStringLiteral("PORT %1,%2,%3,%4,%5,%6").arg(a >> 24).arg((a >> 16) & 0xff).arg((a >> 8) & 0xff).arg(a & 0xff)
        .arg(port >> 8).arg(port & 0xff);
}

void DataConnection::listenForServer(QTcpServer* listener)
{
    connect(listener, &QTcpServer::newConnection, this, [this, listener] {
        while (QTcpSocket* s = listener->nextPendingConnection()) {
            // Only the server we talk to may connect to our data port.
            if (socket_ || !s->peerAddress().isEqual(control_.peerAddress(), QHostAddress::TolerantConversion)) {
                emit logLine(QStringLiteral("Refused a data connection from %1.").arg(s->peerAddress().toString()));
                s->abort();
                s->deleteLater();
                continue;
            }
            s->setParent(this);
            listener->close();
            secure(s);
        }
    });
}

bool DataConnection::accept(const FtpReply& reply)
{
    if (listener_)
        return true;
    QString named;
    const quint16 port = parsePassivePort(reply, &named);
    if (port == 0)
        return false;
    const QHostAddress peer = control_.peerAddress();
    if (!named.isEmpty() && !QHostAddress(named).isEqual(peer, QHostAddress::TolerantConversion)) {
        emit logLine(QStringLiteral("The server named %1 for the data connection; connecting to %2 instead.")
                         .arg(named, options_.proxy.used() ? options_.host : peer.toString()));
    }
    connectPassive(port);
    return true;
}

void DataConnection::connectPassive(quint16 port)
{
    auto* socket = options_.encrypted ? new QSslSocket(this) : new QTcpSocket(this);
    socket_ = socket;
    connector_ = new ProxiedConnector(*socket, options_.proxy, this);
    connect(connector_, &ProxiedConnector::ready, this, [this, socket] {
        connector_->disconnect(this);
        connector_->deleteLater();
        secure(socket);
    });
    connect(connector_, &ProxiedConnector::failed, this, [this](const QString& why) {
        if (!open_)
            emit failed(ftpErrDataConnection, QStringLiteral("Could not open the data connection: ") + why);
    });
    // The data connection goes to the host we are already talking to, whatever the reply named.
    const QString host = options_.proxy.used() ? options_.host : control_.peerAddress().toString();
    connector_->connectTo(host, port);
}

void DataConnection::secure(QTcpSocket* socket)
{
    if (!options_.encrypted || !qobject_cast<QSslSocket*>(socket))
        return adopt(socket);
    socket_ = socket;
    awaitingTls_ = socket;
    if (transferAccepted_)
        startTls();
}

void DataConnection::transferAccepted()
{
    transferAccepted_ = true;
    if (awaitingTls_)
        startTls();
}

void DataConnection::startTls()
{
    auto* ssl = qobject_cast<QSslSocket*>(awaitingTls_.data());
    awaitingTls_ = nullptr;
    if (!ssl || closed_)
        return;
    tls_ = new TlsLayer(*ssl, options_.host, this);
    connect(tls_, &TlsLayer::encrypted, this, [this, ssl] {
        if (!closed_)
            adopt(ssl);
    });
    connect(tls_, &TlsLayer::failed, this, [this](const QString& why) {
        if (!open_)
            emit failed(ftpErrTls, QStringLiteral("The data connection could not be encrypted: ") + why);
    });
    // The session of the control connection is resumed, and the server must be the same one.
    tls_->startData(control_.sessionTicket(), control_.peerCertificate());
}

void DataConnection::adopt(QTcpSocket* socket)
{
    socket_ = socket;
    open_ = true;
    connect(socket, &QTcpSocket::disconnected, this, &DataConnection::closed);
    connect(socket, &QTcpSocket::readyRead, this, &DataConnection::readyRead);
    connect(socket, &QTcpSocket::bytesWritten, this, &DataConnection::bytesWritten);
    if (auto* ssl = qobject_cast<QSslSocket*>(socket))
        connect(ssl, &QSslSocket::encryptedBytesWritten, this, &DataConnection::bytesWritten);
    const QPointer<DataConnection> alive(this);
    emit opened();
    if (alive && !closed_ && socket->state() != QAbstractSocket::ConnectedState)
        emit closed();
}

bool DataConnection::waitsForTransferStart() const
{
    return listener_ || awaitingTls_;
}

QIODevice* DataConnection::device() const
{
    return open_ ? socket_.data() : nullptr;
}

qint64 DataConnection::bytesToWrite() const
{
    if (!socket_)
        return 0;
    const auto* ssl = qobject_cast<const QSslSocket*>(socket_.data());
    return socket_->bytesToWrite() + (ssl ? ssl->encryptedBytesToWrite() : 0);
}

void DataConnection::finishSending()
{
    if (closed_ || !socket_ || socket_->state() != QAbstractSocket::ConnectedState)
        return;
    // The time limit of the transfer still runs while the server takes the last bytes.
    if (tls_ && !tls::socketDrained(*socket_)) {
        QTimer::singleShot(5, this, &DataConnection::finishSending);
        return;
    }
    socket_->disconnectFromHost();
}

void DataConnection::close()
{
    closed_ = true;
    if (connector_)
        connector_->disconnect(this);
    if (tls_)
        tls_->disconnect(this);
    if (listener_)
        listener_->close();
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
    }
}

}  // namespace harbel::tessaly
