#include "ftpclient/component/ProxiedConnector.h"

#include "ftpclient/component/SocksHandshake.h"

#include <QTcpSocket>

namespace harbel::tessaly {

ProxiedConnector::ProxiedConnector(QTcpSocket& socket, SocksProxy proxy, QObject* parent)
    : QObject(parent), socket_(socket), proxy_(std::move(proxy))
{
    connect(&socket_, &QTcpSocket::connected, this, [this] {
        if (!proxy_.used()) {
            emit ready();
            return;
        }
        socks_ = new SocksHandshake(socket_, proxy_.kind == 4 ? 4 : 5, host_, port_, proxy_.user, proxy_.password, this);
        connect(socks_, &SocksHandshake::succeeded, this, &ProxiedConnector::ready);
        connect(socks_, &SocksHandshake::failed, this, &ProxiedConnector::failed);
        socks_->start();
    });
    connect(&socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (socket_.state() != QAbstractSocket::ConnectedState || socks_)
            emit failed(socket_.errorString());
    });
}

void ProxiedConnector::connectTo(const QString& host, quint16 port)
{
    host_ = host;
    port_ = port;
    if (proxy_.used())
        socket_.connectToHost(proxy_.host, proxy_.port);
    else
        socket_.connectToHost(host, port);
}

}  // namespace harbel::tessaly
