#pragma once

#include "common/net/Route.h"

#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QSslError>
#include <QTcpSocket>

class QSslSocket;

#include <vector>

namespace harbel::net {

class ConnectionStage;
class TlsStage;

// Opens one connection along a Route. A connection is a stack of stages on one socket: the TCP
// connection to the first hop (the server, or the proxy), then the proxy's handshake (SOCKS 4/4a,
// SOCKS 5, HTTP CONNECT), then TLS when the route asks for it; each runs once the one below is
// done. It reports ready(), or failed() with a Failure that says whether retrying can help and
// what to tell the user. Every connection it opens has TCP_NODELAY set.
//
// Once ready, the socket carries the server's data (decrypted, on a secure connection), and its
// end is closed(). On a secure connection the data is handed on once per turn of the event loop:
// the socket says "ready" after every small record it decrypts (4 KiB) while it goes on decrypting
// what the network brought, and a reader told once takes everything in one read and writes it in
// one block. abort() raises none of its events.
class Connector final : public QObject {
    Q_OBJECT
public:
    explicit Connector(QObject* parent = nullptr);
    ~Connector() override;

    // Bytes a socket holds before it stops reading from the network (after decryption, for TLS),
    // for the connections made from now on; 0 (the default) sets no limit.
    void setReadBufferSize(qint64 size) { readBufferSize_ = size; }

    // Drops any connection and opens one along route.
    void open(const Route& route);
    // Drops any connection and takes socket, connected already (accepted from a listening
    // socket), as a ready connection on route, at once and without ready(). The connector owns it.
    // A socket that may be made secure later (explicitTls) is a QSslSocket.
    void adopt(QTcpSocket* socket, const Route& route);
    // Starts TLS on a ready connection of a route with explicitTls (after AUTH TLS, or on an FTP
    // data connection once its command is accepted): encrypted() or failed() follows; meanwhile
    // nothing is read.
    void startTls();
    // The owner's answer to certificateQuestion.
    void acceptCertificate();
    void refuseCertificate();
    // Ends a ready connection once everything written has gone; a secure one also only once the
    // peer has taken every byte and what it sent meanwhile has been read, as closing earlier would
    // make the system reset the connection and lose its end. closed() follows.
    void closeWhenDrained();
    void abort();

    const Route& route() const { return route_; }
    bool isReady() const { return state_ == State::Ready && socket_->state() == QAbstractSocket::ConnectedState; }
    bool isSecure() const { return secure_; }
    // The connection, for requests and replies once ready. A new one is made for every open():
    // a TLS socket for a route with tls or explicitTls, a plain one otherwise.
    QTcpSocket& socket() { return *socket_; }
    const QTcpSocket& socket() const { return *socket_; }
    // What waits to go out, the encrypted bytes of a secure connection included.
    qint64 bytesToWrite() const;
    // What another connection to the same server needs to resume this one's TLS session and to
    // know it is the same server.
    QByteArray sessionTicket() const;
    QSslCertificate peerCertificate() const;

signals:
    // The route stands (secure, when it asks for TLS): requests may go.
    void ready();
    // startTls() is done.
    void encrypted();
    // Data from the server (only once ready).
    void readyRead();
    // Bytes went out (encrypted ones too, on a secure connection): there is room for more.
    void bytesWritten();
    // The server closed a ready connection.
    void closed();
    void failed(const harbel::net::Failure& failure);
    // A certificate that failed verification, under CertificatePolicy::Ask; the handshake waits
    // for acceptCertificate() or refuseCertificate().
    void certificateQuestion(const QSslCertificate& certificate, const QList<QSslError>& errors);

private:
    enum class State { Idle, Dialling, Stages, Ready, Securing };

    void useSocket(QTcpSocket* socket);
    void dropStages();
    void runStage(ConnectionStage* stage);
    void nextStage();
    void becomeReady();
    void deliver();
    void onReadyRead();
    void onError(QAbstractSocket::SocketError error);
    void onDisconnected();
    void fail(const Failure& failure);

    QTcpSocket* socket_ = nullptr;
    // The same socket when it can be made secure, else null.
    QSslSocket* ssl_ = nullptr;
    Route route_;
    State state_ = State::Idle;
    // The stages still to run, in order, and the one running.
    std::vector<ConnectionStage*> stages_;
    ConnectionStage* stage_ = nullptr;
    TlsStage* tls_ = nullptr;
    bool secure_ = false;
    qint64 readBufferSize_ = 0;
    // Counts the connections opened, so that a late event of an earlier one is known.
    quint64 attempt_ = 0;
    // A call to the reader is on its way.
    bool deliveryPending_ = false;
};

}  // namespace harbel::net
