#pragma once

#include "common/ftp/FtpReply.h"
#include "ftpclient/component/SocksProxy.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QIODevice;
class QTcpServer;
class QTcpSocket;

namespace harbel::tessaly {

class ControlChannel;
class ProxiedConnector;
class TlsLayer;

// The data connection of one transfer command. It asks for the connection (PASV or EPSV, or PORT or
// EPRT for a port opened here in active mode), connects to the port a passive reply names through
// the SOCKS proxy when one is set, encrypts the connection when the session protects its data
// (PROT P), and reports it open once it can carry data. An encrypted connection resumes the
// control connection's TLS session and starts its handshake only after the server has accepted the
// transfer command (its 1xx reply), as curl and Python's ftplib do: some servers (pyftpdlib) drop a
// data connection that speaks before the command has come.
class DataConnection final : public QObject {
    Q_OBJECT
public:
    struct Options {
        // The server as the user named it: the name its certificate must hold, and the host the
        // proxy connects to.
        QString host;
        SocksProxy proxy;
        // Passive connections (the only kind that works through a proxy).
        bool passive = true;
        // PROT P is in force: the connection speaks TLS.
        bool encrypted = false;
    };

    DataConnection(ControlChannel& control, Options options, QObject* parent = nullptr);
    ~DataConnection() override;

    // The command that asks the server for the connection. Empty when no port could be opened here
    // (failed() has been emitted).
    QString request();
    // The server's positive reply to request(). In passive mode this connects to the port it names,
    // on the host of the control connection whatever host the reply names. False when the reply
    // names no port.
    bool accept(const FtpReply& reply);
    // The server has accepted the transfer command (1xx): an encrypted connection starts its
    // handshake now.
    void transferAccepted();
    // The server gave the transfer command its final reply without a 1xx: a connection that opens
    // only now still starts its handshake, one that already waits does not.
    void transferAnswered() { transferAccepted_ = true; }

    // The connection carries data (after its handshake when encrypted).
    bool isOpen() const { return open_; }
    // The connection comes into being only with a transfer: in active mode the server has yet to
    // connect to us, and an encrypted one waits for the 1xx to start its handshake. A command
    // answered at once without a 1xx leaves nothing to wait for then.
    bool waitsForTransferStart() const;
    // Reads and writes once open.
    QIODevice* device() const;
    // What still waits to go out, the encrypted bytes too.
    qint64 bytesToWrite() const;
    // Ends the sending side: at once, or on an encrypted connection only once the server has taken
    // every byte and what it sent meanwhile has been read, since closing earlier would reset the
    // connection and lose the data's end.
    void finishSending();
    // Drops the connection; nothing more is reported.
    void close();

signals:
    void opened();
    void readyRead();
    void bytesWritten();
    // The server closed the open connection.
    void closed();
    // The connection could not be opened (number: ftpErrDataConnection, or ftpErrTls when it could
    // not be encrypted).
    void failed(qint64 number, const QString& description);
    void logLine(const QString& text);

private:
    void listenForServer(QTcpServer* listener);
    void connectPassive(quint16 port);
    void secure(QTcpSocket* socket);
    void startTls();
    void adopt(QTcpSocket* socket);

    ControlChannel& control_;
    Options options_;
    QPointer<QTcpSocket> socket_;
    QPointer<QTcpServer> listener_;
    QPointer<ProxiedConnector> connector_;
    QPointer<TlsLayer> tls_;
    QPointer<QTcpSocket> awaitingTls_;
    bool transferAccepted_ = false;
    bool open_ = false;
    bool closed_ = false;
};

}  // namespace harbel::tessaly
