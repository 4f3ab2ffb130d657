#pragma once

#include "common/ftp/FtpReply.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>

class QTcpSocket;

namespace harbel::tessaly {

class SocksHandshake;

// Where the component's connections go through: nothing, or a SOCKS 4 / SOCKS 5 proxy.
struct ProxySettings {
    int kind = 0;  // 0 none, 4 SOCKS 4, anything else SOCKS 5
    QString host;
    quint16 port = 1080;
    QString user;
    QString password;
    bool used() const { return kind != 0 && !host.isEmpty(); }
};

// Opens a TCP connection straight or through a SOCKS proxy and reports it ready.
class ProxiedConnector final : public QObject {
    Q_OBJECT
public:
    ProxiedConnector(QTcpSocket& socket, ProxySettings proxy, QObject* parent = nullptr);
    void connectTo(const QString& host, quint16 port);

signals:
    void ready();
    void failed(const QString& description);

private:
    QTcpSocket& socket_;
    ProxySettings proxy_;
    QString host_;
    quint16 port_ = 0;
    QPointer<SocksHandshake> socks_;
};

// The control connection: sends command lines, turns received bytes into replies and keeps count of
// the replies still owed for the commands sent, so that a stream can be brought back in step after
// an abort. Every line in either direction is reported for the connection log (passwords masked).
class FtpControlChannel final : public QObject {
    Q_OBJECT
public:
    explicit FtpControlChannel(QObject* parent = nullptr);
    ~FtpControlChannel() override;

    void open(const QString& host, quint16 port, const ProxySettings& proxy);
    void close();
    bool isOpen() const;
    void send(const QString& line);

    int owedReplies() const { return owed_; }
    // A reply that was counted as owed will not come (the server said so).
    void forgiveReply() { owed_ = qMax(0, owed_ - 1); }
    QHostAddress peerAddress() const;
    QHostAddress localAddress() const;

signals:
    void opened();
    void openFailed(const QString& description);
    void replyReceived(const harbel::FtpReply& reply);
    void closed();
    void logLine(const QString& text);

private:
    void onReadyRead();

    QTcpSocket* socket_;
    ProxiedConnector* connector_ = nullptr;
    FtpReplyParser parser_;
    int owed_ = 0;
    bool ready_ = false;
};

}  // namespace harbel::tessaly
