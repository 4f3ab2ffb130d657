#pragma once

#include <QList>
#include <QPointer>
#include <QtGlobal>

namespace harbel {

class DownloadWindows;
class ListRow;
class ListView;

// What the main window's commands do to the two lists and to every download at once: removing the
// selected rows, pausing, resuming and stopping all downloads, the total rate, and the scheduled
// start of the queue. The long walks over the window table let pending events run between windows.
class QueueCommands final {
public:
    QueueCommands(ListView& queue, ListView& completed, DownloadWindows& windows)
        : queue_(queue), completed_(completed), windows_(windows)
    {
    }

    void removeSelectedQueueRows();
    void removeSelectedCompletedRows();

    void pauseAll();
    // Resumes the paused downloads, also those paused when the program last ended; failed and
    // stopped ones are left as they are.
    void resumeAll();
    void stopAll();
    // Bytes a second of every download window together.
    double totalRate() const;

    // Starts the queue's rows the scheduler starts: a row whose window still holds its download
    // goes on there (a paused one resumes), a paused row without a window resumes from its file,
    // every other one starts in its place. Rows that name no file to save to wait.
    void runSchedule();

private:
    QList<QPointer<ListRow>> pausedWithoutWindow() const;

    ListView& queue_;
    ListView& completed_;
    DownloadWindows& windows_;
};

}  // namespace harbel
