#include "ftpclient/component/SocksHandshake.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace harbel::tessaly {

SocksHandshake::SocksHandshake(QTcpSocket& socket, int kind, QString targetHost, quint16 targetPort,
                               QString user, QString password, QObject* parent)
    : QObject(parent), socket_(socket), kind_(kind), host_(std::move(targetHost)), port_(targetPort),
      user_(std::move(user)), password_(std::move(password))
{
    connect(&socket_, &QTcpSocket::readyRead, this, &SocksHandshake::onReadyRead);
}

void SocksHandshake::fail(const QString& why)
{
    step_ = Step::Done;
    disconnect(&socket_, nullptr, this, nullptr);
    emit failed(why);
}

void SocksHandshake::start()
{
    QByteArray req;
    if (kind_ == 4) {
        // VN CD DSTPORT DSTIP USERID NUL [HOST NUL] (SOCKS 4a when the target is a name).
        QHostAddress ip(host_);
        bool named = ip.protocol() != QAbstractSocket::IPv4Protocol;
        req.append(char(4)).append(char(1));
        req.append(char(port_ >> 8)).append(char(port_ & 0xff));
        if (named) {
            req.append(char(0)).append(char(0)).append(char(0)).append(char(1));
        } else {
            const quint32 a = ip.toIPv4Address();
            req.append(char(a >> 24)).append(char(a >> 16)).append(char(a >> 8)).append(char(a));
        }
        req.append(user_.toUtf8()).append(char(0));
        if (named)
            req.append(host_.toUtf8()).append(char(0));
        step_ = Step::Connect;
    } else {
        const bool withLogin = !user_.isEmpty();
        req.append(char(5));
        if (withLogin)
            req.append(char(2)).append(char(0)).append(char(2));
        else
            req.append(char(1)).append(char(0));
        step_ = Step::Greeting;
    }
    socket_.write(req);
}

void SocksHandshake::sendConnect5()
{
    QByteArray req;
    req.append(char(5)).append(char(1)).append(char(0));
    QHostAddress ip(host_);
    if (ip.protocol() == QAbstractSocket::IPv4Protocol) {
        const quint32 a = ip.toIPv4Address();
        req.append(char(1)).append(char(a >> 24)).append(char(a >> 16)).append(char(a >> 8)).append(char(a));
    } else if (ip.protocol() == QAbstractSocket::IPv6Protocol) {
        const Q_IPV6ADDR a = ip.toIPv6Address();
        req.append(char(4)).append(reinterpret_cast<const char*>(a.c), 16);
    } else {
        const QByteArray name = host_.toUtf8();
        req.append(char(3)).append(char(name.size())).append(name);
    }
    req.append(char(port_ >> 8)).append(char(port_ & 0xff));
    step_ = Step::Connect;
    socket_.write(req);
}

void SocksHandshake::onReadyRead()
{
    if (step_ == Step::Done)
        return;
    // Read only what the handshake needs: anything after it belongs to the relayed connection.
    auto need = [this](qsizetype n) {
        while (buffer_.size() < n && socket_.bytesAvailable() > 0)
            buffer_.append(socket_.read(n - buffer_.size()));
        return buffer_.size() >= n;
    };
    for (;;) {
        if (kind_ == 4) {
            if (!need(8))
                return;
            if (quint8(buffer_[1]) != 0x5a)
                return fail(QStringLiteral("The SOCKS 4 proxy refused the connection (code %1).").arg(quint8(buffer_[1])));
            step_ = Step::Done;
            disconnect(&socket_, nullptr, this, nullptr);
            emit succeeded();
            return;
        }
        switch (step_) {
        case Step::Greeting:
            if (!need(2))
                return;
            if (buffer_[0] != 5)
                return fail(QStringLiteral("The proxy is not a SOCKS 5 proxy."));
            if (buffer_[1] == 0) {
                buffer_.clear();
                sendConnect5();
                continue;
            }
            if (buffer_[1] == 2 && !user_.isEmpty()) {
                buffer_.clear();
                const QByteArray u = user_.toUtf8().left(255), p = password_.toUtf8().left(255);
                QByteArray req;
                req.append(char(1)).append(char(u.size())).append(u).append(char(p.size())).append(p);
                step_ = Step::Auth;
                socket_.write(req);
                continue;
            }
            return fail(QStringLiteral("The SOCKS 5 proxy accepts none of our login methods."));
        case Step::Auth:
            if (!need(2))
                return;
            if (buffer_[1] != 0)
                return fail(QStringLiteral("The SOCKS 5 proxy refused the user name or password."));
            buffer_.clear();
            sendConnect5();
            continue;
        case Step::Connect: {
            if (!need(5))
                return;
            if (buffer_[0] != 5 || buffer_[1] != 0)
                return fail(QStringLiteral("The SOCKS 5 proxy refused the connection (code %1).").arg(quint8(buffer_[1])));
            const int atyp = quint8(buffer_[3]);
            const qsizetype total = atyp == 1 ? 10 : atyp == 4 ? 22 : 7 + quint8(buffer_[4]);
            if (!need(total))
                return;
            step_ = Step::Done;
            disconnect(&socket_, nullptr, this, nullptr);
            emit succeeded();
            return;
        }
        case Step::Done:
            return;
        }
    }
}

}  // namespace harbel::tessaly
