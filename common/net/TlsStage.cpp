#include "common/net/TlsStage.h"

#include "common/net/TlsSession.h"
#include "common/net/TlsTrust.h"

#include <QSslSocket>
#include <QTimer>

namespace harbel::net {

void TlsStage::start()
{
    connect(&ssl_, &QSslSocket::encrypted, this, [this] {
        if (finished_ || !namesTheHost())
            return;
        finished_ = true;
        emit done();
    });
    connect(&ssl_, &QSslSocket::sslErrors, this, &TlsStage::onSslErrors);
    // A certificate that needs the owner's word holds the handshake until the answer comes.
    if (route_.certificates == CertificatePolicy::Ask)
        ssl_.setPauseMode(QAbstractSocket::PauseOnSslErrors);
    tls::startClient(ssl_, route_.tlsName(), route_.sessionTicket);
}

QList<QSslError> TlsStage::nameErrors(const QList<QSslError>& errors) const
{
    const QSslCertificate certificate = ssl_.peerCertificate();
    for (const QSslError& e : errors)
        if (e.error() == QSslError::HostNameMismatch)
            return {};
    if (certificate.isNull() || tls::namesHost(certificate, route_.tlsName()))
        return {};
    return {QSslError(QSslError::HostNameMismatch, certificate)};
}

bool TlsStage::namesTheHost()
{
    if (accepted_)
        return true;
    const QList<QSslError> errors = nameErrors({});
    if (errors.isEmpty())
        return true;
    // Verified by the library on the subject's common name alone: the same policy as any other
    // failure, once the handshake is over and before anything is sent.
    decide(errors);
    return false;
}

void TlsStage::onSslErrors(const QList<QSslError>& reported)
{
    if (finished_)
        return;
    decide(reported + nameErrors(reported));
}

void TlsStage::decide(const QList<QSslError>& errors)
{
    const bool handshakeOver = ssl_.isEncrypted();
    switch (route_.certificates) {
    case CertificatePolicy::Refuse:
        break;
    case CertificatePolicy::SameAsSettled:
        // The server the owner settled on, with the same certificate, is taken on the same terms.
        if (route_.settled && !route_.settled->isNull() && ssl_.peerCertificate() == *route_.settled) {
            accepted_ = true;
            if (handshakeOver) {
                finished_ = true;
                emit done();
            } else {
                ssl_.ignoreSslErrors(errors);
            }
            return;
        }
        break;
    case CertificatePolicy::Ask: {
        errors_ = errors;
        asking_ = true;
        askedAfterHandshake_ = handshakeOver;
        // Asked once the socket has paused, after this signal returns.
        const QSslCertificate certificate = ssl_.peerCertificate();
        QTimer::singleShot(0, this, [this, certificate] {
            if (!finished_ && asking_)
                emit certificateQuestion(certificate, errors_);
        });
        return;
    }
    }
    // Never ignored: the handshake fails right after this, and its failure names these reasons.
    refusal_ = tls::describeErrors(errors);
    if (handshakeOver) {
        finished_ = true;
        emit failed({Failure::Reason::CertificateRefused, true, QAbstractSocket::SslHandshakeFailedError, refusal_, 0});
    }
}

void TlsStage::accept()
{
    if (finished_ || !asking_)
        return;
    asking_ = false;
    accepted_ = true;
    if (askedAfterHandshake_) {
        finished_ = true;
        emit done();
        return;
    }
    ssl_.ignoreSslErrors(errors_);
    ssl_.resume();
}

void TlsStage::refuse()
{
    if (finished_ || !asking_)
        return;
    asking_ = false;
    finished_ = true;
    refusal_ = tls::describeErrors(errors_);
    emit failed({Failure::Reason::CertificateRefused, true, QAbstractSocket::SslHandshakeFailedError, refusal_, 0});
}

Failure TlsStage::fault(QAbstractSocket::SocketError error) const
{
    if (!refusal_.isEmpty())
        return {Failure::Reason::CertificateRefused, true, error, refusal_, 0};
    return {Failure::Reason::TlsFailed, true, error, ssl_.errorString(), 0};
}

}  // namespace harbel::net
