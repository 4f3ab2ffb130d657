#pragma once

#include "downloader/engine/HttpConnector.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace harbel {

// One ranged HTTP connection of a download: it asks for a range, assembles the reply's head (which
// may come in pieces), hands the body on as it arrives, and knows whether the server keeps the
// connection open for the next request. The job decides what to ask for and where the bytes go.
// Closing it raises none of its events.
class SegmentConnection final : public QObject {
    Q_OBJECT
public:
    // The job's side: called for connection k on its socket's events.
    class Listener {
    public:
        virtual ~Listener() = default;
        // Connected and ready for a request.
        virtual void transferConnected(int k) = 0;
        // The head of a reply has arrived; false refuses the reply (the job has stopped or moved on).
        virtual bool acceptTransferHead(int k, const QByteArray& head) = 0;
        virtual void writeBody(int k, const char* data, qint64 size) = 0;
        // The reply has brought all the bytes it announced and the connection stays open.
        virtual void transferReplyEnded(int k) = 0;
        virtual void transferClosed(int k) = 0;
        virtual void transferError(int k, QAbstractSocket::SocketError error, const QString& description) = 0;
        // The connection failed in a way no retry mends (a refused certificate, a broken or cut
        // secure connection, a proxy that refuses); status says why.
        virtual void transferRefused(int k, const QString& status) = 0;
        // False once the job has completed or failed: nothing more is read.
        virtual bool transfersRunning() const = 0;
    };

    struct Request {
        QString file;
        qint64 first = 0;
        qint64 last = 0;
    };

    SegmentConnection(int k, Listener& listener, QObject* parent = nullptr);

    // Drops any connection and reply and connects anew along the route (to the server, or through
    // the proxy; over TLS for an https:// address).
    void connectTo(const HttpRoute& route);
    void close();
    // Asks for a range on the connection: the request names the route's server.
    void send(const Request& request);
    bool isConnected() const { return connector_.isReady(); }
    // The connection carries no reply and the server keeps it open: the next request can go on
    // it. connectedIdle: it has just been made and no request has gone yet.
    bool canTakeRequest(bool connectedIdle) const;
    qint64 requestedStart() const { return requestedStart_; }
    // Body bytes of the current reply so far.
    qint64 bodyBytes() const { return bodyBytes_; }
    // Counts a close that brought no data and returns how many came in a row.
    int countEmptyClose() { return bodyBytes_ == 0 ? ++emptyCloses_ : emptyCloses_; }
    void resetEmptyCloses() { emptyCloses_ = 0; }

    // A response head longer than this is not a head: the reply is refused rather than buffered.
    static constexpr qsizetype kMaxHead = 64 * 1024;

signals:
    // The server's reply is not an HTTP reply (an endless head).
    void invalidReply(int k);

private:
    void onReadyRead();
    void onDisconnected();
    void onFailed(const HttpConnector::Failure& failure);
    void consume(const char* data, qint64 size);
    void resetReply();
    // A reply has begun and not all of it has come.
    bool replyUnfinished() const;

    const int k_;
    Listener& listener_;
    HttpConnector connector_;
    bool headPending_ = false;
    QByteArray head_;
    qint64 requestedStart_ = 0;
    qint64 bodyBytes_ = 0;
    qint64 expectedBody_ = -1;
    int emptyCloses_ = 0;
    // The server keeps the connection open after this reply (HTTP/1.1 without "Connection: close").
    bool keepsAlive_ = false;
};

}  // namespace harbel
