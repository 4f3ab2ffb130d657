#include "ftpclient/app/TransferRun.h"

#include "ftpclient/app/ConsoleOutput.h"
#include "ftpclient/component/TransferQueue.h"

#include <QEventLoop>
#include <QTimer>

namespace harbel::tessaly {

namespace {

QString bytesText(double bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(qint64(bytes));
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KiB").arg(bytes / 1024, 0, 'f', 1);
    if (bytes < 1024.0 * 1024 * 1024)
        return QStringLiteral("%1 MiB").arg(bytes / (1024 * 1024), 0, 'f', 1);
    return QStringLiteral("%1 GiB").arg(bytes / (1024 * 1024 * 1024), 0, 'f', 2);
}

}  // namespace

TransferRun::TransferRun(SessionLogin login, int parallel, ConsoleOutput& out)
    : login_(std::move(login)), parallel_(parallel), out_(out)
{
}

TransferRun::~TransferRun() = default;

bool TransferRun::run()
{
    TransferQueue queue;
    queue_ = &queue;
    queue.setLogin(login_);
    queue.setParallel(parallel_);
    // Nothing is asked: the items say whether they replace or resume, and a certificate or host
    // key the session did not take is refused (the item fails with the reason).
    queue.setClashAnswer(FileClash::Overwrite);
    connect(&queue, &TransferQueue::certificateQuery, this, [](const CertificateInfo&, int& answer) { answer = certRefuse; });
    connect(&queue, &TransferQueue::itemChanged, this, &TransferRun::itemChanged);
    QTimer ticker;
    if (out_.showsProgress()) {
        ticker.setInterval(250);
        connect(&ticker, &QTimer::timeout, this, &TransferRun::showProgress);
        ticker.start();
    }
    QEventLoop loop;
    connect(&queue, &TransferQueue::finished, &loop, &QEventLoop::quit);
    queue.add(items_);
    if (!queue.isIdle())
        loop.exec();
    ticker.stop();
    if (!queue.isIdle()) {
        // Asked to quit: what still waits or runs ends here, counted as not moved (the command
        // says so once).
        disconnect(&queue, &TransferQueue::itemChanged, this, nullptr);
        for (const TransferItem& item : queue.items()) {
            if (!item.finished()) {
                queue.cancel(item.id);
                ++failures_;
            }
        }
    } else if (out_.showsProgress()) {
        showProgress();
    }
    out_.endProgress();
    queue_ = nullptr;
    return failures_ == 0;
}

void TransferRun::itemChanged(int id)
{
    const TransferItem item = queue_->item(id);
    const QString what = item.upload() ? QStringLiteral("%1 -> %2").arg(item.localPath, item.remotePath)
                                       : QStringLiteral("%1 -> %2").arg(item.remotePath, item.localPath);
    switch (item.state) {
    case TransferItem::State::Done:
        ++done_;
        bytesMoved_ += item.bytesDone;
        if (!out_.showsProgress())
            out_.info((item.upload() ? QStringLiteral("Sent ") : QStringLiteral("Received ")) + ConsoleOutput::printable(what)
                      + QStringLiteral(" (") + bytesText(double(item.bytesDone)) + u')');
        break;
    case TransferItem::State::Failed:
    case TransferItem::State::Skipped:
    case TransferItem::State::Cancelled:
        ++failures_;
        out_.error(QStringLiteral("Failed: %1: %2").arg(ConsoleOutput::printable(item.upload() ? item.localPath : item.remotePath),
                                                       item.reason));
        break;
    case TransferItem::State::Waiting:
    case TransferItem::State::Running:
        break;
    }
}

void TransferRun::showProgress()
{
    if (!queue_)
        return;
    QString running;
    for (const TransferItem& item : queue_->items()) {
        if (item.state == TransferItem::State::Running) {
            running = (item.upload() ? item.localPath : item.remotePath).section(u'/', -1);
            break;
        }
    }
    const qint64 total = queue_->totalBytes();
    QString text = QStringLiteral("%1/%2 files  %3").arg(done_).arg(items_.size()).arg(bytesText(double(queue_->bytesMoved())));
    if (total > 0)
        text += QStringLiteral(" / %1  %2%").arg(bytesText(double(total))).arg(queue_->bytesMoved() * 100 / total);
    const double rate = queue_->rate();
    text += QStringLiteral("  %1/s").arg(bytesText(rate));
    if (rate > 0 && total > queue_->bytesMoved()) {
        const qint64 left = qint64(double(total - queue_->bytesMoved()) / rate + 0.5);
        text += QStringLiteral("  left %1:%2").arg(left / 60).arg(left % 60, 2, 10, QLatin1Char('0'));
    }
    if (!running.isEmpty())
        text += QStringLiteral("  ") + ConsoleOutput::printable(running);
    out_.progress(text);
}

}  // namespace harbel::tessaly
