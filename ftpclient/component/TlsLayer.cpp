#include "ftpclient/component/TlsLayer.h"

#include "common/net/TlsSession.h"
#include "common/net/TlsTrust.h"

#include <QSslSocket>
#include <QTimer>

namespace harbel::tessaly {

TlsLayer::TlsLayer(QSslSocket& socket, QString verifyName, QObject* parent)
    : QObject(parent), socket_(socket), verifyName_(std::move(verifyName))
{
    connect(&socket_, &QSslSocket::encrypted, this, [this] {
        if (!done_) {
            done_ = true;
            emit encrypted();
        }
    });
    connect(&socket_, &QSslSocket::sslErrors, this, &TlsLayer::onSslErrors);
    connect(&socket_, &QSslSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) { finish(socket_.errorString()); });
    connect(&socket_, &QSslSocket::disconnected, this, [this] { finish(QStringLiteral("the server closed the connection")); });
}

void TlsLayer::startControl()
{
    // A certificate that needs the user's word holds the handshake until the answer comes.
    socket_.setPauseMode(QAbstractSocket::PauseOnSslErrors);
    tls::startClient(socket_, verifyName_);
}

void TlsLayer::startData(const QByteArray& sessionTicket, const QSslCertificate& settled)
{
    data_ = true;
    settled_ = settled;
    tls::startClient(socket_, verifyName_, sessionTicket);
}

void TlsLayer::onSslErrors(const QList<QSslError>& errors)
{
    if (done_)
        return;
    if (data_) {
        // The data connection comes from the server the control connection was settled with: the
        // same certificate is taken on the same terms, any other is not.
        if (!settled_.isNull() && socket_.peerCertificate() == settled_)
            socket_.ignoreSslErrors(errors);
        return;  // otherwise the handshake fails with the errors
    }
    errors_ = errors;
    const QSslCertificate certificate = socket_.peerCertificate();
    // Asked once the socket has paused, after this signal returns.
    QTimer::singleShot(0, this, [this, certificate] {
        if (!done_)
            emit certificateQuestion(certificate, errors_);
    });
}

void TlsLayer::accept()
{
    if (done_)
        return;
    socket_.ignoreSslErrors(errors_);
    socket_.resume();
}

void TlsLayer::refuse()
{
    if (done_)
        return;
    done_ = true;
    socket_.abort();
}

void TlsLayer::finish(const QString& failure)
{
    if (done_)
        return;
    done_ = true;
    emit failed(failure);
}

}  // namespace harbel::tessaly
