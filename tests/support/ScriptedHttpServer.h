#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTcpServer>

#include <deque>
#include <functional>

class QTcpSocket;

namespace harbel::test {

// A loopback HTTP server for tests. By default it serves `content` at any path, answering Range
// requests the way nginx does ("bytes=-" is refused with 416). Fault flags make it misbehave, and
// scripted replies (raw bytes) take the place of the next answers. Every request head is recorded
// exactly as received.
class ScriptedHttpServer final : public QObject {
    Q_OBJECT
public:
    struct Request {
        QByteArray text;  // the head with its final CR LF CR LF
        int connection = 0;
        QByteArray range() const;  // the value of the Range line, empty when none
    };

    ScriptedHttpServer();
    ~ScriptedHttpServer() override;

    quint16 port() const { return port_; }
    // Refuses new connections from now on (the port stays reserved for nobody).
    void stopListening() { server_.close(); }
    QString url(const QString& path) const;

    QByteArray content;
    // Answer 200 with the whole file even when a Range is asked.
    bool ignoreRange = false;
    // Send each head in pieces of this many bytes, one piece per event-loop turn (0: in one piece).
    int splitHeadEvery = 0;
    // Close the connection after this many body bytes of the first reply to a request whose Range
    // value is dropRange (then the fault is spent).
    QByteArray dropRange;
    qint64 dropAfterBytes = -1;
    // Read requests but never answer them.
    bool stall = false;
    // Keep the connection open after a reply.
    bool keepAlive = false;
    // Extra head lines added to every generated reply (each ending in CR LF).
    QByteArray extraHead;

    // The next requests get these raw replies, in order, and the connection is closed after each.
    void script(const QByteArray& reply) { scripted_.push_back(reply); }
    // A handler that answers a request itself (called after the scripted replies run out).
    std::function<bool(const Request&, QTcpSocket&)> handler;

    const QList<Request>& requests() const { return requests_; }
    bool waitForRequests(int count, int timeoutMs = 5000) const;
    int connections() const { return connections_; }
    // Started by the first connection: time-outs measured from it leave out a client's start-up.
    QElapsedTimer firstConnection;

    // The reply the server makes for a request when nothing is scripted.
    QByteArray defaultReply(const Request& request) const;

private:
    void accept();
    void answer(QTcpSocket& socket, const Request& request);
    void send(QTcpSocket& socket, const QByteArray& head, const QByteArray& body, bool close, bool drop = false);

    QTcpServer server_;
    std::deque<QByteArray> scripted_;
    QList<Request> requests_;
    int connections_ = 0;
    quint16 port_ = 0;
};

}  // namespace harbel::test
