#pragma once

#include "downloader/engine/DownloadRow.h"
#include "downloader/engine/frmDownload.h"

#include <QList>
#include <QObject>

#include <array>
#include <memory>

namespace harbel {

// One list of download rows (the queue or the completed list). The list owns its rows.
class DownloadList final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~DownloadList() override;

    DownloadRow* add(int smallIcon);
    void remove(DownloadRow* row);
    int count() const { return int(rows_.size()); }
    DownloadRow* row(int index) const { return rows_.value(index); }
    int indexOf(const DownloadRow* row) const { return int(rows_.indexOf(row)); }
    const QList<DownloadRow*>& rows() const { return rows_; }

signals:
    void rowsChanged();

private:
    QList<DownloadRow*> rows_;
};

// The main module's part of the download manager: the table of 51 download windows, each made on
// first use and kept in its slot, and the two lists the windows write their rows into.
class DownloadWindows final : public QObject {
    Q_OBJECT
public:
    static constexpr int kSlots = 51;

    explicit DownloadWindows(QObject* parent = nullptr);
    ~DownloadWindows() override;

    DownloadList lstMain;
    DownloadList lstComplete;

    // The window of a slot, made when the slot is still empty; nullptr for a slot outside 0 to 50.
    frmDownload* window(int slot);
    // The window of a slot when it has been made.
    frmDownload* existing(int slot) const;

    // Splits the address into the fields of the window in that slot.
    void ParseURL(const QString& address, int index, bool flag);

    // Starts a download now. position < 0 makes a new queue row; 1 or more restarts the queue row
    // at that position. The file-exists question is asked when the save path names a file.
    // Returns the window, or nullptr when no slot is left (more than 51 rows in the queue).
    frmDownload* DownloadNow(const QString& url, const QString& savePath, int position);

    // Downloads that are connecting now (the main window's toolbar shows whether any is).
    int connectingCount() const { return connecting_; }

private:
    void bind(frmDownload& job);
    void moveToCompleted(DownloadRow* row);

    std::array<std::unique_ptr<frmDownload>, kSlots> windows_;
    std::array<bool, kSlots> connectingSlot_{};
    int connecting_ = 0;
};

}  // namespace harbel
