#include "ftpclient/core/FtpControlChannel.h"

#include "ftpclient/core/SocksHandshake.h"
#include "ftpclient/core/TlsLayer.h"

#include <QSslConfiguration>
#include <QSslSocket>

namespace harbel::tessaly {

ProxiedConnector::ProxiedConnector(QTcpSocket& socket, ProxySettings proxy, QObject* parent)
    : QObject(parent), socket_(socket), proxy_(std::move(proxy))
{
    connect(&socket_, &QTcpSocket::connected, this, [this] {
        if (!proxy_.used()) {
            emit ready();
            return;
        }
        socks_ = new SocksHandshake(socket_, proxy_.kind == 4 ? 4 : 5, host_, port_, proxy_.user, proxy_.password, this);
        connect(socks_, &SocksHandshake::succeeded, this, &ProxiedConnector::ready);
        connect(socks_, &SocksHandshake::failed, this, &ProxiedConnector::failed);
        socks_->start();
    });
    connect(&socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (socket_.state() != QAbstractSocket::ConnectedState || socks_)
            emit failed(socket_.errorString());
    });
}

void ProxiedConnector::connectTo(const QString& host, quint16 port)
{
    host_ = host;
    port_ = port;
    if (proxy_.used())
        socket_.connectToHost(proxy_.host, proxy_.port);
    else
        socket_.connectToHost(host, port);
}

FtpControlChannel::FtpControlChannel(QObject* parent) : QObject(parent)
{
    newSocket();
}

FtpControlChannel::~FtpControlChannel()
{
    socket_->disconnect(this);
}

void FtpControlChannel::newSocket()
{
    // Every connection starts on a fresh socket: nothing of an earlier TLS session carries over.
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
        socket_->deleteLater();
    }
    socket_ = new QSslSocket(this);
    connect(socket_, &QSslSocket::readyRead, this, &FtpControlChannel::onReadyRead);
    connect(socket_, &QSslSocket::disconnected, this, [this] {
        const bool was = ready_;
        ready_ = false;
        owed_ = 0;
        if (was)
            emit closed();
    });
}

void FtpControlChannel::open(const QString& host, quint16 port, const ProxySettings& proxy)
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

void FtpControlChannel::close()
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

bool FtpControlChannel::isOpen() const
{
    return ready_ && socket_->state() == QAbstractSocket::ConnectedState;
}

void FtpControlChannel::send(const QString& line)
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

QHostAddress FtpControlChannel::peerAddress() const
{
    return socket_->peerAddress();
}

QHostAddress FtpControlChannel::localAddress() const
{
    return socket_->localAddress();
}

void FtpControlChannel::onReadyRead()
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

void FtpControlChannel::startTls(const QString& verifyName)
{
    tlsName_ = verifyName;
    tlsRequested_ = true;
}

void FtpControlChannel::beginTls(bool moreReplies)
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
    connect(tls_, &TlsLayer::failed, this, &FtpControlChannel::tlsFailed);
    connect(tls_, &TlsLayer::certificateQuestion, this, &FtpControlChannel::certificateQuestion);
    tls_->startControl();
}

void FtpControlChannel::acceptCertificate()
{
    if (tls_)
        tls_->accept();
}

void FtpControlChannel::refuseCertificate()
{
    if (tls_)
        tls_->refuse();
}

bool FtpControlChannel::isEncrypted() const
{
    return socket_->isEncrypted();
}

QByteArray FtpControlChannel::sessionTicket() const
{
    return socket_->sslConfiguration().sessionTicket();
}

QSslCertificate FtpControlChannel::peerCertificate() const
{
    return socket_->peerCertificate();
}

}  // namespace harbel::tessaly
