#include "tests/support/ScriptedHttpServer.h"

#include "tests/support/TestEnvironment.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

namespace harbel::test {

QByteArray ScriptedHttpServer::Request::range() const
{
    for (const QByteArray& line : text.split('\n'))
        if (line.startsWith("Range:"))
            return line.mid(6).trimmed();
    return {};
}

ScriptedHttpServer::ScriptedHttpServer()
{
    server_.listen(QHostAddress::LocalHost, 0);
    port_ = server_.serverPort();
    connect(&server_, &QTcpServer::newConnection, this, &ScriptedHttpServer::accept);
}

ScriptedHttpServer::~ScriptedHttpServer() = default;

QString ScriptedHttpServer::url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1/%2").arg(port()).arg(path);
}

bool ScriptedHttpServer::waitForRequests(int count, int timeoutMs) const
{
    return waitUntil([&] { return requests_.size() >= count; }, timeoutMs);
}

void ScriptedHttpServer::accept()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        socket->setParent(this);
        const int id = ++connections_;
        if (!firstConnection.isValid())
            firstConnection.start();
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, id, buffer] {
            *buffer += socket->readAll();
            qsizetype end;
            while ((end = buffer->indexOf("\r\n\r\n")) >= 0) {
                Request r{buffer->left(end + 4), id};
                buffer->remove(0, end + 4);
                requests_.append(r);
                answer(*socket, r);
            }
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

QByteArray ScriptedHttpServer::defaultReply(const Request& request) const
{
    const qint64 size = content.size();
    const QByteArray range = request.range();
    QByteArray head;
    QByteArray body;
    if (!range.isEmpty() && !ignoreRange) {
        QByteArray spec = range.mid(range.indexOf('=') + 1);
        const qsizetype dash = spec.indexOf('-');
        const QByteArray a = spec.left(dash), b = spec.mid(dash + 1);
        qint64 first = 0, last = size - 1;
        bool ok = dash >= 0 && !(a.isEmpty() && b.isEmpty());
        if (ok && a.isEmpty()) {
            first = std::max<qint64>(0, size - b.toLongLong());
        } else if (ok) {
            first = a.toLongLong();
            if (!b.isEmpty())
                last = std::min(size - 1, b.toLongLong());
        }
        if (!ok || first >= size || last < first) {
            body = "<html>416</html>";
            head = "HTTP/1.1 416 Requested Range Not Satisfiable\r\nContent-Type: text/html\r\nContent-Length: "
                + QByteArray::number(body.size()) + "\r\nContent-Range: bytes */" + QByteArray::number(size) + "\r\n";
        } else {
            body = content.mid(first, last - first + 1);
            head = "HTTP/1.1 206 Partial Content\r\nContent-Type: application/octet-stream\r\nContent-Length: "
                + QByteArray::number(body.size()) + "\r\nContent-Range: bytes " + QByteArray::number(first) + '-'
                + QByteArray::number(last) + '/' + QByteArray::number(size) + "\r\n";
        }
    } else {
        body = content;
        head = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: "
            + QByteArray::number(size) + "\r\n";
    }
    return head + extraHead + "\r\n" + body;
}

void ScriptedHttpServer::answer(QTcpSocket& socket, const Request& request)
{
    if (stall)
        return;
    if (!scripted_.empty()) {
        const QByteArray reply = scripted_.front();
        scripted_.pop_front();
        const qsizetype end = reply.indexOf("\r\n\r\n");
        send(socket, end >= 0 ? reply.left(end + 4) : reply, end >= 0 ? reply.mid(end + 4) : QByteArray(), true);
        return;
    }
    if (handler && handler(request, socket))
        return;
    const QByteArray reply = defaultReply(request);
    const qsizetype end = reply.indexOf("\r\n\r\n");
    const bool drop = dropAfterBytes >= 0 && request.range() == dropRange;
    send(socket, reply.left(end + 4), reply.mid(end + 4), !keepAlive, drop);
}

void ScriptedHttpServer::send(QTcpSocket& socket, const QByteArray& head, const QByteArray& body, bool close, bool drop)
{
    QByteArray payload = body;
    if (drop) {
        payload = body.left(dropAfterBytes);
        dropAfterBytes = -1;
    }
    QList<QByteArray> pieces;
    if (splitHeadEvery > 0) {
        for (qsizetype i = 0; i < head.size(); i += splitHeadEvery)
            pieces.append(head.mid(i, splitHeadEvery));
    } else {
        pieces.append(head);
    }
    pieces.last() += payload;
    QPointer<QTcpSocket> s(&socket);
    const bool shut = close || drop;
    // One piece per turn of the event loop, so the client sees them as separate arrivals.
    auto step = std::make_shared<std::function<void(int)>>();
    *step = [s, pieces, shut, step](int i) {
        if (s) {
            s->write(pieces[i]);
            s->flush();
            if (i + 1 < pieces.size()) {
                QTimer::singleShot(15, s, [step, i] { (*step)(i + 1); });
                return;
            }
            if (shut)
                s->disconnectFromHost();
        }
        // The step holds itself while pieces remain; let it go once the reply is out.
        QTimer::singleShot(0, [step] { *step = nullptr; });
    };
    (*step)(0);
}

}  // namespace harbel::test
