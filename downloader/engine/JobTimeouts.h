#pragma once

#include <QtGlobal>

namespace harbel {

class DownloadJob;

// What a download job does when a server keeps it waiting: the connection countdown with its
// retries, the stall watchdog that pauses and resumes a transfer that stopped receiving, and the
// time-out for data that reconnects one at once (DataTimeout). Restarts after a stall, by either
// of the last two, are bounded: Retries of them in a row that bring no new byte and the job times
// out, keeping its file and control file for a resume. It is a part of its job and works on the
// job's timers, state and progress.
class JobTimeouts final {
public:
    explicit JobTimeouts(DownloadJob& job) : job_(job) {}

    // Clears everything of the previous download.
    void reset();
    void countdownTick();
    void watchdogTick();
    void dataTick();
    // Starts the time-out for data from now, when DataTimeout is on.
    void armDataTimer();
    // A byte has arrived: the time-out for data starts again.
    void dataArrived();

private:
    // Counts a restart after a stall: false, and the job has timed out, once `allowed` restarts in
    // a row have brought no byte beyond the furthest point reached.
    bool countStallRestart(int allowed);
    // Closes every connection and opens them again from what the file holds, as a pause and a
    // resume do.
    void reconnect();

    DownloadJob& job_;
    int stallRestarts_ = 0;
    // The furthest count of received bytes a stall has found.
    qint64 stallMark_ = 0;
    // When the last byte arrived, or the transfer last (re)connected.
    qint64 lastDataAt_ = 0;
};

}  // namespace harbel
