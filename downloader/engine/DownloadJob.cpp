#include "downloader/engine/DownloadJob.h"

#include "common/platform/CRegister.h"
#include "common/prompts/Prompts.h"
#include "common/support/VbText.h"
#include "downloader/engine/ControlFile.h"
#include "downloader/engine/DownloadText.h"
#include "downloader/engine/HttpText.h"
#include "downloader/settings/DownloadSettings.h"

#include <QFileInfo>
#include <QSignalBlocker>

#include <chrono>
#include <cmath>

namespace harbel {

namespace {

qint64 steadyMilliseconds()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

DownloadJob::DownloadJob(QObject* parent) : QObject(parent), clock_(steadyMilliseconds)
{
    reset();
}

DownloadJob::~DownloadJob()
{
    const QSignalBlocker blocker(this);
    saveProgress(true);
    http_.abortProbe();
    http_.closeConnections();
    ftp_.close();
    closeFiles();
}

void DownloadJob::setClock(Clock clock)
{
    clock_ = clock ? std::move(clock) : Clock(steadyMilliseconds);
    lastTickAt_ = now();
    meter_.restart(lastTickAt_, transferPrepared_ ? receivedBytes() : 0);
}

void DownloadJob::reset()
{
    http_.reset();
    ftp_.reset();
    closeFiles();
    progressTimer.setEnabled(false);
    rateTimer.setEnabled(false);
    countdownTimer.setEnabled(false);
    watchdog.setEnabled(false);
    dataTimer.setEnabled(false);

    sizeKnown_ = true;
    intRecievedBytes = 0;
    intFileSize = 0;
    intContentLength = 0;
    intSegCount = 0;
    intLastBytes = 0;
    intTimeLeft = 0;
    intRetryCount = 0;
    serverLog_.clear();
    transferPrepared_ = false;
    completed_ = false;
    failed_ = false;
    stallPaused_ = false;
    timeouts_.reset();
    lastTickAt_ = now();
    meter_.restart(lastTickAt_, 0);
    progress_ = Progress();
    changes_ = {};
}

void DownloadJob::applyURL(const UrlFields& f)
{
    HTTPMODE = f.HTTPMODE;
    FTPMODE = f.FTPMODE;
    TLS = f.TLS;
    SFTP = f.SFTP;
    strServer = f.strServer;
    intPort = f.intPort;
    strUserName = f.strUserName;
    strPassword = f.strPassword;
    strFile = f.strFile;
    strFilePath = f.strFilePath;
}

void DownloadJob::ParseURL(const QString& address)
{
    applyURL(splitURL(address));
}

bool DownloadJob::takeExistingFile(qint16 action)
{
    if (action == 0) {
        if (QFileInfo::exists(strSaveTo))
            QFile::remove(strSaveTo);
        ControlFile::remove(strSaveTo);
    } else if (action != -1) {
        close();
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- publication

void DownloadJob::publish()
{
    if (!changes_)
        return;
    const Progress::Changes changes = changes_;
    changes_ = {};
    emit progressChanged(progress_, changes);
}

void DownloadJob::nameFile()
{
    set(&Progress::file, strSaveTo, Progress::FileChanged);
}

void DownloadJob::setSize(qint64 total, bool known)
{
    set(&Progress::total, total, Progress::SizeChanged);
    set(&Progress::totalKnown, known, Progress::SizeChanged);
}

void DownloadJob::setAddress(const QString& address)
{
    progress_.address = address;
    mark(Progress::AddressChanged);
}

void DownloadJob::setCommands(bool canPause, bool held, bool canStop, bool stopCloses)
{
    set(&Progress::canPause, canPause, Progress::CommandsChanged);
    set(&Progress::held, held, Progress::CommandsChanged);
    set(&Progress::canStop, canStop, Progress::CommandsChanged);
    set(&Progress::stopCloses, stopCloses, Progress::CommandsChanged);
}

void DownloadJob::layOutSegments(int n)
{
    progress_.segmentCount = std::clamp(n, 1, SegmentPlan::kMaxSegments);
    progress_.segmentPercent.fill(0);
    mark(Progress::LayoutChanged);
}

void DownloadJob::setRateClosed()
{
    // No connection, no rate, and no time left to tell.
    set(&Progress::rate, 0.0, Progress::RateChanged);
    set(&Progress::rateMeasured, false, Progress::RateChanged);
    set(&Progress::timeLeft, -1.0, Progress::TimeLeftChanged);
}

void DownloadJob::transferTimers(bool on)
{
    if (on && !rateTimer.Enabled()) {
        // A run begins: its rate counts only what comes from now on, not what the file holds.
        lastTickAt_ = now();
        const qint64 received = receivedBytes();
        meter_.restart(lastTickAt_, received);
        intRecievedBytes = received;
        set(&Progress::received, received, Progress::ReceivedChanged);
    }
    progressTimer.setEnabled(on);
    rateTimer.setEnabled(on);
    // The time-out for data runs on through a reconnection: only a byte, or a reconnection of its
    // own, starts it again.
    if (on && !dataTimer.Enabled())
        timeouts_.armDataTimer();
}

void DownloadJob::emitNeedsUser()
{
    publish();
    emit needsUser();
}

void DownloadJob::emitConnecting(bool connecting)
{
    publish();
    emit connectingChanged(connecting);
}

// ---------------------------------------------------------------- start, pause, stop

void DownloadJob::start()
{
    startJob(SettingsStore::instance().FileExistsAction);
}

void DownloadJob::startJob(qint16 existsAction)
{
    Batch batch(*this);
    existsAction_ = existsAction;
    emitConnecting(true);
    set(&Progress::held, false, Progress::CommandsChanged);
    set(&Progress::stopCloses, false, Progress::CommandsChanged);
    initBase64();
    completed_ = false;
    failed_ = false;
    setState(Progress::State::Connecting);
    nameFile();
    watchdog.setEnabled(false);
    watchdog.setInterval(SettingsStore::instance().record.TimeResume);
    output_.setPath(strSaveTo);
    if (http_.waitForPasswords([this, existsAction] { startJob(existsAction); }))
        return;
    if (FTPMODE) {
        // An FTP address names its file itself.
        if (http_.settleName(fileNameOfJob()))
            ftp_.start(existsAction_);
        return;
    }
    // A file whose name the server gives is left alone until the name is known.
    if (!http_.namePending() && !takeExistingFile(existsAction))
        return;
    http_.abortProbe();
    http_.connectProbe();
    setCanOpenFile(false);
}

void DownloadJob::pauseResume()
{
    Batch batch(*this);
    stallPaused_ = false;  // a press of the user's own: the watchdog leaves the job to the user
    if (isFileDownloaded())
        return;
    if (!progress_.held) {
        set(&Progress::held, true, Progress::CommandsChanged);
        setCanStop(false);
        closeConnections();
        dataTimer.setEnabled(false);
        if (!transferPrepared_) {
            // Paused while still asking the server: the probe goes too, and resuming asks again.
            http_.abortProbe();
            stopCountdown();
        }
        saveProgress(true);
        set(&Progress::lastRate, 0.0, Progress::RateChanged);
        setBriefStatus(lang("11055", "Paused/Stopped"));
        setState(Progress::State::Paused);
        return;
    }
    setBriefStatus(lang("11051", "Downloading"));
    set(&Progress::held, false, Progress::CommandsChanged);
    setCanStop(true);
    setState(transferPrepared_ ? Progress::State::Transferring : Progress::State::Connecting);
    if (FTPMODE) {
        // A new login continues the file where it stopped, less the rollback.
        ftp_.relogin();
        return;
    }
    if (!transferPrepared_) {
        startJob(existsAction_);
        return;
    }
    http_.resumeSegments();
}

void DownloadJob::stop()
{
    Batch batch(*this);
    emitConnecting(false);
    if (!progress_.stopCloses && !isFileDownloaded()) {
        // Nothing is lost: every complete range stays with the control file, so a later resume
        // fetches only what is missing, over segments as well.
        set(&Progress::held, true, Progress::CommandsChanged);
        setCanStop(false);
        publish();
        stopDown();
        // Not the pause's word: the lists tell a stopped download from a paused one, also after a
        // restart, when only the paused ones go on by themselves.
        setBriefStatus(lang("11056", "Transfer Stopped"));
        return;
    }
    close();
}

void DownloadJob::stopDown()
{
    Batch batch(*this);
    showStopped();
    if (!completed_)
        emitNeedsUser();
}

void DownloadJob::showStopped()
{
    closeConnections();
    if (intContentLength > 0)
        progress_.percent = int(std::floor(double(intRecievedBytes) / double(intContentLength) * 100));
    saveProgress(true);
    closeFiles();
    dataTimer.setEnabled(false);
    // Every bar keeps the share that is in: a stopped download shows how far it got.
    mark(Progress::EndedChanged);
    set(&Progress::lastRate, 0.0, Progress::RateChanged);
    stopCountdown();
    if (transferPrepared_)
        intRecievedBytes = receivedBytes();
    set(&Progress::received, intRecievedBytes, Progress::ReceivedChanged);
    set(&Progress::timeLeft, -1.0, Progress::TimeLeftChanged);
    setStatus(lang("11056", "Transfer Stopped"));
    transferTimers(false);
    setCanOpenFile(true);
    setCommands(false, progress_.held, true, true);
    setState(Progress::State::Stopped);
}

void DownloadJob::close()
{
    Batch batch(*this);
    // Closing stops the transfer; the state of a finished or failed job stays as it is.
    if (!completed_ && !failed_)
        showStopped();
    http_.abortProbe();
    closeConnections();
    closeFiles();
    countdownTimer.setEnabled(false);
    watchdog.setEnabled(false);
    dataTimer.setEnabled(false);
    publish();
    emit closed();
}

void DownloadJob::startCountdown()
{
    intTimeLeft = SettingsStore::instance().record.Timeout;
    countdownTimer.setEnabled(true);
    set(&Progress::countdownActive, true, Progress::CountdownChanged);
}

void DownloadJob::stopCountdown()
{
    countdownTimer.setEnabled(false);
    set(&Progress::countdownActive, false, Progress::CountdownChanged);
}

void DownloadJob::armWatchdog(qint32 seconds)
{
    // The time-out for data takes the watchdog's place.
    if (SettingsStore::instance().record.DataTimeout)
        return;
    watchdog.setInterval(seconds);
    watchdog.setEnabled(true);
}

void DownloadJob::saveProgress(bool force)
{
    if (!FTPMODE)
        http_.saveProgress(force);
    else if (force)
        ftp_.saveProgress();
}

bool DownloadJob::controlFileAllowed()
{
    if (keepsNoControlFile() || ControlFile::writable(strSaveTo))
        return true;
    // A link or another user's file in its place is never written through. Without the state a
    // stopped download resumes from the file's length: the user decides, and No stops it.
    const QString where = ControlFile::pathFor(strSaveTo);
    publish();
    const QString question = lang("19048", "%1 is a link or a file of another user, so this download cannot keep its "
                                           "state beside the file. Download without it?")
                                 .arg(where);
    if (Prompts::instance().MsgBox(question, MsgButtons::YesNo, MsgIcon::Exclamation, programTitle()) == MsgAnswer::Yes) {
        withoutControlFileFor_ = strSaveTo;
        return true;
    }
    closeFiles();
    fail(lang("19049", "Stopped: a link or a file of another user stands where the download's state is kept:") + u' '
         + where);
    return false;
}

bool DownloadJob::openOutput()
{
    if (!controlFileAllowed())
        return false;
    if (output_.open())
        return true;
    closeFiles();
    publish();
    if (attended)
        Prompts::instance().MsgBox(QStringLiteral("Error No. %1 %2").arg(output_.errorNumber()).arg(output_.errorDescription()),
                                   MsgButtons::OkOnly, MsgIcon::None, programTitle());
    fail(output_.failure());
    return false;
}

void DownloadJob::closeConnections()
{
    Batch batch(*this);
    transferTimers(false);
    setRateClosed();
    http_.closeConnections();
    if (FTPMODE) {
        ftp_.close();
        output_.close();
    }
}

void DownloadJob::restartFromAddress(const QString& address)
{
    ParseURL(address);
    startJob(existsAction_);
}

void DownloadJob::checkCreate1(qint64 size)
{
    http_.probeFromStart();
    http_.prepareTransfer(size, true);
}

// ---------------------------------------------------------------- progress

qint64 DownloadJob::receivedBytes() const
{
    // Counted from the file's first byte: a resumed file counts what it kept.
    return FTPMODE ? ftp_.received() : http_.received();
}

bool DownloadJob::isFileDownloaded() const
{
    // Until the server has announced the size nothing is downloaded.
    return transferPrepared_ && sizeKnown_ && receivedBytes() >= intContentLength;
}

void DownloadJob::update(int k)
{
    Batch batch(*this);
    timeouts_.dataArrived();
    const qint64 received = receivedBytes();
    const int percent = !sizeKnown_            ? 0
                        : intContentLength > 0 ? int(std::floor(double(received) / double(intContentLength) * 100))
                                               : 100;
    set(&Progress::percent, percent, Progress::PercentChanged);
    if (k < 0 || k >= SegmentPlan::kMaxSegments)
        return;
    const SegmentPlan& plan = http_.plan();
    int part = -1;
    if (FTPMODE)
        part = percent;
    else if (k < plan.count() && plan.end(k) > 0)
        part = int(std::floor(double(plan.pos(k)) / double(plan.end(k)) * 100));
    if (part >= 0 && (progress_.segmentPercent[k] != part || progress_.segment != k)) {
        progress_.segmentPercent[k] = part;
        progress_.segment = k;
        mark(Progress::SegmentChanged);
    }
}

void DownloadJob::progressTick()
{
    Batch batch(*this);
    if (completed_ || !transferPrepared_)
        return;
    const qint64 received = receivedBytes();
    intRecievedBytes = received;
    if (!sizeKnown_ || received < intContentLength || (FTPMODE && !ftp_.ended())) {
        set(&Progress::received, received, Progress::ReceivedChanged);
        const qint64 t = now();
        meter_.sample(t, received);
        set(&Progress::elapsed, progress_.elapsed + double(t - lastTickAt_) / 1000.0, Progress::ElapsedChanged);
        lastTickAt_ = t;
        saveProgress(false);
        return;
    }
    complete();
}

void DownloadJob::rateTick()
{
    Batch batch(*this);
    const qint64 received = receivedBytes();
    intRecievedBytes = received;
    if (sizeKnown_ && received >= intContentLength)
        return;
    set(&Progress::received, received, Progress::ReceivedChanged);
    // The bytes of this run over the last seconds by the clock. A run shorter than the tick's
    // period (a tick run by hand) counts as a whole period, so a burst is not taken for a rate.
    const qint64 t = now();
    meter_.sample(t, received);
    const double rate = meter_.rate(rateTimer.Interval()).value_or(0);
    progress_.rate = rate;
    progress_.rateMeasured = true;
    if (rate != 0)
        progress_.lastRate = rate;
    mark(Progress::RateChanged);
    if (rate > 0 && sizeKnown_)
        set(&Progress::timeLeft, double(intContentLength - received) / rate, Progress::TimeLeftChanged);
    intLastBytes = received;
}

void DownloadJob::complete()
{
    if (completed_)
        return;
    Batch batch(*this);
    completed_ = true;
    const qint64 received = receivedBytes();
    meter_.sample(now(), received);
    // A resumed file that was longer than the one on the server ends at the server's size.
    if (output_.isOpen() && output_.sizeOnDisk() > intContentLength)
        output_.resize(intContentLength);
    closeConnections();
    http_.abortProbe();
    progress_.percent = intContentLength > 0 ? int(std::floor(double(received) / double(intContentLength) * 100)) : 100;
    closeFiles();
    ControlFile::remove(strSaveTo);
    progress_.segmentPercent.fill(100);
    mark(Progress::EndedChanged);

    set(&Progress::lastRate, 0.0, Progress::RateChanged);
    stopCountdown();
    rateTimer.setEnabled(false);
    watchdog.setEnabled(false);
    dataTimer.setEnabled(false);
    set(&Progress::received, received, Progress::ReceivedChanged);
    set(&Progress::timeLeft, -1.0, Progress::TimeLeftChanged);
    // What a finished download shows as its rate: the average of its last run.
    set(&Progress::rate, meter_.average(), Progress::RateChanged);
    set(&Progress::rateMeasured, true, Progress::RateChanged);
    setStatus(lang("11046", "Transfer Completed..."));
    setBriefStatus(lang("11052", "Download Success"));
    progressTimer.setEnabled(false);
    setCanOpenFile(true);
    setCommands(false, progress_.held, true, true);
    setState(Progress::State::Completed);
    emitConnecting(false);

    SettingsStore& store = SettingsStore::instance();
    store.record.Downloads += 1;
    store.record.AllBytes += double(received);
    CRegister reg;
    const QString key = QString::fromLatin1(kSettingsKey);
    reg.REGSaveSetting(HKEY_LOCAL_MACHINE, key, QStringLiteral("Downloads"), QString::number(store.record.Downloads));
    reg.REGSaveSetting(HKEY_LOCAL_MACHINE, key, QStringLiteral("AllBytes"), vb::numberText(store.record.AllBytes));

    emit completed();
    // The box names the file in its title: several may be open at once.
    if (announcesCompletionInABox())
        Prompts::instance().MsgBox(lang("11031", "Download Successful."), MsgButtons::OkOnly, MsgIcon::Information,
                                   programTitle() + QStringLiteral(" - ") + QFileInfo(strSaveTo).fileName());
    if (reg.REGGetSetting(HKEY_LOCAL_MACHINE, key, QStringLiteral("CloseDownloadWindowWhenDone"), QStringLiteral("0"))
        == QLatin1String("1"))
        close();
}

bool DownloadJob::announcesCompletionInABox() const
{
    return attended
           && CRegister().REGGetSetting(HKEY_LOCAL_MACHINE, QString::fromLatin1(kSettingsKey), QStringLiteral("PromptDone"),
                                        QStringLiteral("1"))
                  == QLatin1String("1");
}

void DownloadJob::fail(const QString& message, Progress::State state)
{
    Batch batch(*this);
    failed_ = true;
    http_.abortProbe();
    watchdog.setEnabled(false);
    showStopped();
    setStatus(message);
    setBriefStatus(message);
    setState(state);
    emitConnecting(false);
    emitNeedsUser();
}

// ---------------------------------------------------------------- time-outs

void DownloadJob::countdownTick()
{
    timeouts_.countdownTick();
}

void DownloadJob::watchdogTick()
{
    timeouts_.watchdogTick();
}

void DownloadJob::dataTimeoutTick()
{
    timeouts_.dataTick();
}

}  // namespace harbel
