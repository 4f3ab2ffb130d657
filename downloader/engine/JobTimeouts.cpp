#include "downloader/engine/JobTimeouts.h"

#include "downloader/engine/DownloadJob.h"
#include "downloader/engine/DownloadText.h"
#include "downloader/settings/DownloadSettings.h"

#include <algorithm>
#include <limits>

namespace harbel {

namespace {

// Not from the language file: the lists and the command line show it as it is.
QString timedOutText()
{
    return QStringLiteral("Connection has timed out.");
}

// The time-out for data in milliseconds.
qint64 dataLimit()
{
    return qint64(std::max(SettingsStore::instance().record.Timeout, 1)) * 1000;
}

// A timer's interval for a wait of ms milliseconds (a wait beyond what a timer takes is looked at
// again when that is over).
int timerInterval(qint64 ms)
{
    return int(std::clamp<qint64>(ms, 1, std::numeric_limits<int>::max()));
}

}  // namespace

void JobTimeouts::reset()
{
    stallRestarts_ = 0;
    stallMark_ = 0;
    lastDataAt_ = job_.now();
}

void JobTimeouts::countdownTick()
{
    DownloadJob::Batch batch(job_);
    const DownloadSettings& s = SettingsStore::instance().record;
    job_.intTimeLeft -= 1;
    job_.set(&Progress::countdown, std::optional<int>(job_.intTimeLeft), Progress::CountdownChanged);
    if (job_.intTimeLeft >= 1)
        return;
    job_.setStatus(timedOutText());
    job_.setState(Progress::State::TimedOut);
    job_.publish();
    // Retries is how many times the job is tried again, as the settings say.
    if (!s.Retry || job_.intRetryCount >= s.Retries) {
        job_.closeConnections();
        job_.http_.abortProbe();
        job_.intTimeLeft = s.Timeout;
        job_.countdownTimer.setEnabled(false);
        job_.emitNeedsUser();
        return;
    }
    job_.intRetryCount += 1;
    emit job_.notice(lang("19060", "Connection has timed out; trying again (%1 of %2)...")
                         .arg(job_.intRetryCount)
                         .arg(s.Retries));
    job_.closeConnections();
    job_.intTimeLeft = s.Timeout;
    job_.startJob(job_.existsAction_);
    job_.mark(Progress::StatusChanged);  // connecting again, after the time-out it still shows
}

void JobTimeouts::watchdogTick()
{
    DownloadJob::Batch batch(job_);
    if (job_.FTPMODE && !job_.completed_ && !job_.failed_ && job_.isFileDownloaded() && !job_.ftp_.ended()) {
        job_.ftp_.takeAsEnded();
        return;
    }
    const qint64 received = job_.receivedBytes();
    job_.intRecievedBytes = received;
    const Progress& p = job_.progress_;
    // The watchdog resumes only a pause of its own, and pauses only a download that is running and
    // has stopped receiving: one the user paused or stopped waits for the user.
    if (job_.stallPaused_) {
        if (p.held && p.state == Progress::State::Paused)
            job_.pauseResume();
        job_.stallPaused_ = false;
        return;
    }
    const bool running = p.state == Progress::State::Connecting || p.state == Progress::State::Transferring;
    if (running && !p.held && !job_.completed_ && !job_.failed_ && received == job_.intLastBytes) {
        if (!countStallRestart(SettingsStore::instance().record.Retries))
            return;
        job_.pauseResume();
        job_.stallPaused_ = true;
    }
}

void JobTimeouts::armDataTimer()
{
    const DownloadSettings& s = SettingsStore::instance().record;
    if (!s.DataTimeout || job_.completed_ || job_.failed_)
        return;
    lastDataAt_ = job_.now();
    job_.dataTimer.setInterval(timerInterval(dataLimit()));
    job_.dataTimer.setEnabled(true);
}

void JobTimeouts::dataArrived()
{
    lastDataAt_ = job_.now();
}

void JobTimeouts::dataTick()
{
    DownloadJob::Batch batch(job_);
    JobTimer& timer = job_.dataTimer;
    if (!job_.transferPrepared_ || job_.completed_ || job_.failed_ || job_.progress_.held) {
        timer.setEnabled(false);
        return;
    }
    const DownloadSettings& s = SettingsStore::instance().record;
    const qint64 limit = dataLimit();
    const qint64 quiet = job_.now() - lastDataAt_;
    if (quiet < limit) {
        // Data came meanwhile: the next look is when the time-out would run out.
        timer.setInterval(timerInterval(limit - quiet));
        return;
    }
    timer.setInterval(timerInterval(limit));
    if (job_.FTPMODE && job_.isFileDownloaded() && !job_.ftp_.ended()) {
        job_.ftp_.takeAsEnded();
        return;
    }
    if (!countStallRestart(s.Retry ? s.Retries : 0))
        return;
    emit job_.notice(lang("19060", "Connection has timed out; trying again (%1 of %2)...")
                         .arg(stallRestarts_)
                         .arg(s.Retries));
    reconnect();
}

bool JobTimeouts::countStallRestart(int allowed)
{
    // Bytes fetched again after a rollback or a refused restart are not progress.
    if (const qint64 received = job_.receivedBytes(); received > stallMark_) {
        stallMark_ = received;
        stallRestarts_ = 0;
    }
    if (stallRestarts_ >= allowed) {
        // Everything stays for a resume: the file, and beside it what it holds.
        job_.fail(timedOutText(), Progress::State::TimedOut);
        return false;
    }
    ++stallRestarts_;
    return true;
}

void JobTimeouts::reconnect()
{
    DownloadJob::Batch batch(job_);
    job_.stopCountdown();  // the login of the last reconnection, if it got that far
    job_.pauseResume();
    if (job_.progress_.held)
        job_.pauseResume();
    armDataTimer();
}

}  // namespace harbel
