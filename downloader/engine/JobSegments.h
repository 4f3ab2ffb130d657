#pragma once

#include "downloader/engine/SegmentConnection.h"
#include "downloader/engine/SegmentPlan.h"

#include <QObject>

#include <array>
#include <memory>

namespace harbel {

class DownloadJob;
class JobHttp;

// The ranged connections of an HTTP download job, one per part of its plan: each asks for what its
// part is missing and writes the reply's bytes at their place in the job's file. A connection that
// finishes its part takes over another, and a server that ignores ranges gets one connection for
// the whole file. It is a part of its job's HTTP side and works on the plan that side keeps.
class JobSegments final : public QObject, private SegmentConnection::Listener {
    Q_OBJECT
public:
    JobSegments(DownloadJob& job, JobHttp& http, SegmentPlan& plan);
    ~JobSegments() override;

    // A finished connection takes over half of another's range only when that half is at least
    // this long; missing ranges of a resumed file are not split below it either.
    static constexpr qint64 kMinTakeOver = 1024 * 1024;

    void startTransfers();
    void connectTransfer(int k);
    void closeConnections();
    // Closes every connection and forgets how many closed without data.
    void reset();

private:
    void fallBackToOneConnection();
    SegmentConnection& transfer(int k);
    void reconnectTransfer(int k);
    // Part k has all of its range: the job completes, or its connection takes over another part.
    // connectedIdle: the connection has just been made and carries no request yet.
    void segmentFinished(int k, bool connectedIdle = false);
    bool takeOverRange(int k, bool connectedIdle);
    // SegmentConnection::Listener.
    void transferConnected(int k) override;
    bool acceptTransferHead(int k, const QByteArray& head) override;
    void writeBody(int k, const char* data, qint64 size) override;
    void transferReplyEnded(int k) override;
    void transferClosed(int k) override;
    void transferError(int k, QAbstractSocket::SocketError error, const QString& description) override;
    void transferRefused(int k, const QString& status) override;
    bool transfersRunning() const override;

    DownloadJob& job_;
    JobHttp& http_;
    SegmentPlan& plan_;
    std::array<std::unique_ptr<SegmentConnection>, SegmentPlan::kMaxSegments> connections_;
};

}  // namespace harbel
