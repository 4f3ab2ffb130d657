#include "common/net/ProxyStages.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace harbel::net {

namespace {

void appendPort(QByteArray& out, quint16 port)
{
    out.append(char(port >> 8)).append(char(port & 0xff));
}

void appendIPv4(QByteArray& out, quint32 a)
{
    out.append(char(a >> 24)).append(char(a >> 16)).append(char(a >> 8)).append(char(a));
}

// A name for a request line: bytes that would end or split it are percent-encoded.
QByteArray lineSafe(const QString& text)
{
    QByteArray out;
    for (const char c : text.toUtf8()) {
        const auto b = quint8(c);
        if (b <= 0x20 || b >= 0x7f)
            out += '%' + QByteArray::number(b, 16).rightJustified(2, '0').toUpper();
        else
            out += c;
    }
    return out;
}

}  // namespace

// --- SOCKS ----------------------------------------------------------------------------------

void SocksStage::start()
{
    const Proxy& proxy = route_.proxy;
    QByteArray request;
    if (proxy.kind == Proxy::Kind::Socks4) {
        // VN CD DSTPORT DSTIP USERID NUL [HOST NUL]: 4a names the host after 0.0.0.1.
        const QHostAddress ip(route_.host);
        const bool named = ip.protocol() != QAbstractSocket::IPv4Protocol;
        request.append(char(4)).append(char(1));
        appendPort(request, route_.port);
        appendIPv4(request, named ? 1 : ip.toIPv4Address());
        request.append(proxy.user.toUtf8()).append(char(0));
        if (named)
            request.append(route_.host.toUtf8()).append(char(0));
        step_ = Step::Connect;
    } else {
        // No login, and the user and password method when there are credentials.
        request.append(char(5));
        if (proxy.login)
            request.append(char(2)).append(char(0)).append(char(2));
        else
            request.append(char(1)).append(char(0));
        step_ = Step::Greeting;
    }
    socket_.write(request);
}

void SocksStage::sendConnect5()
{
    QByteArray request;
    request.append(char(5)).append(char(1)).append(char(0));
    const QHostAddress ip(route_.host);
    if (ip.protocol() == QAbstractSocket::IPv4Protocol) {
        request.append(char(1));
        appendIPv4(request, ip.toIPv4Address());
    } else if (ip.protocol() == QAbstractSocket::IPv6Protocol) {
        const Q_IPV6ADDR a = ip.toIPv6Address();
        request.append(char(4)).append(reinterpret_cast<const char*>(a.c), 16);
    } else {
        const QByteArray name = route_.host.toUtf8().left(255);
        request.append(char(3)).append(char(name.size())).append(name);
    }
    appendPort(request, route_.port);
    step_ = Step::Connect;
    socket_.write(request);
}

bool SocksStage::need(qsizetype n)
{
    // Only what the reply needs: anything after it belongs to the relayed connection.
    while (reply_.size() < n && socket_.bytesAvailable() > 0)
        reply_.append(socket_.read(n - reply_.size()));
    return reply_.size() >= n;
}

void SocksStage::refuse(Failure::Reason reason, const QString& why)
{
    step_ = Step::Done;
    emit failed({reason, true, QAbstractSocket::ProxyConnectionRefusedError, why, 0});
}

void SocksStage::finish()
{
    step_ = Step::Done;
    emit done();
}

void SocksStage::readable()
{
    const Proxy& proxy = route_.proxy;
    while (step_ != Step::Done) {
        if (proxy.kind == Proxy::Kind::Socks4) {
            if (!need(8))
                return;
            if (quint8(reply_[1]) != 0x5a)
                return refuse(Failure::Reason::ProxyRefused,
                              QStringLiteral("The SOCKS 4 proxy refused the connection (code %1).").arg(quint8(reply_[1])));
            return finish();
        }
        switch (step_) {
        case Step::Greeting:
            if (!need(2))
                return;
            if (reply_[0] != 5)
                return refuse(Failure::Reason::ProxyInvalid, QStringLiteral("The proxy is not a SOCKS 5 proxy."));
            if (reply_[1] == 0) {
                reply_.clear();
                sendConnect5();
                continue;
            }
            if (reply_[1] == 2 && proxy.login) {
                reply_.clear();
                const QByteArray user = proxy.user.toUtf8().left(255);
                const QByteArray password = proxy.password.toUtf8().left(255);
                QByteArray request;
                request.append(char(1)).append(char(user.size())).append(user).append(char(password.size())).append(password);
                step_ = Step::Login;
                socket_.write(request);
                continue;
            }
            return refuse(Failure::Reason::ProxyRefused, QStringLiteral("The SOCKS 5 proxy accepts none of our login methods."));
        case Step::Login:
            if (!need(2))
                return;
            if (reply_[1] != 0)
                return refuse(Failure::Reason::ProxyRefused, QStringLiteral("The SOCKS 5 proxy refused the user name or password."));
            reply_.clear();
            sendConnect5();
            continue;
        case Step::Connect: {
            if (!need(5))
                return;
            if (reply_[0] != 5 || reply_[1] != 0)
                return refuse(Failure::Reason::ProxyRefused,
                              QStringLiteral("The SOCKS 5 proxy refused the connection (code %1).").arg(quint8(reply_[1])));
            // The bound address that closes the reply: IPv4, IPv6, or a name with its length.
            const int type = quint8(reply_[3]);
            if (!need(type == 1 ? 10 : type == 4 ? 22 : 7 + quint8(reply_[4])))
                return;
            return finish();
        }
        case Step::Done:
            return;
        }
    }
}

// --- HTTP CONNECT ---------------------------------------------------------------------------

void HttpTunnelStage::start()
{
    const Proxy& proxy = route_.proxy;
    // An IPv6 literal is written in brackets, as in an address.
    const QByteArray host = route_.host.contains(u':') ? '[' + lineSafe(route_.host) + ']' : lineSafe(route_.host);
    const QByteArray authority = host + ':' + QByteArray::number(route_.port);
    QByteArray request = "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n";
    // The proxy's credentials go on this request only, never through the tunnel.
    if (proxy.login)
        request += "Proxy-Authorization: Basic " + (proxy.user + u':' + proxy.password).toUtf8().toBase64() + "\r\n";
    socket_.write(request + "\r\n");
}

void HttpTunnelStage::invalid()
{
    finished_ = true;
    emit failed({Failure::Reason::ProxyInvalid, true, QAbstractSocket::ProxyProtocolError,
                 QStringLiteral("The proxy's reply is not a valid HTTP reply."), 0});
}

void HttpTunnelStage::readable()
{
    while (!finished_ && socket_.canReadLine()) {
        const QByteArray line = socket_.readLine(kMaxHead + 1);
        headBytes_ += line.size();
        if (headBytes_ > kMaxHead)
            return invalid();
        if (statusLine_.isEmpty()) {
            statusLine_ = line.trimmed();
            if (statusLine_.isEmpty())
                return invalid();
            continue;
        }
        if (line != "\r\n" && line != "\n")
            continue;
        finished_ = true;
        // "HTTP/1.1 407 Proxy Authentication Required": the three digits after the first blank.
        const qsizetype blank = statusLine_.indexOf(' ');
        bool ok = false;
        const QByteArray digits = blank >= 0 ? statusLine_.mid(blank + 1, 3) : statusLine_.left(3);
        const int code = digits.size() == 3 ? digits.toInt(&ok) : 0;
        if (!ok || code < 200 || code > 299) {
            emit failed({Failure::Reason::ProxyRefused, true, QAbstractSocket::ProxyConnectionRefusedError,
                         QString::fromLatin1(statusLine_), ok ? code : 0});
            return;
        }
        // Before the client's first TLS message the server says nothing: bytes after the head
        // cannot be the server's.
        if (route_.tls && socket_.bytesAvailable() > 0)
            return invalid();
        emit done();
        return;
    }
    if (!finished_ && headBytes_ + socket_.bytesAvailable() > kMaxHead)
        invalid();
}

}  // namespace harbel::net
