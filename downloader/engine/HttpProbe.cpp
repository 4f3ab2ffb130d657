#include "downloader/engine/HttpProbe.h"

#include "downloader/engine/HttpText.h"

#include <QSignalBlocker>

namespace harbel {

namespace {

// Bytes the socket holds before it stops reading from the network.
constexpr qint64 kSocketBuffer = 1024 * 1024;

}  // namespace

HttpProbe::HttpProbe(QObject* parent) : QObject(parent)
{
    socket_.setReadBufferSize(kSocketBuffer);
    connect(&socket_, &QTcpSocket::connected, this, &HttpProbe::onConnected);
    connect(&socket_, &QTcpSocket::readyRead, this, &HttpProbe::onReadyRead);
    connect(&socket_, &QTcpSocket::disconnected, this, &HttpProbe::onDisconnected);
    connect(&socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        // A close is handled on its own.
        if (error != QAbstractSocket::RemoteHostClosedError)
            emit connectFailed(socket_.errorString());
    });
}

void HttpProbe::start(const QString& server, quint16 port, const QString& file, bool fromZero)
{
    abort();
    request_ = "GET /" + requestText(file) + " HTTP/1.1\r\n";
    request_ += "Host: " + requestText(server) + "\r\n";
    request_ += fromZero ? "Range: bytes=0-\r\n" : "Range: bytes=-\r\n";
    request_ += "User-Agent: DM\r\n";
    request_ += "Referer: " + requestText(server) + "\r\n";
    request_ += "Accept: *.*, */*\r\n";
    request_ += "\r\n";
    step_ = Step::Head;
    socket_.connectToHost(server, port);
}

void HttpProbe::abort()
{
    const QSignalBlocker blocker(&socket_);
    socket_.abort();
    step_ = Step::Idle;
    buffer_.clear();
}

void HttpProbe::onConnected()
{
    socket_.write(request_);
}

void HttpProbe::onReadyRead()
{
    if (socket_.state() != QAbstractSocket::ConnectedState)
        return;
    const QByteArray data = socket_.readAll();
    if (step_ == Step::Page) {
        emit pageArrived();
        scan(data);
        return;
    }
    if (step_ != Step::Head)
        return;
    buffer_ += data;
    qsizetype bodyStart = 0;
    const QByteArray head = headOf(buffer_, &bodyStart);
    if (head.isEmpty()) {
        if (buffer_.size() > kMaxHead) {
            abort();
            emit invalidReply();
        }
        return;
    }
    const QByteArray body = buffer_.mid(bodyStart);
    buffer_.clear();
    step_ = Step::Idle;
    emit replied(head, body);
}

void HttpProbe::onDisconnected()
{
    if (step_ == Step::Page) {
        if (socket_.bytesAvailable() > 0)
            scan(socket_.readAll());
        if (step_ == Step::Page) {
            step_ = Step::Idle;
            emit noLink();
        }
    } else if (step_ == Step::Head && !buffer_.isEmpty()) {
        step_ = Step::Idle;
        emit invalidReply();
    }
}

void HttpProbe::scanForLink(const QString& fileName, const QByteArray& body)
{
    fileName_ = fileName;
    step_ = Step::Page;
    buffer_.clear();
    scan(body);
}

void HttpProbe::scan(const QByteArray& data)
{
    buffer_ += data;
    if (const auto link = FindEmbeddedLink(QString::fromLatin1(buffer_), fileName_)) {
        abort();
        emit linkFound(*link);
        return;
    }
    if (buffer_.size() > kMaxScan) {
        abort();
        emit noLink();
    }
}

}  // namespace harbel
