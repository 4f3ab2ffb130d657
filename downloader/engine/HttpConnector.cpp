#include "downloader/engine/HttpConnector.h"

#include "downloader/engine/DownloadText.h"
#include "downloader/engine/HttpText.h"


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
    return "http://" + hostField() + '/' + requestText(file);
}

QByteArray HttpRoute::hostField() const
{
    QByteArray host = requestText(server);
    if (server.contains(u':'))
        host = '[' + host + ']';
    if (port != (tls ? 443 : 80))
        host += ':' + QByteArray::number(port);
    return host;
}

QByteArray HttpRoute::authorization(const QString& file) const
{
    return auth ? auth->header("GET", requestTarget(file)) : QByteArray();
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
    connector_.setReadBufferSize(kSocketBuffer);
    connect(&connector_, &net::Connector::ready, this, &HttpConnector::ready);
    connect(&connector_, &net::Connector::readyRead, this, &HttpConnector::readyRead);
    connect(&connector_, &net::Connector::closed, this, &HttpConnector::closed);
    connect(&connector_, &net::Connector::failed, this, &HttpConnector::onFailed);
}

void HttpConnector::open(const HttpRoute& route)
{
    route_ = route;
    net::Route r;
    r.host = route.server;
    r.port = route.port;
    r.tls = route.tls;
    if (route.useProxy) {
        // Through a tunnel the socket's peer is the proxy: the certificate must name the server.
        const qsizetype colon = route.proxyCredentials.indexOf(u':');
        r.proxy = {net::Proxy::Kind::HttpConnect, route.proxyServer, route.proxyPort, !route.proxyCredentials.isEmpty(),
                   route.proxyCredentials.left(colon), colon < 0 ? QString() : route.proxyCredentials.mid(colon + 1)};
        if (!route.tls && !route.proxyServer.isEmpty()) {
            // Plain requests go to the proxy itself, which reads them (absolute form): no tunnel.
            r.host = route.proxyServer;
            r.port = route.proxyPort;
            r.proxy = {};
        }
    }
    connector_.open(r);
}

void HttpConnector::onFailed(const net::Failure& failure)
{
    using Reason = net::Failure::Reason;
    const QString& description = failure.description;
    switch (failure.reason) {
    case Reason::NoProxyServer:
        // "Use Proxy Server" without a server: nothing goes anywhere else in its place.
        emit failed({proxyStatus(QStringLiteral("the settings name no proxy server")), true,
                     QAbstractSocket::HostNotFoundError, {}});
        return;
    case Reason::Unreachable:
        emit failed({route_.useProxy ? proxyStatus(description) : serverStatus(description), false, failure.error,
                     description});
        return;
    case Reason::ProxyRefused: {
        const QString message = GetError(qint16(failure.proxyStatus));
        emit failed({refusedByProxy(message != QLatin1String("SUCCESS") ? message : description), true, {}, {}});
        return;
    }
    case Reason::ProxyInvalid:
        emit failed({refusedByProxy(lang("19008", "The server's reply is not a valid HTTP reply.")), true, {}, {}});
        return;
    case Reason::TlsFailed:
        emit failed({secureStatus(description), true, failure.error, description});
        return;
    case Reason::CertificateRefused:
        emit failed({lang("19017", "The server's certificate was refused:") + u' ' + description, true, failure.error, {}});
        return;
    case Reason::Broken:
        emit failed({serverStatus(description), false, failure.error, description});
        return;
    }
}

}  // namespace harbel
