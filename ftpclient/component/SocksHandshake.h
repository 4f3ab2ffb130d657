#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QTcpSocket;

namespace harbel::tessaly {

// The client side of a SOCKS 4 (4a for host names) or SOCKS 5 CONNECT on a socket that is already
// connected to the proxy. Reports succeeded() once the proxy relays to the target; any bytes the
// target sent early stay in the socket.
class SocksHandshake final : public QObject {
    Q_OBJECT
public:
    SocksHandshake(QTcpSocket& socket, int kind, QString targetHost, quint16 targetPort,
                   QString user, QString password, QObject* parent = nullptr);
    void start();

signals:
    void succeeded();
    void failed(const QString& description);

private:
    enum class Step { Greeting, Auth, Connect, Done };
    void onReadyRead();
    void sendConnect5();
    void fail(const QString& why);

    QTcpSocket& socket_;
    int kind_;
    QString host_;
    quint16 port_;
    QString user_;
    QString password_;
    Step step_ = Step::Greeting;
    QByteArray buffer_;
};

}  // namespace harbel::tessaly
