#include "ftpclient/component/ControlChannel.h"

namespace harbel::tessaly {

ControlChannel::ControlChannel(QObject* parent) : QObject(parent)
{
    connect(&connector_, &net::Connector::ready, this, [this] {
        ready_ = true;
        emit opened();  // what came with the proxy's reply follows
    });
    connect(&connector_, &net::Connector::readyRead, this, &ControlChannel::onReadyRead);
    connect(&connector_, &net::Connector::closed, this, &ControlChannel::dropped);
    connect(&connector_, &net::Connector::failed, this, &ControlChannel::onFailed);
    connect(&connector_, &net::Connector::encrypted, this, [this] {
        securing_ = false;
        emit tlsReady();
    });
    connect(&connector_, &net::Connector::certificateQuestion, this, &ControlChannel::certificateQuestion);
}

ControlChannel::~ControlChannel()
{
    connector_.disconnect(this);
}

void ControlChannel::open(const QString& host, quint16 port, const net::Proxy& proxy, bool tls)
{
    close();
    parser_.reset();
    owed_ = 1;  // the greeting
    net::Route route;
    route.host = host;
    route.port = port;
    route.proxy = proxy;
    route.explicitTls = tls;
    route.certificates = net::CertificatePolicy::Ask;
    connector_.open(route);
}

void ControlChannel::close()
{
    // A connection that stands is ended in order; one still on its way, or with lines that have
    // not gone out, at once.
    if (ready_ && connector_.isReady())
        connector_.socket().disconnectFromHost();
    connector_.abort();
    dropped();
}

void ControlChannel::dropped()
{
    tlsRequested_ = false;
    securing_ = false;
    owed_ = 0;
    if (!ready_)
        return;
    ready_ = false;
    emit closed();
}

bool ControlChannel::isOpen() const
{
    return ready_ && connector_.socket().state() == QAbstractSocket::ConnectedState;
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
    connector_.socket().write(clean.toUtf8() + "\r\n");
}

void ControlChannel::onReadyRead()
{
    if (!ready_)
        return;
    const QList<FtpReply> replies = parser_.feed(connector_.socket().readAll());
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

void ControlChannel::onFailed(const net::Failure& failure)
{
    if (!ready_) {
        emit openFailed(failure.description);
        return;
    }
    if (securing_) {
        securing_ = false;
        emit tlsFailed(failure.description);
    }
    dropped();
}

void ControlChannel::startTls()
{
    tlsRequested_ = true;
}

void ControlChannel::beginTls(bool moreReplies)
{
    tlsRequested_ = false;
    // After its 234 the server waits for the client's first TLS message: text from it now is no
    // TLS, and a connection that goes on in clear text is not what was asked for.
    if (moreReplies || parser_.hasPartial() || connector_.socket().bytesAvailable() > 0) {
        emit tlsFailed(QStringLiteral("the server sent text after agreeing to AUTH TLS instead of starting TLS"));
        connector_.abort();
        dropped();
        return;
    }
    securing_ = true;
    connector_.startTls();
}

}  // namespace harbel::tessaly
