#include "downloader/engine/HttpConnector.h"

#include "common/net/TlsTrust.h"
#include "downloader/engine/DownloadText.h"
#include "downloader/engine/HttpText.h"

#include <QSignalBlocker>
#include <QTimer>

namespace harbel {

namespace {

// Bytes the socket holds before it stops reading from the network (after decryption, for TLS).
constexpr qint64 kSocketBuffer = 1024 * 1024;

QString serverStatus(const QString& description)
{
    return lang("19010", "Could not connect to the server:") + u' ' + description;
}

QString proxyStatus(const QString& description)
{
    return lang("19029", "Could not connect to the proxy server:") + u' ' + description;
}

QString refusedByProxy(const QString& why)
{
    return lang("19019", "The proxy server refused the connection:") + u' ' + why;
}

QString secureStatus(const QString& description)
{
    return lang("19018", "The secure connection to the server failed:") + u' ' + description;
}

}  // namespace

QByteArray HttpRoute::requestTarget(const QString& file) const
{
    if (!absoluteForm())
        return '/' + requestText(file);
    QByteArray target = "http://" + requestText(server);
    if (port != 80)
        target += ':' + QByteArray::number(port);
    return target + '/' + requestText(file);
}

QByteArray HttpRoute::proxyAuthorization() const
{
    if (!useProxy || proxyCredentials.isEmpty())
        return {};
    return "Proxy-Authorization: Basic " + Encode2Base64(proxyCredentials).toLatin1() + "\r\n";
}

QByteArray HttpRoute::proxyHeaders() const
{
    return absoluteForm() ? proxyAuthorization() : QByteArray();
}

QString HttpConnector::truncatedStatus()
{
    return lang("19028", "The server ended the secure connection before the whole file came; the partial file is "
                         "kept for a resume.");
}

HttpConnector::HttpConnector(QObject* parent) : QObject(parent)
{
    socket_.setReadBufferSize(kSocketBuffer);
    connect(&socket_, &QSslSocket::connected, this, &HttpConnector::onConnected);
    connect(&socket_, &QSslSocket::encrypted, this, [this] {
        step_ = Step::Ready;
        emit ready();
    });
    connect(&socket_, &QSslSocket::readyRead, this, &HttpConnector::onReadyRead);
    connect(&socket_, &QSslSocket::disconnected, this, &HttpConnector::onDisconnected);
    connect(&socket_, &QSslSocket::errorOccurred, this, &HttpConnector::onError);
    connect(&socket_, &QSslSocket::sslErrors, this, &HttpConnector::onSslErrors);
}

void HttpConnector::abort()
{
    const QSignalBlocker blocker(&socket_);
    socket_.abort();
    ++attempt_;
    step_ = Step::Idle;
    tunnelHead_.clear();
    certificateRefusal_.clear();
}

void HttpConnector::open(const HttpRoute& route)
{
    abort();
    route_ = route;
    step_ = Step::Dialling;
    if (route_.useProxy && route_.proxyServer.isEmpty()) {
        // "Use Proxy Server" without a server: nothing goes anywhere else in its place.
        QTimer::singleShot(0, this, [this, attempt = attempt_] {
            if (attempt == attempt_ && step_ == Step::Dialling)
                fail({proxyStatus(QStringLiteral("the settings name no proxy server")), true,
                      QAbstractSocket::HostNotFoundError, {}});
        });
        return;
    }
    if (route_.tls) {
        socket_.setSslConfiguration(tls::clientConfiguration());
        // Through a tunnel the socket's peer is the proxy: the certificate must name the server.
        socket_.setPeerVerifyName(route_.server);
    }
    if (route_.useProxy)
        socket_.connectToHost(route_.proxyServer, route_.proxyPort);
    else
        socket_.connectToHost(route_.server, route_.port);
}

void HttpConnector::onConnected()
{
    if (step_ != Step::Dialling)
        return;
    if (!route_.tls) {
        step_ = Step::Ready;
        emit ready();
        return;
    }
    if (!route_.useProxy) {
        startTls();
        return;
    }
    // The proxy is asked for a tunnel; its credentials go on this request only, never through it.
    step_ = Step::Tunnel;
    const QByteArray authority = requestText(route_.server) + ':' + QByteArray::number(route_.port);
    socket_.write("CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n" + route_.proxyAuthorization()
                  + "\r\n");
}

void HttpConnector::startTls()
{
    step_ = Step::Handshake;
    socket_.startClientEncryption();
}

void HttpConnector::onReadyRead()
{
    if (step_ == Step::Ready) {
        if (!route_.tls) {
            emit readyRead();
            return;
        }
        // The TLS socket says "ready" after every small record it decrypts (4 KiB), while it goes
        // on decrypting what the network brought. The reader is told once that turn of the event
        // loop is over, so it takes everything in one read and writes it in one block.
        if (!drainPending_) {
            drainPending_ = true;
            QMetaObject::invokeMethod(
                this,
                [this, attempt = attempt_] {
                    drainPending_ = false;
                    if (attempt == attempt_ && step_ == Step::Ready && socket_.bytesAvailable() > 0)
                        emit readyRead();
                },
                Qt::QueuedConnection);
        }
        return;
    }
    if (step_ == Step::Tunnel)
        tunnelReply();
}

void HttpConnector::tunnelReply()
{
    // Nothing comes from the server before the client's first TLS message, so everything here is
    // the proxy's.
    tunnelHead_ += socket_.readAll();
    qsizetype bodyStart = 0;
    const QByteArray head = headOf(tunnelHead_, &bodyStart);
    if (head.isEmpty()) {
        if (tunnelHead_.size() > kMaxHead)
            fail({refusedByProxy(lang("19008", "The server's reply is not a valid HTTP reply.")), true, {}, {}});
        return;
    }
    const qint16 code = GetStatusCode(QString::fromLatin1(head));
    if (code < 200 || code > 299) {
        const QString message = GetError(code);
        fail({refusedByProxy(message != QLatin1String("SUCCESS") ? message : QString::fromLatin1(statusLine(head))), true,
              {}, {}});
        return;
    }
    if (bodyStart < tunnelHead_.size()) {
        fail({refusedByProxy(lang("19008", "The server's reply is not a valid HTTP reply.")), true, {}, {}});
        return;
    }
    tunnelHead_.clear();
    startTls();
}

void HttpConnector::onSslErrors(const QList<QSslError>& errors)
{
    // Never ignored: the handshake fails right after this, and its failure names these reasons.
    certificateRefusal_ = tls::describeErrors(errors);
}

void HttpConnector::onError(QAbstractSocket::SocketError error)
{
    if (step_ == Step::Idle)
        return;
    if (!certificateRefusal_.isEmpty()) {
        fail({lang("19017", "The server's certificate was refused:") + u' ' + certificateRefusal_, true, error, {}});
        return;
    }
    const QString description = socket_.errorString();
    switch (step_) {
    case Step::Dialling:
        fail({route_.useProxy ? proxyStatus(description) : serverStatus(description), false, error, description});
        return;
    case Step::Tunnel:
        fail({proxyStatus(description), false, error, description});
        return;
    case Step::Handshake:
        fail({secureStatus(description), true, error, description});
        return;
    case Step::Ready:
        if (error == QAbstractSocket::RemoteHostClosedError)
            return;  // the close follows
        // What was decrypted before the fault was checked record by record: it is handed on first.
        if (socket_.bytesAvailable() > 0) {
            emit readyRead();
            if (step_ != Step::Ready)
                return;  // the reader closed the connection meanwhile
        }
        if (route_.tls && (error == QAbstractSocket::SslInternalError || error == QAbstractSocket::SslHandshakeFailedError
                           || error == QAbstractSocket::SslInvalidUserDataError)) {
            // Data that is not TLS, or TLS that cannot be read, on a secure connection.
            fail({secureStatus(description), true, error, description});
            return;
        }
        fail({serverStatus(description), false, error, description});
        return;
    case Step::Idle:
        return;
    }
}

void HttpConnector::onDisconnected()
{
    switch (step_) {
    case Step::Ready:
        step_ = Step::Idle;
        emit closed();
        return;
    case Step::Idle:
        return;
    case Step::Dialling:
    case Step::Tunnel:
        fail({route_.useProxy ? proxyStatus(socket_.errorString()) : serverStatus(socket_.errorString()), false,
              QAbstractSocket::RemoteHostClosedError, socket_.errorString()});
        return;
    case Step::Handshake:
        fail({secureStatus(socket_.errorString()), true, QAbstractSocket::RemoteHostClosedError, socket_.errorString()});
        return;
    }
}

void HttpConnector::fail(Failure failure)
{
    abort();
    emit failed(failure);
}

}  // namespace harbel
