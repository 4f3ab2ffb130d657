#pragma once

#include "common/ftp/FtpReply.h"
#include "ftpclient/component/SocksProxy.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QSslError>

class QSslSocket;
class QTcpSocket;

namespace harbel::tessaly {

class ProxiedConnector;
class TlsLayer;

// The control connection: sends command lines, turns received bytes into replies and keeps count of
// the replies still owed for the commands sent, so that a stream can be brought back in step after
// an abort. Every line in either direction is reported for the connection log (passwords masked).
// After AUTH TLS the same connection goes on encrypted (explicit FTP over TLS).
class ControlChannel final : public QObject {
    Q_OBJECT
public:
    explicit ControlChannel(QObject* parent = nullptr);
    ~ControlChannel() override;

    void open(const QString& host, quint16 port, const SocksProxy& proxy);
    void close();
    bool isOpen() const;
    void send(const QString& line);

    int owedReplies() const { return owed_; }
    // A reply that was counted as owed will not come (the server said so).
    void forgiveReply() { owed_ = qMax(0, owed_ - 1); }
    QHostAddress peerAddress() const;
    QHostAddress localAddress() const;

    // Called while the server's 234 to AUTH TLS is acted on: once it has been, the connection is
    // encrypted (tlsReady) with a certificate valid for verifyName or accepted through
    // certificateQuestion. Anything the server sent after its 234 is not TLS: tlsFailed.
    void startTls(const QString& verifyName);
    // The answer to certificateQuestion.
    void acceptCertificate();
    void refuseCertificate();
    bool isEncrypted() const;
    // What a data connection needs to resume this connection's TLS session and to know its server.
    QByteArray sessionTicket() const;
    QSslCertificate peerCertificate() const;

signals:
    void opened();
    void openFailed(const QString& description);
    void replyReceived(const harbel::FtpReply& reply);
    void closed();
    void logLine(const QString& text);
    void tlsReady();
    void tlsFailed(const QString& description);
    // A certificate that failed verification; the handshake waits for the answer.
    void certificateQuestion(const QSslCertificate& certificate, const QList<QSslError>& errors);

private:
    void onReadyRead();
    void newSocket();
    void beginTls(bool moreReplies);

    QSslSocket* socket_ = nullptr;
    QPointer<TlsLayer> tls_;
    QString tlsName_;
    bool tlsRequested_ = false;
    ProxiedConnector* connector_ = nullptr;
    FtpReplyParser parser_;
    int owed_ = 0;
    bool ready_ = false;
};

}  // namespace harbel::tessaly
