#include "downloader/engine/SegmentConnection.h"

#include "downloader/engine/HttpText.h"

#include <QSignalBlocker>

namespace harbel {

namespace {

// Bytes a transfer socket holds before it stops reading from the network.
constexpr qint64 kSocketBuffer = 1024 * 1024;
// The block read from a transfer socket at a time.
constexpr qint64 kReadBlock = 512 * 1024;

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
    socket_.setReadBufferSize(kSocketBuffer);
    connect(&socket_, &QTcpSocket::connected, this, [this] { listener_.transferConnected(k_); });
    connect(&socket_, &QTcpSocket::readyRead, this, &SegmentConnection::onReadyRead);
    connect(&socket_, &QTcpSocket::disconnected, this, &SegmentConnection::onDisconnected);
    connect(&socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError)
            return;  // handled as a close
        const QString description = socket_.errorString();
        close();
        listener_.transferError(k_, error, description);
    });
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
    const QSignalBlocker blocker(&socket_);
    socket_.abort();
    resetReply();
}

void SegmentConnection::connectTo(const QString& server, quint16 port)
{
    close();
    socket_.connectToHost(server, port);
}

void SegmentConnection::send(const Request& r)
{
    resetReply();
    requestedStart_ = r.first;
    headPending_ = true;
    QByteArray request;
    request += "GET /" + requestText(r.file) + " HTTP/1.1\r\n";
    request += "Host: " + requestText(r.server) + "\r\n";
    request += "Range: bytes=" + QByteArray::number(r.first) + '-' + QByteArray::number(r.last) + "\r\n";
    request += "User-Agent: Vantor Segment " + QByteArray::number(k_) + "\r\n";
    request += "Accept:  */*\r\n";
    if (!r.proxyCredentials.isEmpty())
        request += "Proxy-Authorization: Basic " + Encode2Base64(r.proxyCredentials).toLatin1() + "\r\n";
    request += "\r\n";
    socket_.write(request);
}

bool SegmentConnection::canTakeRequest(bool connectedIdle) const
{
    return isConnected() && socket_.bytesAvailable() == 0
           && (connectedIdle || (keepsAlive_ && !headPending_ && expectedBody_ >= 0 && bodyBytes_ == expectedBody_));
}

void SegmentConnection::onReadyRead()
{
    QByteArray& buffer = readBuffer();
    qint64 n;
    // The job may close this connection, or send its next request on it, while the loop runs.
    while (listener_.transfersRunning() && socket_.isOpen() && (n = socket_.read(buffer.data(), kReadBlock)) > 0)
        consume(buffer.constData(), n);
    if (listener_.transfersRunning() && isConnected() && !headPending_ && expectedBody_ >= 0
        && bodyBytes_ >= expectedBody_)
        listener_.transferReplyEnded(k_);
}

void SegmentConnection::onDisconnected()
{
    const QByteArray rest = socket_.readAll();
    consume(rest.constData(), rest.size());
    if (listener_.transfersRunning())
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
