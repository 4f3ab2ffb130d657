#pragma once

#include "common/net/ConnectionStage.h"

#include <QList>
#include <QSslCertificate>
#include <QSslError>
#include <QSslSocket>
#include <QString>

namespace harbel::net {

// Makes a connection secure with the programs' shared client policy (common/net/TlsTrust: the
// system's authorities and the added ones, TLS 1.2 or later) and the session persistence of
// TlsSession, so that the connection's session can be resumed. The certificate must be valid for
// the route's tlsName(), whatever address or proxy the socket is connected to; one that fails is
// dealt with by the route's CertificatePolicy.
class TlsStage final : public ConnectionStage {
    Q_OBJECT
public:
    TlsStage(QSslSocket& socket, const Route& route, QObject* parent = nullptr)
        : ConnectionStage(socket, route, parent), ssl_(socket)
    {
    }
    void start() override;
    Failure fault(QAbstractSocket::SocketError error) const override;

    // The owner's answer to certificateQuestion (CertificatePolicy::Ask).
    void accept();
    void refuse();

signals:
    // A certificate that failed verification; the handshake waits for accept() or refuse().
    void certificateQuestion(const QSslCertificate& certificate, const QList<QSslError>& errors);

private:
    void onSslErrors(const QList<QSslError>& reported);
    // The route's policy for a certificate with these errors, during the handshake or after it.
    void decide(const QList<QSslError>& errors);
    // A HostNameMismatch when the certificate's alternative names leave out the route's name
    // (and errors do not already say so).
    QList<QSslError> nameErrors(const QList<QSslError>& errors) const;
    // After the handshake: true when the certificate names the host or was accepted; otherwise
    // the policy decides and the stage ends or asks.
    bool namesTheHost();

    QSslSocket& ssl_;
    QList<QSslError> errors_;
    // Why the certificate was refused, once it was.
    QString refusal_;
    bool asking_ = false;
    bool askedAfterHandshake_ = false;
    // The owner took the certificate with its errors: it is not judged again.
    bool accepted_ = false;
    bool finished_ = false;
};

}  // namespace harbel::net
