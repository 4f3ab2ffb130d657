#pragma once

#include "ftpclient/component/FileClash.h"
#include "ftpclient/component/Listing.h"
#include "ftpclient/component/ServerCertificate.h"
#include "ftpclient/component/SessionLogin.h"
#include "ftpclient/component/TransferItem.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>

#include <functional>

class QTimer;

namespace harbel::tessaly {

class RemoteSession;

// One transfer connection of the queue: an FtpComponent (or, for SFTP, an SftpComponent) of its own, living on the worker's own
// thread, that logs in as the session did and moves one item at a time. The queue (on its owner's
// thread) calls run, cancel, closeConnection and shutdown through queued calls; everything else
// happens on the worker's thread and reaches the queue through the signals. The connection stays
// open for the next item, is reopened when it was lost, and is closed when idle for a while.
class TransferWorker final : public QObject {
    Q_OBJECT
public:
    // Questions put to the owner; they return the answer and block the worker until it comes.
    struct Questions {
        std::function<int(const FileClash&)> clash;
        std::function<int(const CertificateInfo&)> certificate;
    };

    TransferWorker(int number, Questions questions);
    ~TransferWorker() override;
    int number() const { return number_; }

    // Worker thread: moves the item after those given before it (started when it begins; a folder
    // is expanded into file items: expanded, not done). The queue gives each connection its next
    // item while the current one runs, so that no item waits for the owner's thread to hand it out.
    void enqueue(const TransferItem& item, const SessionLogin& login);
    // Worker thread: ends the item if it is the one running, or drops it if it waits (done,
    // cancelled).
    void cancel(int id);
    // Worker thread: logs out (when no item runs).
    void closeConnection();
    // Worker thread: ends what runs, logs out and ends the thread.
    void shutdown();

    // Seconds without an item before the connection is closed.
    static constexpr int kIdleSeconds = 15;

signals:
    void started(int id);
    void progress(int id, qint64 bytesDone, qint64 size);
    void done(int id, int state, const QString& reason, qint64 bytesDone);
    void expanded(int id, const QList<harbel::tessaly::TransferItem>& items);
    void logLine(int connection, const QString& text);

private:
    void run(const TransferItem& item, const SessionLogin& login);
    void connectAs(const SessionLogin& login);
    void move(const TransferItem& item);
    // The connection of the login's kind, made (and its events connected) when there is none yet.
    void makeConnection(const SessionLogin& login);
    void download(const TransferItem& item);
    void upload(const TransferItem& item);
    QList<TransferItem> expandDownload(const TransferItem& item);
    QList<TransferItem> expandUpload(const TransferItem& item);
    void checkCancelled() const;
    void log(const QString& text) { emit logLine(number_, text); }
    void finishShutdown();

    int number_;
    Questions questions_;
    RemoteSession* ftp_ = nullptr;
    QTimer* idle_ = nullptr;
    SessionLogin login_;
    QList<std::pair<TransferItem, SessionLogin>> inbox_;
    bool draining_ = false;
    int current_ = 0;
    bool cancelled_ = false;
    bool skipped_ = false;
    bool replace_ = false;
    bool stopping_ = false;
    qint64 moved_ = 0;
    QElapsedTimer sinceProgress_;
};

}  // namespace harbel::tessaly
