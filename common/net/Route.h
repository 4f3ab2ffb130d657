#pragma once

#include <QAbstractSocket>
#include <QByteArray>
#include <QSslCertificate>
#include <QString>

#include <optional>

namespace harbel::net {

// The proxy a connection goes through.
struct Proxy {
    enum class Kind {
        None,
        // SOCKS 4, or 4a when the target is a name rather than an IPv4 address.
        Socks4,
        // SOCKS 5; with login, the user and password method is offered besides none.
        Socks5,
        // An HTTP proxy asked for a tunnel (CONNECT); with login, Basic Proxy-Authorization.
        HttpConnect,
    };

    Kind kind = Kind::None;
    QString host;
    quint16 port = 0;
    // Whether the user and password are sent (SOCKS 4 always sends the user as its user id).
    bool login = false;
    QString user;
    QString password;

    bool used() const { return kind != Kind::None; }
};

// What is done with a server certificate that fails verification.
enum class CertificatePolicy {
    // Never accepted: the handshake fails with the reasons.
    Refuse,
    // The owner is asked (Connector::certificateQuestion) and the handshake waits for its answer.
    Ask,
    // Accepted only when it is the very certificate given as settled (a data connection of a
    // server whose control connection was settled on it); any other is refused.
    SameAsSettled,
};

// Where one connection goes and how: the server, the proxy on the way, and TLS.
struct Route {
    // The server: its name as the user gave it, or an address. Through a proxy, the proxy is asked
    // for this name (SOCKS 4a, SOCKS 5, CONNECT), so the proxy resolves it.
    QString host;
    quint16 port = 0;
    Proxy proxy;

    // TLS as soon as the connection stands (https://). Explicit TLS (FTP's AUTH TLS, a data
    // connection after its command's 1xx) is started later with Connector::startTls().
    bool tls = false;
    // TLS may be started later on the standing connection (FTP's AUTH TLS, a protected data
    // connection): the connection is opened on a socket that can be made secure. Without it and
    // without tls the connection is plain TCP, and the TLS library is never loaded for it.
    bool explicitTls = false;
    // The name the certificate must be valid for, when it is not host: a connection dialled to an
    // address learnt from another connection still checks the name the user gave.
    QString verifyName;
    CertificatePolicy certificates = CertificatePolicy::Refuse;
    // A session of an earlier connection to resume (FTP data connections resume the control
    // connection's, as servers such as vsftpd require).
    QByteArray sessionTicket;
    // The certificate of CertificatePolicy::SameAsSettled. Optional, because even an empty
    // certificate loads and sets up the TLS library, which a plain connection never needs.
    std::optional<QSslCertificate> settled;

    QString tlsName() const { return verifyName.isEmpty() ? host : verifyName; }
};

// Why a connection could not be made, or broke once it stood.
struct Failure {
    enum class Reason {
        // The route names a proxy but not its server: nothing goes round it instead.
        NoProxyServer,
        // The server (or the proxy, when there is one) could not be reached, or closed or failed
        // before the connection stood.
        Unreachable,
        // The proxy refused: a SOCKS refusal, or an HTTP reply other than 2xx to CONNECT.
        ProxyRefused,
        // The proxy's answer is not of its protocol.
        ProxyInvalid,
        // The TLS handshake failed, or a secure connection carried something that is not TLS.
        TlsFailed,
        // The server's certificate failed verification and was not accepted.
        CertificateRefused,
        // A network fault on a connection that stood.
        Broken,
    };

    Reason reason = Reason::Unreachable;
    // Retrying cannot help (a refused certificate, broken TLS, a proxy that refuses); otherwise a
    // network fault that a retry may get past.
    bool final = false;
    QAbstractSocket::SocketError error = QAbstractSocket::UnknownSocketError;
    // For the user: the socket's own words for network and TLS faults, the SOCKS proxy's refusal
    // ("The SOCKS 5 proxy refused the user name or password."), the status line of an HTTP
    // proxy's refusal, or the reasons a certificate was refused ("the certificate is not trusted").
    QString description;
    // The status code of an HTTP proxy's refusal, else 0.
    int proxyStatus = 0;
};

}  // namespace harbel::net
