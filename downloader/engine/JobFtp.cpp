#include "downloader/engine/JobFtp.h"

#include "common/prompts/Prompts.h"
#include "downloader/engine/ControlFile.h"
#include "downloader/engine/DownloadJob.h"
#include "downloader/engine/DownloadText.h"
#include "downloader/settings/DownloadSettings.h"

#include <QFileInfo>

namespace harbel {

namespace {

// The block read from the data connection at a time.
constexpr qint64 kReadBlock = 64 * 1024;

}  // namespace

JobFtp::JobFtp(DownloadJob& job) : job_(job) {}

bool JobFtp::sftp() const
{
    return job_.SFTP;
}

FtpRetrieval& JobFtp::ftp()
{
    if (!ftp_) {
        ftp_ = std::make_unique<FtpRetrieval>();
        wire(*ftp_);
    }
    return *ftp_;
}

void JobFtp::wire(FtpRetrieval& ftp)
{
    using Batch = DownloadJob::Batch;
    connect(&ftp, &FtpRetrieval::replyReceived, this, [this](const QString& text) { job_.serverLog_ += text; });
    // The server speaks first.
    connect(&ftp, &FtpRetrieval::connected, this, [this] {
        Batch batch(job_);
        job_.setBriefStatus(lang("11051", "Downloading..."));
    });
    connect(&ftp, &FtpRetrieval::greeted, this, [this] {
        Batch batch(job_);
        job_.setStatus(lang("11049", "Logging In..."));
        job_.setBriefStatus(job_.progress_.status);
        job_.setCanStop(true);
        // A new login gets the whole countdown.
        job_.intTimeLeft = SettingsStore::instance().record.Timeout;
    });
    connect(&ftp, &FtpRetrieval::loggedIn, this, [this] {
        Batch batch(job_);
        job_.setAddress(job_.strURL);
        job_.setStatus(lang("11050", "Connected... Setting Up Transfer!"));
        job_.setBriefStatus(lang("11048", "Connected"));
        job_.intTimeLeft = SettingsStore::instance().record.Timeout;
        job_.countdownTimer.setEnabled(true);
    });
    connect(&ftp, &FtpRetrieval::restarting, this, [this] {
        Batch batch(job_);
        job_.setResume(Progress::Resume::Supported);
        job_.setCanPause(false);
    });
    connect(&ftp, &FtpRetrieval::retrieving, this, [this] {
        Batch batch(job_);
        job_.setStatus(lang("13031", "Waiting For File..."));
    });
    connect(&ftp, &FtpRetrieval::restartRefused, this, [this](int code) {
        Batch batch(job_);
        // Without REST the file can only come from its first byte: the transfer starts over and
        // overwrites what is on disk with the same bytes.
        job_.setResume(Progress::Resume::NotSupported);
        const DownloadSettings& s = SettingsStore::instance().record;
        if (code == 504 && s.StopResume)
            job_.armWatchdog(s.TimeNoResume);
        ftpStart_ = 0;
        ftpPos_ = 0;
        blnResumeFTP = false;
    });
    connect(&ftp, &FtpRetrieval::startOfFile, this, [this](qint64 namedSize) {
        Batch batch(job_);
        startOfFile(namedSize);
    });
    connect(&ftp, &FtpRetrieval::transferConfirmed, this, [this] {
        Batch batch(job_);
        job_.setStatus(lang("11046", "Transfer Completed..."));
        checkEnd();
    });
    // The server aborted the transfer: what arrived is kept and a new login continues it.
    connect(&ftp, &FtpRetrieval::transferAborted, this, [this](const QString& reply) {
        Batch batch(job_);
        retryAfterFailure(reply);
    });
    connect(&ftp, &FtpRetrieval::fileNotFound, this, [this] {
        Batch batch(job_);
        job_.setStatus(lang("11042", "File Not Found"));
        job_.setBriefStatus(job_.progress_.status);
        job_.setState(Progress::State::Failed);
        job_.set(&Progress::stopCloses, true, Progress::CommandsChanged);
        job_.setCanStop(true);
        job_.stopCountdown();
        job_.watchdog.setEnabled(false);
        job_.failed_ = true;
        job_.emitConnecting(false);
        job_.emitNeedsUser();
    });
    connect(&ftp, &FtpRetrieval::loginRefused, this, [this] {
        Batch batch(job_);
        // The language file's texts lose their blanks at the ends: they are put back between the parts.
        job_.setStatus(lang("11047", "User ") + u' ' + job_.strUserName + u' ' + lang("11045", " can not log in."));
        job_.setBriefStatus(lang("11045", " can not log in."));
        job_.setState(Progress::State::Failed);
        // A refused login is not tried again by itself.
        job_.failed_ = true;
        job_.stopCountdown();
        job_.emitNeedsUser();
    });
    connect(&ftp, &FtpRetrieval::dataConnectionFailed, this, [this] {
        Batch batch(job_);
        job_.setStatus(lang("11043", "Could Not Establish Data Connection"));
        job_.setBriefStatus(job_.progress_.status);
    });
    connect(&ftp, &FtpRetrieval::failed, this, [this](const QString& text) {
        Batch batch(job_);
        job_.fail(text);
    });
    connect(&ftp, &FtpRetrieval::dataReadyRead, this, [this] {
        Batch batch(job_);
        dataArrival();
    });
    connect(&ftp, &FtpRetrieval::dataClosed, this, [this] {
        Batch batch(job_);
        dataClosed();
    });
    connect(&ftp, &FtpRetrieval::dataError, this, [this](const QString& description) {
        job_.publish();
        if (job_.attended)
            Prompts::instance().MsgBox(lang("11032", "FTP Downloading error:") + description, MsgButtons::OkOnly,
                                       MsgIcon::None, programTitle());
    });
    connect(&ftp, &FtpRetrieval::controlClosed, this, [this] {
        Batch batch(job_);
        controlClosed();
    });
    connect(&ftp, &FtpRetrieval::controlFailed, this, [this](const QString& description) {
        Batch batch(job_);
        const QString text = lang("19010", "Could not connect to the server:") + u' ' + description;
        job_.setStatus(text);
        job_.setBriefStatus(text);
        ftp_->close();
        job_.emitNeedsUser();
    });
}

void JobFtp::reset()
{
    sftp_.reset();
    close();
    blnResumeFTP = false;
    ftpStart_ = 0;
    ftpPos_ = 0;
    emptyLogins_.reset();
}

void JobFtp::start(qint16 existsAction)
{
    if (sftp()) {
        sftp_.start(existsAction);
        return;
    }
    if (existsAction == -2) {
        job_.close();
        return;
    }
    // A line break in a name would end the command early and let the rest be read as a command
    // of its own: such an address is never sent.
    if (!FtpRetrieval::isSafeArgument(job_.strFilePath) || !FtpRetrieval::isSafeArgument(job_.strUserName)
        || !FtpRetrieval::isSafeArgument(job_.strPassword)) {
        job_.fail(lang("19016", "The address holds a control character (such as a line break), so it is not sent to the server."));
        return;
    }
    ftp().close();
    const qint64 resumeAt = prepareStart(job_, existsAction);
    blnResumeFTP = resumeAt >= 0;
    ftpStart_ = std::max<qint64>(resumeAt, 0);
    ftpPos_ = ftpStart_;
    login();
}

qint64 JobFtp::prepareStart(DownloadJob& job, qint16 existsAction)
{
    job.closeFiles();
    job.intSegCount = 0;
    qint64 resumeAt = -1;
    const QFileInfo existing(job.strSaveTo);
    if (existing.exists() && existsAction == -1) {
        // An existing file shorter than the rollback starts again from its first byte.
        resumeAt = std::max<qint64>(existing.size() - SettingsStore::instance().record.Rollback, 0);
    } else if (existing.exists() && existsAction == 0) {
        QFile::remove(job.strSaveTo);
        ControlFile::remove(job.strSaveTo);
    }
    // The file is this job's from now on: a retry after a time-out continues it instead of
    // deleting what the first attempt wrote.
    job.existsAction_ = -1;
    job.transferPrepared_ = false;
    job.nameFile();
    // A server that never greets is timed out like one that stops answering later.
    job.startCountdown();
    job.setCanOpenFile(false);
    return resumeAt;
}

void JobFtp::login()
{
    const DownloadSettings& s = SettingsStore::instance().record;
    FtpRetrieval::Login login{job_.strServer, job_.intPort, job_.strUserName, job_.strPassword, job_.strFilePath, s.UsePASV};
    login.tls = job_.TLS;  // ftps://: explicit TLS on the same port as ftp://
    ftp().start(login, ftpStart_);
}

void JobFtp::relogin()
{
    // Continue from the bytes written, less the rollback, with a new login. A file cut short or
    // removed meanwhile continues from what it really holds.
    if (sftp()) {
        sftp_.relogin();
        return;
    }
    const qint64 rollback = SettingsStore::instance().record.Rollback;
    ftp().close();
    job_.output_.close();
    const qint64 onDisk = std::max<qint64>(job_.output_.sizeOnDisk(), 0);
    ftpStart_ = std::max<qint64>(std::min(ftpPos_, onDisk) - rollback, 0);
    ftpPos_ = ftpStart_;
    blnResumeFTP = true;
    job_.failed_ = false;
    login();
}

void JobFtp::startOfFile(qint64 namedSize)
{
    const DownloadSettings& s = SettingsStore::instance().record;
    // "150 Opening BINARY mode data connection for a.bin (123456 bytes)."
    job_.sizeKnown_ = namedSize >= 0;
    if (job_.sizeKnown_) {
        // After a restart the server names the bytes it is about to send, or the whole file. Most
        // name the whole file; a size below the bytes already kept can only be the part to come.
        job_.intContentLength = namedSize;
        if (blnResumeFTP && job_.intContentLength < ftpStart_)
            job_.intContentLength += ftpStart_;
        job_.intFileSize = job_.intContentLength;
    } else {
        job_.intContentLength = 0;
    }
    job_.setSize(job_.intContentLength, job_.sizeKnown_);
    job_.setBriefStatus(lang("11051", "Downloading"));
    job_.setStatus(lang("11051", "Downloading"));
    job_.setCanPause(true);
    if (!blnResumeFTP) {
        ftpStart_ = 0;
        ftpPos_ = 0;
    }
    job_.layOutSegments(1);
    if (!job_.output_.isOpen() && !job_.openOutput())
        return;
    job_.transferPrepared_ = true;
    saveProgress();
    job_.setState(Progress::State::Transferring);
    job_.stopCountdown();
    job_.transferTimers(true);
    // From here on only the watchdog notices a transfer that stops (a data connection that never
    // comes or goes silent): it pauses the job and then logs in again, as for HTTP. A 504 to REST
    // has set it already, with its own period.
    if (s.StopResume && !job_.watchdog.Enabled())
        job_.armWatchdog(s.TimeResume);
    // Data that came before this reply waits in the data socket.
    if (ftp().data() && ftp().data()->bytesAvailable() > 0)
        dataArrival();
    if (ftp().data() && ftp().data()->state() == QAbstractSocket::UnconnectedState)
        dataClosed();
}

void JobFtp::dataArrival()
{
    QTcpSocket* data = ftp().data();
    OutputFile& output = job_.output_;
    if (!data || !job_.transferPrepared_ || !output.isOpen() || job_.completed_ || job_.failed_)
        return;
    static QByteArray buffer(kReadBlock, Qt::Uninitialized);
    qint64 n;
    while ((n = data->read(buffer.data(), kReadBlock)) > 0) {
        if (job_.sizeKnown_ && ftpPos_ + n > job_.intContentLength) {
            // More data than the 150 reply announced: that size was wrong (some servers name only
            // the part after a restart, some a stale size). The data connection carries the file,
            // so its end and the server's 226 decide where the file ends, as for an unnamed size.
            job_.sizeKnown_ = false;
            job_.intContentLength = 0;
            job_.intFileSize = 0;
            job_.setSize(0, false);
        }
        if (!output.write(ftpPos_, buffer.constData(), n)) {
            job_.fail(output.failure());
            return;
        }
        ftpPos_ += n;
        job_.update(0);
    }
    if (job_.isFileDownloaded())
        job_.progressTick();
}

void JobFtp::dataClosed()
{
    // Closed before the reply that opens the file: its data is read once that reply is in.
    if (!ftp().data() || !job_.transferPrepared_)
        return;
    dataArrival();
    if (job_.completed_ || job_.failed_)
        return;
    ftp().setDataEnded();
    checkEnd();
}

void JobFtp::takeAsEnded()
{
    if (sftp()) {
        sftp_.takeAsEnded();
        return;
    }
    ftp().setDataEnded();
    checkEnd();
}

void JobFtp::saveProgress()
{
    if (sftp()) {
        sftp_.saveProgress();
        return;
    }
    if (!job_.transferPrepared_ || job_.completed_ || job_.keepsNoControlFile())
        return;
    ControlFile control;
    control.size = job_.sizeKnown_ ? std::max(job_.intContentLength, ftpPos_) : ftpPos_;
    if (ftpPos_ > 0)
        control.complete = {{0, ftpPos_}};
    if (!control.write(job_.strSaveTo) && !ControlFile::writable(job_.strSaveTo))
        job_.controlFileAllowed();
}

void JobFtp::checkEnd()
{
    // The file is whole when its announced size has arrived. Without a size it is whole when the
    // data connection has closed and the server has confirmed the transfer with 226.
    if (job_.completed_ || job_.failed_ || !job_.transferPrepared_)
        return;
    if (job_.isFileDownloaded()) {
        job_.progressTick();
        return;
    }
    if (!ftp().dataEnded() && !ftp().controlGone())
        return;
    if (!job_.sizeKnown_ && ftp().dataEnded() && ftp().confirmed()) {
        job_.intContentLength = ftpPos_;
        job_.intFileSize = job_.intContentLength;
        job_.sizeKnown_ = true;
        job_.setSize(job_.intContentLength, true);
        job_.complete();
        return;
    }
    if (!ftp().confirmed() && !ftp().controlGone())
        return;  // the data has ended; the server's word on it has not come yet
    // Short: a new login continues the file.
    const bool gone = ftp().controlGone() && !ftp().confirmed();
    retryAfterFailure(gone ? lang("19103", "The FTP server closed the connection.") : ftp().lastReply());
}

void JobFtp::retryAfterFailure(const QString& reply)
{
    // Only bytes beyond the furthest point reached are progress; the rollback's are not.
    if (!emptyLogins_.another(ftpPos_)) {
        job_.fail(lang("19005", "The server keeps closing the connection without sending the file:") + u' ' + reply);
        return;
    }
    relogin();
}

void JobFtp::controlClosed()
{
    if (job_.completed_ || job_.failed_)
        return;
    if (job_.transferPrepared_ && ftp().data() && !ftp().dataEnded()) {
        // The data goes on; once it ends the file is continued if it is short.
        ftp().setControlGone();
        return;
    }
    if (!job_.transferPrepared_ && ftp().step() < FtpRetrieval::Step::Port) {
        // Closed during the login: the countdown decides when to try again.
        job_.setStatus(lang("19103", "The FTP server closed the connection."));
        job_.setBriefStatus(job_.progress_.status);
        return;
    }
    ftp().setControlGone();
    checkEnd();
}

}  // namespace harbel
