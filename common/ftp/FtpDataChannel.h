#pragma once

#include "common/net/Connector.h"
#include "common/net/Route.h"

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <memory>

class QTcpServer;

namespace harbel {

struct FtpReply;

// The command that asks the server for a passive data connection: PASV, or EPSV when the control
// connection is IPv6 (an IPv4 peer written as IPv6, "::ffff:a.b.c.d", is IPv4).
QString passiveCommand(const QHostAddress& controlPeer);
// The command that tells the server where to connect for an active data connection: "PORT
// h1,h2,h3,h4,p1,p2" on an IPv4 address, "EPRT |2|address|port|" on an IPv6 one.
QString activeCommand(const QHostAddress& address, quint16 port);

// The data connection of one FTP transfer, for both programs; each keeps its own dialogue (which
// commands it sends, and when) and tells the channel what the server answered:
//
//   begin(setup)          -> the command to send: PASV/EPSV, or PORT/EPRT once listening
//   connectPassive(reply) <- the 227/229 reply: connects to the control connection's server
//   transferAccepted()    <- the 1xx reply to the transfer command: TLS starts (protected data)
//   ready()               -> data may flow: readyRead() for downloads, socket()->write() for
//                            uploads, finishUpload() after the last byte
//   ended()               -> the connection is over
//
// A passive connection goes through the control connection's proxy (SOCKS) to the server's name,
// or straight to the control connection's peer address; whatever host a reply names is not
// trusted. An active connection is taken only from the control connection's peer. A protected
// connection (PROT P) is made secure once the command is accepted, resuming the control
// connection's TLS session with the settled certificate. Closing raises none of its events.
class FtpDataChannel final : public QObject {
    Q_OBJECT
public:
    struct Setup {
        bool passive = true;
        // The control connection's server: its name (checked by TLS, asked for through the proxy),
        // the proxy, the certificate policy, the session to resume and the settled certificate.
        net::Route server;
        QHostAddress peerAddress;
        QHostAddress localAddress;
        // The data is encrypted (PROT P).
        bool protect = false;
        // Active mode listens on a port chosen at random between these; on any free port when
        // firstPort is 0.
        quint16 firstPort = 0;
        quint16 lastPort = 0;
        // Bytes the data socket holds before it stops reading from the network; 0: no limit.
        qint64 readBufferSize = 0;

        // The setup of a transfer on a standing control connection: its route, addresses, TLS
        // session and certificate. A certificate the owner was asked about is settled: the data
        // connections must present that very one.
        static Setup fromControl(const net::Connector& control);
    };

    explicit FtpDataChannel(QObject* parent = nullptr);
    ~FtpDataChannel() override;

    // Drops any earlier connection and prepares one transfer. Returns the command that announces
    // it, or an empty text when no port could be listened on (listenError() says why).
    QString begin(const Setup& setup);
    // Passive mode: the server's 227 or 229 reply, whose host goes to namedHost. False, with
    // nothing done, when the reply names no usable port.
    bool connectPassive(const FtpReply& reply, QString* namedHost = nullptr);
    // The server accepted the transfer command (1xx). A protected connection starts TLS now or as
    // soon as it stands, not earlier: some servers (pyftpdlib) drop a data connection that speaks
    // before its command has come.
    void transferAccepted();
    // The server gave the transfer command its final reply without a 1xx. A passive connection
    // still on its way is made secure once it stands, as after a 1xx; one that stands waiting for
    // its handshake is left alone, as is an active one the server has not made. Returns whether
    // data may still come: the connection is ready, or on its way.
    bool transferAnswered();
    // The upload's last byte is written: the connection is closed once the server has it all.
    void finishUpload();
    void close();

    // The connection once dialled or accepted (before ready() too), else nullptr.
    QTcpSocket* socket() const;
    bool isReady() const { return ready_; }
    bool hasEnded() const { return ended_; }
    bool isListening() const;
    quint16 listenPort() const;
    const QString& listenError() const { return listenError_; }
    // What waits to go out, encrypted bytes included.
    qint64 bytesToWrite() const { return connector_.bytesToWrite(); }

signals:
    // The connection stands, and is secure when protected: data may flow.
    void ready();
    void readyRead();
    void bytesWritten();
    // The connection ended after it stood (the server closed it, or an upload was finished).
    void ended();
    // The connection could not be made or made secure; nothing of the data came over it.
    void failed(const harbel::net::Failure& failure);
    // The connection broke after it stood; ended() follows.
    void interrupted(const harbel::net::Failure& failure);
    // Active mode: a connection from another host than the server's was turned away.
    void refusedConnection(const QHostAddress& from);

private:
    net::Route dataRoute(quint16 port) const;
    bool listen();
    void onIncoming();
    void stands();
    void secure();
    void markReady();
    void onClosed();
    void onFailed(const net::Failure& failure);

    net::Connector connector_;
    std::unique_ptr<QTcpServer> listener_;
    Setup setup_;
    QString listenError_;
    bool dialled_ = false;
    bool accepted_ = false;
    bool securing_ = false;
    bool ready_ = false;
    bool ended_ = false;
};

}  // namespace harbel
