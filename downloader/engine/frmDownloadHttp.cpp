// What a download job does with HTTP: the probe's reply, redirections, the plan of the transfer,
// its ranged connections and the control file that lets a resume fetch exactly what is missing.

#include "downloader/engine/frmDownload.h"

#include "common/platform/Prompts.h"
#include "common/support/Skin.h"
#include "downloader/engine/ControlFile.h"
#include "downloader/engine/DownloadFormat.h"
#include "downloader/engine/DownloadText.h"
#include "downloader/engine/HttpText.h"
#include "downloader/settings/DownloadSettings.h"

namespace harbel {

namespace {

// Redirections followed before the job gives up (the fifth and later restart the job).
constexpr int kMaxRedirects = 20;
// Connections in a row that the server closes before any data, before the job gives up.
constexpr int kMaxEmptyCloses = 5;
// A finished connection takes over half of another's range only when that half is at least this
// long; missing ranges of a resumed file are not split below it either.
constexpr qint64 kMinTakeOver = 1024 * 1024;

}  // namespace

// ---------------------------------------------------------------- the probe

HttpRoute frmDownload::route() const
{
    HttpRoute r;
    r.server = strServer;
    r.port = intPort;
    r.tls = TLS;
    const DownloadSettings& s = SettingsStore::instance().record;
    if (s.UseProxy) {
        r.useProxy = true;
        r.proxyServer = s.ProxyServer.trimmed();
        r.proxyPort = s.ProxyPort > 0 && s.ProxyPort <= 65535 ? quint16(s.ProxyPort) : 0;
        if (s.LoginProxy)
            r.proxyCredentials = s.UsePass ? s.UserID + u':' + s.UserPass : s.UserID + u':';
    }
    return r;
}

void frmDownload::connectProbe()
{
    // Every probe gets the whole countdown, also one sent after a redirection or to an embedded
    // link: a server that never answers it is timed out and the job retried.
    startCountdown();
    probe_.start(route(), strFile, blnProbeFromZero);
}

void frmDownload::probeFailed(const QString& status, bool final)
{
    if (final) {
        // A refused certificate, a broken secure connection or a proxy that refuses: asking again
        // gives the same answer.
        fail(status);
        return;
    }
    // The countdown stays armed: when it runs out the job is retried as after any time-out.
    lblStatus.setCaption(status);
    setRowCell(DownloadRow::Status, status);
    emit needsUser();
}

void frmDownload::CheckProbeReply(const QByteArray& head, const QByteArray& body)
{
    const qint16 code = GetStatusCode(QString::fromLatin1(head));
    const QString message = GetError(code);
    if (message != QLatin1String("SUCCESS")) {
        probe_.abort();
        lblStatus.setCaption(message);
        setRowCell(DownloadRow::Status, message);
        setRowCell(DownloadRow::Percent, QStringLiteral("0 %"));
        cmdPause.setEnabled(false);
        cmdStop.setEnabled(false);
        tmrTimeOut.setEnabled(false);
        failed_ = true;
        RefreshControls(*this);
        emit connectingChanged(false);
        emit needsUser();
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
            intTimeLeft = SettingsStore::instance().record.Timeout;
            tmrTimeOut.setEnabled(true);
            probe_.scanForLink(fileNameOfJob(), body);
            return;
        }
        intContentLength = *size;
        validator_ = validatorOf(head);
        lblFileSize.setCaption(FormatBytes(double(intContentLength)));
        lblResume.setCaption(lang("04018", "** Resume Supported **"));
        setRowCell(DownloadRow::Filename, strSaveTo);
        setRowCell(DownloadRow::Size, lblFileSize.Caption());
        const DownloadSettings& s = SettingsStore::instance().record;
        if (s.StopResume) {
            tmrReconnect.setIntervalUnit(0);
            tmrReconnect.setInterval(s.TimeResume);
            tmrReconnect.setEnabled(true);
        }
        probe_.abort();
        if (code == 200)
            Check_Create(intContentLength);
        else
            Check_Create1(intContentLength);
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
            intContentLength = 0;
            lblFileSize.setCaption(FormatBytes(0));
            setRowCell(DownloadRow::Filename, strSaveTo);
            setRowCell(DownloadRow::Size, lblFileSize.Caption());
            Check_Create(0);
            return;
        }
        if (blnProbeFromZero) {
            // Even the whole file is refused: asking again would never end.
            fail(QStringLiteral("HTTP 416 - ") + lang("19011", "The server refused every range of the file."));
            return;
        }
        blnProbeFromZero = true;
        connectProbe();
        return;
    default:
        probe_.abort();
        fail(lang("19004", "The server did not send the file; its answer was:") + u' ' + QString::fromLatin1(statusLine(head)));
        return;
    }
}

QString frmDownload::resolveLocation(const QString& location) const
{
    const QString trimmed = location.trimmed();
    if (trimmed.contains(QLatin1String("://")))
        return location;
    // A relative address keeps the scheme of the address it came from.
    const QString scheme = TLS ? QStringLiteral("https:") : QStringLiteral("http:");
    const quint16 defaultPort = TLS ? 443 : 80;
    const QString host = intPort == defaultPort ? strServer : strServer + u':' + QString::number(intPort);
    if (trimmed.startsWith(QLatin1String("//")))
        return scheme + trimmed;
    if (trimmed.startsWith(u'/'))
        return scheme + QStringLiteral("//") + host + trimmed;
    const qsizetype slash = strFile.lastIndexOf(u'/');
    return scheme + QStringLiteral("//") + host + u'/' + strFile.left(slash + 1) + trimmed;
}

void frmDownload::followRedirect(const QByteArray& head)
{
    intRedirects += 1;
    // Addresses are UTF-8 text, like every text of this program.
    const QString headText = QString::fromUtf8(head) + QStringLiteral("\r\n");
    QString address = GetHeaderValue(headText, QStringLiteral("Location:"));
    if (address.trimmed().isEmpty())
        address = QString::fromUtf8(headerField(head, "Location").value_or(QByteArray()));
    probe_.abort();
    if (address.trimmed().isEmpty()) {
        fail(lang("19012", "The server redirected the download without saying where to."));
        return;
    }
    if (intRedirects > kMaxRedirects) {
        fail(lang("19006", "The server redirected the download too many times."));
        return;
    }
    address = resolveLocation(address);
    // Only http://, https://, ftp:// and ftps:// are spoken here; any other address would be taken
    // for an FTP one and asked in the wrong language.
    if (!isDownloadScheme(address.trimmed())) {
        fail(lang("19300", "The server redirected the download to an address that cannot be fetched:") + u' '
             + address.trimmed());
        return;
    }
    txtURL.setText(address);
    ParseURL(address);
    // An FTP address is not probed with an HTTP request: the job starts again as an FTP job.
    if (intRedirects < 5 && !FTPMODE)
        connectProbe();
    else
        RestartFromAddress(address);
}

void frmDownload::RestartFromAddress(const QString& address)
{
    ParseURL(address);
    startJob(existsAction_);
}

void frmDownload::linkFound(const QString& link)
{
    ParseURL(link);
    connectProbe();
}

// ---------------------------------------------------------------- the plan

void frmDownload::Check_Create(qint64 size)
{
    prepareTransfer(size, false);
}

void frmDownload::Check_Create1(qint64 size)
{
    blnProbeFromZero = false;
    prepareTransfer(size, true);
}

int frmDownload::segmentCountFor(qint64 size) const
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

bool frmDownload::askSegmented(bool ranged)
{
    const QString text = ranged
        ? lang("13022", "If you use segemnted downloading, you will not be able to resume after stopping(you still be "
                        "able to resume after pausing),Use Segemnted?!")
        : QStringLiteral("If you use segemnted downloading,you will not be able to resume after stopping (you still be "
                         "able to resume after pausing, and more segments will cause the program solwer),Use "
                         "Segemnted?!");
    return Prompts::instance().MsgBox(text, MsgButtons::YesNo, MsgIcon::Question, programTitle()) == MsgAnswer::Yes;
}

void frmDownload::prepareTransfer(qint64 size, bool ranged)
{
    const DownloadSettings& s = SettingsStore::instance().record;
    usesHttp1_ = ranged;
    keepsControlFile_ = true;
    // A resumed file goes on as its control file says, else over one connection.
    int n = 1;
    if (existsAction_ != -1 && s.Segment == 1 && double(size) >= s.SegmentSize[0] && askSegmented(ranged))
        n = std::max(segmentCountFor(size), 1);
    closeFiles();
    if (!openOutput())
        return;
    if (existsAction_ == -1) {
        if (!planResume(size))
            return;
    } else {
        plan_ = SegmentPlan::split(size, n);
    }
    intSegCount = quint8(plan_.count() >= 2 ? plan_.count() : 0);
    transferPrepared_ = true;
    LayoutSegmentBars(plan_.count());
    saveProgress(true);
    startTransfers();
    tmrUpdate.setEnabled(true);
    tmrUpdate2.setEnabled(true);
}

bool frmDownload::planResume(qint64 size)
{
    const DownloadSettings& s = SettingsStore::instance().record;
    bool damaged = false;
    const std::optional<ControlFile> control = ControlFile::read(strSaveTo, &damaged);
    const qint64 onDisk = std::max<qint64>(output_.sizeOnDisk(), 0);
    if (damaged || (control && !control->matches(size, validator_))) {
        // The ranges on disk belong to another file (or cannot be known): none of them is kept.
        const QString text = lang("19015", "The file on the server is not the one this download began with, so it "
                                           "is downloaded again from its start.");
        lblStatus.setCaption(text);
        emit notice(text);
        if (!output_.resize(0)) {
            fail(output_.failure());
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
        closeFiles();
        fail(lang("19014", "The file on disk is larger than the file on the server, so it cannot be resumed."));
        return false;
    }
    // Without a control file the file's length is all there is: the last Rollback bytes (and the one
    // before them) are fetched again.
    const qint64 rollback = s.Rollback;
    const qint64 from = rollback < onDisk && onDisk > 1 ? onDisk - rollback - 1 : 0;
    plan_ = SegmentPlan::missing(size, {{0, from}}, 1, kMinTakeOver);
    return true;
}

bool frmDownload::openOutput()
{
    // All connections write into the one output file, created empty when it is missing.
    if (output_.open())
        return true;
    closeFiles();
    Prompts::instance().MsgBox(QStringLiteral("Error No. %1 %2").arg(output_.errorNumber()).arg(output_.errorDescription()),
                               MsgButtons::OkOnly, MsgIcon::None, programTitle());
    fail(output_.failure());
    return false;
}

void frmDownload::saveProgress(bool force)
{
    if (!keepsControlFile_ || !transferPrepared_ || completed_ || FTPMODE)
        return;
    if (!force && lastSave_.isValid() && lastSave_.elapsed() < saveInterval_)
        return;
    ControlFile control;
    control.size = intContentLength;
    control.validator = validator_;
    control.segments = std::max<int>(intSegCount, 1);
    control.complete = plan_.completeRanges();
    // Ranges past a gap are named only once their bytes are on the disk. The complete start needs
    // no flush: a resume never takes more of it than the file really holds. The flush costs at
    // most about a tenth of the time.
    const bool gaps = control.complete.size() > 1 || (control.complete.size() == 1 && control.complete[0].begin > 0);
    if (gaps && output_.isOpen()) {
        QElapsedTimer took;
        took.start();
        if (!output_.sync())
            return;
        saveInterval_ = std::max<qint64>(1000, 10 * took.elapsed());
    }
    control.write(strSaveTo);
    lastSave_.restart();
}

void frmDownload::startTransfers()
{
    for (int k = 0; k < plan_.count(); ++k)
        connectTransfer(k);
}

void frmDownload::fallBackToOneConnection()
{
    // The server sends the whole file whatever range is asked: one connection takes it from the start,
    // and the other segments stop before they write into a range that is not theirs.
    for (auto& c : connections_)
        if (c)
            c->close();
    plan_ = SegmentPlan::split(intContentLength, 1);
    intSegCount = 0;
    LayoutSegmentBars(1);
    lblResume.setCaption(lang("04019", "**RESUME NOT SUPPORTED**"));
    connectTransfer(0);
}

void frmDownload::keepCompletePrefix()
{
    // A segmented file that stops short has unfilled ranges between its segments. Only the bytes
    // from the start up to the first gap are kept, so that the file on disk never holds gaps that
    // could be taken for data; the rest is split anew over the segments for a later resume.
    if (intSegCount < 2 || completed_ || FTPMODE || !output_.isOpen())
        return;
    const qint64 prefix = plan_.completePrefix();
    output_.resize(prefix);
    plan_ = SegmentPlan::missing(intContentLength, {{0, prefix}}, intSegCount, 0);
}

void frmDownload::resumeSegments()
{
    // What is on disk is the truth: a file removed or cut short while the job was paused is not
    // written at its old offsets, and the file now at the path is the one written.
    const qint64 onDisk = std::max<qint64>(output_.sizeOnDisk(), 0);
    closeFiles();
    if (!openOutput())
        return;
    plan_.clipTo(onDisk, kMinTakeOver);
    intSegCount = quint8(plan_.count() >= 2 ? plan_.count() : 0);
    const qint64 rollback = SettingsStore::instance().record.Rollback;
    for (int k = 0; k < plan_.count(); ++k) {
        // A segment moves back within its own range only.
        plan_.rollBack(k, rollback);
        connectTransfer(k);
    }
    tmrUpdate.setEnabled(true);
    tmrUpdate2.setEnabled(true);
}

// ---------------------------------------------------------------- the connections

SegmentConnection& frmDownload::transfer(int k)
{
    auto& c = connections_[k];
    if (!c) {
        SegmentConnection::Listener& self = *this;
        c = std::make_unique<SegmentConnection>(k, self);
        connect(c.get(), &SegmentConnection::invalidReply, this,
                [this] { fail(lang("19008", "The server's reply is not a valid HTTP reply.")); });
    }
    return *c;
}

void frmDownload::connectTransfer(int k)
{
    transfer(k).connectTo(route());
}

void frmDownload::transferConnected(int k)
{
    setRowCell(DownloadRow::Status, lang("11051", "Downloading..."));
    if (plan_.finished(k)) {
        // Nothing of this part is missing; the new connection may serve another part.
        segmentFinished(k, true);
        return;
    }
    transfer(k).send({strFile, plan_.pos(k), plan_.end(k) - 1});
}

bool frmDownload::acceptTransferHead(int k, const QByteArray& head)
{
    serverLog_ += QStringLiteral("\r\n") + QString::fromLatin1(head) + QStringLiteral("\r\n");
    const qint16 code = GetStatusCode(QString::fromLatin1(head));
    if (isChunked(head)) {
        fail(lang("19001", "The server did not announce the size of the file, so it cannot be downloaded safely."));
        return false;
    }
    const auto length = headerField(head, "Content-Length");
    if (code == 206) {
        const auto range = headerField(head, "Content-Range");
        const auto r = range ? parseContentRange(*range) : std::nullopt;
        if (!r || r->first != transfer(k).requestedStart()) {
            fail(lang("19002", "The server sent another part of the file than the one asked for; the download was stopped."));
            return false;
        }
        if (r->total >= 0 && r->total != intContentLength) {
            fail(lang("19003", "The file on the server has changed size; the download was stopped."));
            return false;
        }
        return true;
    }
    if (code == 200) {
        const auto size = length ? parseLength(*length) : std::nullopt;
        if (size && *size != intContentLength) {
            fail(lang("19003", "The file on the server has changed size; the download was stopped."));
            return false;
        }
        if (intSegCount >= 2) {
            fallBackToOneConnection();
            return false;
        }
        if (transfer(k).requestedStart() != 0) {
            // The server ignored the range and sends the whole file: take it from its first byte.
            plan_ = SegmentPlan::split(intContentLength, 1);
            lblResume.setCaption(lang("04019", "**RESUME NOT SUPPORTED**"));
        }
        return true;
    }
    const QString message = GetError(code);
    if (message != QLatin1String("SUCCESS"))
        fail(message);
    else
        fail(lang("19004", "The server did not send the file; its answer was:") + u' ' + QString::fromLatin1(statusLine(head)));
    return false;
}

void frmDownload::writeBody(int k, const char* data, qint64 size)
{
    // Bytes past the end of this part are not the file's: they are dropped.
    size = std::min(size, plan_.left(k));
    if (size > 0) {
        if (!output_.write(plan_.pos(k), data, size)) {
            fail(output_.failure());
            return;
        }
        plan_.advance(k, size);
        transfer(k).resetEmptyCloses();
        Update(k);
    }
    if (plan_.finished(k))
        segmentFinished(k);
}

void frmDownload::segmentFinished(int k, bool connectedIdle)
{
    if (isFileDownloaded()) {
        transfer(k).close();
        tmrUpdate_Timer();
        return;
    }
    if (!takeOverRange(k, connectedIdle))
        transfer(k).close();
}

bool frmDownload::takeOverRange(int k, bool connectedIdle)
{
    // A connection that has finished its range takes a range still waiting for one, or else the
    // second half of the largest remainder, so all connections stay busy to the end instead of the
    // slowest one finishing alone.
    if (completed_ || failed_ || cmdPause.Caption() == strCapResume || !plan_.takeNext(k, kMinTakeOver))
        return false;
    // A connection with no reply outstanding takes the next request itself.
    if (transfer(k).canTakeRequest(connectedIdle))
        transferConnected(k);
    else
        connectTransfer(k);
    return true;
}

void frmDownload::transferReplyEnded(int k)
{
    // A reply that has delivered all it announced but left this part short is asked again.
    if (!plan_.finished(k))
        reconnectTransfer(k);
}

void frmDownload::transferClosed(int k)
{
    if (isFileDownloaded()) {
        transfer(k).close();
        tmrUpdate_Timer();
        return;
    }
    reconnectTransfer(k);
}

void frmDownload::reconnectTransfer(int k)
{
    SegmentConnection& c = transfer(k);
    if (c.countEmptyClose() >= kMaxEmptyCloses) {
        fail(lang("19005", "The server keeps closing the connection without sending the file."));
        return;
    }
    c.connectTo(route());
}

void frmDownload::transferError(int, QAbstractSocket::SocketError error, const QString& description)
{
    Prompts::instance().MsgBox(lang("11033", "Error was occurred.") + QStringLiteral("\r\n") + lang("11034", "")
                                   + QString::number(int(error)) + QStringLiteral("\r\n") + description,
                               MsgButtons::OkOnly, MsgIcon::Exclamation, lang("11035", "Error"));
    lblStatus.setCaption(lang("11033", "Error was occurred.") + u' ' + description);
    emit needsUser();
}

void frmDownload::transferRefused(int, const QString& status)
{
    if (completed_ || failed_)
        return;
    // What came is on the disk and named by the control file: a resume fetches only the rest.
    fail(status);
}

}  // namespace harbel
