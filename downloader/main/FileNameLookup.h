#pragma once

#include "downloader/engine/DownloadJob.h"

#include <QObject>
#include <QString>
#include <QTimer>

namespace harbel {

// Asks an HTTP server for the name of the file behind an address before anything is saved: the
// probe of a download job, with its redirections, login and links, up to the name the answer
// gives (Content-Disposition, or the address it ended at). Nothing is written anywhere.
class FileNameLookup final : public QObject {
    Q_OBJECT
public:
    explicit FileNameLookup(QObject* parent = nullptr);

    // found() follows, within limitMs: with the name, or empty when the server did not answer
    // with the file in that time (an error, a refusal, no answer).
    void start(const QString& address, int limitMs = 15000);
    bool isRunning() const { return running_; }

signals:
    void found(const QString& address, const QString& name);

private:
    void end(const QString& name);

    DownloadJob job_;
    QTimer limit_;
    QString address_;
    QString name_;
    bool running_ = false;
};

}  // namespace harbel
