#include "downloader/engine/JobSegments.h"

#include "common/prompts/Prompts.h"
#include "downloader/engine/DownloadJob.h"
#include "downloader/engine/DownloadText.h"
#include "downloader/engine/HttpText.h"

namespace harbel {

namespace {

// Connections in a row that the server closes before any data, before the job gives up.
constexpr int kMaxEmptyCloses = 5;

}  // namespace

JobSegments::JobSegments(DownloadJob& job, JobHttp& http, SegmentPlan& plan) : job_(job), http_(http), plan_(plan) {}

JobSegments::~JobSegments()
{
    closeConnections();
}

void JobSegments::reset()
{
    for (auto& c : connections_)
        if (c) {
            c->close();
            c->resetEmptyCloses();
        }
}

void JobSegments::startTransfers()
{
    for (int k = 0; k < plan_.count(); ++k)
        connectTransfer(k);
}

void JobSegments::fallBackToOneConnection()
{
    // The server sends the whole file whatever range is asked: one connection takes it from the start,
    // and the other segments stop before they write into a range that is not theirs.
    closeConnections();
    plan_ = SegmentPlan::split(job_.intContentLength, 1);
    job_.intSegCount = 0;
    job_.layOutSegments(1);
    job_.setResume(Progress::Resume::NotSupported);
    connectTransfer(0);
}

void JobSegments::closeConnections()
{
    for (auto& c : connections_)
        if (c)
            c->close();
}

SegmentConnection& JobSegments::transfer(int k)
{
    auto& c = connections_[k];
    if (!c) {
        SegmentConnection::Listener& self = *this;
        c = std::make_unique<SegmentConnection>(k, self);
        connect(c.get(), &SegmentConnection::invalidReply, this, [this] {
            DownloadJob::Batch batch(job_);
            job_.fail(lang("19008", "The server's reply is not a valid HTTP reply."));
        });
    }
    return *c;
}

void JobSegments::connectTransfer(int k)
{
    transfer(k).connectTo(http_.route());
}

void JobSegments::transferConnected(int k)
{
    DownloadJob::Batch batch(job_);
    job_.setBriefStatus(lang("11051", "Downloading..."));
    if (plan_.finished(k)) {
        // Nothing of this part is missing; the new connection may serve another part.
        segmentFinished(k, true);
        return;
    }
    transfer(k).send({job_.strFile, plan_.pos(k), plan_.end(k) - 1});
}

bool JobSegments::acceptTransferHead(int k, const QByteArray& head)
{
    DownloadJob::Batch batch(job_);
    job_.serverLog_ += QStringLiteral("\r\n") + QString::fromLatin1(head) + QStringLiteral("\r\n");
    const qint16 code = GetStatusCode(QString::fromLatin1(head));
    if (isChunked(head)) {
        job_.fail(lang("19001", "The server did not announce the size of the file, so it cannot be downloaded safely."));
        return false;
    }
    const auto length = headerField(head, "Content-Length");
    if (code == 206) {
        const auto range = headerField(head, "Content-Range");
        const auto r = range ? parseContentRange(*range) : std::nullopt;
        if (!r || r->first != transfer(k).requestedStart()) {
            job_.fail(lang("19002", "The server sent another part of the file than the one asked for; the download was stopped."));
            return false;
        }
        if (r->total >= 0 && r->total != job_.intContentLength) {
            job_.fail(lang("19003", "The file on the server has changed size; the download was stopped."));
            return false;
        }
        return true;
    }
    if (code == 200) {
        const auto size = length ? parseLength(*length) : std::nullopt;
        if (size && *size != job_.intContentLength) {
            job_.fail(lang("19003", "The file on the server has changed size; the download was stopped."));
            return false;
        }
        if (job_.intSegCount >= 2) {
            fallBackToOneConnection();
            return false;
        }
        if (transfer(k).requestedStart() != 0) {
            // The server ignored the range and sends the whole file: take it from its first byte.
            plan_ = SegmentPlan::split(job_.intContentLength, 1);
            job_.setResume(Progress::Resume::NotSupported);
        }
        return true;
    }
    const QString message = GetError(code);
    if (message != QLatin1String("SUCCESS"))
        job_.fail(message);
    else
        job_.fail(lang("19004", "The server did not send the file; its answer was:") + u' '
                  + QString::fromLatin1(statusLine(head)));
    return false;
}

void JobSegments::writeBody(int k, const char* data, qint64 size)
{
    DownloadJob::Batch batch(job_);
    // Bytes past the end of this part are not the file's: they are dropped.
    size = std::min(size, plan_.left(k));
    if (size > 0) {
        if (!job_.output_.write(plan_.pos(k), data, size)) {
            job_.fail(job_.output_.failure());
            return;
        }
        plan_.advance(k, size);
        transfer(k).resetEmptyCloses();
        job_.update(k);
    }
    if (plan_.finished(k))
        segmentFinished(k);
}

void JobSegments::segmentFinished(int k, bool connectedIdle)
{
    if (job_.isFileDownloaded()) {
        transfer(k).close();
        job_.progressTick();
        return;
    }
    if (!takeOverRange(k, connectedIdle))
        transfer(k).close();
}

bool JobSegments::takeOverRange(int k, bool connectedIdle)
{
    // A connection that has finished its range takes a range still waiting for one, or else the
    // second half of the largest remainder, so all connections stay busy to the end instead of the
    // slowest one finishing alone.
    if (job_.completed_ || job_.failed_ || job_.progress_.held || !plan_.takeNext(k, kMinTakeOver))
        return false;
    // A connection with no reply outstanding takes the next request itself.
    if (transfer(k).canTakeRequest(connectedIdle))
        transferConnected(k);
    else
        connectTransfer(k);
    return true;
}

void JobSegments::transferReplyEnded(int k)
{
    DownloadJob::Batch batch(job_);
    // A reply that has delivered all it announced but left this part short is asked again.
    if (!plan_.finished(k))
        reconnectTransfer(k);
}

void JobSegments::transferClosed(int k)
{
    DownloadJob::Batch batch(job_);
    if (job_.isFileDownloaded()) {
        transfer(k).close();
        job_.progressTick();
        return;
    }
    reconnectTransfer(k);
}

void JobSegments::reconnectTransfer(int k)
{
    SegmentConnection& c = transfer(k);
    if (c.countEmptyClose() >= kMaxEmptyCloses) {
        job_.fail(lang("19005", "The server keeps closing the connection without sending the file."));
        return;
    }
    c.connectTo(http_.route());
}

void JobSegments::transferError(int, QAbstractSocket::SocketError error, const QString& description)
{
    DownloadJob::Batch batch(job_);
    job_.publish();
    if (job_.attended)
        Prompts::instance().MsgBox(lang("11033", "Error was occurred.") + QStringLiteral("\r\n") + lang("11034", "")
                                       + QString::number(int(error)) + QStringLiteral("\r\n") + description,
                                   MsgButtons::OkOnly, MsgIcon::Exclamation, lang("11035", "Error"));
    job_.setStatus(lang("11033", "Error was occurred.") + u' ' + description);
    job_.emitNeedsUser();
}

void JobSegments::transferRefused(int, const QString& status)
{
    DownloadJob::Batch batch(job_);
    if (job_.completed_ || job_.failed_)
        return;
    // What came is on the disk and named by the control file: a resume fetches only the rest.
    job_.fail(status);
}

bool JobSegments::transfersRunning() const
{
    return !job_.completed_ && !job_.failed_;
}

}  // namespace harbel
