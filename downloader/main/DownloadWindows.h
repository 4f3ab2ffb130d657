#pragma once

#include "downloader/main/DownloadRow.h"
#include "downloader/window/frmDownload.h"

#include "common/controls/Form.h"
#include "common/controls/ListView.h"

#include <QList>
#include <QObject>

#include <array>
#include <functional>
#include <memory>
#include <optional>

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

    // The path of a file whose name the server gives, for that name.
    using PathForName = std::function<QString(const QString& name)>;

    // Starts a download now. position < 0 makes a new queue row; 1 or more restarts the queue row
    // at that position. The file-exists question is asked when the save path names a file.
    // With pathForName, the save path's name is the address's only: the name the server gives
    // (Content-Disposition, or the address after redirections) decides the path, and the
    // file-exists question concerns that path, once it is known.
    // Returns the window, or nullptr when no slot is left (more than 51 rows in the queue).
    frmDownload* DownloadNow(const QString& url, const QString& savePath, int position,
                             const PathForName& pathForName = {});
    // Appends a queue row marked "Not Downloaded" without starting anything.
    ListRow* DownloadLater(const QString& url, const QString& savePath);
    // Appends a queue row for an address the ignore list or the wanted types refused, with the
    // reason in place of its file; nothing starts it but the user.
    ListRow* DownloadBlocked(const QString& url, const QString& reason);
    // Restarts an existing queue row at its position (1-based) in the window of that slot.
    frmDownload* ReDownloadRow(const QString& url, const QString& savePath, int position, ListRow* row);
    // Continues the download of a queue row that no window holds (one paused when the program last
    // ended) from what its file and control file hold, without asking about the existing file.
    // nullptr when the row names no file or no window is free.
    frmDownload* resumeRow(ListRow* row);

    // Re-downloads the selected queue rows in place, top to bottom. A row that names no file to
    // save to (a blocked one shows its reason there) asks where to save it first; cancelling that
    // leaves the row as it is.
    void reDownloadQueue();
    // Starts the selected completed rows again as new queue rows; the completed rows stay.
    void reDownloadCompleted();
    // The address a row restarts with: from "http://" (or "https://") on, then from "ftp://" (or
    // "ftps://") on (any letter case).
    static QString reDownloadAddress(const QString& url);

    // The wanted types (MonitorTypes) are checked on the names servers give too, as the window
    // program's flow asks; the command line fetches what it is told.
    bool checksServerNames = false;

    // While the scheduler starts downloads, an existing file is handled by ScheduleExistsAction
    // (1 overwrite, 2 resume, 3 skip) instead of asking.
    bool UseScheduleExistsAction = false;
    int ScheduleExistsAction = 1;

    // While one lives, the downloads started are nobody's: the schedule's, the queue's, Resume
    // All's, the browser's. Their jobs ask nothing (DownloadJob::attended), and a file that exists
    // at the save path takes the schedule's action (UseScheduleExistsAction), else the cautious
    // one: an unfinished download of ours (its control file beside it) is continued, any other
    // file is left alone and the download ends at once, saying so.
    class Unattended {
    public:
        explicit Unattended(DownloadWindows& windows) : windows_(windows) { ++windows_.unattended_; }
        ~Unattended() { --windows_.unattended_; }
        Unattended(const Unattended&) = delete;
        Unattended& operator=(const Unattended&) = delete;

    private:
        DownloadWindows& windows_;
    };
    bool startsUnattended() const { return unattended_ > 0; }
    // Resumes a paused download for nobody in particular (Resume All, the schedule).
    void resumeUnattended(int slot);

    // Closes every window of the table, letting pending events run around each. Slots never used
    // have nothing to close and are passed over.
    void closeAll();

    // Whether the window of a slot is transferring, connecting or waiting to reconnect.
    bool isBusy(int slot) const;
    // Whether the window of a slot holds a download the user (or Pause All) paused: its Resume
    // goes on. Stopped, failed, finished and never started windows are not paused.
    bool isPaused(int slot) const;
    // Whether the window of a slot holds a download that is connecting or transferring now (not
    // paused, stopped, failed or finished).
    bool isRunning(int slot) const;
    int runningCount() const;
    // Pauses every running download, each keeping its control file, so that the lists show them
    // paused and Resume All continues them (also at the next start).
    void pauseRunning();
    // The slot whose window holds the row's download, or -1.
    int slotOf(const ListRow* row) const;
    // The file-exists question is open.
    bool isAsking() const { return asking_; }

    // Downloads that are connecting now (the main window's toolbar shows whether any is).
    int connectingCount() const { return connecting_; }

signals:
    // A window started connecting (true) or stopped (false); the last report wins.
    void connectingReported(bool connecting);
    // A slot got its window (views show it from now on).
    void windowMade(harbel::frmDownload* job);
    // A download ended by itself: complete (ok), or failed with a reason; for the desktop's
    // notifications. A completion that its job told in a message box is not reported again.
    void downloadEnded(const QString& file, bool ok, const QString& reason);

private:
    void bind(frmDownload& job);
    // existsAction, when given, is taken for an existing file instead of asking.
    frmDownload* start(const QString& url, const QString& savePath, int position, ListRow* row,
                       std::optional<qint16> existsAction = std::nullopt,
                       const PathForName& pathForName = {});
    void settleFileExists(const QString& savePath, std::optional<qint16> existsAction = std::nullopt,
                          bool unattended = false);
    // The save path of a row to download again, asked for when the row names no file.
    std::optional<QString> savePathFor(ListRow& row, const QString& address);
    int slotFor(int preferred, const ListRow* row) const;
    void moveToCompleted(ListRow* row);
    ListRow* appendRow(const QueueEntry& entry);

    std::array<std::unique_ptr<frmDownload>, kSlots> windows_;
    std::array<bool, kSlots> connectingSlot_{};
    int connecting_ = 0;
    bool asking_ = false;
    int unattended_ = 0;
};

}  // namespace harbel
