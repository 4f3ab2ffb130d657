#pragma once

#include "common/net/Connector.h"
#include "common/net/ProxyStages.h"
#include "downloader/engine/HttpAuth.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QObject>
#include <QSslSocket>
#include <QString>

#include <memory>

namespace harbel {

// Where the HTTP connections of a download go: the address's own server, over TLS for an https://
// address, directly or through the proxy of the settings.
struct HttpRoute {
    QString server;
    quint16 port = 80;
    bool tls = false;
    // The proxy of the settings (UseProxy): every connection goes to it.
    bool useProxy = false;
    QString proxyServer;
    quint16 proxyPort = 0;
    // "user:password" for the proxy (LoginProxy), empty when none are sent.
    QString proxyCredentials;
    // The server's login, once the server has asked for it (shared by the job's connections).
    std::shared_ptr<HttpAuth> auth;

    // Plain requests through a proxy name the whole address (absolute form); every other request,
    // TLS ones through a CONNECT tunnel included, names the path only.
    bool absoluteForm() const { return useProxy && !tls; }
    // The target of a request for file (the server path without its leading "/").
    QByteArray requestTarget(const QString& file) const;
    // The server as the Host field names it: an IPv6 literal in brackets, the port when it is not
    // the scheme's own (80, or 443 over TLS).
    QByteArray hostField() const;
    // The Authorization line of a request for file, empty when the server has not asked.
    QByteArray authorization(const QString& file) const;
    // The header lines meant for the proxy, each ending in CR LF: the Proxy-Authorization of a plain
    // request that goes to it. Empty for requests that reach the origin server (direct or tunnelled).
    QByteArray proxyHeaders() const;
    // The Proxy-Authorization line for the proxy's own requests (CONNECT), empty when none.
    QByteArray proxyAuthorization() const;
};

// Opens one connection along a route: dials the server or the proxy, asks a proxy for a tunnel
// (CONNECT) when the address is an https:// one, and makes the connection secure with the shared
// TLS policy (common/net/TlsTrust: the system's authorities, the added ones, the host name checked).
// A certificate that fails the check is refused, never accepted. ready() says requests may go;
// after it the socket carries the decrypted data. Closing and aborting raise none of its events.
// The connection is common/net's connector; this class speaks of it in the download's terms.
class HttpConnector final : public QObject {
    Q_OBJECT
public:
    // Why a connection could not be made or went wrong.
    struct Failure {
        // A text for the user: the status of the job.
        QString status;
        // Retrying cannot help (a refused certificate, a broken secure connection, a proxy that
        // refuses): the job stops. Otherwise it is a network fault the time-outs may retry.
        bool final = false;
        QAbstractSocket::SocketError error = QAbstractSocket::UnknownSocketError;
        // The socket's own description, for network faults.
        QString description;
    };

    explicit HttpConnector(QObject* parent = nullptr);

    // Drops any connection and opens one along route.
    void open(const HttpRoute& route);
    void abort() { connector_.abort(); }
    const HttpRoute& route() const { return route_; }
    bool isReady() const { return connector_.isReady(); }
    // The connection for requests and replies, once ready.
    QTcpSocket& socket() { return connector_.socket(); }
    const QTcpSocket& socket() const { return connector_.socket(); }
    // The connection is secure (an https:// address): its end before a reply's end is a fault.
    bool isSecure() const { return route_.tls; }

    // The status of a secure connection that ended before all the bytes its reply announced.
    static QString truncatedStatus();

    // A CONNECT reply head longer than this is not a head.
    static constexpr qsizetype kMaxHead = net::HttpTunnelStage::kMaxHead;

signals:
    void ready();
    // Data of a reply (only once ready).
    void readyRead();
    // The server closed a ready connection.
    void closed();
    void failed(const harbel::HttpConnector::Failure& failure);

private:
    void onFailed(const net::Failure& failure);

    net::Connector connector_;
    HttpRoute route_;
};

}  // namespace harbel
