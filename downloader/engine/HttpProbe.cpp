#include "downloader/engine/HttpProbe.h"

#include "downloader/engine/HttpText.h"

namespace harbel {

HttpProbe::HttpProbe(QObject* parent) : QObject(parent)
{
    connect(&connector_, &HttpConnector::ready, this, &HttpProbe::onConnected);
    connect(&connector_, &HttpConnector::readyRead, this, &HttpProbe::onReadyRead);
    connect(&connector_, &HttpConnector::closed, this, &HttpProbe::onDisconnected);
    connect(&connector_, &HttpConnector::failed, this, [this](const HttpConnector::Failure& failure) {
        step_ = Step::Idle;
        buffer_.clear();
        emit connectFailed(failure.status, failure.final);
    });
}

void HttpProbe::start(const HttpRoute& route, const QString& file, bool fromZero)
{
    abort();
    request_ = "GET " + route.requestTarget(file) + " HTTP/1.1\r\n";
    request_ += "Host: " + route.hostField() + "\r\n";
    request_ += fromZero ? "Range: bytes=0-\r\n" : "Range: bytes=-\r\n";
    request_ += "User-Agent: DM\r\n";
    request_ += "Referer: " + requestText(route.server) + "\r\n";
    request_ += "Accept: *.*, */*\r\n";
    request_ += route.authorization(file);
    request_ += route.proxyHeaders();
    request_ += "\r\n";
    step_ = Step::Head;
    connector_.open(route);
}

void HttpProbe::abort()
{
    connector_.abort();
    step_ = Step::Idle;
    buffer_.clear();
}

void HttpProbe::onConnected()
{
    connector_.socket().write(request_);
}

void HttpProbe::onReadyRead()
{
    if (!connector_.isReady())
        return;
    const QByteArray data = connector_.socket().readAll();
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
        if (connector_.socket().bytesAvailable() > 0)
            scan(connector_.socket().readAll());
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
