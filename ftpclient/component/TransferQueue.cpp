#include "ftpclient/component/TransferQueue.h"

#include "ftpclient/component/CertificateTrust.h"
#include "ftpclient/component/TransferWorker.h"

#include <QMetaMethod>
#include <QSemaphore>
#include <QThread>
#include <QTimer>

namespace harbel::tessaly {

namespace {

// The connections are closed this long after the queue has run empty, so that items added right
// after the last one ended still find them open.
constexpr int kCloseWhenEmptyMs = 2000;

}  // namespace

TransferQueue::TransferQueue(QObject* parent)
    : QObject(parent), closeIdle_(new QTimer(this)), closing_(std::make_shared<std::atomic_bool>(false))
{
    qRegisterMetaType<QList<harbel::tessaly::TransferItem>>();
    clock_.start();
    closeIdle_->setSingleShot(true);
    closeIdle_->setInterval(kCloseWhenEmptyMs);
    connect(closeIdle_, &QTimer::timeout, this, [this] {
        for (const Connection& c : std::as_const(connections_))
            QMetaObject::invokeMethod(c.worker, &TransferWorker::closeConnection, Qt::QueuedConnection);
    });
}

TransferQueue::~TransferQueue()
{
    *closing_ = true;
    for (const Connection& c : std::as_const(connections_))
        QMetaObject::invokeMethod(c.worker, &TransferWorker::shutdown, Qt::QueuedConnection);
    for (const Connection& c : std::as_const(connections_) + retired_) {
        if (!c.thread->wait(15000)) {
            c.thread->quit();
            c.thread->wait();
        }
        delete c.worker;
        delete c.thread;
    }
}

void TransferQueue::setLogin(const SessionLogin& login)
{
    login_ = login;
}

void TransferQueue::setParallel(int connections)
{
    parallel_ = qBound(1, connections, kMaxParallel);
    schedule();
}

int TransferQueue::add(TransferItem item)
{
    return add(QList<TransferItem>{std::move(item)}).value(0);
}

QList<int> TransferQueue::add(const QList<TransferItem>& items)
{
    QList<int> ids;
    for (TransferItem item : items) {
        item.id = nextId_++;
        item.rate = 0;
        if (item.state == TransferItem::State::Running)
            item.state = TransferItem::State::Waiting;
        items_.append(item);
        ids.append(item.id);
        emit itemAdded(item.id);
    }
    schedule();
    return ids;
}

int TransferQueue::indexOf(int id) const
{
    for (qsizetype i = 0; i < items_.size(); ++i)
        if (items_[i].id == id)
            return int(i);
    return -1;
}

TransferItem TransferQueue::item(int id) const
{
    const int i = indexOf(id);
    if (i < 0)
        return {};
    TransferItem copy = items_[i];
    if (copy.state == TransferItem::State::Running)
        copy.rate = itemRates_.value(id).perSecond(now());
    return copy;
}

QList<TransferItem> TransferQueue::items() const
{
    QList<TransferItem> copy = items_;
    for (TransferItem& i : copy)
        if (i.state == TransferItem::State::Running)
            i.rate = itemRates_.value(i.id).perSecond(now());
    return copy;
}

qint64 TransferQueue::totalBytes() const
{
    qint64 total = 0;
    for (const TransferItem& i : items_)
        if (!i.folder && i.state != TransferItem::State::Cancelled && i.state != TransferItem::State::Skipped)
            total += qMax(i.size, i.bytesDone);
    return total;
}

qint64 TransferQueue::bytesMoved() const
{
    qint64 moved = 0;
    for (const TransferItem& i : items_)
        if (!i.folder && i.state != TransferItem::State::Cancelled && i.state != TransferItem::State::Skipped)
            moved += i.bytesDone;
    return moved;
}

double TransferQueue::rate() const
{
    return rate_.perSecond(now());
}

bool TransferQueue::isIdle() const
{
    for (const TransferItem& i : items_)
        if (!i.finished())
            return false;
    return true;
}

int TransferQueue::count(TransferItem::State state) const
{
    int n = 0;
    for (const TransferItem& i : items_)
        n += i.state == state;
    return n;
}

TransferQueue::Connection* TransferQueue::connectionOf(int id)
{
    for (Connection& c : connections_)
        if (c.items.contains(id))
            return &c;
    return nullptr;
}

void TransferQueue::cancel(int id)
{
    const int i = indexOf(id);
    if (i < 0 || items_[i].finished())
        return;
    if (Connection* c = connectionOf(id)) {
        TransferWorker* worker = c->worker;
        QMetaObject::invokeMethod(worker, [worker, id] { worker->cancel(id); }, Qt::QueuedConnection);
    }
    items_[i].state = TransferItem::State::Cancelled;
    items_[i].reason.clear();
    emit itemChanged(id);
    checkFinished();
}

void TransferQueue::retry(int id)
{
    const int i = indexOf(id);
    if (i < 0 || !items_[i].finished() || items_[i].state == TransferItem::State::Done || connectionOf(id))
        return;
    TransferItem& item = items_[i];
    // A skipped file is asked about again; anything else goes on from what it had moved.
    if (item.state == TransferItem::State::Skipped)
        item.resume = false;
    else if (item.bytesDone > 0)
        item.resume = true;
    // What the server holds now is asked anew: the listing said how it was before.
    if (item.upload())
        item.remoteListed = false;
    if (item.localPath.isEmpty() || item.remotePath.isEmpty())
        return;  // a name that was never to be transferred
    item.state = TransferItem::State::Waiting;
    item.reason.clear();
    emit itemChanged(id);
    schedule();
}

void TransferQueue::remove(int id)
{
    const int i = indexOf(id);
    if (i < 0)
        return;
    cancel(id);
    items_.removeAt(i);
    itemRates_.remove(id);
    emit itemRemoved(id);
    checkFinished();
}

void TransferQueue::clearFinished()
{
    QList<int> gone;
    for (const TransferItem& i : std::as_const(items_))
        if (i.finished() && !connectionOf(i.id))
            gone.append(i.id);
    for (int id : std::as_const(gone))
        remove(id);
}

void TransferQueue::schedule()
{
    // Connections beyond the number wanted go as soon as they are free.
    for (qsizetype n = connections_.size() - 1; n >= 0 && connections_.size() > parallel_; --n) {
        if (!connections_[n].items.isEmpty())
            continue;
        retired_.append(connections_.takeAt(n));
        QMetaObject::invokeMethod(retired_.last().worker, &TransferWorker::shutdown, Qt::QueuedConnection);
    }
    // Each connection first gets one item, up to the number wanted, then one more to follow it.
    for (int depth = 1; depth <= kAhead; ++depth) {
        for (qsizetype i = 0; i < items_.size(); ++i) {
            if (items_[i].state != TransferItem::State::Waiting || given_.contains(items_[i].id))
                continue;
            Connection* free = nullptr;
            for (Connection& c : connections_)
                if (c.items.size() < depth) {
                    free = &c;
                    break;
                }
            if (!free && connections_.size() < parallel_) {
                Connection c;
                c.thread = new QThread;
                c.worker = new TransferWorker(nextConnection_++, {[this](const FileClash& clash) { return askClash(clash); },
                                                                  [this](const CertificateInfo& info) { return askCertificate(info); }});
                c.worker->moveToThread(c.thread);
                connect(c.worker, &TransferWorker::started, this, &TransferQueue::onStarted);
                connect(c.worker, &TransferWorker::progress, this, &TransferQueue::onProgress);
                connect(c.worker, &TransferWorker::done, this, &TransferQueue::onDone);
                connect(c.worker, &TransferWorker::expanded, this, &TransferQueue::onExpanded);
                connect(c.worker, &TransferWorker::logLine, this, &TransferQueue::logLine);
                c.thread->setObjectName(QStringLiteral("transfer %1").arg(c.worker->number()));
                c.thread->start();
                connections_.append(c);
                free = &connections_.last();
            }
            if (!free)
                break;
            start(*free, items_[i]);
        }
    }
}

void TransferQueue::start(Connection& connection, TransferItem& item)
{
    closeIdle_->stop();
    wasIdle_ = false;
    connection.items.append(item.id);
    given_.insert(item.id);
    TransferWorker* worker = connection.worker;
    const TransferItem copy = item;
    const SessionLogin login = login_;
    QMetaObject::invokeMethod(worker, [worker, copy, login] { worker->enqueue(copy, login); }, Qt::QueuedConnection);
}

void TransferQueue::onStarted(int id)
{
    const int i = indexOf(id);
    if (i < 0 || items_[i].state != TransferItem::State::Waiting)
        return;
    items_[i].state = TransferItem::State::Running;
    items_[i].reason.clear();
    itemRates_[id].reset();
    itemRates_[id].add(0, now());
    rate_.add(0, now());
    emit itemChanged(id);
}

void TransferQueue::onProgress(int id, qint64 done, qint64 size)
{
    const int i = indexOf(id);
    if (i < 0)
        return;
    TransferItem& item = items_[i];
    const qint64 delta = done - item.bytesDone;
    item.bytesDone = done;
    if (size >= 0)
        item.size = size;
    if (delta > 0) {
        rate_.add(delta, now());
        itemRates_[id].add(delta, now());
    }
    emit itemChanged(id);
    emit progress();
}

void TransferQueue::freeConnection(int id)
{
    if (Connection* c = connectionOf(id))
        c->items.removeOne(id);
    given_.remove(id);
}

void TransferQueue::onDone(int id, int state, const QString& reason, qint64 done)
{
    freeConnection(id);
    const int i = indexOf(id);
    if (i >= 0) {
        TransferItem& item = items_[i];
        if (done > item.bytesDone)
            rate_.add(done - item.bytesDone, now());
        item.bytesDone = done;
        const auto ended = TransferItem::State(state);
        if (ended == TransferItem::State::Done && item.size < 0)
            item.size = done;
        // One the user cancelled stays cancelled, even if its last bytes got through.
        if (item.state != TransferItem::State::Cancelled) {
            item.state = ended;
            item.reason = reason;
        }
        itemRates_.remove(id);
        emit itemChanged(id);
        emit progress();
    }
    schedule();
    checkFinished();
}

void TransferQueue::onExpanded(int id, const QList<TransferItem>& children)
{
    freeConnection(id);
    const int i = indexOf(id);
    if (i >= 0 && items_[i].state == TransferItem::State::Running) {
        if (children.isEmpty()) {
            items_[i].state = TransferItem::State::Done;
            emit itemChanged(id);
        } else {
            items_.removeAt(i);
            itemRates_.remove(id);
            emit itemRemoved(id);
            for (qsizetype n = 0; n < children.size(); ++n) {
                TransferItem child = children[n];
                child.id = nextId_++;
                items_.insert(i + n, child);
                emit itemAdded(child.id);
            }
        }
    }
    schedule();
    checkFinished();
}

void TransferQueue::checkFinished()
{
    if (wasIdle_ || !isIdle())
        return;
    wasIdle_ = true;
    closeIdle_->start();
    emit finished();
}

namespace {

// Puts a question to the owner's thread and waits for the answer there; the fallback when the
// queue goes away meanwhile.
int askOwner(QObject* owner, const std::shared_ptr<std::atomic_bool>& closing, std::function<int()> question, int fallback)
{
    struct Pending {
        QSemaphore done;
        std::atomic_int answer{0};
    };
    if (*closing)
        return fallback;
    auto pending = std::make_shared<Pending>();
    pending->answer = fallback;
    QMetaObject::invokeMethod(owner, [pending, question = std::move(question)] {
        pending->answer = question();
        pending->done.release();
    }, Qt::QueuedConnection);
    while (!pending->done.tryAcquire(1, 50)) {
        if (*closing)
            return fallback;
    }
    return pending->answer;
}

}  // namespace

int TransferQueue::askClash(const FileClash& clash)
{
    return askOwner(this, closing_, [this, clash] {
        int answer = clashAnswer_;
        if (isSignalConnected(QMetaMethod::fromSignal(&TransferQueue::fileExists))) {
            answer = FileClash::Cancel;
            emit fileExists(clash, answer);
        }
        return answer;
    }, FileClash::Cancel);
}

int TransferQueue::askCertificate(const CertificateInfo& info)
{
    return askOwner(this, closing_, [this, info] {
        const auto same = [&info](const QString& fingerprint) { return info.fingerprint.compare(fingerprint, Qt::CaseInsensitive) == 0; };
        if (same(login_.acceptedFingerprint) || (login_.trust && same(login_.trust->fingerprintFor(info.host, info.port))))
            return int(certTrustOnce);
        int answer = certRefuse;
        emit certificateQuery(info, answer);
        if (answer == certTrustAlways && login_.trust)
            login_.trust->trustAlways(info.host, info.port, info.fingerprint);
        if (answer != certRefuse)
            login_.acceptedFingerprint = info.fingerprint;
        return answer;
    }, certRefuse);
}

}  // namespace harbel::tessaly
