#include "common/net/TlsStage.h"

#include "common/net/TlsSession.h"
#include "common/net/TlsTrust.h"

#include <QSslSocket>
#include <QTimer>

namespace harbel::net {

void TlsStage::start()
{
    connect(&ssl_, &QSslSocket::encrypted, this, [this] {
        if (finished_)
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

void TlsStage::onSslErrors(const QList<QSslError>& errors)
{
    if (finished_)
        return;
    switch (route_.certificates) {
    case CertificatePolicy::Refuse:
        break;
    case CertificatePolicy::SameAsSettled:
        // The server the owner settled on, with the same certificate, is taken on the same terms.
        if (route_.settled && !route_.settled->isNull() && ssl_.peerCertificate() == *route_.settled) {
            ssl_.ignoreSslErrors(errors);
            return;
        }
        break;
    case CertificatePolicy::Ask: {
        errors_ = errors;
        asking_ = true;
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
}

void TlsStage::accept()
{
    if (finished_ || !asking_)
        return;
    asking_ = false;
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
