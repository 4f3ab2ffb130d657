#include "common/ftp/FtpDataChannel.h"

#include "common/ftp/FtpReply.h"
#include "common/net/TlsSession.h"

#include <QRandomGenerator>
#include <QSslSocket>
#include <QTcpServer>

namespace harbel {

namespace {

bool isIPv4(const QHostAddress& address)
{
    bool ok = false;
    address.toIPv4Address(&ok);
    return ok;
}

}  // namespace

QString passiveCommand(const QHostAddress& controlPeer)
{
    return isIPv4(controlPeer) || controlPeer.protocol() != QAbstractSocket::IPv6Protocol ? QStringLiteral("PASV")
                                                                                          : QStringLiteral("EPSV");
}

QString activeCommand(const QHostAddress& address, quint16 port)
{
    bool v4 = false;
    const quint32 a = address.toIPv4Address(&v4);
    if (!v4) {
        QHostAddress plain = address;
        plain.setScopeId({});
        return QStringLiteral("EPRT |2|%1|%2|").arg(plain.toString()).arg(port);
    }
    return QStringLiteral("PORT %1,%2,%3,%4,%5,%6")
        .arg(a >> 24)
        .arg((a >> 16) & 0xff)
        .arg((a >> 8) & 0xff)
        .arg(a & 0xff)
        .arg(port >> 8)
        .arg(port & 0xff);
}

FtpDataChannel::Setup FtpDataChannel::Setup::fromControl(const net::Connector& control)
{
    Setup setup;
    setup.server = control.route();
    setup.server.verifyName = control.route().tlsName();
    setup.server.tls = false;
    setup.server.sessionTicket = control.sessionTicket();
    if (control.isSecure())
        setup.server.settled = control.peerCertificate();
    if (setup.server.certificates == net::CertificatePolicy::Ask)
        setup.server.certificates = net::CertificatePolicy::SameAsSettled;
    setup.peerAddress = control.socket().peerAddress();
    setup.localAddress = control.socket().localAddress();
    return setup;
}

FtpDataChannel::FtpDataChannel(QObject* parent) : QObject(parent)
{
    connect(&connector_, &net::Connector::ready, this, &FtpDataChannel::stands);
    connect(&connector_, &net::Connector::encrypted, this, &FtpDataChannel::markReady);
    connect(&connector_, &net::Connector::readyRead, this, [this] {
        if (ready_)
            emit readyRead();
    });
    connect(&connector_, &net::Connector::bytesWritten, this, [this] {
        if (ready_)
            emit bytesWritten();
    });
    connect(&connector_, &net::Connector::closed, this, &FtpDataChannel::onClosed);
    connect(&connector_, &net::Connector::failed, this, &FtpDataChannel::onFailed);
}

FtpDataChannel::~FtpDataChannel()
{
    close();
}

void FtpDataChannel::close()
{
    if (listener_) {
        listener_->disconnect(this);
        listener_->close();
        // Closing may come from within the listener's own signal.
        listener_.release()->deleteLater();
    }
    connector_.abort();
    dialled_ = false;
    accepted_ = false;
    securing_ = false;
    ready_ = false;
    ended_ = false;
}

QTcpSocket* FtpDataChannel::socket() const
{
    return dialled_ ? const_cast<QTcpSocket*>(&connector_.socket()) : nullptr;
}

bool FtpDataChannel::isListening() const
{
    return listener_ && listener_->isListening();
}

quint16 FtpDataChannel::listenPort() const
{
    return listener_ ? listener_->serverPort() : 0;
}

QString FtpDataChannel::begin(const Setup& setup)
{
    close();
    setup_ = setup;
    listenError_.clear();
    connector_.setReadBufferSize(setup.readBufferSize);
    if (setup.passive)
        return passiveCommand(setup.peerAddress);
    if (!listen())
        return {};
    return activeCommand(setup.localAddress, listener_->serverPort());
}

bool FtpDataChannel::listen()
{
    // The client side of a protected connection is ours whichever side dialled: its accepted
    // connections are TLS sockets not encrypted yet. A plain one needs no TLS at all.
    if (setup_.protect)
        listener_ = std::make_unique<tls::SslListener>();
    else
        listener_ = std::make_unique<QTcpServer>();
    connect(listener_.get(), &QTcpServer::newConnection, this, &FtpDataChannel::onIncoming);
    if (setup_.firstPort == 0) {
        if (listener_->listen(setup_.localAddress, 0))
            return true;
    } else {
        // The port is listened on before the server is told of it; a port in use gets another.
        const quint32 span = quint32(qMax(setup_.lastPort, setup_.firstPort) - setup_.firstPort) + 1;
        for (int attempt = 0; attempt < 32; ++attempt) {
            const auto port = quint16(setup_.firstPort + QRandomGenerator::global()->bounded(span));
            if (listener_->listen(setup_.localAddress, port))
                return true;
        }
    }
    listenError_ = listener_->errorString();
    listener_.reset();
    return false;
}

void FtpDataChannel::onIncoming()
{
    while (QTcpSocket* incoming = listener_ ? listener_->nextPendingConnection() : nullptr) {
        QTcpSocket* socket = incoming;
        // Only the server of the control connection may deliver the data, once.
        if (dialled_ || (setup_.protect && !qobject_cast<QSslSocket*>(incoming)) || !incoming->peerAddress().isEqual(setup_.peerAddress, QHostAddress::TolerantConversion)) {
            const QHostAddress from = incoming->peerAddress();
            incoming->abort();
            incoming->deleteLater();
            emit refusedConnection(from);
            continue;
        }
        const quint16 port = listener_->serverPort();
        listener_->close();
        dialled_ = true;
        connector_.adopt(socket, dataRoute(port));
        stands();
        if (!dialled_)
            return;  // closed by the owner meanwhile
        if (ready_ && socket->bytesAvailable() > 0)
            emit readyRead();
        if (dialled_ && socket->state() != QAbstractSocket::ConnectedState)
            onClosed();
    }
}

bool FtpDataChannel::connectPassive(const FtpReply& reply, QString* namedHost)
{
    const quint16 port = parsePassivePort(reply, namedHost);
    if (port == 0)
        return false;
    dialled_ = true;
    connector_.open(dataRoute(port));
    return true;
}

net::Route FtpDataChannel::dataRoute(quint16 port) const
{
    net::Route route = setup_.server;
    route.port = port;
    route.tls = false;
    route.explicitTls = setup_.protect;
    route.verifyName = setup_.server.tlsName();
    // Through a proxy the server's name is asked for, as for the control connection; else the
    // address the control connection is talking to.
    if (!route.proxy.used())
        route.host = setup_.peerAddress.toString();
    return route;
}

void FtpDataChannel::stands()
{
    if (!setup_.protect)
        markReady();
    else if (accepted_)
        secure();
}

void FtpDataChannel::transferAccepted()
{
    accepted_ = true;
    if (setup_.protect && connector_.isReady())
        secure();
}

bool FtpDataChannel::transferAnswered()
{
    if (ready_ || securing_)
        return true;
    if (!setup_.passive || !dialled_ || connector_.isReady())
        return false;
    accepted_ = true;
    return true;
}

void FtpDataChannel::secure()
{
    if (securing_)
        return;
    securing_ = true;
    connector_.startTls();
}

void FtpDataChannel::markReady()
{
    ready_ = true;
    emit ready();
}

void FtpDataChannel::finishUpload()
{
    if (ready_)
        connector_.closeWhenDrained();
}

void FtpDataChannel::onClosed()
{
    if (ended_)
        return;
    if (!ready_) {
        // A protected connection that ended before it was secure carried nothing of the data.
        emit failed({net::Failure::Reason::TlsFailed, true, QAbstractSocket::RemoteHostClosedError,
                     connector_.socket().errorString(), 0});
        return;
    }
    ended_ = true;
    emit ended();
}

void FtpDataChannel::onFailed(const net::Failure& failure)
{
    if (!ready_) {
        emit failed(failure);
        return;
    }
    emit interrupted(failure);
    if (!ended_ && dialled_) {
        ended_ = true;
        emit ended();
    }
}

}  // namespace harbel
