#pragma once

#include "ftpclient/component/SocksProxy.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QTcpSocket;

namespace harbel::tessaly {

class SocksHandshake;

// Opens a TCP connection straight or through a SOCKS proxy and reports it ready. Only the control
// channel and the data connection open connections, both through this.
class ProxiedConnector final : public QObject {
    Q_OBJECT
public:
    ProxiedConnector(QTcpSocket& socket, SocksProxy proxy, QObject* parent = nullptr);
    void connectTo(const QString& host, quint16 port);

signals:
    void ready();
    void failed(const QString& description);

private:
    QTcpSocket& socket_;
    SocksProxy proxy_;
    QString host_;
    quint16 port_ = 0;
    QPointer<SocksHandshake> socks_;
};

}  // namespace harbel::tessaly
