#pragma once

#include "ftpclient/component/SessionLogin.h"
#include "ftpclient/component/TransferItem.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QTimer;

namespace harbel::tessaly {

class TransferQueue;

// The queue's unfinished items kept in a file across a restart, with the site they belong to
// (protocol, host, port, user, TLS, passive; never the password). The file is replaced atomically (a new file
// renamed over the old), so a program killed at any moment leaves the last complete version.
//
// Items of other sites, and those of a site whose resumption was not taken up, stay in the file
// until take() hands them back to a queue.
class TransferQueueStore final : public QObject {
    Q_OBJECT
public:
    struct Site {
        QString host;
        quint16 port = 21;
        QString user;
        bool tls = false;
        bool passive = true;
        // SFTP rather than FTP; a file written before the key existed holds FTP sites.
        bool sftp = false;
        static Site of(const SessionLogin& login);
        bool operator==(const Site& other) const;
    };
    struct Saved {
        Site site;
        QList<TransferItem> items;
    };

    // Reads what the file holds; an unreadable file holds nothing (it is written anew).
    explicit TransferQueueStore(QString path, QObject* parent = nullptr);
    ~TransferQueueStore() override;

    // "TransferQueue.json" in the application folder.
    static QString defaultPath();
    const QString& path() const { return path_; }

    // Keeps the queue's unfinished items, written within a second of every change of the queue
    // (none: the file keeps what it holds now).
    void track(TransferQueue* queue);
    // What was kept for other runs and not taken yet.
    const QList<Saved>& kept() const { return kept_; }
    // The items kept for the site of the login, taken out of the kept ones (the tracked queue keeps
    // them from now on when they are added to it).
    QList<TransferItem> take(const SessionLogin& login);
    // Writes now what is due; false when the file could not be written.
    bool flush();

    // Sites and items as the file keeps them.
    static QByteArray encode(const QList<Saved>& entries);
    static QList<Saved> decode(const QByteArray& bytes);

private:
    void changed();

    QString path_;
    QList<Saved> kept_;
    QPointer<TransferQueue> queue_;
    QTimer* due_;
    QElapsedTimer written_;
};

}  // namespace harbel::tessaly
