#include "downloader/main/QueueCommands.h"

#include "downloader/main/DownloadRow.h"
#include "downloader/main/DownloadWindows.h"

#include <QCoreApplication>
#include <QPointer>

namespace harbel {

namespace {

void letEventsRun(int times)
{
    for (int i = 0; i < times; ++i)
        QCoreApplication::processEvents();
}

}  // namespace

void QueueCommands::removeSelectedQueueRows()
{
    // The current row goes first while any row is selected; a selection without a current row
    // falls back to the first selected one, so the walk always ends.
    while (queue_.anySelected()) {
        ListRow* row = queue_.SelectedItem();
        if (!row)
            row = queue_.selectedRows().first();
        queue_.Remove(row);
        if (!queue_.SelectedItem() && queue_.anySelected())
            queue_.setSelectedItem(queue_.selectedRows().first());
    }
    queue_.Refresh();
}

void QueueCommands::removeSelectedCompletedRows()
{
    while (completed_.anySelected())
        completed_.Remove(completed_.selectedRows().first());
    completed_.Refresh();
}

void QueueCommands::pauseAll()
{
    for (int slot = 0; slot < DownloadWindows::kSlots; ++slot) {
        letEventsRun(2);
        if (frmDownload* job = windows_.existing(slot); job && job->tmrUpdate.Enabled())
            job->Pause_Resume();
        letEventsRun(2);
    }
}

void QueueCommands::resumeAll()
{
    // Only paused downloads go on: one that failed or that the user stopped keeps its status
    // until the user starts it again. Nobody waits on each to answer questions about it.
    const DownloadWindows::Unattended nobody(windows_);
    for (int slot = 0; slot < DownloadWindows::kSlots; ++slot) {
        letEventsRun(2);
        if (windows_.isPaused(slot))
            windows_.resumeUnattended(slot);
        letEventsRun(2);
    }
    // Paused rows without a window were paused when the program last ended: each goes on from its
    // file in a window of its own.
    for (const QPointer<ListRow>& row : pausedWithoutWindow()) {
        if (row && !windows_.resumeRow(row))
            break;  // no window left: the rest wait as well
        letEventsRun(2);
    }
}

QList<QPointer<ListRow>> QueueCommands::pausedWithoutWindow() const
{
    QList<QPointer<ListRow>> rows;
    for (ListRow* row : queue_.rows())
        if (entryOf(*row).state == QueueEntry::State::Paused && windows_.slotOf(row) < 0)
            rows.append(row);
    return rows;
}

void QueueCommands::stopAll()
{
    for (int slot = 0; slot < DownloadWindows::kSlots; ++slot)
        if (frmDownload* job = windows_.existing(slot); job && job->tmrUpdate.Enabled())
            job->StopMe();
}

double QueueCommands::totalRate() const
{
    double total = 0;
    for (int slot = 0; slot < DownloadWindows::kSlots; ++slot)
        if (const frmDownload* job = windows_.existing(slot))
            total += job->intTransferRate;
    return total;
}

void QueueCommands::runSchedule()
{
    // Taken first: a start may change the list (a finished row leaves it), so rows are found
    // again by their current position.
    const DownloadWindows::Unattended nobody(windows_);
    QList<QPointer<ListRow>> pending;
    for (ListRow* row : queue_.rows())
        if (entryOf(*row).startedBySchedule())
            pending.append(row);
    for (const QPointer<ListRow>& row : pending) {
        if (!row)
            continue;
        const QueueEntry entry = entryOf(*row);
        if (entry.address.isEmpty())
            continue;
        // A row whose window still holds its download goes on there: a running one is left running
        // and a paused one resumes, so the file-exists action never touches what it has written.
        // A paused row without a window (paused when the program ended) resumes from its file.
        const int slot = windows_.slotOf(row);
        if (windows_.isPaused(slot)) {
            windows_.resumeUnattended(slot);
            continue;
        }
        if (windows_.isBusy(slot))
            continue;
        // Nobody is there to say where a row that names no file should go: it waits for the user.
        if (!entry.hasUsableSavePath())
            continue;
        const bool started = slot < 0 && entry.state == QueueEntry::State::Paused
                                 ? windows_.resumeRow(row) != nullptr
                                 : windows_.DownloadNow(entry.address, entry.savePath, queue_.indexOf(row)) != nullptr;
        if (!started)
            break;  // no window left: the rest wait as well
    }
}

}  // namespace harbel
