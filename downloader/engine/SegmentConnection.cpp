#include "downloader/engine/SegmentConnection.h"

#include "downloader/engine/HttpText.h"


namespace harbel {

namespace {

// The block read from a transfer socket at a time.
constexpr qint64 kReadBlock = 64 * 1024;
// The most a transfer socket reads ahead of the file.
constexpr qint64 kSocketBuffer = kReadBlock;

// One buffer for every connection: everything runs on one thread, and a block is written out
// before the next is read.
QByteArray& readBuffer()
{
    static QByteArray buffer(kReadBlock, Qt::Uninitialized);
    return buffer;
}

}  // namespace

SegmentConnection::SegmentConnection(int k, Listener& listener, QObject* parent)
    : QObject(parent), k_(k), listener_(listener)
{
    connect(&connector_, &HttpConnector::ready, this, [this] { listener_.transferConnected(k_); });
    connect(&connector_, &HttpConnector::readyRead, this, &SegmentConnection::onReadyRead);
    connect(&connector_, &HttpConnector::closed, this, &SegmentConnection::onDisconnected);
    connect(&connector_, &HttpConnector::failed, this, &SegmentConnection::onFailed);
    // What the socket holds for us is bounded: data waits in the system's buffer until the file has
    // taken what came before.
    connector_.socket().setReadBufferSize(kSocketBuffer);
}

void SegmentConnection::onFailed(const HttpConnector::Failure& failure)
{
    resetReply();
    if (!listener_.transfersRunning())
        return;
    if (failure.final)
        listener_.transferRefused(k_, failure.status);
    else
        listener_.transferError(k_, failure.error, failure.description);
}

void SegmentConnection::resetReply()
{
    headPending_ = false;
    head_.clear();
    expectedBody_ = -1;
    bodyBytes_ = 0;
    keepsAlive_ = false;
}

void SegmentConnection::close()
{
    connector_.abort();
    resetReply();
}

void SegmentConnection::connectTo(const HttpRoute& route)
{
    close();
    connector_.open(route);
}

void SegmentConnection::send(const Request& r)
{
    resetReply();
    requestedStart_ = r.first;
    headPending_ = true;
    const HttpRoute& route = connector_.route();
    QByteArray request;
    request += "GET " + route.requestTarget(r.file) + " HTTP/1.1\r\n";
    request += "Host: " + route.hostField() + "\r\n";
    request += "Range: bytes=" + QByteArray::number(r.first) + '-' + QByteArray::number(r.last) + "\r\n";
    request += "User-Agent: Vantor Segment " + QByteArray::number(k_) + "\r\n";
    request += "Accept:  */*\r\n";
    // The proxy's credentials go to the proxy only: on a plain request through it, never through a
    // tunnel to the server, never without a proxy.
    request += route.authorization(r.file);
    request += route.proxyHeaders();
    request += "\r\n";
    connector_.socket().write(request);
}

bool SegmentConnection::canTakeRequest(bool connectedIdle) const
{
    return isConnected() && connector_.socket().bytesAvailable() == 0
           && (connectedIdle || (keepsAlive_ && !headPending_ && expectedBody_ >= 0 && bodyBytes_ == expectedBody_));
}

bool SegmentConnection::replyUnfinished() const
{
    return (headPending_ && !head_.isEmpty()) || (!headPending_ && expectedBody_ >= 0 && bodyBytes_ < expectedBody_);
}

void SegmentConnection::onReadyRead()
{
    QTcpSocket& socket = connector_.socket();
    QByteArray& buffer = readBuffer();
    qint64 n;
    // The job may close this connection, or send its next request on it, while the loop runs.
    while (listener_.transfersRunning() && socket.isOpen() && (n = socket.read(buffer.data(), kReadBlock)) > 0)
        consume(buffer.constData(), n);
    if (listener_.transfersRunning() && isConnected() && !headPending_ && expectedBody_ >= 0
        && bodyBytes_ >= expectedBody_)
        listener_.transferReplyEnded(k_);
}

void SegmentConnection::onDisconnected()
{
    const QByteArray rest = connector_.socket().readAll();
    consume(rest.constData(), rest.size());
    if (!listener_.transfersRunning())
        return;
    if (connector_.isSecure() && replyUnfinished()) {
        // A secure connection cut short is not taken for an end: the bytes that came are kept (each
        // record was checked) and the job stops, its partial file ready for a resume.
        resetReply();
        listener_.transferRefused(k_, HttpConnector::truncatedStatus());
        return;
    }
    listener_.transferClosed(k_);
}

void SegmentConnection::consume(const char* data, qint64 size)
{
    if (size <= 0 || !listener_.transfersRunning())
        return;
    if (!headPending_) {
        bodyBytes_ += size;
        listener_.writeBody(k_, data, size);
        return;
    }
    // The head is recognised only at the start of a reply, and may come in several pieces.
    head_.append(data, size);
    qsizetype bodyStart = 0;
    const QByteArray head = headOf(head_, &bodyStart);
    if (head.isEmpty()) {
        if (head_.size() > kMaxHead)
            emit invalidReply(k_);
        return;
    }
    const QByteArray rest = head_.mid(bodyStart);
    head_.clear();
    headPending_ = false;
    if (!listener_.acceptTransferHead(k_, head))
        return;
    const auto length = headerField(head, "Content-Length");
    expectedBody_ = length ? parseLength(*length).value_or(-1) : -1;
    const auto connection = headerField(head, "Connection");
    keepsAlive_ = head.startsWith("HTTP/1.1 ") && !(connection && connection->toLower().contains("close"));
    if (!rest.isEmpty()) {
        bodyBytes_ += rest.size();
        listener_.writeBody(k_, rest.constData(), rest.size());
    }
}

}  // namespace harbel
