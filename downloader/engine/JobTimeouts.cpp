#include "downloader/engine/JobTimeouts.h"

#include "downloader/engine/DownloadJob.h"
#include "downloader/engine/DownloadText.h"
#include "downloader/settings/DownloadSettings.h"

namespace harbel {

namespace {

// Not from the language file: the lists and the command line show it as it is.
QString timedOutText()
{
    return QStringLiteral("Connection has timed out.");
}

}  // namespace

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
        job_.pauseResume();
        job_.stallPaused_ = true;
    }
}

}  // namespace harbel
