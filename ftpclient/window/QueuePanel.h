#pragma once

#include "common/controls/Control.h"
#include "common/controls/Form.h"
#include "common/controls/ListView.h"
#include "common/controls/Timer.h"
#include "ftpclient/component/TransferItem.h"

#include <QHash>
#include <QSet>

namespace harbel::tessaly {

class TransferQueue;

// The transfer queue's panel under the two panes: one row per item (direction, local and remote
// path, size, progress, rate, time left, state with its reason), the commands on the selected rows
// and the whole queue's totals. The rows follow the queue on tmrQueue, a few times a second, so
// that a queue of thousands of small files costs the screen little.
class QueuePanel final : public Form {
    Q_OBJECT
public:
    enum Column { ColDirection, ColLocal, ColRemote, ColSize, ColProgress, ColRate, ColLeft, ColState, ColumnCount };

    explicit QueuePanel(TransferQueue& queue, QObject* parent = nullptr);

    // Brings the rows, the totals and the commands up to date with the queue.
    void tmrQueue_Timer();
    void cmdQueueCancel_Click();
    void cmdQueueRetry_Click();
    void cmdQueueRemove_Click();
    void cmdQueueClear_Click();
    // The selection changed: the commands follow it.
    void lstQueue_SelectionChanged();

    // The whole queue in one line for the status line and the tray ("" when it is empty).
    QString summary() const { return summary_; }

    // How an item is shown: the cells of its row.
    static QStringList cells(const TransferItem& item);
    static QString sizeText(qint64 bytes);
    // "1:05" or "1:02:05"; "" when it cannot be told.
    static QString timeLeft(qint64 bytesLeft, double rate);

    harbel::ListView lstQueue{*this, QStringLiteral("lstQueue")};
    Button cmdQueueCancel{*this, QStringLiteral("cmdQueueCancel")};
    Button cmdQueueRetry{*this, QStringLiteral("cmdQueueRetry")};
    Button cmdQueueRemove{*this, QStringLiteral("cmdQueueRemove")};
    Button cmdQueueClear{*this, QStringLiteral("cmdQueueClear")};
    Label lblQueue{*this, QStringLiteral("lblQueue")};
    Timer tmrQueue{*this, QStringLiteral("tmrQueue")};

signals:
    // The rows and the summary were brought up to date.
    void updated();

private:
    QList<int> selectedIds() const;
    void rebuildRows();
    void updateTotals();

    TransferQueue& queue_;
    QHash<int, ListRow*> rows_;
    QSet<int> dirty_;
    bool reshaped_ = false;
    QString summary_;
};

}  // namespace harbel::tessaly
