#include "downloader/engine/JobSftp.h"

#include "common/prompts/Prompts.h"
#include "common/ssh/SshPassphrases.h"
#include "downloader/engine/ControlFile.h"
#include "downloader/engine/DownloadJob.h"
#include "downloader/engine/DownloadText.h"
#include "downloader/engine/JobFtp.h"
#include "downloader/engine/SftpRetrieval.h"
#include "downloader/settings/DownloadSettings.h"

#include <QCoreApplication>

namespace harbel {

namespace {

bool asksQuestions = true;

// Retrievals let go while still running. When the application ends they are given a few seconds
// to finish their block, so that libssh is not torn down under them.
QList<QPointer<SftpRetrieval>>& letGo()
{
    static QList<QPointer<SftpRetrieval>> retrievals;
    return retrievals;
}

void waitForRetrievals()
{
    for (const QPointer<SftpRetrieval>& r : std::as_const(letGo()))
        if (r)
            r->wait(QDeadlineTimer(5000));
    letGo().clear();
}

}  // namespace

void JobSftp::setAsksQuestions(bool on)
{
    asksQuestions = on;
}

JobSftp::JobSftp(DownloadJob& job) : job_(job) {}

JobSftp::~JobSftp()
{
    close();
}

void JobSftp::close()
{
    if (!retrieval_)
        return;
    SftpRetrieval* r = retrieval_;
    retrieval_ = nullptr;
    disconnect(r, nullptr, this, nullptr);
    r->stop();
    // A retrieval blocked in the network ends by itself (its time-out) and is deleted then; the
    // job does not wait for it.
    if (r->isFinished()) {
        r->deleteLater();
        return;
    }
    connect(r, &QThread::finished, r, &QObject::deleteLater);
    static const bool registered = (qAddPostRoutine(waitForRetrievals), true);
    Q_UNUSED(registered);
    letGo().removeAll(nullptr);
    letGo().append(r);
}

void JobSftp::reset()
{
    close();
    start_ = 0;
    pos_ = 0;
    ended_ = false;
    emptyLogins_.reset();
}

void JobSftp::start(qint16 existsAction)
{
    if (existsAction == -2) {
        job_.close();
        return;
    }
    close();
    ended_ = false;
    start_ = pos_ = std::max<qint64>(JobFtp::prepareStart(job_, existsAction), 0);
    login();
}

void JobSftp::relogin()
{
    close();
    job_.output_.close();
    const qint64 onDisk = std::max<qint64>(job_.output_.sizeOnDisk(), 0);
    start_ = std::max<qint64>(std::min(pos_, onDisk) - SettingsStore::instance().record.Rollback, 0);
    pos_ = start_;
    ended_ = false;
    job_.failed_ = false;
    login();
}

void JobSftp::login()
{
    DownloadJob::Batch batch(job_);
    SftpRetrieval::Login login;
    login.server = job_.strServer;
    login.port = job_.intPort;
    login.user = job_.strUserName;
    login.password = job_.strPassword;
    login.path = job_.strFilePath;
    login.localPath = job_.strSaveTo;
    login.timeoutSeconds = std::max(SettingsStore::instance().record.Timeout, 1);
    const bool mayAsk = job_.attended && asksQuestions;
    SftpRetrieval::HostKeyQuestion ask;
    if (mayAsk) {
        // The questions are the job's thread's: the retrieval waits for them.
        ask = [this](const SshHostKey& key) {
            int answer = 0;
            QMetaObject::invokeMethod(
                this, [&] { answer = askHostKey(key.type, key.fingerprint, key.where); }, Qt::BlockingQueuedConnection);
            return SftpRetrieval::Trust(answer);
        };
        login.askPassphrase = [this](const QString& keyFile) {
            QString answer;
            QMetaObject::invokeMethod(this, [&] { answer = askPassphrase(keyFile); }, Qt::BlockingQueuedConnection);
            return answer;
        };
    }
    auto* r = new SftpRetrieval(login, start_, std::move(ask));
    retrieval_ = r;
    connect(r, &SftpRetrieval::loggingIn, this, [this] {
        DownloadJob::Batch batch(job_);
        job_.setStatus(lang("11049", "Logging In..."));
        job_.setBriefStatus(job_.progress_.status);
        job_.setCanStop(true);
    });
    connect(r, &SftpRetrieval::opened, this, &JobSftp::opened);
    connect(r, &SftpRetrieval::progressed, this, &JobSftp::progressed);
    connect(r, &SftpRetrieval::done, this, &JobSftp::done);
    connect(r, &SftpRetrieval::connectionFailed, this, &JobSftp::connectionFailed);
    connect(r, &SftpRetrieval::refused, this, &JobSftp::refused);
    connect(r, &QThread::finished, this, [this, r] {
        if (retrieval_ != r)
            return;
        retrieval_ = nullptr;
        r->deleteLater();
    });
    job_.setBriefStatus(lang("11051", "Downloading..."));
    r->start();
}

int JobSftp::askHostKey(const QString& type, const QString& fingerprint, const QString& where)
{
    if (!retrieval_ || retrieval_->stopping())
        return int(SftpRetrieval::Trust::Refuse);
    job_.publish();
    // The countdown waits for the answer: a person is reading the fingerprint.
    job_.stopCountdown();
    const QString text = QStringLiteral("The host key of %1 is not known yet:\n%2 %3\n\nTrust it always (Yes: it is added to "
                                        "~/.ssh/known_hosts), this time only (No), or do not connect (Cancel)?")
                             .arg(where, type, fingerprint);
    const MsgAnswer answer = Prompts::instance().MsgBox(text, MsgButtons::YesNoCancel, MsgIcon::Exclamation, programTitle());
    // Stopped or closed while the question was open: nothing goes on.
    if (!retrieval_ || retrieval_->stopping() || answer == MsgAnswer::Cancel)
        return int(SftpRetrieval::Trust::Refuse);
    job_.startCountdown();
    return int(answer == MsgAnswer::Yes ? SftpRetrieval::Trust::Always : SftpRetrieval::Trust::ThisTime);
}

QString JobSftp::askPassphrase(const QString& keyFile)
{
    if (!retrieval_ || retrieval_->stopping())
        return {};
    job_.publish();
    job_.stopCountdown();
    // Stopped or closed while the question was open: the key is left out.
    const QString given = SshPassphrases::ask(keyFile, programTitle(), [this] { return retrieval_ && !retrieval_->stopping(); });
    if (retrieval_ && !retrieval_->stopping())
        job_.startCountdown();
    return given;
}

void JobSftp::opened(qint64 size)
{
    DownloadJob::Batch batch(job_);
    job_.setAddress(job_.strURL);
    job_.sizeKnown_ = size >= 0;
    job_.intContentLength = std::max<qint64>(size, 0);
    job_.intFileSize = job_.intContentLength;
    if (size >= 0 && pos_ > size)
        start_ = pos_ = size;
    job_.setSize(job_.intContentLength, job_.sizeKnown_);
    job_.setResume(Progress::Resume::Supported);
    job_.setStatus(lang("11051", "Downloading"));
    job_.setBriefStatus(lang("11051", "Downloading"));
    job_.setCanPause(true);
    job_.layOutSegments(1);
    if (!job_.output_.isOpen() && !job_.openOutput()) {
        close();
        return;
    }
    job_.transferPrepared_ = true;
    saveProgress();
    job_.setState(Progress::State::Transferring);
    job_.stopCountdown();
    job_.transferTimers(true);
    const DownloadSettings& s = SettingsStore::instance().record;
    if (s.StopResume && !job_.watchdog.Enabled())
        job_.armWatchdog(s.TimeResume);
}

void JobSftp::progressed(qint64 position)
{
    if (!job_.transferPrepared_ || job_.completed_ || job_.failed_)
        return;
    pos_ = position;
    job_.update(0);
}

void JobSftp::done(qint64 position)
{
    DownloadJob::Batch batch(job_);
    if (job_.completed_ || job_.failed_ || !job_.transferPrepared_)
        return;
    pos_ = position;
    ended_ = true;
    if (!job_.sizeKnown_) {
        job_.intContentLength = job_.intFileSize = pos_;
        job_.sizeKnown_ = true;
        job_.setSize(pos_, true);
    }
    job_.setStatus(lang("11046", "Transfer Completed..."));
    job_.complete();
}

void JobSftp::connectionFailed(const QString& reason)
{
    DownloadJob::Batch batch(job_);
    if (!job_.transferPrepared_) {
        // Not even connected: as for FTP, the countdown and the retries decide what comes next.
        const QString text = lang("19010", "Could not connect to the server:") + u' ' + reason;
        job_.setStatus(text);
        job_.setBriefStatus(text);
        close();
        job_.emitNeedsUser();
        return;
    }
    // Cut during the transfer: a new login continues the file, unless logins keep bringing nothing.
    if (!emptyLogins_.another(pos_)) {
        job_.fail(lang("19005", "The server keeps closing the connection without sending the file:") + u' ' + reason);
        return;
    }
    relogin();
}

void JobSftp::refused(const QString& reason)
{
    DownloadJob::Batch batch(job_);
    close();
    job_.stopCountdown();
    job_.fail(reason);
}

void JobSftp::saveProgress()
{
    if (!job_.transferPrepared_ || job_.completed_ || job_.keepsNoControlFile())
        return;
    ControlFile control;
    control.size = job_.sizeKnown_ ? std::max(job_.intContentLength, pos_) : pos_;
    if (pos_ > 0)
        control.complete = {{0, pos_}};
    if (!control.write(job_.strSaveTo) && !ControlFile::writable(job_.strSaveTo))
        job_.controlFileAllowed();
}

}  // namespace harbel
