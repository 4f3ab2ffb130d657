#pragma once

#include "ftpclient/component/SessionLogin.h"
#include "ftpclient/component/TransferItem.h"

#include <QList>
#include <QObject>
#include <QString>

namespace harbel::tessaly {

class ConsoleOutput;
class TransferQueue;

// The files of one command moved by a TransferQueue: over connections of its own, logged in as the
// given login says (SessionLogin::of a session), `parallel` at a time. Each file done is one line (or, on a terminal, the live
// progress line), each failure a line on the standard error with its reason; a failure does not
// stop the rest.
class TransferRun final : public QObject {
    Q_OBJECT
public:
    TransferRun(SessionLogin login, int parallel, ConsoleOutput& out);
    ~TransferRun() override;

    // Items of files, with absolute paths on both sides.
    void add(const TransferItem& item) { items_.append(item); }
    qsizetype size() const { return items_.size(); }
    // Moves every file and returns when all are done or failed, or when the program is asked to
    // quit (what still runs is cancelled then); true when every file was moved.
    bool run();
    qint64 bytesMoved() const { return bytesMoved_; }
    int failures() const { return failures_; }

private:
    void itemChanged(int id);
    void showProgress();

    SessionLogin login_;
    int parallel_;
    ConsoleOutput& out_;
    QList<TransferItem> items_;
    TransferQueue* queue_ = nullptr;
    qint64 bytesMoved_ = 0;
    int done_ = 0;
    int failures_ = 0;
};

}  // namespace harbel::tessaly
