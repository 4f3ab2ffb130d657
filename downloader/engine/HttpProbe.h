#pragma once

#include "downloader/engine/HttpConnector.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace harbel {

// The first request of an HTTP download: it asks for the file to learn its size and whether the
// server serves ranges. It reports the reply's head once it has arrived whole (in as many pieces as
// the server sends it), and, when asked to, searches a page that came instead of the file for a
// link to the file. Closing it raises none of its events.
class HttpProbe final : public QObject {
    Q_OBJECT
public:
    explicit HttpProbe(QObject* parent = nullptr);

    // Connects along the route (the server, or the proxy) and asks for file: the whole of it when
    // fromZero, else with the range "bytes=-" that servers answer with the file's size.
    void start(const HttpRoute& route, const QString& file, bool fromZero);
    void abort();
    // Goes on reading the reply as a page, searching it for a link that ends in fileName; body is
    // what came with the head.
    void scanForLink(const QString& fileName, const QByteArray& body);

    // A head longer than this is not a head: the reply is refused rather than buffered.
    static constexpr qsizetype kMaxHead = 64 * 1024;
    // How much of a page is searched for a link.
    static constexpr qsizetype kMaxScan = 1024 * 1024;

signals:
    // The whole head (without its blank line) and the bytes after it.
    void replied(const QByteArray& head, const QByteArray& body);
    // More of a searched page came.
    void pageArrived();
    void linkFound(const QString& link);
    // The page ended, or grew too long, without a link.
    void noLink();
    // The server sent something that is not an HTTP reply, or closed the connection part-way
    // through its head.
    void invalidReply();
    // The connection could not be made or broke; status says why. final: retrying cannot help (a
    // refused certificate, a broken secure connection, a proxy that refuses).
    void connectFailed(const QString& status, bool final);

private:
    void onConnected();
    void onReadyRead();
    void onDisconnected();
    void scan(const QByteArray& data);

    enum class Step { Idle, Head, Page };

    HttpConnector connector_;
    Step step_ = Step::Idle;
    QByteArray request_;
    QByteArray buffer_;
    QString fileName_;
};

}  // namespace harbel
