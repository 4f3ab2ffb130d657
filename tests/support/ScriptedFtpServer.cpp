#include "tests/support/ScriptedFtpServer.h"

#include <QHostAddress>
#include <QTimer>

#include <memory>

#include <sys/socket.h>

namespace harbel::test {

ScriptedFtpServer::ScriptedFtpServer()
{
    connect(&server_, &QTcpServer::newConnection, this, &ScriptedFtpServer::onNewConnection);
    connect(&data_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* s = data_.nextPendingConnection()) {
            ++dataConnections_;
            dataClient_ = s;
            if (!pendingVerb_.isEmpty())
                sendPayload(pendingVerb_);
        }
    });
}

bool ScriptedFtpServer::listen()
{
    return server_.listen(QHostAddress::LocalHost, 0);
}

void ScriptedFtpServer::onNewConnection()
{
    while (QTcpSocket* s = server_.nextPendingConnection()) {
        if (!firstConnection.isValid())
            firstConnection.start();
        if (client_ && client_->state() == QAbstractSocket::ConnectedState && replaceClient_) {
            client_->abort();
            client_->deleteLater();
        } else if (client_ && client_->state() == QAbstractSocket::ConnectedState) {
            s->abort();
            s->deleteLater();
            continue;
        }
        client_ = s;
        buffer_.clear();
        connect(s, &QTcpSocket::readyRead, this, &ScriptedFtpServer::onReadyRead);
        reply(greeting_);
    }
}

void ScriptedFtpServer::reply(Fragments fragments, std::function<void()> then)
{
    if (fragments.isEmpty()) {
        if (then)
            then();
        return;
    }
    const QByteArray first = fragments.takeFirst();
    if (client_) {
        client_->write(first);
        client_->flush();
    }
    QTimer::singleShot(3, this, [this, rest = std::move(fragments), then = std::move(then)]() mutable {
        reply(std::move(rest), std::move(then));
    });
}

void ScriptedFtpServer::onReadyRead()
{
    buffer_.append(client_->readAll());
    for (;;) {
        const qsizetype nl = buffer_.indexOf("\r\n");
        if (nl < 0)
            return;
        const QByteArray line = buffer_.left(nl);
        buffer_.remove(0, nl + 2);
        handle(line);
    }
}

void ScriptedFtpServer::sendPayload(const QByteArray verb)
{
    if (!dataClient_)
        return;  // sent once the client connects
    pendingVerb_.clear();
    QPointer<QTcpSocket> d = dataClient_;
    dataClient_ = nullptr;
    QByteArray payload = payloads_.value(verb).mid(restOffset_);
    restOffset_ = 0;
    QByteArray last = "226 Transfer complete\r\n";
    for (Cut& cut : cuts_[verb]) {
        if (cut.times <= 0)
            continue;
        --cut.times;
        payload = payload.left(cut.bytes);
        last = cut.reply;
        break;
    }
    d->write(payload);
    if (holdData)
        return;
    d->disconnectFromHost();
    QTimer::singleShot(5, this, [this, last] {
        if (!last.isEmpty())
            reply({last});
        else if (client_)
            client_->disconnectFromHost();
    });
}

void ScriptedFtpServer::handle(const QByteArray& line)
{
    received_.append(QString::fromUtf8(line));
    const qsizetype space = line.indexOf(' ');
    const QByteArray verb = (space < 0 ? line : line.left(space)).toUpper();
    if (scripts_.contains(verb)) {
        const QList<Fragments>& list = scripts_[verb];
        const int n = used_[verb]++;
        reply(list.at(qMin(n, int(list.size()) - 1)));
        return;
    }
    if (payloads_.contains(verb)) {
        pendingVerb_ = verb;
        const qint64 whole = payloads_[verb].size();
        const QByteArray size = startReplySize ? " (" + QByteArray::number(startReplySize(restOffset_, whole)) + " bytes)"
                                : startNamesSize_ ? " (" + QByteArray::number(whole) + " bytes)"
                                                  : "";
        reply({"150 Opening data connection" + size + "\r\n"}, [this, verb] { sendPayload(verb); });
        return;
    }
    if (verb == "REST") {
        restOffset_ = line.mid(space + 1).trimmed().toLongLong();
        return reply({"350 Restarting at " + QByteArray::number(restOffset_) + ".\r\n"});
    }
    if (verb == "USER")
        return reply({"331 Password required\r\n"});
    if (verb == "PASS")
        return reply({"230 Logged in\r\n"});
    if (verb == "FEAT")
        return reply({feat_});
    if (verb == "TYPE" || verb == "OPTS" || verb == "NOOP")
        return reply({"200 OK\r\n"});
    if (verb == "PWD")
        return reply({"257 \"/\" is the current folder\r\n"});
    if (verb == "CWD" || verb == "CDUP")
        return reply({"250 OK\r\n"});
    if (verb == "ABOR")
        return reply({"225 No transfer to abort\r\n"});
    if (verb == "PASV") {
        if (!data_.isListening())
            data_.listen(QHostAddress::LocalHost, 0);
        const quint16 p = data_.serverPort();
        return reply({pasvBefore_ + pasvHost_ + "," + QByteArray::number(p >> 8) + "," + QByteArray::number(p & 0xff)
                      + pasvAfter_ + "\r\n"});
    }
    if (verb == "QUIT") {
        return reply({"221 Bye\r\n"}, [c = client_] {
            if (c)
                c->disconnectFromHost();
        });
    }
    reply({"502 Not implemented\r\n"});
}

// --- SocksRelay -----------------------------------------------------------------------------

bool SocksRelay::listen()
{
    connect(&server_, &QTcpServer::newConnection, this, &SocksRelay::onNewConnection);
    return server_.listen(QHostAddress::LocalHost, 0);
}

namespace {

// Ends the sending direction of `socket` once everything written to it has gone out, and keeps its
// receiving direction open: a TCP half-close.
void shutWritingWhenFlushed(QTcpSocket* socket)
{
    auto shut = [socket] {
        if (socket->bytesToWrite() == 0 && socket->state() == QAbstractSocket::ConnectedState)
            ::shutdown(int(socket->socketDescriptor()), SHUT_WR);
    };
    if (socket->bytesToWrite() == 0)
        shut();
    else
        QObject::connect(socket, &QTcpSocket::bytesWritten, socket, shut);
}

}  // namespace

void SocksRelay::onNewConnection()
{
    while (QTcpSocket* client = server_.nextPendingConnection()) {
        struct Session {
            QByteArray in;
            int step = 0;  // SOCKS 5: 0 greeting, 1 login, 2 request; 3 relaying
            Request request;
            bool clientEnded = false;
            bool targetEnded = false;
        };
        auto session = std::make_shared<Session>();
        auto* target = new QTcpSocket(this);
        client->setParent(this);
        // Both sockets live until both sides have ended. A side that ends first gets what is still on
        // its way delivered to the other side, whose sending direction is then shut; the other
        // direction keeps flowing. Closing a socket outright while its peer may still send (a TLS
        // session ticket, a close notification) answers the peer with a reset, and a reset throws
        // away whatever the peer had received but not yet read.
        auto endWhenBothEnded = [client, target, session] {
            if (session->clientEnded && session->targetEnded) {
                client->deleteLater();
                target->deleteLater();
            }
        };
        auto forward = [](QTcpSocket* from, QTcpSocket* to) {
            const QByteArray bytes = from->readAll();
            if (!bytes.isEmpty() && to->state() == QAbstractSocket::ConnectedState)
                to->write(bytes);
        };
        auto startRelay = [this, client, target, session, forward, endWhenBothEnded](const QString& host, quint16 port) {
            session->request.host = host;
            session->request.port = port;
            requests_.append(session->request);
            connect(target, &QTcpSocket::connected, this, [client, target, session] {
                // A client that has gone gets no answer; what it sent still goes to the target.
                if (!session->clientEnded) {
                    if (session->request.version == 4)
                        client->write(QByteArray("\x00\x5a\x00\x00\x00\x00\x00\x00", 8));
                    else
                        client->write(QByteArray("\x05\x00\x00\x01\x7f\x00\x00\x01\x00\x00", 10));
                }
                session->step = 3;
                if (!session->in.isEmpty())
                    target->write(session->in);
                session->in.clear();
                if (session->clientEnded)
                    shutWritingWhenFlushed(target);
            });
            connect(target, &QTcpSocket::readyRead, this, [client, target, forward] { forward(target, client); });
            connect(target, &QTcpSocket::disconnected, this, [client, target, session, forward, endWhenBothEnded] {
                forward(target, client);
                session->targetEnded = true;
                if (!session->clientEnded)
                    shutWritingWhenFlushed(client);
                endWhenBothEnded();
            });
            // A target that cannot be reached ends the client's connection.
            connect(target, &QTcpSocket::errorOccurred, this, [client, target, session, endWhenBothEnded] {
                if (target->state() != QAbstractSocket::UnconnectedState || session->targetEnded || session->step == 3)
                    return;
                session->targetEnded = true;
                if (!session->clientEnded)
                    client->disconnectFromHost();
                endWhenBothEnded();
            });
            target->connectToHost(host, port);
        };
        connect(client, &QTcpSocket::disconnected, this, [client, target, session, forward, endWhenBothEnded] {
            if (session->step == 3)
                forward(client, target);
            session->clientEnded = true;
            if (target->state() == QAbstractSocket::ConnectedState)
                shutWritingWhenFlushed(target);
            else if (target->state() == QAbstractSocket::UnconnectedState)
                session->targetEnded = true;  // never asked for, or already gone
            endWhenBothEnded();
        });
        connect(client, &QTcpSocket::readyRead, this, [this, client, target, session, startRelay] {
            session->in.append(client->readAll());
            QByteArray& in = session->in;
            for (;;) {
                if (session->step == 3) {
                    if (!in.isEmpty())
                        target->write(in);
                    in.clear();
                    return;
                }
                if (in.isEmpty())
                    return;
                if (in[0] == 4 && session->request.version == 0) {
                    // VN CD PORT(2) IP(4) USER NUL [HOST NUL]
                    const qsizetype userEnd = in.indexOf('\0', 8);
                    if (in.size() < 9 || userEnd < 0)
                        return;
                    session->request.version = 4;
                    const quint16 port = quint16((quint8(in[2]) << 8) | quint8(in[3]));
                    QString host = QStringLiteral("%1.%2.%3.%4").arg(quint8(in[4])).arg(quint8(in[5])).arg(quint8(in[6])).arg(quint8(in[7]));
                    session->request.user = QString::fromUtf8(in.mid(8, userEnd - 8));
                    qsizetype used = userEnd + 1;
                    if (host.startsWith(QLatin1String("0.0.0."))) {
                        const qsizetype hostEnd = in.indexOf('\0', used);
                        if (hostEnd < 0)
                            return;
                        host = QString::fromUtf8(in.mid(used, hostEnd - used));
                        used = hostEnd + 1;
                    }
                    in.remove(0, used);
                    session->step = 4;  // waiting for the target
                    startRelay(host, port);
                    return;
                }
                if (session->step == 0) {
                    if (in.size() < 2 || in.size() < 2 + quint8(in[1]))
                        return;
                    session->request.version = 5;
                    const QByteArray methods = in.mid(2, quint8(in[1]));
                    in.remove(0, 2 + methods.size());
                    if (requireLogin_) {
                        if (!methods.contains('\x02')) {
                            client->write(QByteArray("\x05\xff", 2));
                            client->disconnectFromHost();
                            return;
                        }
                        client->write(QByteArray("\x05\x02", 2));
                        session->step = 1;
                    } else {
                        client->write(QByteArray("\x05\x00", 2));
                        session->step = 2;
                    }
                    continue;
                }
                if (session->step == 1) {
                    if (in.size() < 2)
                        return;
                    const int ulen = quint8(in[1]);
                    if (in.size() < 3 + ulen || in.size() < 3 + ulen + quint8(in[2 + ulen]))
                        return;
                    const int plen = quint8(in[2 + ulen]);
                    session->request.user = QString::fromUtf8(in.mid(2, ulen));
                    session->request.password = QString::fromUtf8(in.mid(3 + ulen, plen));
                    in.remove(0, 3 + ulen + plen);
                    client->write(QByteArray("\x01\x00", 2));
                    session->step = 2;
                    continue;
                }
                if (session->step == 2) {
                    if (in.size() < 5)
                        return;
                    const int atyp = quint8(in[3]);
                    QString host;
                    qsizetype used = 0;
                    if (atyp == 1) {
                        if (in.size() < 10)
                            return;
                        host = QStringLiteral("%1.%2.%3.%4").arg(quint8(in[4])).arg(quint8(in[5])).arg(quint8(in[6])).arg(quint8(in[7]));
                        used = 8;
                    } else if (atyp == 3) {
                        const int len = quint8(in[4]);
                        if (in.size() < 7 + len)
                            return;
                        host = QString::fromUtf8(in.mid(5, len));
                        used = 5 + len;
                    } else {
                        client->disconnectFromHost();
                        return;
                    }
                    const quint16 port = quint16((quint8(in[used]) << 8) | quint8(in[used + 1]));
                    in.remove(0, used + 2);
                    session->step = 4;  // waiting for the target
                    startRelay(host, port);
                    return;
                }
                return;
            }
        });
    }
}

}  // namespace harbel::test
