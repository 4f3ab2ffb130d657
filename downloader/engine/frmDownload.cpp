#include "downloader/engine/frmDownload.h"

#include "common/platform/CRegister.h"
#include "common/platform/Prompts.h"
#include "common/platform/Shell.h"
#include "common/support/LangString.h"
#include "common/support/Skin.h"
#include "common/support/VbText.h"
#include "downloader/engine/DownloadFormat.h"
#include "downloader/engine/HttpText.h"
#include "downloader/settings/DownloadSettings.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSignalBlocker>

#include <cmath>

namespace harbel {

namespace {

// A response head longer than this is not a head: the reply is refused rather than buffered.
constexpr qsizetype kMaxHead = 64 * 1024;
// How much of a reply without a length is searched for an embedded link.
constexpr qsizetype kMaxScan = 1024 * 1024;
// Redirections followed before the job gives up (the fifth and later restart the job).
constexpr int kMaxRedirects = 20;
// Connections in a row that the server closes before any data, before the job gives up.
constexpr int kMaxEmptyCloses = 5;
// Bytes a transfer socket holds before it stops reading from the network.
constexpr qint64 kSocketBuffer = 1024 * 1024;
// The block read from a transfer socket at a time.
constexpr qint64 kReadBlock = 512 * 1024;

QString lang(const char* code, const char* text)
{
    return GetLangString(QString::fromLatin1(code), QString::fromLatin1(text));
}

QString programTitle()
{
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("Pellanor") : name;
}

QByteArray headOf(const QByteArray& block, qsizetype* bodyStart)
{
    const qsizetype end = block.indexOf("\r\n\r\n");
    if (end < 0)
        return {};
    *bodyStart = end + 4;
    return block.left(end);
}

// Text for a request line or header: bytes that could end the line or split it (controls, blanks,
// and bytes outside ASCII) are written as %XX, so an address from a server cannot add lines of its
// own to a request.
QByteArray requestText(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    QByteArray out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = quint8(c);
        if (b <= 0x20 || b >= 0x7f) {
            out += '%';
            out += QByteArray::number(b, 16).rightJustified(2, '0').toUpper();
        } else {
            out += c;
        }
    }
    return out;
}

bool isChunked(const QByteArray& head)
{
    const auto te = headerField(head, "Transfer-Encoding");
    return te && !te->trimmed().isEmpty() && te->trimmed().toLower() != "identity";
}

}  // namespace

frmDownload::frmDownload(QObject* parent) : Form(QStringLiteral("frmDownload"), parent)
{
    for (int k = 0; k < 6; ++k)
        PVProgressBar[k] = std::make_unique<ProgressBar>(*this, QStringLiteral("PVProgressBar(%1)").arg(k));
    tmrUpdate.setHandler([this] { tmrUpdate_Timer(); });
    tmrUpdate2.setHandler([this] { tmrUpdate2_Timer(); });
    tmrTimeOut.setHandler([this] { tmrTimeOut_Timer(); });
    tmrReconnect.setEnabled(false);
    connect(&tmrReconnect, &ExtraTimer::Timer, this, [this] { tmrReconnect_Timer(); });

    WSHead.setReadBufferSize(kSocketBuffer);
    connect(&WSHead, &QTcpSocket::connected, this, [this] { probeConnected(); });
    connect(&WSHead, &QTcpSocket::readyRead, this, [this] { probeDataArrival(); });
    connect(&WSHead, &QTcpSocket::disconnected, this, [this] { probeDisconnected(); });
    connect(&WSHead, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) { probeError(e); });
    Load();
}

frmDownload::~frmDownload()
{
    const QSignalBlocker blocker(this);
    closeSocket(WSHead);
    for (auto* array : {&wsHTTP, &wsHTTP1})
        for (Connection& c : *array)
            if (c.socket)
                closeSocket(*c.socket);
    closeFiles();
}

void frmDownload::Load()
{
    closeSocket(WSHead);
    for (auto* array : {&wsHTTP, &wsHTTP1})
        for (Connection& c : *array) {
            if (c.socket)
                closeSocket(*c.socket);
            c.headPending = false;
            c.head.clear();
            c.bodyBytes = 0;
            c.emptyCloses = 0;
        }
    closeFiles();
    tmrUpdate.setEnabled(false);
    tmrUpdate2.setEnabled(false);
    tmrTimeOut.setEnabled(false);
    tmrReconnect.setEnabled(false);

    intRecievedBytes = 0;
    intFileSize = 0;
    intTransferRate = 0;
    lstItem = nullptr;
    intContentLength = 0;
    intSegCount = 0;
    intSegStart.fill(0);
    intSegPos.fill(1);
    blnSegResume.fill(false);
    dblElapsed = 0;
    intLastBytes = 0;
    intTimeLeft = 0;
    intRetryCount = 0;
    intRedirects = 0;
    serverLog_.clear();
    blnProbeFromZero = false;
    blnScanForLink = false;
    probeBuffer_.clear();
    usesHttp1_ = false;
    transferPrepared_ = false;
    completed_ = false;
    failed_ = false;

    setCaption(QStringLiteral("Download Window"));
    for (Label* l : {&lblStatus, &lblFileSize, &lblRecievedSize, &lblTransferRate, &lblTimeRemaining,
                     &lblElapsedTime, &lblResume, &lblTimer, &lblPer})
        l->setCaption(QString());
    lblTimer.setVisible(true);
    lblElapsedTime.setCaption(FormatDuration(0));
    ProgressBar1.setValue(0);
    for (auto& bar : PVProgressBar) {
        bar->setValue(0);
        bar->setVisible(false);
    }
    cmdOpen.setCaption(lang("04016", "&Open"));
    cmdGotoDir.setCaption(lang("04017", "&Go To Dir"));
    cmdPause.setEnabled(true);
    cmdStop.setEnabled(true);
    SetCaptions();
}

void frmDownload::applyURL(const UrlFields& f)
{
    HTTPMODE = f.HTTPMODE;
    FTPMODE = f.FTPMODE;
    strServer = f.strServer;
    intPort = f.intPort;
    strUserName = f.strUserName;
    strPassword = f.strPassword;
    strFile = f.strFile;
    strFilePath = f.strFilePath;
}

void frmDownload::ParseURL(const QString& address)
{
    applyURL(splitURL(address));
}

void frmDownload::SetCaptions()
{
    strCapPause = lang("04012", "&Pause");
    strCapResume = lang("04013", "&Resume");
    strCapStop = lang("04014", "&Stop");
    strCapClose = lang("04015", "&Close");
    cmdPause.setCaption(strCapPause);
    cmdStop.setCaption(strCapStop);
    RefreshControls(*this);
}

void frmDownload::setRowCell(int cell, const QString& text)
{
    if (lstItem)
        lstItem->setCell(cell, text);
}

QString frmDownload::fileNameOfJob() const
{
    return strFile.section(u'/', -1);
}

// ---------------------------------------------------------------- start, pause, stop

void frmDownload::StartDownload()
{
    startJob(SettingsStore::instance().FileExistsAction);
}

void frmDownload::startJob(qint16 existsAction)
{
    existsAction_ = existsAction;
    emit connectingChanged(true);
    SetCaptions();
    initBase64();
    completed_ = false;
    failed_ = false;
    const DownloadSettings& s = SettingsStore::instance().record;
    tmrReconnect.setEnabled(false);
    tmrReconnect.setIntervalUnit(0);
    tmrReconnect.setInterval(s.TimeResume);

    if (FTPMODE) {
        fail(lang("19009", "FTP addresses cannot be downloaded by this version."));
        return;
    }

    bool resume = false;
    if (existsAction == -1) {
        resume = true;
    } else if (existsAction == 0) {
        if (QFileInfo::exists(strSaveTo))
            QFile::remove(strSaveTo);
    } else {
        Unload();
        return;
    }
    blnSegResume.fill(resume);
    closeSocket(WSHead);
    connectProbe();
    intTimeLeft = qint16(s.Timeout);
    tmrTimeOut.setEnabled(true);
    lblTimer.setVisible(true);
    cmdOpen.setVisible(false);
    cmdGotoDir.setVisible(false);
    RefreshControls(*this);
}

void frmDownload::connectProbe()
{
    probeBuffer_.clear();
    WSHead.connectToHost(strServer, intPort);
}

void frmDownload::cmdPause_Click()
{
    if (isFileDownloaded())
        return;
    const DownloadSettings& s = SettingsStore::instance().record;
    if (cmdPause.Caption() == strCapPause) {
        cmdPause.setCaption(strCapResume);
        cmdStop.setEnabled(false);
        CloseConnections();
        if (!transferPrepared_) {
            // Paused while still asking the server: the probe goes too, and resuming asks again.
            closeSocket(WSHead);
            tmrTimeOut.setEnabled(false);
            lblTimer.setVisible(false);
        }
        intTransferRate = 0;
        setRowCell(DownloadRow::Status, lang("11055", "Paused/Stopped"));
        RefreshControls(*this);
        return;
    }
    setRowCell(DownloadRow::Status, lang("11051", "Downloading"));
    cmdPause.setCaption(strCapPause);
    cmdStop.setEnabled(true);
    RefreshControls(*this);
    if (!transferPrepared_) {
        startJob(existsAction_);
        return;
    }
    if (s.Rollback < intSegPos[0])
        intSegPos[0] -= s.Rollback;
    blnSegResume[0] = true;
    // A stop closed the output file; the data goes on into the same file.
    if (!intSegFile[0] && !openOutput())
        return;
    connectTransfer(0);
    tmrUpdate.setEnabled(true);
    tmrUpdate2.setEnabled(true);
}

void frmDownload::cmdStop_Click()
{
    emit connectingChanged(false);
    if (cmdStop.Caption() != strCapClose && !isFileDownloaded()) {
        cmdPause.setCaption(strCapResume);
        cmdStop.setEnabled(false);
        RefreshControls(*this);
        StopDown();
        setRowCell(DownloadRow::Status, lang("11055", "Paused/Stopped"));
        return;
    }
    Unload();
}

void frmDownload::StopDown()
{
    showStopped();
    if (!completed_)
        emit needsUser();
}

void frmDownload::showStopped()
{
    CloseConnections();
    if (intContentLength > 0)
        ProgressBar1.setValue(std::floor(double(intRecievedBytes) / double(intContentLength) * 100));
    closeFiles();
    for (auto& bar : PVProgressBar)
        bar->setValue(bar->Max());
    intTransferRate = 0;
    tmrTimeOut.setEnabled(false);
    lblTimer.setVisible(false);
    if (transferPrepared_)
        intRecievedBytes = GetReceivedBytes();
    lblRecievedSize.setCaption(FormatBytes(double(intRecievedBytes)));
    lblTransferRate.setCaption(QStringLiteral("0 Bytes/Second"));
    lblTimeRemaining.setCaption(QStringLiteral("00:00:00"));
    lblStatus.setCaption(lang("11056", "Transfer Stopped"));
    setRowCell(DownloadRow::Recieved, lblRecievedSize.Caption());
    tmrUpdate.setEnabled(false);
    tmrUpdate2.setEnabled(false);
    cmdOpen.setVisible(true);
    cmdGotoDir.setVisible(true);
    cmdPause.setEnabled(false);
    cmdStop.setEnabled(true);
    cmdStop.setCaption(strCapClose);
    RefreshControls(*this);
}

void frmDownload::Unload()
{
    // Closing stops the transfer; the display of a finished or failed job stays as it is.
    if (!completed_ && !failed_)
        showStopped();
    closeSocket(WSHead);
    CloseConnections();
    closeFiles();
    tmrTimeOut.setEnabled(false);
    tmrReconnect.setEnabled(false);
    Hide();
    emit closed();
}

void frmDownload::closeSocket(QTcpSocket& socket)
{
    // Closing a connection ourselves raises none of its events.
    const QSignalBlocker blocker(&socket);
    socket.abort();
}

void frmDownload::closeFiles()
{
    for (auto& f : intSegFile)
        if (f) {
            f->close();
            f.reset();
        }
}

void frmDownload::CloseConnections()
{
    tmrUpdate2.setEnabled(false);
    tmrUpdate.setEnabled(false);
    lblTransferRate.setCaption(QStringLiteral("0 Bytes/Second"));
    for (auto* array : {&wsHTTP, &wsHTTP1})
        for (Connection& c : *array)
            if (c.socket) {
                closeSocket(*c.socket);
                c.headPending = false;
                c.head.clear();
            }
}

void frmDownload::LayoutSegmentBars(int n)
{
    n = std::clamp(n, 1, 6);
    ProgressBar1.setVisible(n > 1);
    const int width = 4600 / n;
    for (int k = 0; k < 6; ++k) {
        PVProgressBar[k]->setVisible(k < n);
        if (k < n) {
            segmentBarWidth[k] = width;
            segmentBarLeft[k] = width * k + 120;
            PVProgressBar[k]->setValue(0);
        }
    }
    if (n == 1)
        lblPerLeft = 2055;
}

// ---------------------------------------------------------------- progress

qint64 frmDownload::GetReceivedBytes() const
{
    qint64 received = intSegPos[0] - 1;
    for (int k = 1; k < intSegCount && k < 6; ++k)
        received += intSegPos[k] - intSegStart[k] - 1;
    return received;
}

bool frmDownload::isFileDownloaded() const
{
    // Until the server has announced the size nothing is downloaded.
    return transferPrepared_ && GetReceivedBytes() >= intContentLength;
}

void frmDownload::Update(int k)
{
    const qint64 received = GetReceivedBytes();
    const double percent = intContentLength > 0 ? std::floor(double(received) / double(intContentLength) * 100) : 100;
    const QString percentText = vb::numberText(percent);
    ProgressBar1.setValue(percent);
    setCaption(fileNameOfJob() + QStringLiteral(" [") + percentText + QStringLiteral("%]"));
    lblPer.setCaption(percentText + QStringLiteral("%"));
    if (const qint64 end = intSegStart[k + 1]; end > 0)
        PVProgressBar[k]->setValue(std::floor(double(intSegPos[k]) / double(end) * 100));
    setRowCell(DownloadRow::Percent, vb::numberText(ProgressBar1.Value()) + QStringLiteral("%"));
}

void frmDownload::tmrUpdate_Timer()
{
    if (completed_ || !transferPrepared_)
        return;
    const qint64 received = GetReceivedBytes();
    intRecievedBytes = received;
    if (received < intContentLength) {
        lblRecievedSize.setCaption(FormatBytes(double(received)));
        dblElapsed += 0.5;
        lblElapsedTime.setCaption(FormatDuration(std::floor(dblElapsed)));
        setRowCell(DownloadRow::Recieved, lblRecievedSize.Caption());
        return;
    }
    complete();
}

void frmDownload::tmrUpdate2_Timer()
{
    const qint64 received = GetReceivedBytes();
    intRecievedBytes = received;
    if (received >= intContentLength)
        return;
    lblRecievedSize.setCaption(FormatBytes(double(received)));
    // The tick comes every 2.5 seconds: the rate is the bytes of one tick over its length.
    const double delta = double(received - intLastBytes);
    const double rate = delta / (tmrUpdate2.Interval() / 1000.0);
    lblTransferRate.setCaption(FormatBytes(rate) + QStringLiteral(" /Second"));
    if (rate != 0)
        intTransferRate = rate;
    if (rate > 0)
        lblTimeRemaining.setCaption(FormatDuration(double(intContentLength - received) / rate));
    intLastBytes = received;
}

void frmDownload::complete()
{
    if (completed_)
        return;
    completed_ = true;
    const qint64 received = GetReceivedBytes();
    CloseConnections();
    closeSocket(WSHead);
    ProgressBar1.setValue(intContentLength > 0 ? std::floor(double(received) / double(intContentLength) * 100) : 100);
    // A resumed file that was longer than the one on the server ends at the server's size.
    if (intSegFile[0] && intSegFile[0]->size() > intContentLength)
        intSegFile[0]->resize(intContentLength);
    closeFiles();
    for (auto& bar : PVProgressBar)
        bar->setValue(bar->Max());

    intTransferRate = 0;
    tmrTimeOut.setEnabled(false);
    lblTimer.setVisible(false);
    tmrUpdate2.setEnabled(false);
    tmrReconnect.setEnabled(false);
    lblRecievedSize.setCaption(FormatBytes(double(received)));
    lblTransferRate.setCaption(QStringLiteral("0 Bytes/Second"));
    lblTimeRemaining.setCaption(QStringLiteral("00:00:00"));
    lblStatus.setCaption(lang("11046", "Transfer Completed..."));
    setRowCell(DownloadRow::Recieved, lblRecievedSize.Caption());
    setRowCell(DownloadRow::Status, lang("11052", "Download Success"));
    tmrUpdate.setEnabled(false);
    cmdOpen.setVisible(true);
    cmdGotoDir.setVisible(true);
    cmdPause.setEnabled(false);
    cmdStop.setEnabled(true);
    cmdStop.setCaption(strCapClose);
    emit connectingChanged(false);

    if (lstItem)
        emit moveRowToCompleted(lstItem.data());

    SettingsStore& store = SettingsStore::instance();
    store.record.Downloads += 1;
    store.record.AllBytes += double(received);
    CRegister reg;
    const QString key = QString::fromLatin1(kSettingsKey);
    reg.REGSaveSetting(HKEY_LOCAL_MACHINE, key, QStringLiteral("Downloads"), QString::number(store.record.Downloads));
    reg.REGSaveSetting(HKEY_LOCAL_MACHINE, key, QStringLiteral("AllBytes"), vb::numberText(store.record.AllBytes));

    emit completed();
    if (reg.REGGetSetting(HKEY_LOCAL_MACHINE, key, QStringLiteral("PromptDone"), QStringLiteral("1")) == QLatin1String("1"))
        Prompts::instance().MsgBox(lang("11031", "Download Successful."), MsgButtons::OkOnly, MsgIcon::Information,
                                   programTitle());
    if (reg.REGGetSetting(HKEY_LOCAL_MACHINE, key, QStringLiteral("CloseDownloadWindowWhenDone"), QStringLiteral("0"))
        == QLatin1String("1"))
        Unload();
    RefreshControls(*this);
}

void frmDownload::fail(const QString& message)
{
    failed_ = true;
    closeSocket(WSHead);
    tmrReconnect.setEnabled(false);
    showStopped();
    lblStatus.setCaption(message);
    setRowCell(DownloadRow::Status, message);
    emit connectingChanged(false);
    emit needsUser();
}

// ---------------------------------------------------------------- time-outs

void frmDownload::tmrTimeOut_Timer()
{
    const DownloadSettings& s = SettingsStore::instance().record;
    intTimeLeft -= 1;
    lblTimer.setCaption(QStringLiteral("Timeout: %1 sec.").arg(intTimeLeft));
    if (intTimeLeft >= 1)
        return;
    const QString text = QStringLiteral("Connection has timed out.");
    lblStatus.setCaption(text);
    setRowCell(DownloadRow::Percent, text);
    if (!s.Retry || s.Retries < intRetryCount) {
        CloseConnections();
        closeSocket(WSHead);
        intTimeLeft = qint16(s.Timeout);
        tmrTimeOut.setEnabled(false);
        emit needsUser();
        return;
    }
    intRetryCount += 1;
    CloseConnections();
    intTimeLeft = qint16(s.Timeout);
    startJob(existsAction_);
}

void frmDownload::tmrReconnect_Timer()
{
    const qint64 received = GetReceivedBytes();
    intRecievedBytes = received;
    if (received == intLastBytes)
        cmdPause_Click();
}

// ---------------------------------------------------------------- the probe

void frmDownload::probeConnected()
{
    QByteArray request;
    request += "GET /" + requestText(strFile) + " HTTP/1.1\r\n";
    request += "Host: " + requestText(strServer) + "\r\n";
    request += blnProbeFromZero ? "Range: bytes=0-\r\n" : "Range: bytes=-\r\n";
    request += "User-Agent: DM\r\n";
    request += "Referer: " + requestText(strServer) + "\r\n";
    request += "Accept: *.*, */*\r\n";
    request += "\r\n";
    WSHead.write(request);
}

void frmDownload::probeDataArrival()
{
    tmrTimeOut.setEnabled(false);
    lblTimer.setVisible(false);
    if (WSHead.state() != QAbstractSocket::ConnectedState)
        return;
    const QByteArray data = WSHead.readAll();
    if (blnScanForLink) {
        scanForLink(data);
        return;
    }
    // A head may come in several pieces: it is parsed once its blank line has arrived.
    probeBuffer_ += data;
    if (probeBuffer_.indexOf("\r\n\r\n") < 0) {
        if (probeBuffer_.size() > kMaxHead)
            fail(lang("19008", "The server's reply is not a valid HTTP reply."));
        return;
    }
    const QByteArray block = probeBuffer_;
    probeBuffer_.clear();
    CheckProbeReply(block, false);
}

void frmDownload::probeDisconnected()
{
    if (blnScanForLink && WSHead.bytesAvailable() > 0)
        scanForLink(WSHead.readAll());
    if (completed_ || failed_ || transferPrepared_)
        return;
    if (blnScanForLink)
        fail(lang("19001", "The server did not announce the size of the file, so it cannot be downloaded safely."));
    else if (!probeBuffer_.isEmpty())
        fail(lang("19008", "The server's reply is not a valid HTTP reply."));
}

void frmDownload::probeError(QAbstractSocket::SocketError error)
{
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;  // the disconnection is handled on its own
    // The countdown stays armed: when it runs out the job is retried as after any time-out.
    const QString text = lang("19010", "Could not connect to the server:") + u' ' + WSHead.errorString();
    lblStatus.setCaption(text);
    setRowCell(DownloadRow::Status, text);
    emit needsUser();
}

void frmDownload::CheckProbeReply(const QByteArray& text, bool scan)
{
    if (scan) {
        scanForLink(text);
        return;
    }
    qsizetype bodyStart = 0;
    const QByteArray head = headOf(text, &bodyStart);
    const QString headText = QString::fromLatin1(head);
    const qint16 code = GetStatusCode(headText);
    const QString message = GetError(code);
    if (message != QLatin1String("SUCCESS")) {
        closeSocket(WSHead);
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
            blnScanForLink = true;
            intTimeLeft = qint16(SettingsStore::instance().record.Timeout);
            tmrTimeOut.setEnabled(true);
            scanForLink(text.mid(bodyStart));
            return;
        }
        intContentLength = *size;
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
        closeSocket(WSHead);
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
        closeSocket(WSHead);
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
        closeSocket(WSHead);
        fail(lang("19004", "The server did not send the file; its answer was:") + u' '
             + QString::fromLatin1(head.left(head.indexOf('\r') >= 0 ? head.indexOf('\r') : head.size())));
        return;
    }
}

QString frmDownload::resolveLocation(const QString& location) const
{
    const QString trimmed = location.trimmed();
    if (trimmed.contains(QLatin1String("://")))
        return location;
    const QString host = intPort == 80 ? strServer : strServer + u':' + QString::number(intPort);
    if (trimmed.startsWith(QLatin1String("//")))
        return QStringLiteral("http:") + trimmed;
    if (trimmed.startsWith(u'/'))
        return QStringLiteral("http://") + host + trimmed;
    const qsizetype slash = strFile.lastIndexOf(u'/');
    return QStringLiteral("http://") + host + u'/' + strFile.left(slash + 1) + trimmed;
}

void frmDownload::followRedirect(const QByteArray& head)
{
    intRedirects += 1;
    // Addresses are UTF-8 text, like every text of this program.
    const QString headText = QString::fromUtf8(head) + QStringLiteral("\r\n");
    QString address = GetHeaderValue(headText, QStringLiteral("Location:"));
    if (address.trimmed().isEmpty())
        address = QString::fromUtf8(headerField(head, "Location").value_or(QByteArray()));
    closeSocket(WSHead);
    if (address.trimmed().isEmpty()) {
        fail(lang("19012", "The server redirected the download without saying where to."));
        return;
    }
    if (intRedirects > kMaxRedirects) {
        fail(lang("19006", "The server redirected the download too many times."));
        return;
    }
    address = resolveLocation(address);
    txtURL.setText(address);
    ParseURL(address);
    if (intRedirects < 5)
        connectProbe();
    else
        RestartFromAddress(address);
}

void frmDownload::RestartFromAddress(const QString& address)
{
    ParseURL(address);
    startJob(existsAction_);
}

void frmDownload::scanForLink(const QByteArray& data)
{
    probeBuffer_ += data;
    if (const auto link = FindEmbeddedLink(QString::fromLatin1(probeBuffer_), fileNameOfJob())) {
        blnScanForLink = false;
        probeBuffer_.clear();
        ParseURL(*link);
        closeSocket(WSHead);
        connectProbe();
        return;
    }
    if (probeBuffer_.size() > kMaxScan)
        fail(lang("19001", "The server did not announce the size of the file, so it cannot be downloaded safely."));
}

// ---------------------------------------------------------------- the transfer

void frmDownload::Check_Create(qint64 size)
{
    prepareTransfer(size, false);
}

void frmDownload::Check_Create1(qint64 size)
{
    blnProbeFromZero = false;
    prepareTransfer(size, true);
}

void frmDownload::prepareTransfer(qint64 size, bool ranged)
{
    usesHttp1_ = ranged;
    intSegCount = 0;
    intSegStart.fill(0);
    intSegStart[0] = 0;
    intSegStart[1] = size;
    intSegPos[0] = 1;
    LayoutSegmentBars(1);

    closeFiles();
    if (!openOutput())
        return;
    if (existsAction_ == -1 && intSegFile[0]->size() > size) {
        // Not the beginning of this file: resuming would keep bytes of another one.
        closeFiles();
        fail(lang("19014", "The file on disk is larger than the file on the server, so it cannot be resumed."));
        return;
    }
    transferPrepared_ = true;
    if (existsAction_ == -1)
        SetSegIndecies();
    connectTransfer(0);
    tmrUpdate.setEnabled(true);
    tmrUpdate2.setEnabled(true);
}

bool frmDownload::openOutput()
{
    auto file = std::make_unique<QFile>(strSaveTo);
    if (!file->open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        const QString description = file->errorString();
        Prompts::instance().MsgBox(QStringLiteral("Error No. %1 %2").arg(int(file->error())).arg(description),
                                   MsgButtons::OkOnly, MsgIcon::None, programTitle());
        fail(lang("19007", "The file could not be written:") + u' ' + strSaveTo + QStringLiteral(": ") + description);
        return false;
    }
    intSegFile[0] = std::move(file);
    return true;
}

void frmDownload::SetSegIndecies()
{
    const qint64 len = QFileInfo(strSaveTo).size();
    const qint64 rollback = SettingsStore::instance().record.Rollback;
    if (rollback < len && intSegPos[0] < len)
        intSegPos[0] = len - rollback;
}

frmDownload::Connection& frmDownload::transfer(int k)
{
    auto& array = usesHttp1_ ? wsHTTP1 : wsHTTP;
    Connection& c = array[k];
    if (!c.socket) {
        c.socket = std::make_unique<QTcpSocket>();
        c.socket->setReadBufferSize(kSocketBuffer);
        QTcpSocket* s = c.socket.get();
        connect(s, &QTcpSocket::connected, this, [this, k] { transferConnected(k); });
        connect(s, &QTcpSocket::readyRead, this, [this, k] { transferDataArrival(k); });
        connect(s, &QTcpSocket::disconnected, this, [this, k] { transferClosed(k); });
        connect(s, &QTcpSocket::errorOccurred, this, [this, k](QAbstractSocket::SocketError e) { transferError(k, e); });
    }
    return c;
}

void frmDownload::connectTransfer(int k)
{
    Connection& c = transfer(k);
    closeSocket(*c.socket);
    c.headPending = false;
    c.head.clear();
    c.socket->connectToHost(strServer, intPort);
}

void frmDownload::transferConnected(int k)
{
    Connection& c = transfer(k);
    setRowCell(DownloadRow::Status, lang("11051", "Downloading..."));
    const qint64 start = blnSegResume[k] ? intSegPos[k] - 1 : intSegStart[k];
    const qint64 end = intSegStart[k + 1] - 1;
    if (start > end) {
        // Nothing of this part is missing.
        closeSocket(*c.socket);
        tmrUpdate_Timer();
        return;
    }
    if (!blnSegResume[k])
        intSegPos[k] = intSegStart[k] + 1;
    c.requestedStart = start;
    c.requestedEnd = end;
    c.headPending = true;
    c.head.clear();
    c.bodyBytes = 0;
    c.expectedBody = -1;

    const DownloadSettings& s = SettingsStore::instance().record;
    QByteArray request;
    request += "GET /" + requestText(strFile) + " HTTP/1.1\r\n";
    request += "Host: " + requestText(strServer) + "\r\n";
    request += "Range: bytes=" + QByteArray::number(start) + '-' + QByteArray::number(end) + "\r\n";
    request += "User-Agent: Vantor Segment " + QByteArray::number(k) + "\r\n";
    request += "Accept:  */*\r\n";
    if (s.UseProxy && s.LoginProxy) {
        const QString credentials = s.UsePass ? s.UserID + u':' + s.UserPass : s.UserID + u':';
        request += "Proxy-Authorization: Basic " + Encode2Base64(credentials).toLatin1() + "\r\n";
    }
    request += "\r\n";
    c.socket->write(request);
}

void frmDownload::transferDataArrival(int k)
{
    Connection& c = transfer(k);
    // Read into one buffer that lives as long as the job: no allocation per arrival.
    if (readBuffer_.size() < kReadBlock)
        readBuffer_.resize(kReadBlock);
    qint64 n;
    while (!completed_ && !failed_ && (n = c.socket->read(readBuffer_.data(), kReadBlock)) > 0)
        consume(k, readBuffer_.constData(), n);
    // A reply that has delivered all it announced but left this part short is asked again.
    if (!completed_ && !failed_ && !c.headPending && c.expectedBody >= 0 && c.bodyBytes >= c.expectedBody
        && intSegPos[k] - 1 < intSegStart[k + 1])
        reconnectTransfer(k);
}

void frmDownload::consume(int k, const char* data, qint64 size)
{
    Connection& c = transfer(k);
    if (size <= 0 || completed_ || failed_)
        return;
    if (c.headPending) {
        // The head is recognised only at the start of a reply, and may come in several pieces.
        c.head.append(data, size);
        qsizetype bodyStart = 0;
        const QByteArray head = headOf(c.head, &bodyStart);
        if (head.isEmpty()) {
            if (c.head.size() > kMaxHead)
                fail(lang("19008", "The server's reply is not a valid HTTP reply."));
            return;
        }
        const QByteArray rest = c.head.mid(bodyStart);
        c.head.clear();
        c.headPending = false;
        serverLog_ += QStringLiteral("\r\n") + QString::fromLatin1(head) + QStringLiteral("\r\n");
        if (!acceptTransferHead(k, head))
            return;
        const auto length = headerField(head, "Content-Length");
        c.expectedBody = length ? parseLength(*length).value_or(-1) : -1;
        if (!rest.isEmpty())
            writeBody(k, rest.constData(), rest.size());
        return;
    }
    writeBody(k, data, size);
}

bool frmDownload::acceptTransferHead(int k, const QByteArray& head)
{
    const qint16 code = GetStatusCode(QString::fromLatin1(head));
    if (isChunked(head)) {
        fail(lang("19001", "The server did not announce the size of the file, so it cannot be downloaded safely."));
        return false;
    }
    const auto length = headerField(head, "Content-Length");
    if (code == 206) {
        const auto range = headerField(head, "Content-Range");
        const auto r = range ? parseContentRange(*range) : std::nullopt;
        if (!r || r->first != transfer(k).requestedStart) {
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
        if (transfer(k).requestedStart != intSegStart[k]) {
            // The server ignored the range and sends the whole file: take it from its first byte.
            intSegPos[k] = intSegStart[k] + 1;
            transfer(k).requestedStart = intSegStart[k];
            lblResume.setCaption(lang("04019", "**RESUME NOT SUPPORTED**"));
        }
        return true;
    }
    const QString message = GetError(code);
    if (message != QLatin1String("SUCCESS"))
        fail(message);
    else
        fail(lang("19004", "The server did not send the file; its answer was:") + u' '
             + QString::fromLatin1(head.left(head.indexOf('\r') >= 0 ? head.indexOf('\r') : head.size())));
    return false;
}

void frmDownload::writeBody(int k, const char* data, qint64 size)
{
    Connection& c = transfer(k);
    c.bodyBytes += size;
    // Bytes past the end of this part are not the file's: they are dropped.
    const qint64 room = intSegStart[k + 1] - (intSegPos[k] - 1);
    size = std::min(size, room);
    if (size > 0) {
        if (!intSegFile[k] && !openOutput())
            return;
        QFile& file = *intSegFile[k];
        const qint64 offset = intSegPos[k] - 1;
        if (file.pos() != offset && !file.seek(offset)) {
            fail(lang("19007", "The file could not be written:") + u' ' + strSaveTo + QStringLiteral(": ") + file.errorString());
            return;
        }
        const qint64 written = file.write(data, size);
        if (written > 0)
            intSegPos[k] += written;
        if (written != size) {
            fail(lang("19007", "The file could not be written:") + u' ' + strSaveTo + QStringLiteral(": ") + file.errorString());
            return;
        }
        c.emptyCloses = 0;
        Update(k);
    }
    if (intSegPos[k] - 1 >= intSegStart[k + 1]) {
        closeSocket(*c.socket);
        if (isFileDownloaded())
            tmrUpdate_Timer();
    }
}

void frmDownload::transferClosed(int k)
{
    Connection& c = transfer(k);
    const QByteArray rest = c.socket->readAll();
    consume(k, rest.constData(), rest.size());
    if (completed_ || failed_)
        return;
    if (isFileDownloaded()) {
        closeSocket(*c.socket);
        tmrUpdate_Timer();
        return;
    }
    reconnectTransfer(k);
}

void frmDownload::reconnectTransfer(int k)
{
    Connection& c = transfer(k);
    if (c.bodyBytes == 0 && ++c.emptyCloses >= kMaxEmptyCloses) {
        fail(lang("19005", "The server keeps closing the connection without sending the file."));
        return;
    }
    blnSegResume[k] = true;
    closeSocket(*c.socket);
    c.headPending = false;
    c.head.clear();
    c.socket->connectToHost(strServer, intPort);
}

void frmDownload::transferError(int k, QAbstractSocket::SocketError error)
{
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;  // handled as a close
    Connection& c = transfer(k);
    const QString description = c.socket->errorString();
    closeSocket(*c.socket);
    Prompts::instance().MsgBox(lang("11033", "Error was occurred.") + QStringLiteral("\r\n") + lang("11034", "")
                                   + QString::number(int(error)) + QStringLiteral("\r\n") + description,
                               MsgButtons::OkOnly, MsgIcon::Exclamation, lang("11035", "Error"));
    lblStatus.setCaption(lang("11033", "Error was occurred.") + u' ' + description);
    emit needsUser();
}

// ---------------------------------------------------------------- window events

void frmDownload::cmdOpen_Click()
{
    Shell::instance().open(strSaveTo);
}

void frmDownload::cmdGotoDir_Click()
{
    // The file manager on the file's folder.
    Shell::instance().open(QFileInfo(strSaveTo).absolutePath());
}

}  // namespace harbel
