#pragma once

namespace harbel {

class DownloadJob;

// What a download job does when a server keeps it waiting: the connection countdown with its
// retries, and the stall watchdog that pauses and resumes a transfer that stopped receiving. It is
// a part of its job and works on the job's timers, state and progress.
class JobTimeouts final {
public:
    explicit JobTimeouts(DownloadJob& job) : job_(job) {}

    void countdownTick();
    void watchdogTick();

private:
    DownloadJob& job_;
};

}  // namespace harbel
