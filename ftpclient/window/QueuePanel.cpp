#include "ftpclient/window/QueuePanel.h"

#include "ftpclient/component/TransferQueue.h"

#include <QLocale>

namespace harbel::tessaly {

namespace {

QString stateText(const TransferItem& item)
{
    switch (item.state) {
    case TransferItem::State::Waiting:
        return QStringLiteral("Waiting");
    case TransferItem::State::Running:
        return item.folder ? QStringLiteral("Listing") : QStringLiteral("Running");
    case TransferItem::State::Done:
        return QStringLiteral("Done");
    case TransferItem::State::Failed:
        return QStringLiteral("Failed: ") + item.reason;
    case TransferItem::State::Skipped:
        return item.reason.isEmpty() ? QStringLiteral("Skipped") : QStringLiteral("Skipped: ") + item.reason;
    case TransferItem::State::Cancelled:
        return QStringLiteral("Cancelled");
    }
    return {};
}

}  // namespace

QueuePanel::QueuePanel(TransferQueue& queue, QObject* parent) : Form(QStringLiteral("frmQueue"), parent), queue_(queue)
{
    lstQueue.setColumns({{QStringLiteral("Direction"), 70, Qt::AlignLeft},
                         {QStringLiteral("Local"), 220, Qt::AlignLeft},
                         {QStringLiteral("Remote"), 220, Qt::AlignLeft},
                         {QStringLiteral("Size"), 80, Qt::AlignRight},
                         {QStringLiteral("Progress"), 70, Qt::AlignRight},
                         {QStringLiteral("Rate"), 90, Qt::AlignRight},
                         {QStringLiteral("Time Left"), 70, Qt::AlignRight},
                         {QStringLiteral("State"), 180, Qt::AlignLeft}});
    cmdQueueCancel.setCaption(QStringLiteral("Cancel"));
    cmdQueueRetry.setCaption(QStringLiteral("Retry"));
    cmdQueueRemove.setCaption(QStringLiteral("Remove"));
    cmdQueueClear.setCaption(QStringLiteral("Clear Finished"));
    tmrQueue.setInterval(250);
    tmrQueue.setHandler([this] { tmrQueue_Timer(); });
    tmrQueue.setEnabled(false);
    connect(&queue_, &TransferQueue::itemAdded, this, [this] { reshaped_ = true; tmrQueue.setEnabled(true); });
    connect(&queue_, &TransferQueue::itemRemoved, this, [this] { reshaped_ = true; tmrQueue.setEnabled(true); });
    connect(&queue_, &TransferQueue::itemChanged, this, [this](int id) {
        dirty_.insert(id);
        tmrQueue.setEnabled(true);
    });
    lstQueue_SelectionChanged();
}

QString QueuePanel::sizeText(qint64 bytes)
{
    return bytes < 0 ? QString() : QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

QString QueuePanel::timeLeft(qint64 bytesLeft, double rate)
{
    if (bytesLeft < 0 || rate < 1)
        return {};
    const qint64 s = qint64(double(bytesLeft) / rate + 0.5);
    if (s >= 3600)
        return QStringLiteral("%1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

QStringList QueuePanel::cells(const TransferItem& item)
{
    QStringList c(ColumnCount);
    c[ColDirection] = item.upload() ? QStringLiteral("Upload") : QStringLiteral("Download");
    c[ColLocal] = item.localPath + (item.folder ? QStringLiteral("/") : QString());
    c[ColRemote] = item.remotePath + (item.folder ? QStringLiteral("/") : QString());
    c[ColSize] = item.folder ? QString() : sizeText(item.size);
    if (!item.folder && item.size > 0)
        c[ColProgress] = QStringLiteral("%1%").arg(qBound(qint64(0), item.bytesDone * 100 / item.size, qint64(100)));
    else if (item.state == TransferItem::State::Done)
        c[ColProgress] = QStringLiteral("100%");
    if (item.state == TransferItem::State::Running && !item.folder) {
        c[ColRate] = sizeText(qint64(item.rate)) + QStringLiteral("/s");
        c[ColLeft] = timeLeft(item.size >= 0 ? item.size - item.bytesDone : -1, item.rate);
    }
    c[ColState] = stateText(item);
    return c;
}

QList<int> QueuePanel::selectedIds() const
{
    QList<int> ids;
    for (const ListRow* row : lstQueue.selectedRows())
        ids.append(row->Tag().toInt());
    return ids;
}

void QueuePanel::rebuildRows()
{
    // Rows are only ever appended by the list: when the queue's order is not the rows' order with
    // rows added at the end, the list is made anew (once, not once per row).
    const QList<TransferItem> items = queue_.items();
    const QList<int> chosen = selectedIds();
    const QSet<int> selected(chosen.cbegin(), chosen.cend());
    bool appendOnly = items.size() >= lstQueue.count();
    for (int i = 0; appendOnly && i < lstQueue.count(); ++i)
        appendOnly = lstQueue.at(i)->Tag().toInt() == items[i].id;
    if (!appendOnly) {
        lstQueue.Clear();
        rows_.clear();
    }
    for (qsizetype i = lstQueue.count(); i < items.size(); ++i) {
        const TransferItem& item = items[i];
        ListRow* row = lstQueue.Add(QString());
        row->setTag(item.id);
        const QStringList c = cells(item);
        for (int n = 0; n < c.size(); ++n)
            row->setCell(n, c[n]);
        row->setSelected(selected.contains(item.id));
        rows_.insert(item.id, row);
        dirty_.remove(item.id);
    }
}

void QueuePanel::tmrQueue_Timer()
{
    if (std::exchange(reshaped_, false))
        rebuildRows();
    // The running rows change their rate and time left without news from the queue.
    for (const TransferItem& item : queue_.items())
        if (item.state == TransferItem::State::Running)
            dirty_.insert(item.id);
    for (int id : std::as_const(dirty_)) {
        ListRow* row = rows_.value(id);
        const TransferItem item = queue_.item(id);
        if (!row || item.id == 0)
            continue;
        const QStringList c = cells(item);
        for (int n = 0; n < c.size(); ++n)
            row->setCell(n, c[n]);
    }
    dirty_.clear();
    updateTotals();
    lstQueue_SelectionChanged();
    if (queue_.isIdle())
        tmrQueue.setEnabled(false);
    emit updated();
}

void QueuePanel::updateTotals()
{
    const QList<TransferItem> items = queue_.items();
    int files = 0, finished = 0, failed = 0;
    for (const TransferItem& i : items) {
        if (i.folder && !i.finished())
            continue;
        ++files;
        finished += i.finished();
        failed += i.state == TransferItem::State::Failed;
    }
    if (items.isEmpty()) {
        summary_.clear();
        lblQueue.setCaption(QStringLiteral("The queue is empty."));
        return;
    }
    const qint64 total = queue_.totalBytes(), moved = queue_.bytesMoved();
    const double rate = queue_.rate();
    QString text = QStringLiteral("Queue: %1 of %2 files, %3 of %4").arg(finished).arg(files).arg(sizeText(moved), sizeText(total));
    if (!queue_.isIdle()) {
        text += QStringLiteral(", %1/s").arg(sizeText(qint64(rate)));
        if (const QString left = timeLeft(total - moved, rate); !left.isEmpty())
            text += QStringLiteral(", %1 left").arg(left);
    }
    if (failed)
        text += QStringLiteral(", %1 failed").arg(failed);
    summary_ = text;
    lblQueue.setCaption(text);
}

void QueuePanel::lstQueue_SelectionChanged()
{
    bool unfinished = false, again = false, any = false;
    for (int id : selectedIds()) {
        const TransferItem item = queue_.item(id);
        any = any || item.id != 0;
        unfinished = unfinished || (item.id && !item.finished());
        again = again || (item.id && item.finished() && item.state != TransferItem::State::Done);
    }
    cmdQueueCancel.setEnabled(unfinished);
    cmdQueueRetry.setEnabled(again);
    cmdQueueRemove.setEnabled(any);
    cmdQueueClear.setEnabled(queue_.count(TransferItem::State::Done) + queue_.count(TransferItem::State::Failed)
                                 + queue_.count(TransferItem::State::Skipped) + queue_.count(TransferItem::State::Cancelled)
                             > 0);
}

void QueuePanel::cmdQueueCancel_Click()
{
    for (int id : selectedIds())
        queue_.cancel(id);
    tmrQueue_Timer();
}

void QueuePanel::cmdQueueRetry_Click()
{
    for (int id : selectedIds())
        queue_.retry(id);
    tmrQueue_Timer();
}

void QueuePanel::cmdQueueRemove_Click()
{
    for (int id : selectedIds())
        queue_.remove(id);
    tmrQueue_Timer();
}

void QueuePanel::cmdQueueClear_Click()
{
    queue_.clearFinished();
    tmrQueue_Timer();
}

}  // namespace harbel::tessaly
