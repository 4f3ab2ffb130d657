#pragma once

#include <QByteArray>
#include <QSslConfiguration>
#include <QString>
#include <QTcpServer>

class QAbstractSocket;
class QSslSocket;

namespace harbel::tls {

// What FTP over TLS adds to the shared client policy (TlsTrust.h): the session of the control
// connection is kept, so that every data connection can resume it, as many servers require
// (vsftpd's require_ssl_reuse, for one).

// The client configuration with session persistence on, resuming sessionTicket when one is given.
QSslConfiguration sessionConfiguration(const QByteArray& sessionTicket = {});

// Starts client encryption on a connected socket (a plain connection until now). The certificate
// must be valid for verifyName, the server's name as the user gave it, whatever address or proxy the
// socket is connected to.
void startClient(QSslSocket& socket, const QString& verifyName, const QByteArray& sessionTicket = {});

// Whether a connection that is about to be closed has nothing left in the system's buffers: every
// byte written has been taken by the peer, and nothing has arrived that was not read. Closing a
// socket with unread input makes the system reset the connection, discarding what it had not sent
// yet; a TLS peer sends messages of its own (session tickets) that may still wait unread. Always
// true where the system cannot tell.
bool socketDrained(const QAbstractSocket& socket);

// A listening socket whose connections are QSslSockets (not encrypted yet), for active-mode data
// connections that the client encrypts once it has accepted them.
class SslListener final : public QTcpServer {
    Q_OBJECT
public:
    using QTcpServer::QTcpServer;

protected:
    void incomingConnection(qintptr descriptor) override;
};

}  // namespace harbel::tls
