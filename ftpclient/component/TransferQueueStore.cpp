#include "ftpclient/component/TransferQueueStore.h"

#include "common/platform/AppFolder.h"
#include "common/platform/PrivateFile.h"
#include "ftpclient/component/TransferQueue.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

namespace harbel::tessaly {

namespace {

// Writes come at most this often: the first change after a quiet spell is written at once (once
// the event that made it is over), those that follow it within this time together after it.
constexpr int kWriteDelayMs = 400;

QJsonObject itemObject(const TransferItem& i)
{
    QJsonObject o;
    o.insert(QStringLiteral("upload"), i.upload());
    o.insert(QStringLiteral("local"), i.localPath);
    o.insert(QStringLiteral("remote"), i.remotePath);
    if (i.folder)
        o.insert(QStringLiteral("folder"), true);
    o.insert(QStringLiteral("size"), double(i.size));
    o.insert(QStringLiteral("done"), double(i.bytesDone));
    if (i.state == TransferItem::State::Failed) {
        o.insert(QStringLiteral("failed"), true);
        o.insert(QStringLiteral("reason"), i.reason);
    }
    if (i.remoteListed) {
        o.insert(QStringLiteral("remoteSize"), double(i.remoteSize));
        if (i.remoteTime.isValid())
            o.insert(QStringLiteral("remoteTime"), i.remoteTime.toUTC().toString(Qt::ISODate));
    }
    return o;
}

TransferItem itemOf(const QJsonObject& o)
{
    TransferItem i;
    i.direction = o.value(QStringLiteral("upload")).toBool() ? TransferItem::Direction::Upload : TransferItem::Direction::Download;
    i.localPath = o.value(QStringLiteral("local")).toString();
    i.remotePath = o.value(QStringLiteral("remote")).toString();
    i.folder = o.value(QStringLiteral("folder")).toBool();
    i.size = qint64(o.value(QStringLiteral("size")).toDouble(-1));
    i.bytesDone = qint64(o.value(QStringLiteral("done")).toDouble());
    if (o.value(QStringLiteral("failed")).toBool()) {
        i.state = TransferItem::State::Failed;
        i.reason = o.value(QStringLiteral("reason")).toString();
    }
    if (o.contains(QStringLiteral("remoteSize"))) {
        i.remoteListed = true;
        i.remoteSize = qint64(o.value(QStringLiteral("remoteSize")).toDouble(-1));
        i.remoteTime = QDateTime::fromString(o.value(QStringLiteral("remoteTime")).toString(), Qt::ISODate);
    }
    // What was begun goes on from where it stopped.
    i.resume = true;
    return i;
}

}  // namespace

TransferQueueStore::Site TransferQueueStore::Site::of(const SessionLogin& login)
{
    return Site{login.host, login.port, login.user, login.tls, login.passive, login.sftp};
}

bool TransferQueueStore::Site::operator==(const Site& o) const
{
    return host.compare(o.host, Qt::CaseInsensitive) == 0 && port == o.port && user == o.user && tls == o.tls && sftp == o.sftp;
}

TransferQueueStore::TransferQueueStore(QString path, QObject* parent) : QObject(parent), path_(std::move(path)), due_(new QTimer(this))
{
    due_->setSingleShot(true);
    connect(due_, &QTimer::timeout, this, &TransferQueueStore::flush);
    QFile f(path_);
    if (f.open(QIODevice::ReadOnly))
        kept_ = decode(f.readAll());
}

TransferQueueStore::~TransferQueueStore()
{
    if (due_->isActive())
        flush();
}

QString TransferQueueStore::defaultPath()
{
    return AppFolder::file(QStringLiteral("TransferQueue.json"));
}

void TransferQueueStore::track(TransferQueue* queue)
{
    if (queue_)
        queue_->disconnect(this);
    queue_ = queue;
    if (!queue)
        return;
    connect(queue, &TransferQueue::itemAdded, this, &TransferQueueStore::changed);
    connect(queue, &TransferQueue::itemChanged, this, &TransferQueueStore::changed);
    connect(queue, &TransferQueue::itemRemoved, this, &TransferQueueStore::changed);
    connect(queue, &TransferQueue::finished, this, &TransferQueueStore::flush);
}

void TransferQueueStore::changed()
{
    if (due_->isActive())
        return;
    const qint64 since = written_.isValid() ? written_.elapsed() : kWriteDelayMs;
    due_->start(int(qMax<qint64>(0, kWriteDelayMs - since)));
}

QList<TransferItem> TransferQueueStore::take(const SessionLogin& login)
{
    const Site site = Site::of(login);
    QList<TransferItem> items;
    for (qsizetype n = kept_.size() - 1; n >= 0; --n) {
        if (kept_[n].site == site)
            items = kept_.takeAt(n).items + items;
    }
    if (!items.isEmpty())
        changed();
    return items;
}

bool TransferQueueStore::flush()
{
    due_->stop();
    written_.start();
    QList<Saved> entries = kept_;
    if (queue_) {
        Saved mine{Site::of(queue_->login()), {}};
        for (const TransferItem& i : queue_->items())
            if (i.unfinished())
                mine.items.append(i);
        if (!mine.items.isEmpty())
            entries.append(mine);
    }
    if (entries.isEmpty()) {
        QFile f(path_);
        return !f.exists() || f.remove();
    }
    // Private and atomic, and never through a link planted in its place.
    return PrivateFile::write(path_, encode(entries)) == PrivateFile::Result::Written;
}

QByteArray TransferQueueStore::encode(const QList<Saved>& entries)
{
    QJsonArray sites;
    for (const Saved& s : entries) {
        QJsonObject o;
        o.insert(QStringLiteral("host"), s.site.host);
        o.insert(QStringLiteral("port"), int(s.site.port));
        o.insert(QStringLiteral("user"), s.site.user);
        o.insert(QStringLiteral("tls"), s.site.tls);
        o.insert(QStringLiteral("passive"), s.site.passive);
        o.insert(QStringLiteral("protocol"), s.site.sftp ? QStringLiteral("sftp") : QStringLiteral("ftp"));
        QJsonArray items;
        for (const TransferItem& i : s.items)
            items.append(itemObject(i));
        o.insert(QStringLiteral("items"), items);
        sites.append(o);
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("sites"), sites}}).toJson(QJsonDocument::Compact);
}

QList<TransferQueueStore::Saved> TransferQueueStore::decode(const QByteArray& bytes)
{
    QList<Saved> entries;
    const QJsonArray sites = QJsonDocument::fromJson(bytes).object().value(QStringLiteral("sites")).toArray();
    for (const QJsonValue& v : sites) {
        const QJsonObject o = v.toObject();
        Saved s;
        s.site.host = o.value(QStringLiteral("host")).toString();
        s.site.port = quint16(o.value(QStringLiteral("port")).toInt(21));
        s.site.user = o.value(QStringLiteral("user")).toString();
        s.site.tls = o.value(QStringLiteral("tls")).toBool();
        s.site.passive = o.value(QStringLiteral("passive")).toBool(true);
        s.site.sftp = o.value(QStringLiteral("protocol")).toString() == QLatin1String("sftp");
        for (const QJsonValue& i : o.value(QStringLiteral("items")).toArray()) {
            TransferItem item = itemOf(i.toObject());
            if (!item.localPath.isEmpty() && !item.remotePath.isEmpty())
                s.items.append(item);
        }
        if (!s.site.host.isEmpty() && !s.items.isEmpty())
            entries.append(s);
    }
    return entries;
}

}  // namespace harbel::tessaly
