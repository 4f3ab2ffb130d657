#pragma once

#include "downloader/engine/JobFtp.h"
#include "downloader/engine/JobHttp.h"
#include "downloader/engine/JobTimeouts.h"
#include "downloader/engine/JobTimer.h"
#include "downloader/engine/OutputFile.h"
#include "downloader/engine/Progress.h"
#include "downloader/engine/RateMeter.h"
#include "downloader/intake/UrlParsing.h"

#include <QObject>
#include <QString>

#include <functional>

namespace harbel {

// One download: the state machine that fetches one address into one file over HTTP (one or more
// ranged connections) or FTP, with its connection countdown, retries, stall watchdog and control
// file, running by itself on socket events and timer ticks once started. What it has to show it
// publishes as a Progress value (progressChanged); it knows nothing of the windows, lists or
// terminals that show it. The protocol work is done by its parts, JobHttp (with its connections,
// JobSegments) and JobFtp, and what a server that keeps it waiting makes it do by JobTimeouts; this
// class holds the job's life: start, pause and resume, stop, completion, failure and the ticks.
class DownloadJob final : public QObject {
    Q_OBJECT
public:
    // Milliseconds of a steady clock. Rates, the time left and the elapsed time are measured with
    // it, so tests can move time on without waiting.
    using Clock = std::function<qint64()>;

    explicit DownloadJob(QObject* parent = nullptr);
    ~DownloadJob() override;

    // The address and the file. Sizes and positions are 64-bit, so files over 2 GiB download whole.
    QString strSaveTo;
    QString strURL;
    QString strServer;
    quint16 intPort = 0;
    QString strUserName;
    QString strPassword;
    QString strFile;
    QString strFilePath;
    bool HTTPMODE = true;
    bool FTPMODE = false;
    // The address asks for TLS: https:// (port 443 unless named) or ftps:// (explicit TLS on 21).
    bool TLS = false;
    // sftp://: FTPMODE too, fetched by JobFtp's SFTP part.
    bool SFTP = false;
    // The received count at the last progress tick, and the size an FTP server named.
    qint64 intRecievedBytes = 0;
    qint64 intFileSize = 0;
    // A person started (or resumed) this download and may be asked about it. Nobody is asked about
    // one the schedule, the queue or the browser started: the segment question takes the
    // settings' answer, and errors are told through the job's status alone.
    bool attended = true;

    // The timers: progress every 500 ms and rate every 2500 ms while data flows, the connection
    // countdown every second while the job waits for a server (Timeout counts seconds, as the
    // settings say), and the stall watchdog. With DataTimeout the wait for data while the job
    // transfers is timed instead of watched: dataTimer runs out when Timeout seconds have passed
    // since the last byte or the last reconnection.
    JobTimer progressTimer{500, [this] { progressTick(); }};
    JobTimer rateTimer{2500, [this] { rateTick(); }};
    JobTimer countdownTimer{1000, [this] { countdownTick(); }};
    SecondsTimer watchdog{[this] { watchdogTick(); }};
    JobTimer dataTimer{1000, [this] { dataTimeoutTick(); }};

    void setClock(Clock clock);
    // Set after reset() and before the start: the file's name comes from the server. Nothing is
    // done with a file at strSaveTo until the settler has chosen the path for that name.
    void setNameSettler(NameSettler settler) { http_.setNameSettler(std::move(settler)); }

    // Makes the job ready for a new download: everything of the previous one is cleared.
    void reset();
    void applyURL(const UrlFields& fields);
    void ParseURL(const QString& address);
    // Starts (or starts again) with the program's FileExistsAction for an existing file.
    void start();
    // Pauses a running job, or resumes a held one; nothing once the file is in.
    void pauseResume();
    // Stops the job, keeping what has arrived for a later resume, or closes it once it has stopped
    // or ended.
    void stop();
    // Stops the transfer and shows the stopped state without asking.
    void stopDown();
    // The job is closed: its transfer stops (a finished or failed one stays as it is); closed().
    void close();
    void closeConnections();
    void restartFromAddress(const QString& address);
    void checkCreate(qint64 size) { http_.prepareTransfer(size, false); }
    void checkCreate1(qint64 size);
    // Progress after part k has written data.
    void update(int k);

    // The timers' work; tests call these directly.
    void progressTick();
    void rateTick();
    void countdownTick();
    void watchdogTick();
    void dataTimeoutTick();

    const Progress& progress() const { return progress_; }
    bool isFileDownloaded() const;
    qint64 receivedBytes() const;
    const QString& serverLog() const { return serverLog_; }
    qint64 contentLength() const { return intContentLength; }
    int redirects() const { return http_.redirects(); }
    int retries() const { return intRetryCount; }
    bool usesRangedArray() const { return http_.usesRangedArray(); }
    const SegmentPlan& plan() const { return http_.plan(); }
    // 0 for one connection, else the number of parts.
    int segments() const { return intSegCount; }
    // The FTP login of an FTP job.
    const FtpRetrieval& ftp() { return ftp_.retrieval(); }
    bool sizeKnown() const { return sizeKnown_; }
    bool isCompleted() const { return completed_; }
    // The job holds the transfer (paused or stopped): pressing pause resumes it.
    bool isHeld() const { return progress_.held; }
    // Completion is told in a message box: a person started the download and asked for the box.
    bool announcesCompletionInABox() const;
    // The last segment of the path fetched (an HTTP one as written, without its query).
    QString fileNameOfJob() const { return (HTTPMODE ? strFile.section(u'?', 0, 0) : strFile).section(u'/', -1); }

signals:
    void progressChanged(const harbel::Progress& progress, harbel::Progress::Changes changes);
    // The job is connecting (true) or no longer (false).
    void connectingChanged(bool connecting);
    // The file is complete.
    void completed();
    // The job cannot go on by itself (an error status, a give-up, a stop); the status says why.
    void needsUser();
    // The job was closed.
    void closed();
    // Something the user should know although the job goes on (the status shows it too).
    void notice(const QString& text);

private:
    friend class JobHttp;
    friend class JobFtp;
    friend class JobSftp;
    friend class JobSegments;
    friend class JobTimeouts;

    // Changes made while a batch is open are published once, when the outermost batch ends.
    class Batch {
    public:
        explicit Batch(DownloadJob& job) : job_(job) { ++job_.batchDepth_; }
        ~Batch()
        {
            if (--job_.batchDepth_ == 0)
                job_.publish();
        }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        DownloadJob& job_;
    };

    // Publishes what changed since the last publication (now, also inside a batch: before the job
    // signals or asks anything, so that its listeners see the state it has reached).
    void publish();
    template <typename T>
    void set(T Progress::*field, const T& value, Progress::Change change)
    {
        if (progress_.*field == value)
            return;
        progress_.*field = value;
        changes_ |= change;
    }
    void mark(Progress::Changes changes) { changes_ |= changes; }
    void setState(Progress::State state) { set(&Progress::state, state, Progress::StateChanged); }
    void setStatus(const QString& text) { set(&Progress::status, text, Progress::StatusChanged); }
    void setBriefStatus(const QString& text) { set(&Progress::briefStatus, text, Progress::BriefStatusChanged); }
    // The job names its file (at its start, and when it learns the size).
    void nameFile();
    void setSize(qint64 total, bool known);
    void setResume(Progress::Resume resume) { set(&Progress::resume, resume, Progress::ResumeChanged); }
    void setAddress(const QString& address);
    void setCommands(bool canPause, bool held, bool canStop, bool stopCloses);
    void setCanPause(bool on) { set(&Progress::canPause, on, Progress::CommandsChanged); }
    void setCanStop(bool on) { set(&Progress::canStop, on, Progress::CommandsChanged); }
    void setCanOpenFile(bool on) { set(&Progress::canOpenFile, on, Progress::CommandsChanged); }
    void layOutSegments(int n);
    void setRateClosed();
    void transferTimers(bool on);

    void startJob(qint16 existsAction);
    void showStopped();
    void complete();
    void fail(const QString& message, Progress::State state = Progress::State::Failed);
    void emitNeedsUser();
    void emitConnecting(bool connecting);
    void closeFiles() { output_.close(); }
    // All connections write into the one output file, created empty when it is missing.
    bool openOutput();
    // Whether the download may go on where its control file cannot be written; false has failed it.
    bool controlFileAllowed();
    bool keepsNoControlFile() const { return !strSaveTo.isEmpty() && withoutControlFileFor_ == strSaveTo; }
    void startCountdown();
    void stopCountdown();
    void armWatchdog(qint32 seconds);
    // The file's state beside it, for a later resume (HTTP: the complete ranges; FTP: how far the
    // file goes).
    void saveProgress(bool force);
    qint64 now() const { return clock_(); }
    // What the start does with a file at strSaveTo: overwrite (0), continue (-1) or leave it and
    // close the job (anything else; false then).
    bool takeExistingFile(qint16 action);

    Progress progress_;
    Progress::Changes changes_;
    int batchDepth_ = 0;
    Clock clock_;
    // When the last progress tick was taken, and the rate of the run under way.
    qint64 lastTickAt_ = 0;
    RateMeter meter_;

    qint64 intContentLength = 0;
    quint8 intSegCount = 0;
    OutputFile output_;
    qint64 intLastBytes = 0;
    int intTimeLeft = 0;
    qint16 intRetryCount = 0;
    QString serverLog_;
    // FTP: the server named the size (an HTTP job always knows it once it transfers).
    bool sizeKnown_ = true;
    bool transferPrepared_ = false;
    // The output the user let go on without a control file.
    QString withoutControlFileFor_;
    bool completed_ = false;
    bool failed_ = false;
    // The watchdog paused the job at its last tick (a stall): its next tick resumes it.
    bool stallPaused_ = false;
    qint16 existsAction_ = 0;

    JobHttp http_{*this};
    JobFtp ftp_{*this};
    JobTimeouts timeouts_{*this};
};

}  // namespace harbel
