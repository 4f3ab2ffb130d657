#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

namespace harbel::tessaly {

class ConsoleOutput;
class FtpComponent;

// The files of one command moved over the session's own transfer connections, logged in as the
// given component is, `parallel` at a time. A file already at its destination is replaced, or with
// resume continued from its length. Each file done is one line (or the progress line on a
// terminal), each failure one line on the standard error with its reason; a failure does not
// stop the rest.
class TransferRun final : public QObject {
    Q_OBJECT
public:
    struct File {
        bool upload = false;
        QString local;   // absolute
        QString remote;  // absolute
        qint64 size = -1;      // what a listing or the local file says, -1 when not known
        QDateTime remoteTime;  // the listing's time, valid when it gives seconds
    };

    TransferRun(const FtpComponent& login, int parallel, bool resume, ConsoleOutput& out);
    ~TransferRun() override;

    void add(const File& file) { files_.append(file); }
    qsizetype size() const { return files_.size(); }
    // Moves every file and returns when all are done or failed (or the program is asked to quit);
    // true when every file was moved.
    bool run();
    qint64 bytesMoved() const { return bytesMoved_; }
    int failures() const { return failures_; }

private:
    const FtpComponent& login_;
    int parallel_;
    bool resume_;
    ConsoleOutput& out_;
    QList<File> files_;
    qint64 bytesMoved_ = 0;
    int failures_ = 0;
};

}  // namespace harbel::tessaly
