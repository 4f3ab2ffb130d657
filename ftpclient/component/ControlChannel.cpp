#include "ftpclient/component/ControlChannel.h"

#include "ftpclient/component/ProxiedConnector.h"
#include "ftpclient/component/TlsLayer.h"

#include <QSslConfiguration>
#include <QSslSocket>

namespace harbel::tessaly {

ControlChannel::ControlChannel(QObject* parent) : QObject(parent)
{
    newSocket();
}

ControlChannel::~ControlChannel()
{
    socket_->disconnect(this);
}

void ControlChannel::newSocket()
{
    // Every connection starts on a fresh socket: nothing of an earlier TLS session carries over.
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
        socket_->deleteLater();
    }
    socket_ = new QSslSocket(this);
    connect(socket_, &QSslSocket::readyRead, this, &ControlChannel::onReadyRead);
    connect(socket_, &QSslSocket::disconnected, this, [this] {
        const bool was = ready_;
        ready_ = false;
        owed_ = 0;
        if (was)
            emit closed();
    });
}

void ControlChannel::open(const QString& host, quint16 port, const SocksProxy& proxy)
{
    close();
    newSocket();
    parser_.reset();
    tlsRequested_ = false;
    owed_ = 1;  // the greeting
    delete connector_;
    connector_ = new ProxiedConnector(*socket_, proxy, this);
    connect(connector_, &ProxiedConnector::ready, this, [this] {
        ready_ = true;
        emit opened();
        if (socket_->bytesAvailable() > 0)
            onReadyRead();
    });
    connect(connector_, &ProxiedConnector::failed, this, [this](const QString& why) {
        if (ready_)
            return;
        socket_->abort();
        emit openFailed(why);
    });
    connector_->connectTo(host, port);
}

void ControlChannel::close()
{
    if (socket_->state() == QAbstractSocket::UnconnectedState)
        return;
    if (ready_) {
        socket_->disconnectFromHost();
        if (socket_->state() != QAbstractSocket::UnconnectedState)
            socket_->abort();
    } else {
        socket_->abort();
    }
}

bool ControlChannel::isOpen() const
{
    return ready_ && socket_->state() == QAbstractSocket::ConnectedState;
}

void ControlChannel::send(const QString& line)
{
    // A line break inside a command would let a name smuggle a second command to the server.
    QString clean = line;
    clean.remove(QLatin1Char('\r'));
    clean.remove(QLatin1Char('\n'));
    clean.remove(QChar(0));
    QString shown = clean;
    if (shown.startsWith(QLatin1String("PASS "), Qt::CaseInsensitive))
        shown = QStringLiteral("PASS ********");
    emit logLine(shown);
    ++owed_;
    socket_->write(clean.toUtf8() + "\r\n");
}

QHostAddress ControlChannel::peerAddress() const
{
    return socket_->peerAddress();
}

QHostAddress ControlChannel::localAddress() const
{
    return socket_->localAddress();
}

void ControlChannel::onReadyRead()
{
    if (!ready_ || (tls_ && !socket_->isEncrypted()))
        return;  // still in the proxy or the TLS handshake
    const QList<FtpReply> replies = parser_.feed(socket_->readAll());
    for (qsizetype i = 0; i < replies.size(); ++i) {
        const FtpReply& reply = replies.at(i);
        for (const QString& l : reply.lines)
            emit logLine(l);
        if (reply.code == 0 || reply.code >= 200)
            owed_ = qMax(0, owed_ - 1);
        emit replyReceived(reply);
        if (!ready_)
            return;
        if (tlsRequested_)
            return beginTls(i + 1 < replies.size());
    }
}

void ControlChannel::startTls(const QString& verifyName)
{
    tlsName_ = verifyName;
    tlsRequested_ = true;
}

void ControlChannel::beginTls(bool moreReplies)
{
    tlsRequested_ = false;
    // After its 234 the server waits for the client's first TLS message: text from it now is no
    // TLS, and a connection that goes on in clear text is not what was asked for.
    if (moreReplies || parser_.hasPartial() || socket_->bytesAvailable() > 0) {
        emit tlsFailed(QStringLiteral("the server sent text after agreeing to AUTH TLS instead of starting TLS"));
        socket_->abort();
        return;
    }
    tls_ = new TlsLayer(*socket_, tlsName_, socket_);
    connect(tls_, &TlsLayer::encrypted, this, [this] {
        emit tlsReady();
        if (socket_->bytesAvailable() > 0)
            onReadyRead();
    });
    connect(tls_, &TlsLayer::failed, this, &ControlChannel::tlsFailed);
    connect(tls_, &TlsLayer::certificateQuestion, this, &ControlChannel::certificateQuestion);
    tls_->startControl();
}

void ControlChannel::acceptCertificate()
{
    if (tls_)
        tls_->accept();
}

void ControlChannel::refuseCertificate()
{
    if (tls_)
        tls_->refuse();
}

bool ControlChannel::isEncrypted() const
{
    return socket_->isEncrypted();
}

QByteArray ControlChannel::sessionTicket() const
{
    return socket_->sslConfiguration().sessionTicket();
}

QSslCertificate ControlChannel::peerCertificate() const
{
    return socket_->peerCertificate();
}

}  // namespace harbel::tessaly
