#pragma once

#include "ftpclient/component/FileClash.h"
#include "ftpclient/component/ServerCertificate.h"
#include "ftpclient/component/SessionLogin.h"
#include "ftpclient/component/TransferItem.h"
#include "ftpclient/component/TransferRate.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <QList>
#include <QObject>

#include <atomic>
#include <memory>

class QThread;
class QTimer;

namespace harbel::tessaly {

class TransferWorker;

// Files and folder trees waiting to move, moved by up to ten connections of their own (each an
// FtpComponent on a thread of its own, logged in with the session's SessionLogin), so that the
// session's own connection stays free. A failed item does not stop the rest; a lost connection is
// reopened for the next item. Every method and every signal belongs to the thread that owns the
// queue; the questions of the connections (fileExists, certificateQuery) are put there too while
// the connection asking waits for the answer.
class TransferQueue final : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxParallel = 10;

    explicit TransferQueue(QObject* parent = nullptr);
    ~TransferQueue() override;

    void setLogin(const SessionLogin& login);
    const SessionLogin& login() const { return login_; }
    // Connections at most (1..kMaxParallel; 2 by default). Fewer take effect as items end.
    void setParallel(int connections);
    // Items a connection is given ahead: the one it runs and the next.
    static constexpr int kAhead = 2;
    int parallel() const { return parallel_; }
    // The answer to a clash when nothing is connected to fileExists (Skip by default).
    void setClashAnswer(FileClash::Answer answer) { clashAnswer_ = answer; }

    // Adds items at the end (their ids are given here) and starts them as connections are free.
    int add(TransferItem item);
    QList<int> add(const QList<TransferItem>& items);
    // Ends a waiting or running item (Cancelled); finished ones stay as they are.
    void cancel(int id);
    // Puts a failed, skipped or cancelled item back to waiting; it resumes what it had moved.
    void retry(int id);
    // Takes an item out of the list (a running one is cancelled first).
    void remove(int id);
    // Takes every finished item out of the list.
    void clearFinished();

    QList<TransferItem> items() const;
    // A snapshot of one item (id 0 when there is none).
    TransferItem item(int id) const;
    // The bytes of every file item not cancelled nor skipped, and how many of them have moved.
    qint64 totalBytes() const;
    qint64 bytesMoved() const;
    // Bytes per second of the whole queue over the last seconds.
    double rate() const;
    // Nothing waiting or running.
    bool isIdle() const;
    int count(TransferItem::State state) const;

signals:
    // Delivered on the owner's thread while the connection waits: answer a FileClash::Answer.
    void fileExists(const harbel::tessaly::FileClash& clash, int& answer);
    // Answer a CertificateAnswer; certRefuse when unanswered.
    void certificateQuery(const harbel::tessaly::CertificateInfo& certificate, int& answer);
    void itemAdded(int id);
    void itemChanged(int id);
    // A folder item gave way to the file items it was expanded into (itemAdded follows for each).
    void itemRemoved(int id);
    // Bytes moved (at most a few times a second).
    void progress();
    // Nothing waiting or running any more.
    void finished();
    void logLine(int connection, const QString& text);

private:
    struct Connection {
        TransferWorker* worker = nullptr;
        QThread* thread = nullptr;
        QList<int> items;  // given to it, the first one running
    };

    int indexOf(int id) const;
    void schedule();
    void start(Connection& connection, TransferItem& item);
    void onStarted(int id);
    Connection* connectionOf(int id);
    void onProgress(int id, qint64 done, qint64 size);
    void onDone(int id, int state, const QString& reason, qint64 done);
    void onExpanded(int id, const QList<TransferItem>& children);
    void freeConnection(int id);
    void checkFinished();
    int askClash(const FileClash& clash);
    int askCertificate(const CertificateInfo& info);
    qint64 now() const { return clock_.elapsed(); }

    SessionLogin login_;
    int parallel_ = 2;
    FileClash::Answer clashAnswer_ = FileClash::Skip;
    QList<TransferItem> items_;
    QList<Connection> connections_;
    // Items given to a connection and not yet ended.
    QSet<int> given_;
    // Connections beyond the number wanted, ending their threads.
    QList<Connection> retired_;
    int nextId_ = 1;
    int nextConnection_ = 1;
    QElapsedTimer clock_;
    TransferRate rate_;
    mutable QHash<int, TransferRate> itemRates_;
    QTimer* closeIdle_;
    bool wasIdle_ = true;
    // Set when the queue goes away: questions still waiting are answered with a refusal.
    std::shared_ptr<std::atomic_bool> closing_;
};

}  // namespace harbel::tessaly
