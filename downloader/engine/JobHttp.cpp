#include "downloader/engine/JobHttp.h"

#include "common/prompts/Prompts.h"
#include "downloader/engine/ControlFile.h"
#include "downloader/engine/DownloadJob.h"
#include "downloader/engine/DownloadText.h"
#include "downloader/engine/HttpAuth.h"
#include "downloader/engine/HttpText.h"
#include "downloader/settings/DownloadSettings.h"

#include <QRegularExpression>

#include <memory>
#include <utility>

namespace harbel {

namespace {

// Redirections followed before the job gives up (the fifth and later restart the job).
constexpr int kMaxRedirects = 20;
constexpr qint64 kMinTakeOver = JobSegments::kMinTakeOver;

}  // namespace

JobHttp::JobHttp(DownloadJob& job) : job_(job)
{
    connect(&probe_, &HttpProbe::replied, this, [this](const QByteArray& head, const QByteArray& body) {
        DownloadJob::Batch batch(job_);
        job_.stopCountdown();
        checkProbeReply(head, body);
    });
    // A page that is still coming restarts the countdown: a server that stops sending it is timed out.
    connect(&probe_, &HttpProbe::pageArrived, this,
            [this] { job_.intTimeLeft = SettingsStore::instance().record.Timeout; });
    connect(&probe_, &HttpProbe::linkFound, this, [this](const QString& link) {
        DownloadJob::Batch batch(job_);
        moveTo(link);
    });
    connect(&probe_, &HttpProbe::noLink, this, [this] {
        DownloadJob::Batch batch(job_);
        if (!job_.transferPrepared_)
            job_.fail(lang("19001", "The server did not announce the size of the file, so it cannot be downloaded safely."));
    });
    connect(&probe_, &HttpProbe::invalidReply, this, [this] {
        DownloadJob::Batch batch(job_);
        if (!job_.transferPrepared_)
            job_.fail(lang("19008", "The server's reply is not a valid HTTP reply."));
    });
    connect(&probe_, &HttpProbe::connectFailed, this, [this](const QString& status, bool final) {
        DownloadJob::Batch batch(job_);
        probeFailed(status, final);
    });
}

JobHttp::~JobHttp()
{
    probe_.abort();
}

void JobHttp::reset()
{
    probe_.abort();
    segments_.reset();
    plan_ = SegmentPlan();
    validator_.clear();
    keepsControlFile_ = false;
    lastSave_.invalidate();
    saveInterval_ = 1000;
    intRedirects = 0;
    address_.clear();
    auth_.reset();
    settler_ = {};
    nameSettled_ = false;
    blnProbeFromZero = false;
    usesHttp1_ = false;
}

bool JobHttp::settleName(const QString& name)
{
    if (!namePending())
        return true;
    nameSettled_ = true;
    const SaveDecision d = settler_(name);
    if (!d.refusal.isEmpty()) {
        job_.fail(d.refusal);
        return false;
    }
    job_.strSaveTo = d.path;
    job_.output_.setPath(d.path);
    job_.existsAction_ = d.existsAction;
    job_.nameFile();
    return job_.FTPMODE || job_.takeExistingFile(d.existsAction);
}

QString JobHttp::serverFileName(const QByteArray& head) const
{
    // The server's name for the file, else the last one of the address it came from.
    const QString name = contentDispositionName(head);
    return name.isEmpty() ? fileNameOfAddress(currentAddress()) : name;
}

QString JobHttp::currentAddress() const
{
    return address_.isEmpty() ? job_.strURL : address_;
}

// ---------------------------------------------------------------- the probe

HttpRoute JobHttp::route() const
{
    HttpRoute r;
    r.server = job_.strServer;
    r.port = job_.intPort;
    r.tls = job_.TLS;
    const DownloadSettings& s = SettingsStore::instance().record;
    if (s.UseProxy) {
        r.useProxy = true;
        r.proxyServer = s.ProxyServer.trimmed();
        r.proxyPort = s.ProxyPort > 0 && s.ProxyPort <= 65535 ? quint16(s.ProxyPort) : 0;
        if (s.LoginProxy)
            r.proxyCredentials = s.UsePass ? s.UserID + u':' + s.UserPass : s.UserID + u':';
    }
    r.auth = auth_;
    return r;
}

bool JobHttp::waitForPasswords(std::function<void()> then)
{
    SettingsStore& store = SettingsStore::instance();
    const int ticket = ++passwordWait_;
    if (!store.passwordsPending())
        return waitForAddressPassword(ticket, std::move(then));
    const QString status = store.proxyQuestionOpen() ? lang("19056", "Waiting for the proxy password...")
                                                     : lang("19055", "Reading the keyring...");
    job_.setStatus(status);
    job_.setBriefStatus(status);
    job_.publish();
    store.whenPasswordsRead(&job_, [this, ticket, then = std::move(then)](bool given) {
        if (ticket != passwordWait_ || job_.progress_.held || job_.failed_)
            return;
        // The question of another download was dismissed: this one is not asked again.
        if (!given && !job_.FTPMODE && SettingsStore::instance().proxyPasswordWanted()) {
            job_.fail(lang("19053", "Stopped: the proxy password was not given."), Progress::State::Stopped);
            return;
        }
        // A site login read meanwhile replaces what the address gave, as when it was parsed.
        if (const auto [user, password] = GetSiteLogin(job_.strServer); !user.isEmpty() || !password.isEmpty()) {
            job_.strUserName = user.trimmed();
            job_.strPassword = password.trimmed();
        }
        then();
    });
    return true;
}

bool JobHttp::waitForAddressPassword(int ticket, std::function<void()> then)
{
    // An address that names its user without a password (as History.ini keeps them): the keyring
    // has it as the site's login, if anywhere.
    const QString login = job_.strServer + u'\n' + job_.strUserName;
    if (job_.strUserName.isEmpty() || !job_.strPassword.isEmpty() || login == loginLookedUp_)
        return false;
    loginLookedUp_ = login;
    // Whether the keyring answered, and whether this call had returned by then (the job waits).
    auto state = std::make_shared<std::pair<bool, bool>>(false, false);
    SecretStore::instance().findLater(SettingsStore::loginEntry(job_.strServer, job_.strUserName), SecretStore::marker(), &job_,
                                      [this, ticket, login, state, then](const QString& password) {
                                          if (job_.strServer + u'\n' + job_.strUserName == login && job_.strPassword.isEmpty())
                                              job_.strPassword = password;
                                          state->first = true;
                                          if (state->second && ticket == passwordWait_ && !job_.progress_.held && !job_.failed_)
                                              then();
                                      });
    if (state->first)
        return false;
    state->second = true;
    job_.setStatus(lang("19055", "Reading the keyring..."));
    job_.publish();
    return true;
}

bool JobHttp::proxyPasswordReady()
{
    SettingsStore& store = SettingsStore::instance();
    if (!store.proxyPasswordWanted())
        return true;
    // Nobody is asked about a download nobody watches: it fails with the reason.
    if (!job_.attended) {
        job_.fail(store.proxyPasswordNotSaved
                      ? lang("19051", "The proxy password is not saved, and a download that starts by itself asks for nothing: start it yourself to give the password, or save it in the settings.")
                      : lang("19050", "The proxy password is kept in the keyring, which cannot be read in this session:") + u' '
                          + store.unreadablePassword);
        return false;
    }
    job_.publish();
    // One question a run: the downloads that start while it is open wait for its answer.
    store.proxyQuestionOpened();
    const std::optional<QString> password = Prompts::instance().PasswordBox(
        lang("19052", "The password of %1 for the proxy %2 is not saved. It is kept until the program ends.")
            .arg(store.record.UserID, store.record.ProxyServer),
        programTitle());
    if (password)
        store.useProxyPassword(*password);
    store.proxyQuestionClosed(password.has_value());
    if (!password) {
        // Dismissed: the download stops before anything is written.
        job_.fail(lang("19053", "Stopped: the proxy password was not given."), Progress::State::Stopped);
        return false;
    }
    return true;
}

void JobHttp::connectProbe()
{
    if (waitForPasswords([this] { connectProbe(); }) || !proxyPasswordReady())
        return;
    // Every probe gets the whole countdown, also one sent after a redirection or to an embedded
    // link: a server that never answers it is timed out and the job retried.
    job_.startCountdown();
    probe_.start(route(), job_.strFile, blnProbeFromZero);
}

void JobHttp::probeFailed(const QString& status, bool final)
{
    if (final) {
        // A refused certificate, a broken secure connection or a proxy that refuses: asking again
        // gives the same answer.
        job_.fail(status);
        return;
    }
    // The countdown stays armed: when it runs out the job is retried as after any time-out.
    job_.setStatus(status);
    job_.setBriefStatus(status);
    job_.emitNeedsUser();
}

void JobHttp::checkProbeReply(const QByteArray& head, const QByteArray& body)
{
    const qint16 code = GetStatusCode(QString::fromLatin1(head));
    if (code == 401 && answerChallenge(head)) {
        connectProbe();
        return;
    }
    const QString message = GetError(code);
    if (message != QLatin1String("SUCCESS")) {
        probe_.abort();
        job_.setStatus(message);
        job_.setBriefStatus(message);
        job_.setState(Progress::State::Refused);
        job_.setCanPause(false);
        job_.setCanStop(false);
        job_.countdownTimer.setEnabled(false);
        job_.failed_ = true;
        job_.emitConnecting(false);
        job_.emitNeedsUser();
        return;
    }

    switch (code) {
    case 200:
    case 206: {
        std::optional<qint64> size;
        if (!isChunked(head)) {
            if (const auto field = headerField(head, "Content-Length"))
                size = parseLength(*field);
            if (code == 206) {
                if (const auto range = headerField(head, "Content-Range"))
                    if (const auto r = parseContentRange(*range); r && r->total >= 0)
                        size = r->total;
            }
        }
        if (!size) {
            // No usable length: the page may carry the real address as an embedded link.
            job_.intTimeLeft = SettingsStore::instance().record.Timeout;
            job_.countdownTimer.setEnabled(true);
            probe_.scanForLink(job_.fileNameOfJob(), body);
            return;
        }
        if (!settleName(serverFileName(head)))
            return;
        job_.intContentLength = *size;
        validator_ = validatorOf(head);
        job_.setSize(job_.intContentLength, true);
        job_.setResume(Progress::Resume::Supported);
        job_.nameFile();
        const DownloadSettings& s = SettingsStore::instance().record;
        if (s.StopResume)
            job_.armWatchdog(s.TimeResume);
        probe_.abort();
        if (code == 200)
            job_.checkCreate(job_.intContentLength);
        else
            job_.checkCreate1(job_.intContentLength);
        return;
    }
    case 300:
    case 301:
    case 302:
    case 303:
    case 307:
    case 308:
        followRedirect(head);
        return;
    case 416:
        probe_.abort();
        if (headerField(head, "Content-Range").value_or(QByteArray()).simplified() == "bytes */0") {
            // An empty file has no byte to ask for: there is nothing to fetch but the file itself.
            if (!settleName(serverFileName(head)))
                return;
            job_.intContentLength = 0;
            job_.setSize(0, true);
            job_.nameFile();
            job_.checkCreate(0);
            return;
        }
        if (blnProbeFromZero) {
            // Even the whole file is refused: asking again would never end.
            job_.fail(QStringLiteral("HTTP 416 - ") + lang("19011", "The server refused every range of the file."));
            return;
        }
        blnProbeFromZero = true;
        connectProbe();
        return;
    default:
        probe_.abort();
        job_.fail(lang("19004", "The server did not send the file; its answer was:") + u' '
                  + QString::fromLatin1(statusLine(head)));
        return;
    }
}

QString JobHttp::resolveLocation(const QString& location) const
{
    const QString trimmed = location.trimmed();
    // An address of its own begins with a scheme: letters before "://", no "/", "?" or "#".
    const qsizetype scheme = trimmed.indexOf(QLatin1String("://"));
    if (scheme > 0 && !trimmed.left(scheme).contains(QRegularExpression(QStringLiteral("[^A-Za-z0-9+.-]"))))
        return trimmed;
    // A relative address keeps the scheme, server and port of the address it came from.
    const QString base = job_.TLS ? QStringLiteral("https:") : QStringLiteral("http:");
    if (trimmed.startsWith(QLatin1String("//")))
        return base + trimmed;
    const QString server = job_.strServer.contains(u':') ? u'[' + job_.strServer + u']' : job_.strServer;
    const QString host = job_.intPort == (job_.TLS ? 443 : 80) ? server : server + u':' + QString::number(job_.intPort);
    const QString origin = base + QStringLiteral("//") + host;
    if (trimmed.startsWith(u'/'))
        return origin + trimmed;
    const QString path = job_.strFile.section(u'?', 0, 0);
    if (trimmed.startsWith(u'?'))
        return origin + u'/' + path + trimmed;
    return origin + u'/' + path.left(path.lastIndexOf(u'/') + 1) + trimmed;
}

void JobHttp::followRedirect(const QByteArray& head)
{
    intRedirects += 1;
    // Addresses are UTF-8 text, like every text of this program.
    const QString headText = QString::fromUtf8(head) + QStringLiteral("\r\n");
    QString address = GetHeaderValue(headText, QStringLiteral("Location:"));
    if (address.trimmed().isEmpty())
        address = QString::fromUtf8(headerField(head, "Location").value_or(QByteArray()));
    probe_.abort();
    if (address.trimmed().isEmpty()) {
        job_.fail(lang("19012", "The server redirected the download without saying where to."));
        return;
    }
    if (intRedirects > kMaxRedirects) {
        job_.fail(lang("19006", "The server redirected the download too many times."));
        return;
    }
    moveTo(address);
}

void JobHttp::moveTo(const QString& location)
{
    const QString address = resolveLocation(location).trimmed();
    // Only http://, https://, ftp:// and ftps:// are spoken here.
    if (!isDownloadScheme(address)) {
        job_.fail(lang("19300", "The server redirected the download to an address that cannot be fetched:") + u' '
                  + addressForDisplay(address));
        return;
    }
    const QString from = currentAddress();
    const QString user = job_.strUserName, password = job_.strPassword;
    address_ = address;
    // The window shows an address of its own as the server wrote it.
    job_.setAddress(address == location.trimmed() ? location : address);
    job_.ParseURL(address);
    // The login of an address goes to its own server only: an address on another one uses its
    // own login, if any, and the challenge answered here is forgotten.
    if (originOf(from) == originOf(address)) {
        if (job_.strUserName.isEmpty() && job_.strPassword.isEmpty()) {
            job_.strUserName = user;
            job_.strPassword = password;
        }
    } else {
        auth_.reset();
    }
    // An address is fetched by its own scheme: an FTP one starts the job again as an FTP job.
    if (intRedirects < 5 && !job_.FTPMODE)
        connectProbe();
    else
        job_.startJob(job_.existsAction_);
}

bool JobHttp::answerChallenge(const QByteArray& head)
{
    if (job_.strUserName.isEmpty() && job_.strPassword.isEmpty())
        return false;
    if (!auth_)
        auth_ = std::make_shared<HttpAuth>(job_.strUserName, job_.strPassword);
    return auth_->challenge(head);
}

// ---------------------------------------------------------------- the plan

int JobHttp::segmentCountFor(qint64 size) const
{
    const auto& S = SettingsStore::instance().record.SegmentSize;
    const double d = double(size);
    if (d >= S[0] && d <= S[1])
        return 2;
    if (d >= S[2] && d <= S[3])
        return 3;
    if (d >= S[4] && d <= S[5])
        return 4;
    if (d >= S[6] && d <= S[7])
        return 5;
    if (d >= S[8])
        return 6;
    return 0;
}

bool JobHttp::askSegmented(bool ranged)
{
    // A stopped or paused segmented download resumes as well as any other: the question says so.
    const QString text = ranged
        ? lang("13022", "Use segmented downloading? Several connections fetch the file at once; a paused or stopped "
                        "download still resumes where it left off.")
        : QStringLiteral("Use segmented downloading? Several connections fetch the file at once (more segments make "
                         "the program slower); a paused or stopped download still resumes where it left off.");
    // The settings answer for downloads nobody is there for, and for every one unless asked to ask.
    if (!job_.attended || !SettingsStore::instance().record.AskSegmented)
        return true;
    job_.publish();
    return Prompts::instance().MsgBox(text, MsgButtons::YesNo, MsgIcon::Question, programTitle()) == MsgAnswer::Yes;
}

void JobHttp::prepareTransfer(qint64 size, bool ranged)
{
    const DownloadSettings& s = SettingsStore::instance().record;
    usesHttp1_ = ranged;
    keepsControlFile_ = true;
    // A resumed file goes on as its control file says, else over one connection.
    int n = 1;
    if (job_.existsAction_ != -1 && s.Segment == 1 && double(size) >= s.SegmentSize[0] && askSegmented(ranged))
        n = std::max(segmentCountFor(size), 1);
    job_.closeFiles();
    if (!job_.openOutput())
        return;
    if (job_.existsAction_ == -1) {
        if (!planResume(size))
            return;
    } else {
        plan_ = SegmentPlan::split(size, n);
    }
    job_.intSegCount = quint8(plan_.count() >= 2 ? plan_.count() : 0);
    job_.transferPrepared_ = true;
    job_.setState(Progress::State::Transferring);
    job_.layOutSegments(plan_.count());
    saveProgress(true);
    segments_.startTransfers();
    job_.transferTimers(true);
}

bool JobHttp::planResume(qint64 size)
{
    const DownloadSettings& s = SettingsStore::instance().record;
    bool damaged = false;
    const std::optional<ControlFile> control = ControlFile::read(job_.strSaveTo, &damaged);
    OutputFile& output = job_.output_;
    const qint64 onDisk = std::max<qint64>(output.sizeOnDisk(), 0);
    if (damaged || (control && !control->matches(size, validator_))) {
        // The ranges on disk belong to another file (or cannot be known): none of them is kept.
        const QString text = lang("19015", "The file on the server is not the one this download began with, so it "
                                           "is downloaded again from its start.");
        job_.setStatus(text);
        job_.publish();
        emit job_.notice(text);
        if (!output.resize(0)) {
            job_.fail(output.failure());
            return false;
        }
        plan_ = SegmentPlan::split(size, 1);
        return true;
    }
    if (control) {
        // Only what the file really holds counts: a file cut short or made anew since is never
        // written at the old offsets.
        QList<ByteRange> kept;
        for (const ByteRange& r : control->complete)
            if (r.begin < onDisk)
                kept.append({r.begin, std::min(r.end, onDisk)});
        const int n = control->segments >= 2 && s.Segment == 1 ? std::max(segmentCountFor(size), 2) : 1;
        plan_ = SegmentPlan::missing(size, kept, n, kMinTakeOver);
        return true;
    }
    if (onDisk > size) {
        // Not the beginning of this file: resuming would keep bytes of another one.
        job_.closeFiles();
        job_.fail(lang("19014", "The file on disk is larger than the file on the server, so it cannot be resumed."));
        return false;
    }
    // Without a control file the file's length is all there is: the last Rollback bytes (and the one
    // before them) are fetched again.
    const qint64 rollback = s.Rollback;
    const qint64 from = rollback < onDisk && onDisk > 1 ? onDisk - rollback - 1 : 0;
    plan_ = SegmentPlan::missing(size, {{0, from}}, 1, kMinTakeOver);
    return true;
}

void JobHttp::saveProgress(bool force)
{
    if (!keepsControlFile_ || !job_.transferPrepared_ || job_.completed_ || job_.FTPMODE || job_.keepsNoControlFile())
        return;
    if (!force && lastSave_.isValid() && lastSave_.elapsed() < saveInterval_)
        return;
    ControlFile control;
    control.size = job_.intContentLength;
    control.validator = validator_;
    control.segments = std::max<int>(job_.intSegCount, 1);
    control.complete = plan_.completeRanges();
    // Ranges past a gap are named only once their bytes are on the disk. The complete start needs
    // no flush: a resume never takes more of it than the file really holds. The flush costs at
    // most about a tenth of the time.
    const bool gaps = control.complete.size() > 1 || (control.complete.size() == 1 && control.complete[0].begin > 0);
    if (gaps && job_.output_.isOpen()) {
        QElapsedTimer took;
        took.start();
        if (!job_.output_.sync())
            return;
        saveInterval_ = std::max<qint64>(1000, 10 * took.elapsed());
    }
    if (!control.write(job_.strSaveTo) && !ControlFile::writable(job_.strSaveTo) && !job_.controlFileAllowed())
        return;
    lastSave_.restart();
}

void JobHttp::resumeSegments()
{
    // What is on disk is the truth: a file removed or cut short while the job was paused is not
    // written at its old offsets, and the file now at the path is the one written.
    const qint64 onDisk = std::max<qint64>(job_.output_.sizeOnDisk(), 0);
    job_.closeFiles();
    if (!job_.openOutput())
        return;
    plan_.clipTo(onDisk, kMinTakeOver);
    job_.intSegCount = quint8(plan_.count() >= 2 ? plan_.count() : 0);
    const qint64 rollback = SettingsStore::instance().record.Rollback;
    for (int k = 0; k < plan_.count(); ++k) {
        // A segment moves back within its own range only.
        plan_.rollBack(k, rollback);
        segments_.connectTransfer(k);
    }
    job_.transferTimers(true);
}

}  // namespace harbel
