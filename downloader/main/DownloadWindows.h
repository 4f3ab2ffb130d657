#pragma once

#include "downloader/engine/DownloadRow.h"
#include "downloader/engine/frmDownload.h"

#include "common/controls/Form.h"
#include "common/controls/ListView.h"

#include <QList>
#include <QObject>

#include <array>
#include <memory>

namespace harbel {

// The two lists of the download manager when no main window holds them (the command line, tests).
class DownloadLists final : public Form {
    Q_OBJECT
public:
    DownloadLists();
    ListView lstMain{*this, QStringLiteral("lstMain")};
    ListView lstComplete{*this, QStringLiteral("lstComplete")};
};

// The main module's part of the download manager: the table of 51 download windows, each made on
// first use and kept in its slot, and the two lists the windows write their rows into.
class DownloadWindows final : public QObject {
    Q_OBJECT
public:
    static constexpr int kSlots = 51;

    // With lists of its own, or with the main window's queue and completed list.
    explicit DownloadWindows(QObject* parent = nullptr);
    DownloadWindows(ListView& queue, ListView& completed, QObject* parent = nullptr);
    ~DownloadWindows() override;

private:
    std::unique_ptr<DownloadLists> ownLists_;

public:
    ListView& lstMain;
    ListView& lstComplete;

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
    void moveToCompleted(ListRow* row);

    std::array<std::unique_ptr<frmDownload>, kSlots> windows_;
    std::array<bool, kSlots> connectingSlot_{};
    int connecting_ = 0;
};

}  // namespace harbel
