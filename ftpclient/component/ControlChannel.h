#pragma once

#include "common/ftp/FtpReply.h"
#include "common/net/Connector.h"

#include <QObject>
#include <QSslCertificate>
#include <QSslError>

namespace harbel::tessaly {

// The control connection: sends command lines, turns received bytes into replies and keeps count of
// the replies still owed for the commands sent, so that a stream can be brought back in step after
// an abort. Every line in either direction is reported for the connection log (passwords masked).
// The connection is opened by the suite's connector, through the SOCKS proxy when one is set;
// after AUTH TLS the same connection goes on encrypted (explicit FTP over TLS), and a certificate
// that fails verification is put to the owner.
class ControlChannel final : public QObject {
    Q_OBJECT
public:
    explicit ControlChannel(QObject* parent = nullptr);
    ~ControlChannel() override;

    // tls: the session is to be made secure after AUTH TLS (startTls).
    void open(const QString& host, quint16 port, const net::Proxy& proxy, bool tls);
    void close();
    bool isOpen() const;
    void send(const QString& line);

    int owedReplies() const { return owed_; }
    // A reply that was counted as owed will not come (the server said so).
    void forgiveReply() { owed_ = qMax(0, owed_ - 1); }

    // Called while the server's 234 to AUTH TLS is acted on: once it has been, the connection is
    // encrypted (tlsReady) with a certificate valid for the server's name or accepted through
    // certificateQuestion. Anything the server sent after its 234 is not TLS: tlsFailed.
    void startTls();
    // The answer to certificateQuestion.
    void acceptCertificate() { connector_.acceptCertificate(); }
    void refuseCertificate() { connector_.refuseCertificate(); }
    // The connection under the dialogue: its route, addresses, TLS session and certificate are
    // what a data connection of the session starts from.
    const net::Connector& connector() const { return connector_; }

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
    void onFailed(const net::Failure& failure);
    void beginTls(bool moreReplies);
    // The connection that stood is gone: closed() once.
    void dropped();

    net::Connector connector_;
    FtpReplyParser parser_;
    int owed_ = 0;
    bool ready_ = false;
    bool tlsRequested_ = false;
    bool securing_ = false;
};

}  // namespace harbel::tessaly
