#pragma once

#include "common/net/Route.h"

#include <QObject>

class QTcpSocket;

namespace harbel::net {

// One stage of a connection (a proxy's handshake, TLS): it runs on a socket whose stages below it
// are done, and reports done() once the stage above may start, or failed(). The connector runs
// the stages of a route one after another on one socket and hands each the socket's events while
// it runs. A stage reads only what is its own: bytes after its handshake stay in the socket for
// the stage above, or for the connection's owner.
class ConnectionStage : public QObject {
    Q_OBJECT
public:
    ConnectionStage(QTcpSocket& socket, const Route& route, QObject* parent = nullptr);

    virtual void start() = 0;
    // Bytes arrived while the stage runs.
    virtual void readable() {}
    // The socket failed (or closed: RemoteHostClosedError) while the stage ran: what to report.
    // By default a network fault with the next hop, which a retry may get past.
    virtual Failure fault(QAbstractSocket::SocketError error) const;

signals:
    void done();
    void failed(const harbel::net::Failure& failure);

protected:
    QTcpSocket& socket_;
    const Route& route_;
};

}  // namespace harbel::net
